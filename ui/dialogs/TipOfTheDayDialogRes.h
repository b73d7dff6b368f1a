// Ids of the Tip of the Day dialog (the template's id is IDD_TIP_OF_THE_DAY in
// ui/Commands.h) and of its tips; read by windres too.
#pragma once

#define IDC_TIP_SHOW_AT_START 1576
#define IDC_TIP_NEXT 1577
#define IDC_TIP_BAND 1578
#define IDC_TIP_HEADING 1579
#define IDC_TIP_TEXT 1580
// The icon drawn in the band.
#define IDI_TIP 1578

// The tips: string-table entries IDS_FIRST_TIP to IDS_LAST_TIP.
#define IDS_FIRST_TIP 1801
#define IDS_LAST_TIP 1843
