// Ids of the Key Attribute dialog (template and controls); read by windres too.
#pragma once

#define IDD_KEY_ATTRIBUTE 1601
#define IDC_KEY_ATTRIBUTE_LIST 1598
#define IDC_KEY_ATTRIBUTE_BOX 1602
#define IDC_DIALOG_HELP 1017
