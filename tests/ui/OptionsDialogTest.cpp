#include "ui/dialogs/OptionsDialog.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/XMLTreeItem.h"
#include "settings/ColourSet.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/ColourChooser.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
#include "ui/ItemPainter.h"
#include "ui/Toolbars.h"
#include "ui/dialogs/OptionsDialogRes.h"

namespace {

// The pages and their controls, as the user sees them.
const std::vector<std::vector<int>> kPages = {
    {1013, 1015, 1003, 1004, 1028, 583, 1027, 1005, 990, 991, 992, 1006, 1030, 1029},
    {584, 585, 1012, 1059, 1011, 1037, 1036, 1066, 1007, 1008, 1009, 1010, 1089},
    {576, 1016, 1052, 587, 1051, 1104, 588, 1105, 1106, 1100, 1101, 1102, 1103},
    {586, 577, 578, 1067, 1570, 1616, 1060, 1061, 1062, 1622, 1606, 1607, 1608, 1609, 1063, 1064},
    {1569, 1065, 581, 1071, 1077, 1619, 1621, 1618, 1068, 1069, 1070},
    {1701, 1704, 1702, 1703, 1705},
    {1090, 1091, 1092, 1093},
};
const int kAlwaysShown[] = {1082, 1623, 1617, IDOK, IDCANCEL, 1050, 1017};

std::wstring text(HWND dialog, int id) {
    wchar_t buffer[1024] = {};
    GetDlgItemTextW(dialog, id, buffer, 1024);
    return buffer;
}

bool checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

bool enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// Chooses a page in the list as the user does.
void showPage(HWND dialog, int page) {
    SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_SETCURSEL, page, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_PAGES, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPT_PAGES)));
}

void chooseInCombo(HWND dialog, int id, int index) {
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::vector<std::wstring> comboEntries(HWND dialog, int id) {
    std::vector<std::wstring> entries;
    const auto count = static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t entry[256] = {};
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        entries.push_back(entry);
    }
    return entries;
}

// Every option value that the dialog shows, away from its reset value.
void setNonDefaults() {
    using namespace OptionSet;
    DoNamespaces = 0;
    DoSchema = 0;
    SchemaFullChecking = 1;
    ValidationErrorAsFatal = 1;
    ContinueAfterFatalError = 1;
    SchemaValidation = 2;
    UseExternalSchema = 1;
    PathToExternalSchema.set(L"C:\\schemas\\order.xsd");
    AllowNonPrintableChars = 1;
    ShowErrorMessages = 0;
    LogErrorMessages = 1;
    XMLElementCaseSensitive = 0;
    XMLAttributeCaseSensitive = 0;
    CompareLevel = 1;
    FlagComparsion = 3;
    IgnoreAttributes = 1;
    IgnoreValues = 1;
    UniqueAttributes = 1;
    IgnoreNamespaces = 1;
    IgnoreOrderElements = 0;
    setNormalizeDateMode(2);
    NormalizeNumber = 1;
    DecimalPlaces = 4;
    SignificantFigures = 6;
    HighlightChars = 1;
    UseEncoding = 1;
    EncodingString.setName(L"UTF-8");
    EncodingString.endOfLine = 2;
    PrintDoctype = 1;
    InsertPI = 1;
    IncludeIgnoredElements = 1;
    OpenAfterSave = 1;
    std::wcscpy(ExternalApplication, L"C:\\tools\\viewer.exe");
    ExpandDiff = 1;
    AutoScroll = 0;
    DisplayConfirmation = 0;
    LoadSeparate = 0;
    DisplayFullMode = 0;
    HandleNewLine = 0;
    AdjustView = 1;
    ResultView = 0;
    IgnoreElementsByFullName = 0;
    applyCompareLevel();
}

// Every option value, byte for byte.
std::vector<std::vector<char>> optionBytes() {
    std::vector<std::vector<char>> bytes;
    forEachOptionStorage(
        [](void* storage, size_t size, void* context) {
            const char* begin = static_cast<const char*>(storage);
            static_cast<std::vector<std::vector<char>>*>(context)->emplace_back(begin, begin + size);
        },
        &bytes);
    return bytes;
}

class OptionsDialogTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        start();
    }

    // Opens XML > Options... and hands the live dialog to action.
    static void runOptions(const std::function<void(HWND)>& action) {
        ModalScript script;
        script.expect(IDD_OPTIONS, action);
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPTIONS, 0);
        EXPECT_EQ(script.shown().size(), 1u);
    }

    static void clickOk(HWND dialog) { clickButton(dialog, IDOK); }
};

// The control table: each control to its option and registry value.
using OptionsControlsTest = OptionsDialogTest;

