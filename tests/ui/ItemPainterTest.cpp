#include "ui/ItemPainter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/ColourSet.h"
#include "settings/OptionSet.h"
#include "settings/Registry.h"
#include "tests/support/TestSupport.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

// A canvas as large as a tree's client area, standing in for the tree's device context.
class TreeCanvas : public Canvas {
public:
    explicit TreeCanvas(HWND tree) : Canvas(clientWidth(tree), clientHeight(tree), GetSysColor(COLOR_WINDOW)) {}

private:
    static int clientWidth(HWND tree) {
        RECT client{};
        GetClientRect(tree, &client);
        return client.right;
    }
    static int clientHeight(HWND tree) {
        RECT client{};
        GetClientRect(tree, &client);
        return client.bottom;
    }
};

constexpr COLORREF kChangedHeader = RGB(210, 255, 210);
constexpr COLORREF kUnpairedHeader = RGB(255, 210, 210);
constexpr COLORREF kChangedRunBackground = RGB(230, 255, 230);
constexpr COLORREF kDifferingRunBackground = RGB(255, 230, 230);
constexpr COLORREF kChangedRunText = RGB(0, 127, 0);
constexpr COLORREF kDifferingRunText = RGB(200, 0, 0);

const char kLeftXml[] = "<root><same k=\"v\">text</same><changed x=\"1\" y=\"2\">hello world</changed><gone/></root>";
const char kRightXml[] = "<root><same k=\"v\">text</same><changed x=\"1\" y=\"3\">hello there</changed><added/></root>";

class ItemPainterTest : public ::testing::Test {
protected:
    OptionsSnapshot options;
    TempDir dir;
    TestPanels panels;
    std::wstring key;

    void SetUp() override {
        static int counter = 0;
        key = L"Software\\VerdaltTests\\painter-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter);
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        setProgramKeyPath(key.c_str());
        OptionSet::DisplayFullMode = 1;
        OptionSet::HandleNewLine = 1;
        OptionSet::AdjustView = 0;
        OptionSet::HighlightChars = 0;
        OptionSet::ViewMode = IDM_VIEW_NORMAL;
        filesCompared = 0;
        currentElement = currentPartner = nullptr;
    }
    void TearDown() override {
        destroyItemPainter();
        filesCompared = 0;
        currentElement = currentPartner = nullptr;
        for (XMLTreeView* panel : {&leftTreeView, &rightTreeView})
            panel->relayoutPending = panel->hasTallItems = 0;
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VerdaltTests");
        setProgramKeyPath(nullptr);
    }

    static void expandAll(const XMLTreeView& panel) {
        for (XMLTreeItem* record : recordsInOrder(panel))
            if (record->childCount > 0) ElementStore::expand(panel.tree, record->treeItem, TVE_EXPAND);
    }
    void load(const std::string& left, const std::string& right) {
        ASSERT_EQ(loadXml(leftTreeView, left, dir, L"left.xml"), kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, right, dir, L"right.xml"), kLoaded);
        expandAll(leftTreeView);
        expandAll(rightTreeView);
    }
    void compare() {
        compareTrees(recordsInOrder(leftTreeView).front(), recordsInOrder(rightTreeView).front());
        filesCompared = 1;
    }
    static XMLTreeItem* find(const XMLTreeView& panel, const wchar_t* name) {
        XMLTreeItem* record = elementNamed(panel, name);
        if (record == nullptr) ADD_FAILURE() << "no element " << narrow(name);
        return record;
    }

    // Paints the record's item as the tree's post-paint notification would; returns
    // the item's text rectangle.
    static RECT paint(Canvas& canvas, XMLTreeItem* record, UINT state = 0) { return paint(canvas.dc(), record, state); }
    static RECT paint(HDC dc, XMLTreeItem* record, UINT state = 0) {
        RECT text{};
        if (record == nullptr) return text;
        HWND tree = record->treeView;
        EXPECT_TRUE(TreeView_GetItemRect(tree, record->treeItem, &text, TRUE)) << narrow(record->nameText());
        NMTVCUSTOMDRAW draw{};
        draw.nmcd.hdr.hwndFrom = tree;
        draw.nmcd.hdr.code = NM_CUSTOMDRAW;
        draw.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
        draw.nmcd.hdc = dc;
        TreeView_GetItemRect(tree, record->treeItem, &draw.nmcd.rc, FALSE);
        draw.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(record->treeItem);
        draw.nmcd.uItemState = state;
        draw.nmcd.lItemlParam = reinterpret_cast<LPARAM>(record);
        itemPainter->drawItem(&draw);
        GdiFlush();
        return text;
    }

    int lineHeight() const { return static_cast<int>(SendMessageW(leftTreeView.tree, TVM_GETITEMHEIGHT, 0, 0)); }
};

