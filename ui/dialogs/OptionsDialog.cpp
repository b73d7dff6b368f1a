#include "ui/dialogs/OptionsDialog.h"

#include <commctrl.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "settings/ColourSet.h"
#include "settings/OptionFile.h"
#include "settings/OptionSet.h"
#include "ui/ColourChooser.h"
#include "ui/CommandHandlers.h"
#include "ui/CompareCommand.h"
#include "ui/FileDialogs.h"
#include "ui/Help.h"
#include "ui/ItemPainter.h"
#include "ui/OptionFileCommands.h"
#include "ui/TreeCommands.h"
#include "ui/XMLTreeView.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/dialogs/OptionsDialogRes.h"

namespace {

constexpr int kPages = 7;
constexpr int kColoursPage = 5;
// Each page's controls, ended by 0.
constexpr int kPageSlots = 18;

const int kPageControls[kPages][kPageSlots] = {
    {IDC_OPT_SCHEMA_GROUP, IDC_OPT_MESSAGES_GROUP, IDC_OPT_DO_SCHEMA, IDC_OPT_FULL_SCHEMA, IDC_OPT_NAMESPACES,
     IDC_OPT_VALIDATION_LABEL, IDC_OPT_VALIDATION_FATAL, IDC_OPT_CONTINUE_FATAL, IDC_OPT_USE_EXTERNAL_SCHEMA,
     IDC_OPT_EXTERNAL_SCHEMA, IDC_OPT_BROWSE_SCHEMA, IDC_OPT_SCHEMA_VALIDATION, IDC_OPT_LOG_MESSAGES,
     IDC_OPT_SHOW_MESSAGES, 0},
    {IDC_OPT_MODE_GROUP, IDC_OPT_COMPARISON_GROUP, IDC_OPT_CASE_SENSITIVE, IDC_OPT_UNIQUE_ATTRIBUTES,
     IDC_OPT_IGNORE_WHITE_SPACE, IDC_OPT_IGNORE_ATTRIBUTES, IDC_OPT_IGNORE_CONTENT, IDC_OPT_IGNORE_ORDER,
     IDC_OPT_LEVEL_STRICT, IDC_OPT_LEVEL_FAST, IDC_OPT_LEVEL_NORMAL, IDC_OPT_LEVEL_FULL, IDC_OPT_IGNORE_NAMESPACES, 0},
    {IDC_OPT_DATE_GROUP, IDC_OPT_NUMBER_GROUP, IDC_OPT_NORMALIZE, IDC_OPT_DECIMALS_LABEL, IDC_OPT_DECIMALS,
     IDC_OPT_DECIMALS_SPIN, IDC_OPT_FIGURES_LABEL, IDC_OPT_FIGURES, IDC_OPT_FIGURES_SPIN, IDC_OPT_DATE_NONE,
     IDC_OPT_DATE_AND_TIME, IDC_OPT_DATE_ONLY, IDC_OPT_TIME_ONLY, 0},
    {IDC_OPT_ENCODING_GROUP, IDC_OPT_OUTPUT_GROUP, IDC_OPT_END_OF_LINE_GROUP, IDC_OPT_INCLUDE_IGNORED,
     IDC_OPT_PRINT_DOCTYPE, IDC_OPT_INSERT_PI, IDC_OPT_OPEN_AFTER_SAVE, IDC_OPT_APPLICATION, IDC_OPT_BROWSE_APPLICATION,
     IDC_OPT_USE_ENCODING, IDC_OPT_EOL_NONE, IDC_OPT_EOL_DOS, IDC_OPT_EOL_UNIX, IDC_OPT_EOL_MAC,
     IDC_OPT_ENCODING_FAMILY, IDC_OPT_ENCODING_NAME, 0},
    {IDC_OPT_LOAD_SEPARATE, IDC_OPT_MULTILINE, IDC_OPT_IGNORING_GROUP, IDC_OPT_BY_FULL_NAME, IDC_OPT_CONFIRMATION,
     IDC_OPT_HIGHLIGHT_CHARS, IDC_OPT_EXPAND_DIFF, IDC_OPT_AUTO_SCROLL, IDC_OPT_HANDLE_NEW_LINE, IDC_OPT_ADJUST_VIEW,
     IDC_OPT_RESULT_VIEW, 0},
    {IDC_OPT_COLOUR_LIST, IDC_OPT_EXAMPLE_LABEL, IDC_OPT_SWATCH, IDC_OPT_CHANGE_COLOUR, IDC_OPT_EXAMPLE, 0},
    {IDC_OPT_ADVANCED_GROUP, IDC_OPT_ELEMENT_CASE, IDC_OPT_ATTRIBUTE_CASE, IDC_OPT_NON_PRINTABLE, 0},
};

const wchar_t* const kPageNames[kPages] = {
    L"   Validation", L"   Comparison", L"   Normalization", L"   Output file",
    L"   View",       L"   Colors",     L"   Advanced",
};

const wchar_t* const kPageHelpTopics[kPages] = {
    L"htm/valopt.htm", L"htm/compopt.htm", L"htm/normal.htm",   L"htm/openout.htm",
    L"htm/view.htm",   L"htm/colors.htm",  L"htm/advanced.htm",
};

// Control id and help context id pairs, ended by 0, 0.
const DWORD kContextHelpIds[] = {
    1082, 0x85F5042C, 1003, 0x008303EB, 1004, 0x008303EC, 1028, 0x00830404, 1006, 0x008303EE, 1005, 0x008303ED,
    1027, 0x00830403, 990,  0x85F50456, 991,  0x85F50457, 992,  0x85F50458, 1007, 0x008303F1, 1008, 0x008303EF,
    1009, 0x008303F0, 1010, 0x008303F2, 1012, 0x008303F4, 1011, 0x008303F3, 1037, 0x85F503E1, 1059, 0x85F503E6,
    1036, 0x85F503E0, 1029, 0x00830405, 1030, 0x00830406, 1050, 0x85F503E3, 1100, 0x85F503E4, 1101, 0x85F50405,
    1102, 0x85F50406, 1103, 0x85F50407, 1051, 0x85F50408, 1105, 0x85F5043D, 1052, 0x85F503E5, 1060, 0x85F503E7,
    1061, 0x85F503E8, 1063, 0x85F503E9, 1064, 0x85F503EA, 1065, 0x85F503EB, 1068, 0x85F50453, 1069, 0x85F50454,
    1070, 0x85F50455, 1066, 0x85F503EC, 1089, 0x85F5043C, 1067, 0x85F503ED, 1570, 0x85F50404, 1616, 0x85F50426,
    1071, 0x85F503EE, 1077, 0x85F503EF, 1569, 0x85F50400, 1606, 0x85F5041C, 1607, 0x85F5041D, 1608, 0x85F5041E,
    1609, 0x85F5041F, 1617, 0x85F50427, 1623, 0x85F50428, 1619, 0x85F50434, 1621, 0x85F5043B, 1618, 0x85F50433,
    1701, 0x85F50436, 1703, 0x85F50437, 1702, 0x85F50438, 1705, 0x85F50439, 1622, 0x85F5043E, 1091, 0x85F5042A,
    1092, 0x85F5042B, 1093, 0x85F5045A, 0,    0,
};

// In slot order: the list's index is the slot.
const wchar_t* const kColourNames[kColourSlots] = {
    L"NAME:Changed element:Background",          L"NAME:Deleted element:Background",
    L"NAME:Selected changed element:Background", L"NAME:Selected deleted element:Background",
    L"NAME:Changed element:Foregroung",          L"NAME:Deleted element:Foregroung",
    L"ATTRIBUTES:Changed attribute:Background",  L"CONTENT:Deleted text:Background",
    L"ATTRIBUTES:Changed attribute:Foregroung",  L"CONTENT:Deleted text:Foregroung",
    L"CONTENT:Deleted element:Foregroung",
};

const wchar_t* const kSchemaValidationNames[] = {L"Auto", L"Never", L"Always"};

// The encoding families, index = the EncodingSpec kind, each with the names it offers.
const wchar_t* const kAnsiNames[] = {
    L"ISO-8859-1",   L"ISO-8859-2",   L"ISO-8859-3",   L"ISO-8859-4",   L"ISO-8859-5",
    L"ISO-8859-6",   L"ISO-8859-7",   L"ISO-8859-8",   L"ISO-8859-9",   L"ISO-8859-13",
    L"ISO-8859-15",  L"Windows-1250", L"Windows-1251", L"Windows-1252", L"Windows-1253",
    L"Windows-1254", L"Windows-1255", L"Windows-1256", L"Windows-1257", L"Windows-1258",
};
const wchar_t* const kDosNames[] = {
    L"IBM437", L"IBM737", L"IBM850", L"IBM852", L"IBM858", L"IBM860", L"IBM866", L"IBM869", L"IBM1047", L"IBM1140",
};
const wchar_t* const kUtf8Names[] = {L"UTF-8"};
const wchar_t* const kUnicodeNames[] = {L"Unicode", L"UTF-16", L"UTF-16LE", L"UTF-16BE"};

struct EncodingFamily {
    const wchar_t* name;
    const wchar_t* const* names;
    int count;
};
const EncodingFamily kEncodingFamilies[] = {
    {L"Default", nullptr, 0},
    {L"ANSI", kAnsiNames, static_cast<int>(std::size(kAnsiNames))},
    {L"DOS", kDosNames, static_cast<int>(std::size(kDosNames))},
    {L"UTF-8", kUtf8Names, 1},
    {L"Unicode", kUnicodeNames, static_cast<int>(std::size(kUnicodeNames))},
};
constexpr wchar_t kNoEncoding[] = L"<none>";

// Texts of at least these many units are refused as the option's value.
constexpr size_t kPathTextLimit = 255;
constexpr size_t kEncodingNameLimit = 32;
// The number edits are read from their first eight units.
constexpr size_t kNumberTextUnits = 8;

struct ByteBox {
    int id;
    uint8_t* option;
};
const ByteBox kByteBoxes[] = {
    {IDC_OPT_DO_SCHEMA, &OptionSet::DoSchema},
    {IDC_OPT_FULL_SCHEMA, &OptionSet::SchemaFullChecking},
    {IDC_OPT_NAMESPACES, &OptionSet::DoNamespaces},
    {IDC_OPT_VALIDATION_FATAL, &OptionSet::ValidationErrorAsFatal},
    {IDC_OPT_CONTINUE_FATAL, &OptionSet::ContinueAfterFatalError},
};

struct NumberBox {
    int id;
    int32_t* option;
};
const NumberBox kNumberBoxes[] = {
    {IDC_OPT_USE_EXTERNAL_SCHEMA, &OptionSet::UseExternalSchema},
    {IDC_OPT_LOG_MESSAGES, &OptionSet::LogErrorMessages},
    {IDC_OPT_SHOW_MESSAGES, &OptionSet::ShowErrorMessages},
    {IDC_OPT_UNIQUE_ATTRIBUTES, &OptionSet::UniqueAttributes},
    {IDC_OPT_IGNORE_ATTRIBUTES, &OptionSet::IgnoreAttributes},
    {IDC_OPT_IGNORE_CONTENT, &OptionSet::IgnoreValues},
    {IDC_OPT_IGNORE_ORDER, &OptionSet::IgnoreOrderElements},
    {IDC_OPT_IGNORE_NAMESPACES, &OptionSet::IgnoreNamespaces},
    {IDC_OPT_NORMALIZE, &OptionSet::NormalizeNumber},
    {IDC_OPT_INCLUDE_IGNORED, &OptionSet::IncludeIgnoredElements},
    {IDC_OPT_PRINT_DOCTYPE, &OptionSet::PrintDoctype},
    {IDC_OPT_INSERT_PI, &OptionSet::InsertPI},
    {IDC_OPT_OPEN_AFTER_SAVE, &OptionSet::OpenAfterSave},
    {IDC_OPT_USE_ENCODING, &OptionSet::UseEncoding},
    {IDC_OPT_LOAD_SEPARATE, &OptionSet::LoadSeparate},
    {IDC_OPT_MULTILINE, &OptionSet::DisplayFullMode},
    {IDC_OPT_BY_FULL_NAME, &OptionSet::IgnoreElementsByFullName},
    {IDC_OPT_CONFIRMATION, &OptionSet::DisplayConfirmation},
    {IDC_OPT_HIGHLIGHT_CHARS, &OptionSet::HighlightChars},
    {IDC_OPT_EXPAND_DIFF, &OptionSet::ExpandDiff},
    {IDC_OPT_AUTO_SCROLL, &OptionSet::AutoScroll},
    {IDC_OPT_HANDLE_NEW_LINE, &OptionSet::HandleNewLine},
    {IDC_OPT_ADJUST_VIEW, &OptionSet::AdjustView},
    {IDC_OPT_RESULT_VIEW, &OptionSet::ResultView},
    {IDC_OPT_ELEMENT_CASE, &OptionSet::XMLElementCaseSensitive},
    {IDC_OPT_ATTRIBUTE_CASE, &OptionSet::XMLAttributeCaseSensitive},
    {IDC_OPT_NON_PRINTABLE, &OptionSet::AllowNonPrintableChars},
};

// Each enabling box and the controls that follow its state, ended by 0.
struct EnablingBox {
    int id;
    int controls[9];
};
const EnablingBox kEnablingBoxes[] = {
    {IDC_OPT_USE_EXTERNAL_SCHEMA, {IDC_OPT_EXTERNAL_SCHEMA, IDC_OPT_BROWSE_SCHEMA, 0}},
    {IDC_OPT_OPEN_AFTER_SAVE, {IDC_OPT_APPLICATION, IDC_OPT_BROWSE_APPLICATION, 0}},
    {IDC_OPT_NORMALIZE,
     {IDC_OPT_DECIMALS, IDC_OPT_DECIMALS_SPIN, IDC_OPT_FIGURES, IDC_OPT_FIGURES_SPIN, IDC_OPT_DECIMALS_LABEL,
      IDC_OPT_FIGURES_LABEL, 0}},
    {IDC_OPT_USE_ENCODING,
     {IDC_OPT_EOL_NONE, IDC_OPT_EOL_DOS, IDC_OPT_EOL_UNIX, IDC_OPT_EOL_MAC, IDC_OPT_ENCODING_FAMILY,
      IDC_OPT_ENCODING_NAME, 0}},
};

// The page shown; 0 at every opening.
int optionsPage = 0;

bool boxChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void setBox(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::wstring controlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    return text;
}

// Radios first..first+count-1: the one at index is checked, the others cleared (an
// index outside the group clears them all).
void setRadio(HWND dialog, int first, int count, int index) {
    for (int i = 0; i < count; ++i)
        setBox(dialog, first + i, i == index);
}

// The index of the first checked radio; -1 when none is.
int checkedRadio(HWND dialog, int first, int count) {
    for (int i = 0; i < count; ++i)
        if (boxChecked(dialog, first + i)) return i;
    return -1;
}

// The edit's text as a decimal number (0 when it holds none), brought into [low, high].
int32_t numberText(HWND dialog, int id, int32_t low, int32_t high) {
    std::wstring text = controlText(dialog, id);
    if (text.size() > kNumberTextUnits) text.resize(kNumberTextUnits);
    const long value = std::wcstol(text.c_str(), nullptr, 10);
    if (value < low) return low;
    if (value > high) return high;
    return static_cast<int32_t>(value);
}

void enableFollowers(HWND dialog, const EnablingBox& box) {
    const bool on = boxChecked(dialog, box.id);
    for (const int* id = box.controls; *id != 0; ++id)
        EnableWindow(GetDlgItem(dialog, *id), on);
}

void enableAllFollowers(HWND dialog) {
    for (const EnablingBox& box : kEnablingBoxes)
        enableFollowers(dialog, box);
}

void showOptionsPage(HWND dialog, int page, bool show) {
    if (page < 0 || page >= kPages) return;
    for (const int* id = kPageControls[page]; *id != 0; ++id)
        ShowWindow(GetDlgItem(dialog, *id), show ? SW_SHOW : SW_HIDE);
}

void addEncodingNames(HWND dialog, const wchar_t* const* names, int count) {
    for (int i = 0; i < count; ++i)
        SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_NAME, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i]));
}

