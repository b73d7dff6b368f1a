// Ids of the Ignored Elements dialog's controls; read by windres too. The template id
// (IDD_IGNORED_ELEMENTS) is in ui/Commands.h.
#pragma once

#define IDC_IGNORED_LIST 1075
#define IDC_IGNORED_COMMON 1604
#define IDC_REMOVE_ALL_ELEMENTS 997
#define IDC_REMOVE_ELEMENT 1076
#define IDC_LOAD_IGNORED 1072
#define IDC_SAVE_IGNORED 1073
#define IDC_EDIT_IGNORED 1599
#define IDC_REMOVE_COMMON_ATTRIBUTES 1605
#define IDC_DIALOG_HELP 1017