// The name box: inside its frame, left of the name, the box colour; the name in its colour.
struct NameBox {
    COLORREF fill;
    int nameInk;
};
NameBox nameBox(Canvas& canvas, const RECT& text, int lineHeight, const XMLTreeItem& record, COLORREF nameColour) {
    HGDIOBJ old = SelectObject(canvas.dc(), itemPainter->boldFont);
    SIZE size{};
    GetTextExtentPoint32W(canvas.dc(), record.nameText(), static_cast<int>(std::wcslen(record.nameText())), &size);
    SelectObject(canvas.dc(), old);
    RECT name{text.left + 7, text.top + 2, text.left + 7 + size.cx, text.top + lineHeight - 2};
    return {canvas.pixel(text.left + 4, text.top + lineHeight / 2), canvas.count(nameColour, name)};
}

TEST_F(ItemPainterTest, NameBoxesTakeTheColourOfTheirState) {
    load(kLeftXml, kRightXml);
    compare();
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    enum Selection { kNone, kSelected, kPartnerOfSelected };
    struct Case {
        const char* label;
        XMLTreeView* panel;
        const wchar_t* name;
        uint8_t ignoreState;
        Selection selection;
        int compared;
        COLORREF fill;
        COLORREF nameColour;
    };
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF windowText = GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    const Case cases[] = {
        {"same", &leftTreeView, L"same", 0, kNone, 1, face, windowText},
        {"changed", &leftTreeView, L"changed", 0, kNone, 1, kChangedHeader, RGB(0, 66, 0)},
        {"deleted", &leftTreeView, L"gone", 0, kNone, 1, kUnpairedHeader, RGB(99, 0, 0)},
        {"added", &rightTreeView, L"added", 0, kNone, 1, kUnpairedHeader, RGB(99, 0, 0)},
        {"ignored, odd state", &leftTreeView, L"changed", 3, kNone, 1, window, RGB(0, 0, 127)},
        {"ignored, even state", &leftTreeView, L"changed", 4, kNone, 1, window, RGB(66, 66, 66)},
        {"selected, same", &leftTreeView, L"same", 0, kSelected, 1, highlight, highlightText},
        {"selected, changed", &leftTreeView, L"changed", 0, kSelected, 1, RGB(0, 127, 0), highlightText},
        {"selected, deleted", &leftTreeView, L"gone", 0, kSelected, 1, RGB(160, 0, 0), highlightText},
        {"partner of the selection", &rightTreeView, L"changed", 0, kPartnerOfSelected, 1, RGB(0, 127, 0),
         highlightText},
        {"selected, ignored", &leftTreeView, L"changed", 1, kSelected, 1, highlight, highlightText},
        {"not compared", &leftTreeView, L"changed", 0, kNone, 0, face, windowText},
    };
    TreeCanvas canvas(leftTreeView.tree);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        XMLTreeItem* record = find(*c.panel, c.name);
        ASSERT_NE(record, nullptr);
        const uint8_t ignoreState = record->ignoreState;
        record->ignoreState = c.ignoreState;
        filesCompared = c.compared;
        currentElement = c.selection == kSelected ? record : nullptr;
        currentPartner = c.selection == kPartnerOfSelected ? record : nullptr;
        canvas.clear();
        const RECT text = paint(canvas, record);
        record->ignoreState = ignoreState;
        const NameBox box = nameBox(canvas, text, lineHeight(), *record, c.nameColour);
        EXPECT_EQ(box.fill, c.fill);
        EXPECT_GT(box.nameInk, 3);
    }
}

// The changed value of an attribute and the changed word of the text are highlighted
// alone, in the changed and the differing run colours, the attribute box first.
TEST_F(ItemPainterTest, DifferingPartsAreHighlightedInRuns) {
    load(kLeftXml, kRightXml);
    compare();
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    TreeCanvas canvas(leftTreeView.tree);
    const RECT text = paint(canvas, find(leftTreeView, L"changed"));
    const int top = text.top;
    const int bottom = text.top + lineHeight();

    const auto value = canvas.columns(kChangedRunBackground, top, bottom);
    const auto word = canvas.columns(kDifferingRunBackground, top, bottom);
    ASSERT_GE(value.first, 0) << "no changed-value run";
    ASSERT_GE(word.first, 0) << "no differing-word run";
    EXPECT_LT(value.second, word.first);

    auto widthIn = [&](HFONT font, const wchar_t* s) {
        HGDIOBJ old = SelectObject(canvas.dc(), font);
        SIZE size{};
        GetTextExtentPoint32W(canvas.dc(), s, static_cast<int>(std::wcslen(s)), &size);
        SelectObject(canvas.dc(), old);
        return static_cast<int>(size.cx);
    };
    // Attribute text is drawn in the bold font, the element text in the tree's.
    EXPECT_NEAR(value.second - value.first + 1, widthIn(itemPainter->boldFont, L"2"), 2);
    EXPECT_NEAR(word.second - word.first + 1, widthIn(itemPainter->font, L"world"), 2);

    const auto valueInk = canvas.columns(kChangedRunText, top, bottom);
    const auto wordInk = canvas.columns(kDifferingRunText, top, bottom);
    EXPECT_GE(valueInk.first, value.first);
    EXPECT_LE(valueInk.second, value.second);
    EXPECT_GE(wordInk.first, word.first);
    EXPECT_LE(wordInk.second, word.second + 1);  // the last glyph may overhang by a pixel
}