void fillEncodingNameCombo(HWND dialog, int family, const wchar_t* name) {
    SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_NAME, CB_RESETCONTENT, 0, 0);
    if (family >= 0 && family < static_cast<int>(std::size(kEncodingFamilies)))
        addEncodingNames(dialog, kEncodingFamilies[family].names, kEncodingFamilies[family].count);
    SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_NAME, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNoEncoding));
    if (name != nullptr)
        SetDlgItemTextW(dialog, IDC_OPT_ENCODING_NAME, name);
    else
        SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_NAME, CB_SETCURSEL, 0, 0);
}

void initOptionsDialog(HWND dialog) {
    for (const wchar_t* name : kSchemaValidationNames)
        SendDlgItemMessageW(dialog, IDC_OPT_SCHEMA_VALIDATION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    for (const EncodingFamily& family : kEncodingFamilies)
        SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_FAMILY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(family.name));
    SendDlgItemMessageW(dialog, IDC_OPT_DECIMALS_SPIN, UDM_SETRANGE32, static_cast<WPARAM>(-1), 10);
    SendDlgItemMessageW(dialog, IDC_OPT_FIGURES_SPIN, UDM_SETRANGE32, 0, 10);
    for (const wchar_t* name : kPageNames)
        SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_SETCURSEL, 0, 0);
    for (const wchar_t* name : kColourNames)
        SendDlgItemMessageW(dialog, IDC_OPT_COLOUR_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageW(dialog, IDC_OPT_COLOUR_LIST, CB_SETCURSEL, 0, 0);
    for (int page = 1; page < kPages; ++page)
        showOptionsPage(dialog, page, false);
}