TEST_F(OptionsControlsTest, OkStoresTheBoxThatWasChangedAndWritesTheRegistryValue) {
    const struct Case {
        int id;
        int page;
        const wchar_t* value;  // its registry value
        int (*option)();
        bool exitOnly;  // written at exit only, not by OK
    } cases[] = {
        {1003, 0, L"DoSchema", [] { return int{OptionSet::DoSchema}; }, false},
        {1004, 0, L"SchemaFullChecking", [] { return int{OptionSet::SchemaFullChecking}; }, false},
        {1028, 0, L"DoNamespaces", [] { return int{OptionSet::DoNamespaces}; }, false},
        {1027, 0, L"ValidationErrorAsFatal", [] { return int{OptionSet::ValidationErrorAsFatal}; }, false},
        {1005, 0, L"ContinueAfterFatalError", [] { return int{OptionSet::ContinueAfterFatalError}; }, false},
        {990, 0, L"UseExternalSchema", [] { return OptionSet::UseExternalSchema; }, false},
        {1030, 0, L"LogErrorMessages", [] { return OptionSet::LogErrorMessages; }, false},
        {1029, 0, L"ShowErrorMessages", [] { return OptionSet::ShowErrorMessages; }, false},
        {1059, 1, L"UniqueAttributes", [] { return OptionSet::UniqueAttributes; }, false},
        {1037, 1, L"IgnoreAttributes", [] { return OptionSet::IgnoreAttributes; }, false},
        {1036, 1, L"IgnoreValues", [] { return OptionSet::IgnoreValues; }, false},
        {1066, 1, L"IgnoreOrderElements", [] { return OptionSet::IgnoreOrderElements; }, false},
        {1089, 1, L"IgnoreNamespaces", [] { return OptionSet::IgnoreNamespaces; }, false},
        {1067, 3, L"IncludeIgnoredElements", [] { return OptionSet::IncludeIgnoredElements; }, false},
        {1570, 3, L"PrintDoctype", [] { return OptionSet::PrintDoctype; }, false},
        {1616, 3, L"InsertPI", [] { return OptionSet::InsertPI; }, false},
        {1060, 3, L"OpenAfterSave", [] { return OptionSet::OpenAfterSave; }, true},
        {1622, 3, L"UseEncoding", [] { return OptionSet::UseEncoding; }, false},
        {1569, 4, L"LoadSeparate", [] { return OptionSet::LoadSeparate; }, true},
        {1065, 4, L"DisplayFullMode", [] { return OptionSet::DisplayFullMode; }, true},
        {1071, 4, L"IgnoreElementsByFullName", [] { return OptionSet::IgnoreElementsByFullName; }, true},
        {1077, 4, L"DisplayConfirmation", [] { return OptionSet::DisplayConfirmation; }, true},
        {1619, 4, L"HighlightChars", [] { return OptionSet::HighlightChars; }, false},
        {1621, 4, L"ExpandDiff", [] { return OptionSet::ExpandDiff; }, false},
        {1618, 4, L"AutoScroll", [] { return OptionSet::AutoScroll; }, false},
        {1068, 4, L"HandleNewLine", [] { return OptionSet::HandleNewLine; }, true},
        {1069, 4, L"AdjustView", [] { return OptionSet::AdjustView; }, true},
        {1070, 4, L"ResultView", [] { return OptionSet::ResultView; }, true},
        {1091, 6, L"XMLElementCaseSensitive", [] { return OptionSet::XMLElementCaseSensitive; }, false},
        {1092, 6, L"XMLAttributeCaseSensitive", [] { return OptionSet::XMLAttributeCaseSensitive; }, false},
        {1093, 6, L"AllowNonPrintableChars", [] { return OptionSet::AllowNonPrintableChars; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.value));
        setNonDefaults();
        const int before = c.option();
        runOptions([&](HWND dialog) {
            showPage(dialog, c.page);
            EXPECT_EQ(checked(dialog, c.id), before != 0);
            clickButton(dialog, c.id);
            clickOk(dialog);
        });
        EXPECT_EQ(c.option(), before ? 0 : 1);
        if (c.exitOnly) {
            EXPECT_FALSE(hasValue(c.value));
        } else {
            EXPECT_EQ(numberValue(c.value), static_cast<DWORD>(c.option()));
        }
        EXPECT_EQ(OptionSet::CompareLevel, 1) << "the other options are kept";
    }
}