// A paragraph whose inline element stands a word away from its partner's: its row reads
// as the runs joined, as before, and the word before the element's place is highlighted.
TEST_F(ItemPainterTest, ARunMovedAroundAnInlineElementIsHighlightedInTheRow) {
    const struct {
        const char* left;
        const char* right;
        const char* row;          // the left row
        const char* highlighted;  // what of it is highlighted
    } cases[] = {
        {"<p>the <b>module</b> is here</p>", "<p>the is here <b>module</b></p>", "the is here", "the"},
        // A word and a child that changed places, which the words alone match alike.
        {"<p>keep <i>this</i> text</p>", "<p><i>this</i> keep text</p>", "keep text", "keep"},
        {"<p><i>this</i> keep text</p>", "<p>keep <i>this</i> text</p>", "keep text", "keep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left);
        load(std::string("<root>") + c.left + "</root>", std::string("<root>") + c.right + "</root>");
        compare();
        ASSERT_TRUE(createItemPainter(leftTreeView.tree));
        XMLTreeItem* paragraph = find(leftTreeView, L"p");
        ASSERT_NE(paragraph, nullptr);
        ASSERT_TRUE(paragraph->textDiffers());
        TreeCanvas canvas(leftTreeView.tree);
        std::vector<PaintedPiece> pieces;
        itemPainter->paintedPieces = &pieces;
        const RECT text = paint(canvas, paragraph);
        itemPainter->paintedPieces = nullptr;

        // The row's units: the pieces of the text without what the row leaves out.
        std::unique_ptr<bool[]> hidden(new bool[paragraph->textLength]);
        findHiddenUnits(paragraph->text, paragraph->textLength, hidden.get());
        std::wstring row;
        std::wstring highlighted;
        for (const PaintedPiece& piece : pieces) {
            if (piece.text < paragraph->text || piece.text >= paragraph->text + paragraph->textLength) continue;
            for (int i = 0; i < piece.length; ++i) {
                const size_t at = static_cast<size_t>(piece.text - paragraph->text) + i;
                if (hidden[at]) continue;
                row += piece.text[i];
                if (piece.runStyle == kRunDiffers) highlighted += piece.text[i];
            }
        }
        EXPECT_EQ(narrow(row), c.row);
        EXPECT_EQ(narrow(highlighted), c.highlighted);
        const auto word = canvas.columns(kDifferingRunBackground, text.top, text.top + lineHeight());
        ASSERT_GE(word.first, 0) << "no differing-word run";
        SIZE size{};
        HGDIOBJ old = SelectObject(canvas.dc(), itemPainter->font);
        const std::wstring wide(c.highlighted, c.highlighted + std::strlen(c.highlighted));
        GetTextExtentPoint32W(canvas.dc(), wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(canvas.dc(), old);
        EXPECT_NEAR(word.second - word.first + 1, size.cx, 2);
        destroyItemPainter();
    }
}

// Colours stored in the registry are painted; one of the wrong type is passed over;
// at release all eleven go back, with what the colour set changed in between.
TEST_F(ItemPainterTest, ColoursComeFromTheRegistryAndGoBackAtRelease) {
    const std::wstring colours = key + L"\\Colors";
    const DWORD header = RGB(12, 34, 56);
    const DWORD runText = RGB(1, 99, 1);
    const wchar_t text[] = L"7";
    RegSetKeyValueW(HKEY_CURRENT_USER, colours.c_str(), L"Header_1", REG_DWORD, &header, sizeof(header));
    RegSetKeyValueW(HKEY_CURRENT_USER, colours.c_str(), L"Text_1", REG_DWORD, &runText, sizeof(runText));
    RegSetKeyValueW(HKEY_CURRENT_USER, colours.c_str(), L"Bk_1", REG_SZ, text, sizeof(text));

    load(kLeftXml, kRightXml);
    compare();
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    TreeCanvas canvas(leftTreeView.tree);
    XMLTreeItem* changed = find(leftTreeView, L"changed");
    RECT item = paint(canvas, changed);
    const int top = item.top;
    const int bottom = item.top + lineHeight();
    EXPECT_EQ(nameBox(canvas, item, lineHeight(), *changed, RGB(0, 66, 0)).fill, header);
    const auto value = canvas.columns(kChangedRunBackground, top, bottom);
    EXPECT_GE(value.first, 0) << "the default run background stays";
    EXPECT_GE(canvas.columns(runText, top, bottom).first, value.first);

    // The Options dialog's road: the colours out to the set, one changed, applied back.
    ColourSet set{};
    captureColourTable(*itemPainter, set);
    EXPECT_EQ(set.slots[kChangedHeaderSlot], header);
    set.slots[kChangedHeaderSlot] = RGB(90, 10, 10);
    applyColourTable(*itemPainter, set);
    canvas.clear();
    item = paint(canvas, changed);
    EXPECT_EQ(nameBox(canvas, item, lineHeight(), *changed, RGB(0, 66, 0)).fill, RGB(90, 10, 10));

    destroyItemPainter();
    struct Stored {
        const wchar_t* name;
        COLORREF value;
    } expected[] = {
        {L"Header_1", RGB(90, 10, 10)}, {L"Header_2", RGB(255, 210, 210)},   {L"Header_4", RGB(0, 127, 0)},
        {L"Header_5", RGB(160, 0, 0)},  {L"HeaderText_1", RGB(0, 66, 0)},    {L"HeaderText_2", RGB(99, 0, 0)},
        {L"Bk_1", RGB(230, 255, 230)},  {L"Bk_2", RGB(255, 230, 230)},       {L"Text_1", runText},
        {L"Text_2", RGB(200, 0, 0)},    {L"DeletedElement", RGB(127, 0, 0)},
    };
    for (const Stored& s : expected) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, colours.c_str(), s.name, RRF_RT_REG_DWORD, nullptr, &value, &size),
                  ERROR_SUCCESS)
            << narrow(s.name);
        EXPECT_EQ(value, s.value) << narrow(s.name);
    }
}