void fillOptionsDialog(HWND dialog) {
    for (const ByteBox& box : kByteBoxes)
        setBox(dialog, box.id, *box.option != 0);
    for (const NumberBox& box : kNumberBoxes)
        setBox(dialog, box.id, *box.option != 0);

    SetDlgItemTextW(dialog, IDC_OPT_EXTERNAL_SCHEMA, OptionSet::PathToExternalSchema.reset());
    SendDlgItemMessageW(dialog, IDC_OPT_SCHEMA_VALIDATION, CB_SETCURSEL, OptionSet::SchemaValidation, 0);

    setBox(dialog, IDC_OPT_IGNORE_WHITE_SPACE, (OptionSet::FlagComparsion & 1) != 0);
    setBox(dialog, IDC_OPT_CASE_SENSITIVE, (OptionSet::FlagComparsion & 2) == 0);
    setRadio(dialog, IDC_OPT_LEVEL_STRICT, 4, OptionSet::CompareLevel);

    SendDlgItemMessageW(dialog, IDC_OPT_DECIMALS_SPIN, UDM_SETPOS32, 0, OptionSet::DecimalPlaces);
    SendDlgItemMessageW(dialog, IDC_OPT_FIGURES_SPIN, UDM_SETPOS32, 0, OptionSet::SignificantFigures);
    setRadio(dialog, IDC_OPT_DATE_NONE, 4, getNormalizeDateMode());

    SetDlgItemTextW(dialog, IDC_OPT_APPLICATION, OptionSet::ExternalApplication);
    const EncodingSpec& encoding = OptionSet::EncodingString;
    setRadio(dialog, IDC_OPT_EOL_NONE, 4, encoding.endOfLine);
    SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_FAMILY, CB_SETCURSEL, encoding.kind, 0);

    // Names already interned keep the case rule they were interned with.
    const bool caseFree = OptionSet::documentsLoaded == nullptr || !OptionSet::documentsLoaded();
    EnableWindow(GetDlgItem(dialog, IDC_OPT_ELEMENT_CASE), caseFree);
    EnableWindow(GetDlgItem(dialog, IDC_OPT_ATTRIBUTE_CASE), caseFree);
    enableAllFollowers(dialog);
    fillEncodingNameCombo(dialog, static_cast<int>(encoding.kind), encoding.name);
}

