#include "ui/editor/EditorSync.h"

#include <richedit.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "ui/XMLTreeView.h"

namespace {

// Saturated in the record: such a column or span is not known.
constexpr int kSaturated = 0xFFFF;
// How much text after the root's recorded position is searched for its start tag.
constexpr int32_t kPrologSearchUnits = 1 << 20;

int32_t textLength(HWND editor) {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<int32_t>(SendMessageW(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

int32_t lineStart(HWND editor, int line) {
    return static_cast<int32_t>(SendMessageW(editor, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

// Where the first start tag begins in text: comments, processing instructions and
// declarations (a DOCTYPE with its internal subset) are passed over. -1 when none.
int32_t firstStartTag(const std::vector<wchar_t>& text) {
    const size_t n = text.size();
    size_t i = 0;
    auto startsWith = [&](size_t at, const wchar_t* s) {
        for (size_t k = 0; s[k] != 0; ++k)
            if (at + k >= n || text[at + k] != s[k]) return false;
        return true;
    };
    auto skipTo = [&](size_t from, const wchar_t* end) {
        for (size_t k = from; k < n; ++k)
            if (startsWith(k, end)) return k + std::char_traits<wchar_t>::length(end);
        return n;
    };
    while (i < n) {
        if (text[i] != L'<') {
            ++i;
        } else if (startsWith(i, L"<!--")) {
            i = skipTo(i + 4, L"-->");
        } else if (startsWith(i, L"<?")) {
            i = skipTo(i + 2, L"?>");
        } else if (startsWith(i, L"<!")) {
            int depth = 0;
            wchar_t quote = 0;
            for (++i; i < n; ++i) {
                const wchar_t c = text[i];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                } else if (c == L'"' || c == L'\'') {
                    quote = c;
                } else if (c == L'[') {
                    ++depth;
                } else if (c == L']') {
                    --depth;
                } else if (c == L'>' && depth <= 0) {
                    ++i;
                    break;
                }
            }
        } else if (i + 1 < n && text[i + 1] != L'/') {
            return static_cast<int32_t>(i);
        } else {
            ++i;
        }
    }
    return -1;
}

}  // namespace

XMLTreeView* panelFromEditor(HWND editor) {
    return panelOwning(editor, &XMLTreeView::editor);
}

XMLTreeView* panelFromPathButton(HWND button) {
    return panelOwning(button, &XMLTreeView::pathButton);
}

XMLTreeItem* rootElement(const XMLTreeView& panel) {
    if (panel.tree == nullptr || !panel.loaded) return nullptr;
    XMLTreeItem* root = ElementStore::record(panel.tree, ElementStore::root(panel.tree));
    return root == nullptr || root->isSummary() ? nullptr : root;
}

int elementLine(const XMLTreeView& panel, const XMLTreeItem* element) {
    if (element == nullptr) return -1;
    if (panel.rootLine >= 0 && element == rootElement(panel)) return panel.rootLine;
    return element->line;
}

int elementColumn(const XMLTreeView& panel, const XMLTreeItem* element) {
    if (element == nullptr) return 0;
    if (panel.rootLine >= 0 && element == rootElement(panel)) return panel.rootColumn;
    return element->column;
}

void locateRoot(XMLTreeView& panel) {
    panel.rootLine = -1;
    XMLTreeItem* root = rootElement(panel);
    if (root == nullptr || panel.editor == nullptr) return;
    const int32_t length = textLength(panel.editor);
    const int lines = static_cast<int>(SendMessageW(panel.editor, EM_GETLINECOUNT, 0, 0));
    if (root->line < 0 || root->line >= lines) return;
    const int32_t from = std::min(lineStart(panel.editor, root->line) + std::max<int32_t>(root->column - 1, 0), length);
    // The root's tag is found within the first few lines but for a long prolog: read
    // little first, more only when it is not there.
    int32_t found = -1;
    for (int32_t size = 4096; found < 0; size *= 2) {
        const int32_t to = std::min({length, from + size, from + kPrologSearchUnits});
        std::vector<wchar_t> text(static_cast<size_t>(to - from) + 1, 0);
        TEXTRANGEW range{{from, to}, text.data()};
        SendMessageW(panel.editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        text.resize(static_cast<size_t>(to - from));
        found = firstStartTag(text);
        if (to == length || to - from >= kPrologSearchUnits) break;
    }
    if (found < 0) return;
    const int32_t position = from + found;
    panel.rootLine = static_cast<int32_t>(SendMessageW(panel.editor, EM_EXLINEFROMCHAR, 0, position));
    panel.rootColumn = position - lineStart(panel.editor, panel.rootLine) + 1;
}

bool elementRange(const XMLTreeView& panel, const XMLTreeItem* element, int32_t* start, int32_t* end) {
    if (panel.editor == nullptr || element == nullptr) return false;
    const int lines = static_cast<int>(SendMessageW(panel.editor, EM_GETLINECOUNT, 0, 0));
    const int line = elementLine(panel, element);
    if (line < 0 || line >= lines) return false;
    const int32_t length = textLength(panel.editor);
    const int32_t first = lineStart(panel.editor, line);
    const int32_t lineEnd =
        first + static_cast<int32_t>(SendMessageW(panel.editor, EM_LINELENGTH, static_cast<WPARAM>(first), 0));
    const int column = elementColumn(panel, element);
    *start = column >= kSaturated ? lineEnd : std::min(first + std::max(column - 1, 0), lineEnd);
    // The end tag's place is known only when neither the span nor the column saturated;
    // otherwise the range stops at the end of the start line.
    const int endLine = line + element->lineSpan;
    if (element->lineSpan >= kSaturated || element->endColumn >= kSaturated || endLine >= lines) {
        *end = lineEnd;
    } else {
        const int32_t last = element->lineSpan == 0 ? first : lineStart(panel.editor, endLine);
        *end = last - 1 + element->endColumn;
    }
    *start = std::clamp(*start, 0, length);
    *end = std::clamp(*end, *start, length);
    return true;
}

void ensureLineIndex(XMLTreeView& panel) {
    if (!panel.lineIndex.stale) return;
    if (!panel.loaded || panel.editor == nullptr) {
        panel.lineIndex.clear();
        return;
    }
    panel.lineIndex.build(panel, panel.lineIndexCount);
}

void forgetEditorRecords(XMLTreeView& panel) {
    panel.editorElement = nullptr;
    panel.lineIndex.clear();
    panel.highlighter.element = nullptr;
    panel.highlighter.previousElement = nullptr;
    panel.highlighter.compareText = nullptr;
    panel.highlighter.comparePhase = 0;
}

void selectTreeFromCaret(XMLTreeView& panel, int32_t position) {
    if (!panel.loaded || panel.editor == nullptr || panel.tree == nullptr) return;
    ensureLineIndex(panel);
    const int line = static_cast<int>(SendMessageW(panel.editor, EM_EXLINEFROMCHAR, 0, position));
    if (panel.lineIndex.entries.empty() || line < 0 || static_cast<uint32_t>(line) >= panel.lineIndex.lineCount) return;
    XMLTreeItem* element = panel.lineIndex.entry(line);
    // Several elements may start on the line: the one the position is in is the last
    // that starts at or before it.
    const int32_t first = lineStart(panel.editor, line);
    while (element != nullptr && elementLine(panel, element) == line &&
           first + elementColumn(panel, element) - 1 > position) {
        element = element->previous();
    }
    if (element == nullptr || element->isSummary()) return;
    panel.syncingFromEditor = 1;
    ElementStore::select(panel.tree, element->treeItem);
    panel.syncingFromEditor = 0;
}

POINT editorScrollPosition(HWND editor) {
    // Where the text's first character stands against the formatting rectangle is
    // the scroll position, in whole pixels at any height.
    RECT format{};
    SendMessageW(editor, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    POINTL origin{};
    SendMessageW(editor, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&origin), 0);
    return POINT{std::max<LONG>(format.left - origin.x, 0), std::max<LONG>(format.top - origin.y, 0)};
}

void setEditorScrollPosition(HWND editor, POINT position) {
    const POINT now = editorScrollPosition(editor);
    if (now.x == position.x && now.y == position.y) return;
    SendMessageW(editor, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&position));
}

void scrollEditorToElement(XMLTreeView& panel, const XMLTreeItem* element) {
    if (panel.editor == nullptr || element == nullptr) return;
    const int lines = static_cast<int>(SendMessageW(panel.editor, EM_GETLINECOUNT, 0, 0));
    const int line = elementLine(panel, element);
    if (line < 0) return;
    const int firstVisible = static_cast<int>(SendMessageW(panel.editor, EM_GETFIRSTVISIBLELINE, 0, 0));
    const int d = std::min(line, std::max(lines - 1, 0)) - firstVisible;
    if (d < 0 || d > 5) SendMessageW(panel.editor, EM_LINESCROLL, 0, d - 1);
    const int column = elementColumn(panel, element);
    if (line >= lines || column >= kSaturated) return;
    const int32_t first = lineStart(panel.editor, line);
    const int32_t lineEnd =
        first + static_cast<int32_t>(SendMessageW(panel.editor, EM_LINELENGTH, static_cast<WPARAM>(first), 0));
    const int32_t nameStart = std::min(first + column, lineEnd);
    const int32_t nameEnd = std::min(nameStart + static_cast<int32_t>(std::wcslen(element->nameText())), lineEnd);
    CHARRANGE range{nameStart, nameEnd};
    // Wine's rich edit scrolls a selection that is in view already: the lines stay put.
    const POINT scroll = editorScrollPosition(panel.editor);
    panel.selectingInEditor = 1;
    SendMessageW(panel.editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    panel.selectingInEditor = 0;
    setEditorScrollPosition(panel.editor, scroll);
}