// Long tokens are cut into pieces and then into characters, however narrow the box:
// the wrap ends, and in a box of normal width stays inside its frame.
TEST_F(ItemPainterTest, WrappingLongTokensEndsAndStaysInTheBox) {
    const std::string letters(600, 'x');
    const std::string dashes(600, '-');
    load("<root><letters>" + letters + " end</letters><dashes>" + dashes + " end</dashes><w>" + std::string(80, 'W') +
             "</w></root>",
         "<root/>");
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    const int normalWidth = itemPainter->boxWidth;
    struct Case {
        const wchar_t* name;
        int boxWidth;
        bool staysInFrame;
    } cases[] = {
        {L"letters", normalWidth, true},
        {L"dashes", normalWidth, true},
        {L"letters", 12, false},
        {L"dashes", 3, false},
        {L"w", 1, false},
    };
    TreeCanvas canvas(leftTreeView.tree);
    const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.name) + " in " + std::to_string(c.boxWidth) + " pixels");
        XMLTreeItem* record = find(leftTreeView, c.name);
        ASSERT_NE(record, nullptr);
        ASSERT_GT(record->textLines, 1);
        itemPainter->boxWidth = c.boxWidth;
        canvas.clear();
        const RECT text = paint(canvas, record);
        itemPainter->boxWidth = normalWidth;

        // Ink on the text lines below the name line: on all of them in a narrow box, where
        // each line takes what fits and the last the rest; never past the frame in a box
        // of normal width.
        const int lines = record->textLines;
        int inked = 0;
        for (int line = 1; line <= lines; ++line) {
            const int top = text.top + line * lineHeight();
            const auto columns = canvas.columns(ink, top, top + lineHeight());
            if (columns.first >= 0) ++inked;
            if (c.staysInFrame) {
                EXPECT_LT(columns.second, text.left + 1 + c.boxWidth + 6) << "line " << line;
            }
        }
        if (c.staysInFrame) {
            EXPECT_GE(inked, 3);
        } else {
            EXPECT_EQ(inked, lines);
        }
    }
}

// A canvas of the screen's kind, as the tree's own device context is: Wine draws text on
// it through the display driver, which may space glyphs wider than the text extent says
// (on a DIB section Wine's own engine draws, and keeps to the extent).
class ScreenCanvas {
public:
    ScreenCanvas(int width, int height) : width_(width), height_(height) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bitmap_);
        clear();
    }
    ~ScreenCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    ScreenCanvas(const ScreenCanvas&) = delete;
    ScreenCanvas& operator=(const ScreenCanvas&) = delete;

    HDC dc() const { return dc_; }
    void clear() {
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, GetSysColorBrush(COLOR_WINDOW));
    }
    // Takes the pixels from the bitmap, which must not be selected while they are read.
    void read() {
        GdiFlush();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        pixels_.assign(static_cast<size_t>(width_) * height_, 0);
        HGDIOBJ font = GetCurrentObject(dc_, OBJ_FONT);
        SelectObject(dc_, old_);
        GetDIBits(dc_, bitmap_, 0, height_, pixels_.data(), &info, DIB_RGB_COLORS);
        SelectObject(dc_, bitmap_);
        SelectObject(dc_, font);
    }
    COLORREF pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const uint32_t p = pixels_[static_cast<size_t>(y) * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    std::vector<uint32_t> pixels_;
};