void readOptionsDialog(HWND dialog) {
    for (const ByteBox& box : kByteBoxes)
        *box.option = boxChecked(dialog, box.id) ? 1 : 0;
    for (const NumberBox& box : kNumberBoxes)
        *box.option = boxChecked(dialog, box.id) ? 1 : 0;

    const std::wstring schema = controlText(dialog, IDC_OPT_EXTERNAL_SCHEMA);
    OptionSet::PathToExternalSchema.set(schema.size() < kPathTextLimit ? schema.c_str() : nullptr);
    const LRESULT validation = SendDlgItemMessageW(dialog, IDC_OPT_SCHEMA_VALIDATION, CB_GETCURSEL, 0, 0);
    if (validation != CB_ERR) OptionSet::SchemaValidation = static_cast<int32_t>(validation);

    uint32_t flags = 0;
    if (boxChecked(dialog, IDC_OPT_IGNORE_WHITE_SPACE)) flags |= 1;
    if (!boxChecked(dialog, IDC_OPT_CASE_SENSITIVE)) flags |= 2;
    OptionSet::FlagComparsion = flags;
    const int level = checkedRadio(dialog, IDC_OPT_LEVEL_STRICT, 4);
    if (level >= 0) OptionSet::CompareLevel = level;

    if (OptionSet::NormalizeNumber) {
        OptionSet::DecimalPlaces = numberText(dialog, IDC_OPT_DECIMALS, -1, 10);
        OptionSet::SignificantFigures = numberText(dialog, IDC_OPT_FIGURES, 0, 10);
    } else {
        OptionSet::DecimalPlaces = -1;
        OptionSet::SignificantFigures = 0;
    }
    const int dateMode = checkedRadio(dialog, IDC_OPT_DATE_NONE, 4);
    if (dateMode >= 0) setNormalizeDateMode(dateMode);

    const std::wstring application = controlText(dialog, IDC_OPT_APPLICATION);
    if (application.empty())
        std::wcscpy(OptionSet::ExternalApplication, L"default");
    else if (application.size() < kPathTextLimit)
        std::wcscpy(OptionSet::ExternalApplication, application.c_str());

    const int endOfLine = checkedRadio(dialog, IDC_OPT_EOL_NONE, 4);
    if (endOfLine >= 0) OptionSet::EncodingString.endOfLine = endOfLine;
    const std::wstring encoding = controlText(dialog, IDC_OPT_ENCODING_NAME);
    OptionSet::EncodingString.setName(!encoding.empty() && encoding.size() < kEncodingNameLimit ? encoding.c_str()
                                                                                                : kNoEncoding);
    OptionSet::LoadIgnoredAtStartUp = 0;
    applyCompareLevel();
}