TEST_F(OptionsControlsTest, OkStoresTheOtherControls) {
    const std::wstring longPath = L"C:\\" + std::wstring(240, L'p') + L"\\app.exe";  // 251 units
    const std::wstring tooLong = L"C:\\" + std::wstring(244, L'p') + L"\\app.exe";   // 255 units
    const struct Case {
        const char* what;
        int page;
        std::function<void()> preset;
        std::function<void(HWND)> change;
        std::function<void()> check;
    } cases[] = {
        {"Case sensitive cleared sets bit 1", 1, [] { OptionSet::FlagComparsion = 0; },
         [](HWND d) { clickButton(d, 1012); }, [] { EXPECT_EQ(OptionSet::FlagComparsion, 2u); }},
        {"Ignore white spaces sets bit 0; bits above 1 are dropped", 1, [] { OptionSet::FlagComparsion = 0x1C; },
         [](HWND d) { clickButton(d, 1011); }, [] { EXPECT_EQ(OptionSet::FlagComparsion, 1u); }},
        {"Normal", 1, nullptr, [](HWND d) { clickButton(d, 1009); },
         [] {
             EXPECT_EQ(OptionSet::CompareLevel, 2);
             EXPECT_EQ(OptionSet::matchSumLimit, 21u);
             EXPECT_EQ(OptionSet::matchProductLimit, 101u);
         }},
        {"no level radio checked keeps the level", 1, [] { OptionSet::CompareLevel = 7; }, nullptr,
         [] { EXPECT_EQ(OptionSet::CompareLevel, 7); }},
        {"Schema validation Never", 0, nullptr, [](HWND d) { SendDlgItemMessageW(d, 1006, CB_SETCURSEL, 1, 0); },
         [] { EXPECT_EQ(OptionSet::SchemaValidation, 1); }},
        {"the external schema", 0, nullptr, [](HWND d) { SetDlgItemTextW(d, 991, L"C:\\x\\y.xsd"); },
         [] { EXPECT_STREQ(OptionSet::PathToExternalSchema.fullPath, L"C:\\x\\y.xsd"); }},
        {"an empty schema path empties the record", 0, nullptr, [](HWND d) { SetDlgItemTextW(d, 991, L""); },
         [] { EXPECT_FALSE(OptionSet::PathToExternalSchema.isSet()); }},
        {"a schema path of 255 units empties the record", 0, nullptr,
         [&](HWND d) { SetDlgItemTextW(d, 991, tooLong.c_str()); },
         [] { EXPECT_FALSE(OptionSet::PathToExternalSchema.isSet()); }},
        {"Only Time", 2, nullptr, [](HWND d) { clickButton(d, 1103); },
         [] {
             EXPECT_EQ(getNormalizeDateMode(), 3);
             EXPECT_EQ(OptionSet::FlagNormalizeDate, 1);
         }},
        {"the application", 3, nullptr, [&](HWND d) { SetDlgItemTextW(d, 1061, longPath.c_str()); },
         [&] { EXPECT_EQ(std::wstring(OptionSet::ExternalApplication), longPath); }},
        {"an empty application is the default one", 3, nullptr, [](HWND d) { SetDlgItemTextW(d, 1061, L""); },
         [] { EXPECT_STREQ(OptionSet::ExternalApplication, L"default"); }},
        {"an application of 255 units is refused", 3, nullptr,
         [&](HWND d) { SetDlgItemTextW(d, 1061, tooLong.c_str()); },
         [] { EXPECT_STREQ(OptionSet::ExternalApplication, L"C:\\tools\\viewer.exe"); }},
        {"end of line UNIX", 3, [] { OptionSet::EncodingString.endOfLine = 1; }, [](HWND d) { clickButton(d, 1608); },
         [] { EXPECT_EQ(OptionSet::EncodingString.endOfLine, 2); }},
        {"the family DOS chooses IBM437", 3, nullptr, [](HWND d) { chooseInCombo(d, 1063, 2); },
         [] {
             EXPECT_STREQ(OptionSet::EncodingString.name, L"IBM437");
             EXPECT_EQ(OptionSet::EncodingString.kind, 2u);
         }},
        {"a typed encoding name", 3, nullptr, [](HWND d) { SetDlgItemTextW(d, 1064, L"UTF-16LE"); },
         [] {
             EXPECT_STREQ(OptionSet::EncodingString.name, L"UTF-16LE");
             EXPECT_EQ(OptionSet::EncodingString.kind, 4u);
             EXPECT_EQ(OptionSet::EncodingString.endOfLine, 2);
         }},
        {"a name of 32 units is none, end of line CR LF", 3, nullptr,
         [](HWND d) { SetDlgItemTextW(d, 1064, std::wstring(32, L'U').c_str()); },
         [] {
             EXPECT_STREQ(OptionSet::EncodingString.name, L"<none>");
             EXPECT_EQ(OptionSet::EncodingString.endOfLine, 1);
         }},
        {"an empty encoding name is none", 3, nullptr, [](HWND d) { SetDlgItemTextW(d, 1064, L""); },
         [] { EXPECT_STREQ(OptionSet::EncodingString.name, L"<none>"); }},
        {"LoadIgnoredAtStartUp goes to 0", 0, [] { OptionSet::LoadIgnoredAtStartUp = 1; }, nullptr,
         [] { EXPECT_EQ(OptionSet::LoadIgnoredAtStartUp, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setNonDefaults();
        if (c.preset) c.preset();
        runOptions([&](HWND dialog) {
            showPage(dialog, c.page);
            if (c.change) c.change(dialog);
            clickOk(dialog);
        });
        c.check();
    }
    EXPECT_EQ(numberValue(L"EndOfLine"), 2u) << "the last OK wrote the record";
    EXPECT_EQ(textValue(L"EncodingString"), L"UTF-8");
}

TEST_F(OptionsControlsTest, NumberEditsAreReadWithinTheirRanges) {
    const struct Case {
        const wchar_t* typed;
        int32_t decimalPlaces;
        int32_t significantFigures;
    } cases[] = {
        {L"3", 3, 3},   {L"10", 10, 10}, {L"99", 10, 10}, {L"-7", -1, 0},         {L"-1", -1, 0},
        {L"abc", 0, 0}, {L"", 0, 0},     {L"7x", 7, 7},   {L"123456789", 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.typed));
        setNonDefaults();
        runOptions([&](HWND dialog) {
            SetDlgItemTextW(dialog, IDC_OPT_DECIMALS, c.typed);
            SetDlgItemTextW(dialog, IDC_OPT_FIGURES, c.typed);
            clickOk(dialog);
        });
        EXPECT_EQ(OptionSet::DecimalPlaces, c.decimalPlaces);
        EXPECT_EQ(OptionSet::SignificantFigures, c.significantFigures);
        EXPECT_EQ(numberValue(L"DecimalPlaces"), static_cast<DWORD>(c.decimalPlaces));
    }
}

TEST_F(OptionsDialogTest, UntickingNormalizeShowsAndStoresTheOffValues) {
    setNonDefaults();
    runOptions([](HWND dialog) {
        EXPECT_EQ(text(dialog, IDC_OPT_DECIMALS), L"4");
        EXPECT_EQ(text(dialog, IDC_OPT_FIGURES), L"6");
        clickButton(dialog, IDC_OPT_NORMALIZE);
        EXPECT_EQ(text(dialog, IDC_OPT_DECIMALS), L"-1");
        EXPECT_EQ(text(dialog, IDC_OPT_FIGURES), L"0");
        clickOk(dialog);
    });
    EXPECT_EQ(OptionSet::NormalizeNumber, 0);
    EXPECT_EQ(OptionSet::DecimalPlaces, -1);
    EXPECT_EQ(OptionSet::SignificantFigures, 0);

    setNonDefaults();
    runOptions([](HWND dialog) { clickButton(dialog, IDC_OPT_NORMALIZE); });  // then cancelled
    EXPECT_EQ(OptionSet::NormalizeNumber, 1);
    EXPECT_EQ(OptionSet::DecimalPlaces, 4);
}

TEST_F(OptionsDialogTest, OkWithoutChangesKeepsEveryOption) {
    setNonDefaults();
    OptionSet::FlagComparsion = 3;
    const auto before = optionBytes();
    runOptions([](HWND dialog) { clickOk(dialog); });
    EXPECT_TRUE(optionBytes() == before);
    EXPECT_EQ(numberValue(L"CompareLevel"), 1u);
    EXPECT_FALSE(hasValue(L"LeftDir")) << "OK writes no folders";
    EXPECT_FALSE(hasValue(L"ApplicationVersion"));
    EXPECT_FALSE(hasValue(L"TopMainPos"));
}

TEST_F(OptionsDialogTest, CancelAfterDefaultLoadOrSaveKeepsEveryOption) {
    // Whole: the bytes after the text count in the comparison of every option.
    const auto setFolder = [](const wchar_t* folder) {
        std::memset(OptionSet::OptionsDir, 0, sizeof(OptionSet::OptionsDir));
        std::wcscpy(OptionSet::OptionsDir, folder);
    };
    const std::wstring optionFile =
        dir.write(L"load.opt", "CompareLevel=0\r\nIgnoreAttributes=0\r\nDecimalPlaces=9\r\n");
    const std::wstring savedFile = dir.file(L"saved.opt");
    const struct Case {
        const char* what;
        int button;
        std::wstring answer;  // the file dialog's answer; empty: none expected
    } cases[] = {
        {"Default", IDC_OPT_DEFAULT, L""},
        {"Load", IDC_OPT_LOAD, optionFile},
        {"Save", IDC_OPT_SAVE, savedFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setNonDefaults();
        OptionSet::LoadSeparate = 1;  // the file dialogs remember their folder
        setFolder(L"C:\\before\\");
        auto before = optionBytes();
        {
            DialogScript files;
            if (!c.answer.empty()) files.answer(c.answer);
            runOptions([&](HWND dialog) {
                clickButton(dialog, IDC_OPT_IGNORE_ATTRIBUTES);  // a change not yet applied
                clickButton(dialog, c.button);
                if (c.button != IDC_OPT_SAVE) {
                    EXPECT_EQ(OptionSet::CompareLevel, c.button == IDC_OPT_DEFAULT ? 3 : 0) << "applied at once";
                }
                clickButton(dialog, IDCANCEL);
            });
        }
        if (c.answer.empty()) {
            EXPECT_STREQ(OptionSet::OptionsDir, L"C:\\before\\");
        } else {
            EXPECT_EQ(std::wstring(OptionSet::OptionsDir), dir.path() + L"\\") << "the dialog's folder stays";
            setFolder(L"C:\\before\\");
        }
        EXPECT_TRUE(optionBytes() == before) << "every option as it was";
        EXPECT_FALSE(hasValue(L"CompareLevel")) << "nothing written to the registry";
    }
    const std::string saved = dir.read(L"saved.opt");
    EXPECT_NE(saved.find("IgnoreAttributes=0"), std::string::npos) << "the file Save wrote stays: " << saved;
}

TEST_F(OptionsDialogTest, LoadKeepsTheCaseOptionsWhileAPanelHoldsAFile) {
    const std::wstring optionFile =
        dir.write(L"case.opt", "XMLElementCaseSensitive=0\r\nXMLAttributeCaseSensitive=0\r\nIgnoreValues=1\r\n");
    for (bool fileLoaded : {false, true}) {
        SCOPED_TRACE(fileLoaded ? "a file loaded" : "no file");
        if (fileLoaded) load(leftTreeView, "<r/>", L"left.xml");
        OptionSet::XMLElementCaseSensitive = 1;
        OptionSet::XMLAttributeCaseSensitive = 1;
        OptionSet::IgnoreValues = 0;
        DialogScript files;
        files.answer(optionFile);
        runOptions([&](HWND dialog) {
            EXPECT_EQ(enabled(dialog, IDC_OPT_ELEMENT_CASE), !fileLoaded);
            EXPECT_EQ(enabled(dialog, IDC_OPT_ATTRIBUTE_CASE), !fileLoaded);
            clickButton(dialog, IDC_OPT_LOAD);
            EXPECT_EQ(checked(dialog, IDC_OPT_IGNORE_CONTENT), true) << "the dialog shows what was read";
            EXPECT_EQ(checked(dialog, IDC_OPT_ELEMENT_CASE), fileLoaded);
            clickOk(dialog);
        });
        EXPECT_EQ(OptionSet::XMLElementCaseSensitive, fileLoaded ? 1 : 0);
        EXPECT_EQ(OptionSet::XMLAttributeCaseSensitive, fileLoaded ? 1 : 0);
        EXPECT_EQ(OptionSet::IgnoreValues, 1);
        ASSERT_EQ(files.shown().size(), 1u);
        EXPECT_EQ(files.shown()[0].title, L"Load Options");
    }
}

TEST_F(OptionsDialogTest, DefaultResetsTheOptionsButTheCaseOptionsWhileAFileIsLoaded) {
    load(leftTreeView, "<r/>", L"left.xml");
    setNonDefaults();
    BoxScript boxes;
    boxes.expectCaption(L"Options were changed", IDNO);  // the number options were reset
    runOptions([](HWND dialog) {
        clickButton(dialog, IDC_OPT_DEFAULT);
        EXPECT_TRUE(checked(dialog, IDC_OPT_DO_SCHEMA));
        EXPECT_FALSE(checked(dialog, IDC_OPT_ELEMENT_CASE));
        clickOk(dialog);
    });
    EXPECT_EQ(OptionSet::CompareLevel, 3);
    EXPECT_EQ(OptionSet::DoSchema, 1);
    EXPECT_EQ(OptionSet::XMLElementCaseSensitive, 0);
    EXPECT_STREQ(OptionSet::ExternalApplication, L"default");
}

TEST_F(OptionsDialogTest, EachPageShowsOnlyItsOwnControls) {
    runOptions([](HWND dialog) {
        wchar_t caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        EXPECT_STREQ(caption, L"XML Options");
        const wchar_t* names[] = {L"   Validation", L"   Comparison", L"   Normalization", L"   Output file",
                                  L"   View",       L"   Colors",     L"   Advanced"};
        ASSERT_EQ(SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_GETCOUNT, 0, 0), 7);
        for (int page = 0; page < 7; ++page) {
            wchar_t name[64] = {};
            SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_GETTEXT, page, reinterpret_cast<LPARAM>(name));
            EXPECT_STREQ(name, names[page]);
        }
        EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_GETCURSEL, 0, 0), 0);
        for (int page : {0, 3, 5, 1, 2, 4, 6, 0}) {
            if (page != 0 || SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_GETCURSEL, 0, 0) != 0)
                showPage(dialog, page);
            for (size_t other = 0; other < kPages.size(); ++other)
                for (int id : kPages[other]) {
                    ASSERT_NE(GetDlgItem(dialog, id), nullptr) << id;
                    EXPECT_EQ(IsWindowVisible(GetDlgItem(dialog, id)) != FALSE, static_cast<int>(other) == page)
                        << "control " << id << " on page " << page;
                }
            for (int id : kAlwaysShown)
                EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, id))) << id;
        }
    });
}