// A text's lines read back from what the painter drew of it: the pieces it recorded
// (which units, where) and the pixels. Each piece must start where the text before it on
// its line ends, and between two words there must be a column without ink, the
// separator's, so that no word touches the next however the platform spaces glyphs.
// Returns the lines, each as the stretch of text from its first drawn unit to its last.
// shown is the text as the tree should show it, unit for unit (the record's own by default).
std::vector<std::wstring> readBack(const ScreenCanvas& canvas,
                                   const ItemPainter& painter,
                                   const XMLTreeItem& record,
                                   std::vector<PaintedPiece> pieces,
                                   const std::wstring* shown = nullptr) {
    const std::wstring text = shown != nullptr ? *shown : std::wstring(record.text, record.textLength);
    EXPECT_EQ(text.size(), record.textLength);
    // Only the pieces of the element text: the name and the attribute text are drawn too.
    pieces.erase(std::remove_if(pieces.begin(), pieces.end(),
                                [&](const PaintedPiece& p) {
                                    return p.text < record.text || p.text >= record.text + record.textLength;
                                }),
                 pieces.end());
    std::sort(pieces.begin(), pieces.end(),
              [](const PaintedPiece& a, const PaintedPiece& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    HDC dc = canvas.dc();
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    auto width = [&](int from, int to) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str() + from, to - from, &size);
        return static_cast<int>(size.cx);
    };
    auto isInk = [&](COLORREF colour) {
        for (COLORREF background : painter.runBackground)
            if (colour == background) return false;
        return true;
    };
    std::vector<std::wstring> lines;
    std::vector<int> drawn(text.size(), 0);
    for (size_t i = 0; i < pieces.size();) {
        const PaintedPiece& first = pieces[i];
        const int lineStart = static_cast<int>(first.text - record.text);
        EXPECT_EQ(first.x, pieces.front().x) << "every line starts at the box's left";
        size_t j = i;
        for (; j < pieces.size() && pieces[j].y == first.y; ++j) {
            const PaintedPiece& p = pieces[j];
            const int from = static_cast<int>(p.text - record.text);
            EXPECT_NEAR(p.x - first.x, width(lineStart, from), 1)
                << "\"" << narrow(text.substr(from, p.length)) << "\" after \""
                << narrow(text.substr(lineStart, from - lineStart)) << "\"";
            for (int k = from; k < from + p.length; ++k)
                ++drawn[k];
        }
        const int lineEnd = static_cast<int>(pieces[j - 1].text - record.text) + pieces[j - 1].length;
        const std::wstring line = text.substr(lineStart, lineEnd - lineStart);
        // The separators' columns between each word and the next on the line.
        for (int k = lineStart; k + 1 < lineEnd; ++k) {
            if (!(text[k] > L' ' && text[k + 1] <= L' ')) continue;
            int next = k + 1;
            while (next < lineEnd && text[next] <= L' ')
                ++next;
            if (next == lineEnd) break;
            const int gapStart = first.x + width(lineStart, k + 1);
            const int gapEnd = first.x + width(lineStart, next);
            int blankColumns = 0;
            for (int x = gapStart; x < gapEnd; ++x) {
                bool blank = true;
                for (int y = first.y; y < first.y + metrics.tmHeight - 1 && blank; ++y)
                    blank = !isInk(canvas.pixel(x, y));
                blankColumns += blank ? 1 : 0;
            }
            // A glyph may overhang its cell by a column.
            EXPECT_GE(blankColumns, std::max(1, gapEnd - gapStart - 1))
                << "the space after \"" << narrow(text.substr(lineStart, k + 1 - lineStart)) << "\" in \""
                << narrow(line) << "\" is " << gapEnd - gapStart << " pixels wide";
        }
        lines.push_back(line);
        i = j;
    }
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] > L' ') {
            EXPECT_EQ(drawn[k], 1) << "unit " << k << " of \"" << narrow(text) << "\"";
        }
    }
    return lines;
}