void redrawColours(HWND dialog) {
    InvalidateRect(GetDlgItem(dialog, IDC_OPT_SWATCH), nullptr, TRUE);
    InvalidateRect(GetDlgItem(dialog, IDC_OPT_EXAMPLE), nullptr, TRUE);
}

int selectedColourSlot(HWND dialog) {
    const LRESULT slot = SendDlgItemMessageW(dialog, IDC_OPT_COLOUR_LIST, CB_GETCURSEL, 0, 0);
    return slot >= 0 && slot < kColourSlots ? static_cast<int>(slot) : -1;
}

// Command handlers.

void onPageChange(HWND dialog, int) {
    const LRESULT page = SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_GETCURSEL, 0, 0);
    if (page < 0 || page >= kPages) return;
    showOptionsPage(dialog, optionsPage, false);
    optionsPage = static_cast<int>(page);
    showOptionsPage(dialog, optionsPage, true);
}

void onEnablingBox(HWND dialog, int id) {
    for (const EnablingBox& box : kEnablingBoxes)
        if (box.id == id) enableFollowers(dialog, box);
    if (id == IDC_OPT_NORMALIZE && !boxChecked(dialog, IDC_OPT_NORMALIZE)) {
        SendDlgItemMessageW(dialog, IDC_OPT_DECIMALS_SPIN, UDM_SETPOS32, 0, -1);
        SendDlgItemMessageW(dialog, IDC_OPT_FIGURES_SPIN, UDM_SETPOS32, 0, 0);
    }
}