TEST_F(OptionsDialogTest, EnablingBoxesGovernTheirControls) {
    const struct Case {
        int box;
        int page;
        std::vector<int> controls;
    } cases[] = {
        {990, 0, {991, 992}},
        {1060, 3, {1061, 1062}},
        {1052, 2, {1051, 1105, 587, 588}},
        {1622, 3, {1606, 1607, 1608, 1609, 1063, 1064}},
    };
    for (int32_t on : {0, 1}) {
        OptionSet::UseExternalSchema = OptionSet::OpenAfterSave = OptionSet::NormalizeNumber = OptionSet::UseEncoding =
            on;
        runOptions([&](HWND dialog) {
            for (const Case& c : cases) {
                showPage(dialog, c.page);
                for (int id : c.controls)
                    EXPECT_EQ(enabled(dialog, id), on == 1) << "opened, " << id;
                clickButton(dialog, c.box);
                for (int id : c.controls)
                    EXPECT_EQ(enabled(dialog, id), on == 0) << "after a click on " << c.box << ", " << id;
            }
        });
    }
}

TEST_F(OptionsDialogTest, EncodingFamiliesOfferTheirNames) {
    runOptions([](HWND dialog) {
        EXPECT_EQ(comboEntries(dialog, 1063),
                  (std::vector<std::wstring>{L"Default", L"ANSI", L"DOS", L"UTF-8", L"Unicode"}));
        EXPECT_EQ(comboEntries(dialog, 1006), (std::vector<std::wstring>{L"Auto", L"Never", L"Always"}));
        EXPECT_EQ(text(dialog, 1064), L"<none>");

        chooseInCombo(dialog, 1063, 2);
        EXPECT_EQ(comboEntries(dialog, 1064),
                  (std::vector<std::wstring>{L"IBM437", L"IBM737", L"IBM850", L"IBM852", L"IBM858", L"IBM860",
                                             L"IBM866", L"IBM869", L"IBM1047", L"IBM1140", L"<none>"}));
        EXPECT_EQ(text(dialog, 1064), L"IBM437");

        chooseInCombo(dialog, 1063, 1);
        const auto ansi = comboEntries(dialog, 1064);
        ASSERT_EQ(ansi.size(), 21u);
        EXPECT_EQ(ansi[10], L"ISO-8859-15");
        EXPECT_EQ(ansi[19], L"Windows-1258");

        chooseInCombo(dialog, 1063, 4);
        EXPECT_EQ(comboEntries(dialog, 1064),
                  (std::vector<std::wstring>{L"Unicode", L"UTF-16", L"UTF-16LE", L"UTF-16BE", L"<none>"}));

        chooseInCombo(dialog, 1063, 0);
        EXPECT_EQ(comboEntries(dialog, 1064), (std::vector<std::wstring>{L"<none>"}));
        EXPECT_EQ(text(dialog, 1064), L"<none>");
    });
}