// Words keep their separators on every line: in a one-line item, and in wrapped lines
// beside the box's right edge and past it on a last line, in highlighted changes too,
// and the measuring pass uses the lines that the drawing uses.
TEST_F(ItemPainterTest, WordsKeepTheirSeparators) {
    const std::wstring wall = L"Authentication is required to set a wall message";
    const std::wstring sleep = L"Allow applications to inhibit system sleep when a user is idle for a while";
    const std::wstring arrests = L"Сегодня были арестованы четверо британцев, обвиняемых в подготовке терактов";
    const std::wstring shortSleep = L"Allow applications to inhibit system sleep";
    const std::wstring shortArrests = L"Сегодня были арестованы четверо британцев";
    struct Case {
        const char* label;
        const std::wstring& text;
        const wchar_t* partnerText;  // null: no comparison
        const wchar_t* edgePrefix;   // the box ends this far into the text...
        int slack;                   // ... and this many pixels after it
        int lines;                   // 0: a one-line item
    } cases[] = {
        {"one line", wall, nullptr, nullptr, 0, 0},
        {"one line, highlighted", shortSleep, L"Allow applications to block system sleep", nullptr, 0, 0},
        {"last line, the rest past the edge", wall, nullptr, L"Authentication is required to set a wall ", 3, 1},
        {"last line, the edge just after a separator", wall, nullptr, L"Authentication is required to set a ", 0, 1},
        {"two lines, a short word beside the edge", wall, nullptr, L"Authentication is required to ", 9, 2},
        {"three lines, a word at the edge", wall, nullptr, L"Authentication is ", 2, 3},
        {"highlighted, last line", sleep, L"Allow applications to block system sleep when a user is idle for a while",
         L"Allow applications to ", 4, 1},
        {"highlighted, two lines", sleep, L"Allow programs to inhibit system sleep when a user is idle for a while",
         L"Allow applications to inhibit ", 8, 2},
        {"Cyrillic, one line", shortArrests, nullptr, nullptr, 0, 0},
        {"Cyrillic, last line", arrests, nullptr, L"Сегодня были арестованы ", 5, 1},
        {"Cyrillic, two lines", arrests, nullptr, L"Сегодня были арестованы четверо ", 9, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // A short attribute makes the element a multi-line item however short its text.
        const std::string attribute = c.lines > 0 ? " gettext-domain=\"systemd\"" : "";
        load("<root><t" + attribute + ">" + narrow(c.text) + "</t></root>",
             "<root><t" + attribute + ">" + narrow(c.partnerText != nullptr ? c.partnerText : c.text.c_str()) +
                 "</t></root>");
        if (c.partnerText != nullptr) compare();
        ASSERT_TRUE(createItemPainter(leftTreeView.tree));
        XMLTreeItem* record = find(leftTreeView, L"t");
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(record->attributeLines + record->textLines >= 2, c.lines > 0);
        // Wide enough for what runs past the box on a last line.
        ScreenCanvas canvas(2000, 400);
        HGDIOBJ old = SelectObject(canvas.dc(), itemPainter->font);

        int measuredLines = 0;
        if (c.lines > 0) {
            record->textLines = static_cast<uint8_t>(c.lines);
            SIZE prefix{};
            GetTextExtentPoint32W(canvas.dc(), c.edgePrefix, static_cast<int>(std::wcslen(c.edgePrefix)), &prefix);
            itemPainter->boxWidth = prefix.cx + 6 + c.slack;
            // The measuring pass first: with heights adjusted it tells how many lines it used.
            OptionSet::AdjustView = 1;
            leftTreeView.relayoutPending = 1;
            paint(canvas.dc(), record);
            measuredLines = record->textLines;
            leftTreeView.relayoutPending = 0;
            OptionSet::AdjustView = 0;
            record->textLines = static_cast<uint8_t>(c.lines);
            canvas.clear();
        }

        std::vector<PaintedPiece> pieces;
        itemPainter->paintedPieces = &pieces;
        paint(canvas.dc(), record);
        itemPainter->paintedPieces = nullptr;
        canvas.read();
        const std::vector<std::wstring> lines = readBack(canvas, *itemPainter, *record, pieces);
        SelectObject(canvas.dc(), old);

        // Every word once, in order, on lines broken only at separators.
        std::wstring joined;
        for (std::wstring line : lines) {
            while (!line.empty() && line.back() <= L' ')
                line.pop_back();
            joined += (joined.empty() ? L"" : L" ") + line;
        }
        EXPECT_EQ(narrow(joined), narrow(c.text));
        if (c.lines > 0) {
            EXPECT_LE(static_cast<int>(lines.size()), c.lines);
            EXPECT_EQ(measuredLines, static_cast<int>(lines.size())) << "the measure used the lines the drawing used";
        }
        if (c.partnerText != nullptr) {
            EXPECT_TRUE(std::any_of(pieces.begin(), pieces.end(), [&](const PaintedPiece& p) {
                return p.text >= record->text && p.runStyle != kRunPlain;
            })) << "the change is highlighted";
        }
        destroyItemPainter();
    }
}

// With heights adjusted, an item that needs fewer lines than it has is made shorter,
// and its panel asks the main window once for a new layout; until then the panel's
// items are only measured.
TEST_F(ItemPainterTest, ShorterItemsAskOnceForARelayout) {
    OptionSet::AdjustView = 1;
    std::string words;
    for (int i = 0; i < 27; ++i)
        words += "ab ";
    load("<root><short>" + words + "</short><other>" + words + "</other><one/></root>", "<root/>");
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    HWND window = CreateWindowExW(0, L"STATIC", L"main", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND previousMain = mainWindow;
    mainWindow = window;

    XMLTreeItem* shortItem = find(leftTreeView, L"short");
    XMLTreeItem* other = find(leftTreeView, L"other");
    ASSERT_EQ(shortItem->textLines, 2);
    ASSERT_EQ(ElementStore::height(leftTreeView.tree, shortItem->treeItem), 3);
    TreeCanvas canvas(leftTreeView.tree);
    paint(canvas, shortItem);
    EXPECT_EQ(shortItem->textLines, 1);
    EXPECT_EQ(ElementStore::height(leftTreeView.tree, shortItem->treeItem), 2);
    EXPECT_EQ(leftTreeView.relayoutPending, 1);

    // A measuring pass: the next tall item shrinks too but asks no more, and a one-line
    // item is not drawn at all.
    paint(canvas, other);
    EXPECT_EQ(other->textLines, 1);
    canvas.clear();
    const RECT one = paint(canvas, find(leftTreeView, L"one"));
    EXPECT_EQ(canvas.count(GetSysColor(COLOR_WINDOW), RECT{0, 0, canvas.width(), canvas.height()}),
              canvas.width() * canvas.height())
        << "item at " << one.left << "," << one.top;

    int posted = 0;
    MSG message;
    while (PeekMessageW(&message, window, kRelayoutTreeMessage, kRelayoutTreeMessage, PM_REMOVE)) {
        ++posted;
        EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(&leftTreeView));
    }
    EXPECT_EQ(posted, 1);
    mainWindow = previousMain;
    DestroyWindow(window);
}

// The tree view's device context gets back what it had: fonts, brush, pen, colours,
// alignment and background mode, for every kind of item.
TEST_F(ItemPainterTest, TheDeviceContextIsLeftAsItWas) {
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    TreeCanvas canvas(leftTreeView.tree);
    HDC dc = canvas.dc();
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_DOT, 1, RGB(4, 5, 6));
    SelectObject(dc, font);
    SelectObject(dc, brush);
    SelectObject(dc, pen);
    SetTextAlign(dc, TA_BASELINE);
    SetTextColor(dc, RGB(7, 8, 9));
    SetBkColor(dc, RGB(10, 11, 12));
    SetBkMode(dc, TRANSPARENT);
    MoveToEx(dc, 3, 4, nullptr);

    // The attribute text of huge passes what the painter shows of it, and its changed
    // value runs past that cut. One-line items and wrapped ones alike.
    const std::string value(20000, 'x');
    for (int fullMode : {1, 0}) {
        OptionSet::DisplayFullMode = fullMode;
        load("<root><changed x=\"1\" y=\"2\">hello world</changed><tall a=\"" + std::string(200, 'v') + "\">" +
                 std::string(300, 't') + "</tall><gone/><huge a=\"" + value + "\"/></root>",
             "<root><changed x=\"1\" y=\"3\">hello there</changed><tall a=\"w\"/><huge a=\"" + value + "y\"/></root>");
        compare();
        XMLTreeItem* changed = find(leftTreeView, L"changed");
        entireElementList.toggle(*changed);
        currentElement = changed;
        for (XMLTreeItem* record : recordsInOrder(leftTreeView)) {
            for (UINT state : {0u, static_cast<UINT>(CDIS_FOCUS | CDIS_SELECTED)}) {
                SCOPED_TRACE(narrow(record->isSummary() ? L"summary" : record->nameText()) +
                             (state ? ", focused" : "") + (fullMode ? ", full mode" : ""));
                paint(canvas, record, state);
                EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
                EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
                EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
                EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_BASELINE));
                EXPECT_EQ(GetTextColor(dc), RGB(7, 8, 9));
                EXPECT_EQ(GetBkColor(dc), RGB(10, 11, 12));
                EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
                POINT position{};
                GetCurrentPositionEx(dc, &position);
                EXPECT_EQ(position.x, 3);
                EXPECT_EQ(position.y, 4);
            }
        }
        entireElementList.toggle(*changed);
        currentElement = nullptr;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(font);
    DeleteObject(brush);
    DeleteObject(pen);
}