void onBrowse(HWND dialog, int id) {
    const bool schema = id == IDC_OPT_BROWSE_SCHEMA;
    const wchar_t* path = showOpenDialog(dialog, L"Browse", nullptr, schema ? nullptr : kApplicationsFilter);
    if (path != nullptr) SetDlgItemTextW(dialog, schema ? IDC_OPT_EXTERNAL_SCHEMA : IDC_OPT_APPLICATION, path);
}

void onEncodingFamily(HWND dialog, int) {
    const LRESULT family = SendDlgItemMessageW(dialog, IDC_OPT_ENCODING_FAMILY, CB_GETCURSEL, 0, 0);
    if (family != CB_ERR) fillEncodingNameCombo(dialog, static_cast<int>(family), nullptr);
}

void onColourChoice(HWND dialog, int) {
    InvalidateRect(GetDlgItem(dialog, IDC_OPT_SWATCH), nullptr, TRUE);
}

void onChangeColour(HWND dialog, int) {
    const int slot = selectedColourSlot(dialog);
    if (slot < 0) return;
    colourSet.slots[slot] = chooseColour(dialog, colourSet.slots[slot]);
    redrawColours(dialog);
}

void onDefault(HWND dialog, int) {
    if (optionsPage == kColoursPage) {
        defaultColourTable(colourSet);
        redrawColours(dialog);
        return;
    }
    resetOptions(0);
    fillOptionsDialog(dialog);
}