TEST_F(OptionsDialogTest, BrowseButtonsFillTheirEdits) {
    OptionSet::UseExternalSchema = OptionSet::OpenAfterSave = 1;
    DialogScript files;
    files.answer(L"C:\\s\\a.xsd").answer(L"C:\\bin\\v.exe").cancel();
    runOptions([](HWND dialog) {
        clickButton(dialog, IDC_OPT_BROWSE_SCHEMA);
        EXPECT_EQ(text(dialog, IDC_OPT_EXTERNAL_SCHEMA), L"C:\\s\\a.xsd");
        showPage(dialog, 3);
        clickButton(dialog, IDC_OPT_BROWSE_APPLICATION);
        EXPECT_EQ(text(dialog, IDC_OPT_APPLICATION), L"C:\\bin\\v.exe");
        clickButton(dialog, IDC_OPT_BROWSE_APPLICATION);
        EXPECT_EQ(text(dialog, IDC_OPT_APPLICATION), L"C:\\bin\\v.exe") << "cancelled";
    });
    ASSERT_EQ(files.shown().size(), 3u);
    EXPECT_EQ(files.shown()[0].title, L"Browse");
    EXPECT_FALSE(files.shown()[0].save);
}

// After OK: what the change asks for, on trees whose element "e" takes two lines in
// multiline mode. The files are rewritten after the load, so a reload shows: "a" becomes "b".
using OptionsAfterOkTest = OptionsDialogTest;