// The summary line's frame ends 10 pixels after its text, so its width tells the text.
TEST_F(ItemPainterTest, SummaryItemCountsElementsAndShownItems) {
    load(kLeftXml, kRightXml);
    compare();
    ASSERT_TRUE(createItemPainter(leftTreeView.tree));
    struct Case {
        int viewMode;
        bool removeOne;
        const wchar_t* text;
    } cases[] = {
        {IDM_VIEW_NORMAL, false, L"Total elements 4"},
        {IDM_VIEW_DIFFERENCES, true, L"Total elements 4 / display 3 (View: Differences)"},
    };
    TreeCanvas canvas(leftTreeView.tree);
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        OptionSet::ViewMode = c.viewMode;
        if (c.removeOne) find(leftTreeView, L"gone")->removeFromTree();
        XMLTreeItem* summary = leftTreeView.summaryItem;
        ASSERT_NE(summary, nullptr);
        canvas.clear();
        const RECT text = paint(canvas, summary);
        HGDIOBJ old = SelectObject(canvas.dc(), itemPainter->font);
        SIZE size{};
        GetTextExtentPoint32W(canvas.dc(), c.text, static_cast<int>(std::wcslen(c.text)), &size);
        SelectObject(canvas.dc(), old);
        const auto frame = canvas.columns(frameColour(), text.top, text.top + size.cy + 6);
        EXPECT_EQ(frame.second, text.left + size.cx + 10 - 1);
        EXPECT_GT(canvas.count(GetSysColor(COLOR_INFOTEXT), RECT{text.left - 10, text.top, frame.second, text.bottom}),
                  10);
    }
}