void onLoad(HWND dialog, int) {
    // Names already interned keep the case rule they were interned with, whatever the file says.
    const bool keepCase = OptionSet::documentsLoaded != nullptr && OptionSet::documentsLoaded();
    const int32_t elementCase = OptionSet::XMLElementCaseSensitive;
    const int32_t attributeCase = OptionSet::XMLAttributeCaseSensitive;
    const int read = loadListFile(dialog, kOptionRows, L"Load Options");
    if (keepCase) {
        OptionSet::XMLElementCaseSensitive = elementCase;
        OptionSet::XMLAttributeCaseSensitive = attributeCase;
    }
    if (read) fillOptionsDialog(dialog);
}

void onSave(HWND dialog, int) {
    readOptionsDialog(dialog);
    saveOptionsToFile(dialog);
}

void onHelpButton(HWND dialog, int) {
    showHelpTopic(dialog, kPageHelpTopics[optionsPage]);
}

void onOk(HWND dialog, int) {
    readOptionsDialog(dialog);
    saveOptionsToRegistry(0);
    EndDialog(dialog, IDOK);
}

void onCancel(HWND dialog, int) {
    EndDialog(dialog, IDCANCEL);
}

struct DialogCommand {
    int id;
    int notification;
    void (*handler)(HWND dialog, int id);
};

const DialogCommand kDialogCommands[] = {
    {IDC_OPT_PAGES, LBN_SELCHANGE, onPageChange},
    {IDC_OPT_USE_EXTERNAL_SCHEMA, BN_CLICKED, onEnablingBox},
    {IDC_OPT_OPEN_AFTER_SAVE, BN_CLICKED, onEnablingBox},
    {IDC_OPT_NORMALIZE, BN_CLICKED, onEnablingBox},
    {IDC_OPT_USE_ENCODING, BN_CLICKED, onEnablingBox},
    {IDC_OPT_BROWSE_SCHEMA, BN_CLICKED, onBrowse},
    {IDC_OPT_BROWSE_APPLICATION, BN_CLICKED, onBrowse},
    {IDC_OPT_ENCODING_FAMILY, CBN_SELCHANGE, onEncodingFamily},
    {IDC_OPT_COLOUR_LIST, CBN_SELCHANGE, onColourChoice},
    {IDC_OPT_CHANGE_COLOUR, BN_CLICKED, onChangeColour},
    {IDC_OPT_DEFAULT, BN_CLICKED, onDefault},
    {IDC_OPT_LOAD, BN_CLICKED, onLoad},
    {IDC_OPT_SAVE, BN_CLICKED, onSave},
    {IDC_OPT_HELP, BN_CLICKED, onHelpButton},
    {IDOK, BN_CLICKED, onOk},
    {IDCANCEL, BN_CLICKED, onCancel},
};

BOOL onInitDialog(HWND dialog) {
    centreDialog(dialog);
    initOptionsDialog(dialog);
    optionsPage = 0;
    fillOptionsDialog(dialog);
    return TRUE;
}