int itemLines(const XMLTreeItem* element) {
    TVITEMEXW item{};
    item.mask = TVIF_HANDLE | TVIF_INTEGRAL;
    item.hItem = element->treeItem;
    SendMessageW(element->treeView, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iIntegral;
}

TEST_F(OptionsAfterOkTest, ReloadsComparesOrRepaintsAsTheChangeNeeds) {
    enum Change {
        kNothing = 0,
        kDecimals = 1,
        kFigures = 2,
        kLevel = 4,
        kOrder = 8,
        kMultiline = 16,
        kHandleNewLine = 32
    };
    const struct Case {
        const char* what;
        int files;  // 0 none, 1 left only, 2 both
        bool compared;
        int change;
        int answer;  // 0: no question expected
        bool reloaded, comparedAgain, relaidOut;
    } cases[] = {
        {"nothing changed", 2, true, kNothing, 0, false, false, false},
        {"the level compares again at once", 2, true, kLevel, 0, false, true, false},
        {"the order of elements compares again", 2, true, kOrder, 0, false, true, false},
        {"the level without a comparison repaints", 2, false, kLevel, 0, false, false, false},
        {"decimal places, Yes", 2, true, kDecimals, IDYES, true, true, false},
        {"decimal places, No", 2, true, kDecimals, IDNO, false, false, false},
        {"significant figures ask too", 2, true, kFigures, IDNO, false, false, false},
        {"new lines, Yes, one file", 1, false, kHandleNewLine, IDYES, true, false, false},
        {"decimal places without a file ask nothing", 0, false, kDecimals, 0, false, false, false},
        {"multiline mode lays out again", 2, true, kMultiline, 0, false, false, true},
        {"multiline and decimals, No: laid out all the same", 2, true, kMultiline | kDecimals, IDNO, false, false,
         true},
        {"level and decimals, No: compared all the same", 2, true, kLevel | kDecimals, IDNO, false, true, false},
        {"multiline and decimals, Yes: the reload lays out", 2, true, kMultiline | kDecimals, IDYES, true, true, true},
    };
    const std::string xml = "<r><e long=\"" + std::string(80, 'x') + "\"/><a/></r>";
    const std::string reloadedXml = "<r><e long=\"" + std::string(80, 'x') + "\"/><b/></r>";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearPanel(leftTreeView.tree, true);
        clearPanel(rightTreeView.tree, true);
        leftTreeView.loaded = rightTreeView.loaded = 0;
        filesCompared = 0;
        resetOptions(0);
        OptionSet::ResultView = 0;
        OptionSet::CompareLevel = 1;
        OptionSet::NormalizeNumber = 1;
        OptionSet::DecimalPlaces = 4;
        OptionSet::SignificantFigures = 6;
        OptionSet::IgnoreOrderElements = 0;
        OptionSet::DisplayFullMode = 1;
        OptionSet::HandleNewLine = 1;
        SendMessageW(autoCompareBox, BM_SETCHECK, c.compared ? BST_CHECKED : BST_UNCHECKED, 0);
        std::vector<std::wstring> paths;
        if (c.files >= 1) paths.push_back(load(leftTreeView, xml, L"left.xml"));
        if (c.files >= 2) paths.push_back(load(rightTreeView, xml, L"right.xml"));
        ASSERT_EQ(filesCompared, c.compared ? 1 : 0);
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_CHECKED, 0);
        for (const std::wstring& path : paths)
            dir.write(path.substr(path.rfind(L'\\') + 1), reloadedXml);
        if (c.files) {
            ASSERT_NE(elementNamed(leftTreeView, L"e"), nullptr);
        }
        const int linesBefore = c.files ? itemLines(elementNamed(leftTreeView, L"e")) : 0;
        if (c.files) {
            ASSERT_GT(linesBefore, 1);
        }
        comparisonSummary[0] = 0;
        {
            BoxScript boxes;
            if (c.answer != 0)
                boxes.expect(
                    L"These changes will take effect only after reloading files\n\nDo you want to reload file(s)?",
                    L"Options were changed", c.answer);
            runOptions([&](HWND dialog) {
                showPage(dialog, 1);
                if (c.change & kLevel) clickButton(dialog, IDC_OPT_LEVEL_FULL);
                if (c.change & kOrder) clickButton(dialog, IDC_OPT_IGNORE_ORDER);
                showPage(dialog, 2);
                if (c.change & kDecimals) SetDlgItemTextW(dialog, IDC_OPT_DECIMALS, L"7");
                if (c.change & kFigures) SetDlgItemTextW(dialog, IDC_OPT_FIGURES, L"2");
                showPage(dialog, 4);
                if (c.change & kMultiline) clickButton(dialog, IDC_OPT_MULTILINE);
                if (c.change & kHandleNewLine) clickButton(dialog, IDC_OPT_HANDLE_NEW_LINE);
                clickOk(dialog);
            });
            EXPECT_EQ(boxes.shown().size(), c.answer != 0 ? 1u : 0u);
        }
        if (c.files == 0) continue;
        EXPECT_EQ(elementNamed(leftTreeView, L"b") != nullptr, c.reloaded);
        EXPECT_EQ(comparisonSummary[0] != 0, c.comparedAgain) << "a comparison ran";
        EXPECT_EQ(filesCompared, c.comparedAgain || (c.compared && !c.reloaded) ? 1 : 0);
        ASSERT_NE(elementNamed(leftTreeView, L"e"), nullptr);
        EXPECT_EQ(itemLines(elementNamed(leftTreeView, L"e")), c.relaidOut ? 1 : linesBefore);
    }
}