// Whether the summary item is one line or twenty, its line is drawn inside the rows that
// the tree repaints for it and nowhere else: what lands outside them is never painted
// over, and stays behind as a stray box when the item moves on.
TEST_F(ItemPainterTest, TheSummaryLineStaysInsideItsItem) {
    for (int fullMode : {1, 0}) {
        SCOPED_TRACE(fullMode ? "twenty lines" : "one line");
        OptionSet::DisplayFullMode = fullMode;
        load(kLeftXml, kRightXml);
        ASSERT_TRUE(createItemPainter(leftTreeView.tree));
        XMLTreeItem* summary = leftTreeView.summaryItem;
        ASSERT_NE(summary, nullptr);
        RECT item{};
        ASSERT_TRUE(TreeView_GetItemRect(leftTreeView.tree, summary->treeItem, &item, FALSE));
        if (fullMode) {
            EXPECT_GT(item.bottom - item.top, 10 * lineHeight());
        } else {
            EXPECT_LE(item.bottom - item.top, lineHeight());
        }
        Canvas canvas(item.right, item.bottom + 40, GetSysColor(COLOR_WINDOW));
        const RECT text = paint(canvas, summary);
        const COLORREF window = GetSysColor(COLOR_WINDOW);
        const RECT above{0, 0, canvas.width(), item.top};
        const RECT below{0, item.bottom, canvas.width(), canvas.height()};
        const int outside = canvas.width() * (canvas.height() - (item.bottom - item.top));
        EXPECT_EQ(canvas.count(window, above) + canvas.count(window, below), outside);
        EXPECT_GT(
            canvas.count(GetSysColor(COLOR_INFOTEXT), RECT{text.left - 10, item.top, canvas.width(), item.bottom}), 10)
            << "the line is drawn";
        // Its frame is closed at the bottom of a one-line item.
        const auto frame = canvas.columns(frameColour(), item.bottom - 1, item.bottom);
        if (!fullMode) {
            EXPECT_GE(frame.second - frame.first, 50);
        }
        destroyItemPainter();
    }
}

// A reference kept as written (its DTD left out) is drawn as the text it stands for, on a
// canvas of the screen's kind, where a run drawn at the platform's own advances covers the
// spaces after it: each space stays unpainted, in a one-line item and beside the box's
// edge. A character beyond U+FFFF whose second half is the mark's unit (U+10FFFF) is a
// character of its own, drawn as such, also right before a kept reference.
TEST_F(ItemPainterTest, AKeptReferenceIsDrawnAsWritten) {
    OptionSet::SchemaValidation = 0;
    OptionSet::UseExternalSchema = 0;
    const std::wstring own = L"\xDBFF\xDFFF";
    const std::wstring allow = L"Allow&nbsp;applications to inhibit system sleep";
    const std::wstring idle = L"Allow&nbsp;applications to inhibit system sleep when a user is idle for a while";
    const std::wstring edge = L"Allow applications to inhibit&nbsp;system sleep when a user is idle";
    const std::wstring arrests = L"Сегодня&nbsp;были арестованы четверо британцев";
    const std::wstring ownText = L"Allow" + own + L"&nbsp;applications to inhibit system sleep when a user is idle";
    struct Case {
        const char* label;
        std::wstring written;     // the element's text in the document
        std::wstring shown;       // as the tree shows it
        std::wstring edgePrefix;  // the box ends this far into the text...
        int slack;                // ... and this many pixels after it
        int lines;                // 0: a one-line item
    } cases[] = {
        {"one line", allow, allow, L"", 0, 0},
        {"Cyrillic, one line", arrests, arrests, L"", 0, 0},
        {"last line, the rest past the edge", idle, idle, L"Allow&nbsp;applications to ", 4, 1},
        {"two lines, the reference beside the edge", edge, edge, L"Allow applications to inhibit&nbsp;system ", 2, 2},
        {"U+10FFFF before a kept reference, one line", ownText, ownText, L"", 0, 0},
        {"U+10FFFF before a kept reference, last line", ownText, ownText, L"Allow" + own + L"&nbsp;applications to ", 4,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string attribute = c.lines > 0 ? " gettext-domain=\"systemd\"" : "";
        load("<!DOCTYPE root SYSTEM \"missing.dtd\">\n<root><t" + attribute + ">" + narrow(c.written) + "</t></root>",
             "<root/>");
        ASSERT_TRUE(createItemPainter(leftTreeView.tree));
        XMLTreeItem* record = find(leftTreeView, L"t");
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(record->textLength, c.shown.size());
        ScreenCanvas canvas(2000, 400);
        HGDIOBJ old = SelectObject(canvas.dc(), itemPainter->font);
        if (c.lines > 0) {
            record->textLines = static_cast<uint8_t>(c.lines);
            SIZE prefix{};
            GetTextExtentPoint32W(canvas.dc(), c.edgePrefix.c_str(), static_cast<int>(c.edgePrefix.size()), &prefix);
            itemPainter->boxWidth = prefix.cx + 6 + c.slack;
        }
        std::vector<PaintedPiece> pieces;
        itemPainter->paintedPieces = &pieces;
        paint(canvas.dc(), record);
        itemPainter->paintedPieces = nullptr;
        canvas.read();
        const std::vector<std::wstring> lines = readBack(canvas, *itemPainter, *record, pieces, &c.shown);
        SelectObject(canvas.dc(), old);

        std::wstring joined;
        for (std::wstring line : lines) {
            while (!line.empty() && line.back() <= L' ')
                line.pop_back();
            joined += (joined.empty() ? L"" : L" ") + line;
        }
        EXPECT_EQ(joined, c.shown);
        if (c.lines > 0) {
            EXPECT_LE(static_cast<int>(lines.size()), c.lines);
        }
        destroyItemPainter();
    }
}

}  // namespace