BOOL onCommand(HWND dialog, WPARAM wParam) {
    const int id = LOWORD(wParam);
    const int notification = HIWORD(wParam);
    for (const DialogCommand& command : kDialogCommands) {
        if (command.id == id && command.notification == notification) {
            command.handler(dialog, id);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CALLBACK optionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(dialog);
        case WM_COMMAND:
            return onCommand(dialog, wParam);
        case WM_DRAWITEM:
            drawColourExample(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_HELP:
            showContextHelp(reinterpret_cast<const HELPINFO*>(lParam), message, wParam, kContextHelpIds);
            return TRUE;
        case WM_CONTEXTMENU:
            showContextHelp(nullptr, message, wParam, kContextHelpIds);
            return TRUE;
        default:
            return FALSE;
    }
}

// The options whose change decides what follows OK.
struct WatchedOptions {
    // Read only while a document loads: a change needs a new parse.
    int32_t decimalPlaces, significantFigures, normalizeNumber, normalizeDate, flagNormalizeDate, handleNewLine,
        ignoreNamespaces;
    // Read by the comparison: a change needs a new comparison.
    int32_t compareLevel, ignoreAttributes, uniqueAttributes, ignoreValues, ignoreOrderElements;
    uint32_t flagComparsion;
    int32_t displayFullMode;

    static WatchedOptions now() {
        using namespace OptionSet;
        return {DecimalPlaces, SignificantFigures,  NormalizeNumber, NormalizeDate,    FlagNormalizeDate,
                HandleNewLine, IgnoreNamespaces,    CompareLevel,    IgnoreAttributes, UniqueAttributes,
                IgnoreValues,  IgnoreOrderElements, FlagComparsion,  DisplayFullMode};
    }
    bool reloadDiffers(const WatchedOptions& o) const {
        return decimalPlaces != o.decimalPlaces || significantFigures != o.significantFigures ||
               normalizeNumber != o.normalizeNumber || normalizeDate != o.normalizeDate ||
               flagNormalizeDate != o.flagNormalizeDate || handleNewLine != o.handleNewLine ||
               ignoreNamespaces != o.ignoreNamespaces;
    }
    bool compareDiffers(const WatchedOptions& o) const {
        return compareLevel != o.compareLevel || ignoreAttributes != o.ignoreAttributes ||
               uniqueAttributes != o.uniqueAttributes || ignoreValues != o.ignoreValues ||
               ignoreOrderElements != o.ignoreOrderElements || flagComparsion != o.flagComparsion;
    }
};

// Every option value as it was when the dialog opened, for Cancel.
class SavedOptions {
public:
    SavedOptions() { forEachOptionStorage(keep, &regions_); }
    void restore() const {
        for (const Region& region : regions_)
            std::memcpy(region.storage, region.bytes.data(), region.bytes.size());
    }

private:
    struct Region {
        void* storage;
        std::vector<char> bytes;
    };
    static void keep(void* storage, size_t bytes, void* context) {
        const char* begin = static_cast<const char*>(storage);
        static_cast<std::vector<Region>*>(context)->push_back({storage, std::vector<char>(begin, begin + bytes)});
    }
    std::vector<Region> regions_;
};

}  // namespace

void showOptions(HWND owner) {
    const WatchedOptions before = WatchedOptions::now();
    const SavedOptions saved;
    if (itemPainter != nullptr) captureColourTable(*itemPainter);

    if (runModalDialog(owner, IDD_OPTIONS, optionsDlgProc, 0) != IDOK) {
        // "Default", "Load" and "Save" changed the options at once; the folder that the
        // file dialogs went to is kept, like the file that "Save" wrote.
        wchar_t optionsDir[OptionSet::kPathLength];
        std::wcscpy(optionsDir, OptionSet::OptionsDir);
        saved.restore();
        std::wcscpy(OptionSet::OptionsDir, optionsDir);
        return;
    }
    if (itemPainter != nullptr) applyColourTable(*itemPainter);

    const WatchedOptions after = WatchedOptions::now();
    const bool loaded = leftTreeView.loaded || rightTreeView.loaded;
    if (loaded && before.reloadDiffers(after) && reloadAfterChange(owner, false)) return;
    // Answered No (or nothing to reload): the trees still follow the other options.
    if (before.displayFullMode != after.displayFullMode) relayoutItems();
    if (filesCompared && before.compareDiffers(after))
        filesCompared = compareFiles();
    else
        applyItemHeight();
}

void onOptions(HWND window, int) {
    showOptions(window);
}