// The colours: a painter colour that the tests can read back.
COLORREF painterSlot0() {
    ColourSet colours{};
    captureColourTable(*itemPainter, colours);
    return colours.slots[0];
}

using OptionsColoursTest = OptionsDialogTest;

TEST_F(OptionsColoursTest, ChangeReachesThePainterOnlyOnOk) {
    ASSERT_NE(itemPainter, nullptr);
    const COLORREF original = painterSlot0();
    const COLORREF chosen = RGB(1, 2, 3);
    for (int button : {IDCANCEL, IDOK}) {
        ColourScript colours;
        colours.answer(chosen);
        runOptions([&](HWND dialog) {
            showPage(dialog, 5);
            clickButton(dialog, IDC_OPT_CHANGE_COLOUR);
            EXPECT_EQ(colourSet.slots[0], chosen);
            EXPECT_EQ(painterSlot0(), original) << "not while the dialog is up";
            clickButton(dialog, button);
        });
        ASSERT_EQ(colours.shown().size(), 1u);
        EXPECT_EQ(colours.shown()[0].initial, original);
        EXPECT_EQ(colours.shown()[0].flags & (CC_RGBINIT | CC_FULLOPEN), static_cast<DWORD>(CC_RGBINIT | CC_FULLOPEN));
        EXPECT_EQ(colours.shown()[0].customColours, customColours);
        EXPECT_EQ(painterSlot0(), button == IDOK ? chosen : original);
    }
    // A cancelled chooser keeps the colour.
    ColourScript colours;
    colours.cancel();
    runOptions([&](HWND dialog) {
        showPage(dialog, 5);
        clickButton(dialog, IDC_OPT_CHANGE_COLOUR);
        EXPECT_EQ(colourSet.slots[0], chosen);
    });
}

