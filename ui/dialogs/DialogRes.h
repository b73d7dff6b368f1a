// Ids that several dialog templates share; read by windres too.
#pragma once

// The "Help" button of every dialog that has one.
#define IDC_DIALOG_HELP 1017