TEST_F(OptionsColoursTest, DefaultOnTheColorsPageThenCancelLeavesTheTreeColours) {
    ColourSet odd{};
    for (int slot = 0; slot < kColourSlots; ++slot)
        odd.slots[slot] = RGB(slot, 9, 9);
    applyColourTable(*itemPainter, odd);
    ColourSet defaults{};
    defaultColourTable(defaults);
    EXPECT_EQ(defaults.slots[0], RGB(210, 255, 210));
    EXPECT_EQ(defaults.slots[10], RGB(127, 0, 0));
    setNonDefaults();
    runOptions([&](HWND dialog) {
        showPage(dialog, 5);
        EXPECT_EQ(colourSet.slots[4], RGB(4, 9, 9)) << "the dialog starts from the painter's colours";
        clickButton(dialog, IDC_OPT_DEFAULT);
        EXPECT_EQ(std::memcmp(colourSet.slots, defaults.slots, sizeof(defaults.slots)), 0);
        EXPECT_EQ(OptionSet::CompareLevel, 1) << "the options are not reset on the Colors page";
        clickButton(dialog, IDCANCEL);
    });
    ColourSet now{};
    captureColourTable(*itemPainter, now);
    EXPECT_EQ(std::memcmp(now.slots, odd.slots, sizeof(odd.slots)), 0);
}

TEST_F(OptionsColoursTest, SwatchAndExampleAreDrawnInTheColoursBeingEdited) {
    runOptions([](HWND dialog) {
        showPage(dialog, 5);
        for (int slot = 0; slot < kColourSlots; ++slot)
            colourSet.slots[slot] = RGB(20 + slot * 20, 40, 200 - slot * 10);

        Canvas swatch(46, 22);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_STATIC;
        item.hDC = swatch.dc();
        item.rcItem = {0, 0, 46, 22};
        item.hwndItem = GetDlgItem(dialog, IDC_OPT_SWATCH);
        for (int slot : {0, 3, 10}) {
            chooseInCombo(dialog, IDC_OPT_COLOUR_LIST, slot);
            swatch.clear();
            item.CtlID = IDC_OPT_SWATCH;
            drawColourExample(dialog, item);
            EXPECT_EQ(swatch.pixel(23, 11), colourSet.slots[slot]) << "the swatch follows the list, slot " << slot;
            EXPECT_EQ(swatch.pixel(2, 11), GetSysColor(COLOR_BTNFACE)) << "inside the frame, outside the colour";
        }

        Canvas example(460, 200);
        item.CtlID = IDC_OPT_EXAMPLE;
        item.hDC = example.dc();
        item.rcItem = {0, 0, 460, 200};
        item.hwndItem = GetDlgItem(dialog, IDC_OPT_EXAMPLE);
        drawColourExample(dialog, item);
        const RECT all{0, 0, 460, 200};
        // Box fills and text backgrounds are areas of their own colour.
        for (int slot : {0, 1, 2, 3, 6, 7})
            EXPECT_GT(example.count(colourSet.slots[slot], all), 40) << "slot " << slot;
        for (int slot : {4, 5, 8, 9, 10})
            EXPECT_GT(example.count(colourSet.slots[slot], all), 0) << "text in slot " << slot;
        // Rows go down the example in order: changed above deleted above selected changed.
        EXPECT_LT(example.columns(colourSet.slots[0], 0, 60).first, 20);
        const auto rowOf = [&](COLORREF colour) {
            for (int y = 0; y < 200; ++y)
                if (example.columns(colour, y, y + 1).first >= 0) return y;
            return -1;
        };
        EXPECT_LT(rowOf(colourSet.slots[0]), rowOf(colourSet.slots[1]));
        EXPECT_LT(rowOf(colourSet.slots[1]), rowOf(colourSet.slots[2]));
        EXPECT_LT(rowOf(colourSet.slots[2]), rowOf(colourSet.slots[3]));
    });
}

TEST_F(OptionsDialogTest, HelpAndContextHelpDoNotEndTheDialog) {
    runOptions([](HWND dialog) {
        clickButton(dialog, IDC_OPT_HELP);
        SendMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_OPT_DO_SCHEMA)), 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        clickOk(dialog);
    });
}

}  // namespace
