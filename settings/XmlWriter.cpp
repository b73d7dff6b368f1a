#include "settings/XmlWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>

#include "model/ElementStore.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/NamespaceOutput.h"
#include "settings/OptionSet.h"

namespace {

// Short pieces of markup gathered into one write: each write is a conversion and a copy
// into the output buffer, and an element is mostly such pieces.
class Markup {
public:
    explicit Markup(HANDLE file) : file_(file) {}
    Markup(const Markup&) = delete;
    Markup& operator=(const Markup&) = delete;
    ~Markup() { flush(); }

    template <size_t N>
    Markup& operator<<(const wchar_t (&text)[N]) {
        return add(text, static_cast<int>(N - 1));
    }
    Markup& add(const wchar_t* text, int count) {
        if (used_ + count > kUnits) {
            flush();
            if (count > kUnits) {
                writeText(file_, text, count, &outputSpec());
                return *this;
            }
        }
        std::wmemcpy(units_ + used_, text, static_cast<size_t>(count));
        used_ += count;
        return *this;
    }
    Markup& name(const XMLTreeItem& element) {
        const wchar_t* text = element.nameText();
        return add(text, static_cast<int>(std::wcslen(text)));
    }
    // The same units as writeEndOfLine.
    Markup& endOfLine() {
        const wchar_t* units = outputSpec().endOfLineUnits();
        return add(units, static_cast<int>(std::wcslen(units)));
    }
    void flush() {
        if (used_ > 0) writeText(file_, units_, used_, &outputSpec());
        used_ = 0;
    }

private:
    static constexpr int kUnits = 256;
    HANDLE file_;
    wchar_t units_[kUnits];
    int used_ = 0;
};

void writeCharacterReference(HANDLE file, uint32_t codePoint) {
    wchar_t reference[16];
    const int length = std::swprintf(reference, 16, L"&#x%X;", codePoint);
    writeText(file, reference, length, &outputSpec());
}

// The escaping of text and comments: runs of characters that stand as they are go out in
// one piece; each other character ends the run and is written replaced.
void writeEscapedText(HANDLE file, const wchar_t* text, int count, bool comment) {
    if (text == nullptr) return;
    if (count < 0) count = static_cast<int>(std::wcslen(text));
    const EncodingSpec& spec = outputSpec();
    const bool everyCharacterHeld = spec.kind == 3 || spec.kind == 4;
    int runStart = 0;
    bool afterHyphen = false;
    auto endRun = [&](int at) {
        if (at > runStart) writeText(file, text + runStart, at - runStart, &spec);
    };
    for (int i = 0; i < count; ++i) {
        const wchar_t c = text[i];
        const bool keptReference = isKeptReferenceMark(i > 0 ? text[i - 1] : 0, c);
        const bool hyphenPair = comment && c == L'-' && afterHyphen;
        afterHyphen = c == L'-';
        if (c < 0x80 && c != L'"' && c != L'&' && c != L'<' && c != L'>' && !hyphenPair) continue;
        if (c >= 0x80 && c != kAttributeOpenQuote && c != kAttributeCloseQuote && !keptReference &&
            (everyCharacterHeld || ((c < 0xD800 || c > 0xDFFF) && spec.holdsCharacter(&text[i], 1)))) {
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            if (everyCharacterHeld || spec.holdsCharacter(&text[i], 2)) {
                ++i;
                continue;
            }
            endRun(i);
            writeCharacterReference(file, 0x10000u + ((static_cast<uint32_t>(c) - 0xD800u) << 10) +
                                              (static_cast<uint32_t>(text[i + 1]) - 0xDC00u));
            ++i;
            runStart = i + 1;
            continue;
        }
        endRun(i);
        runStart = i + 1;
        if (keptReference) {
            // A reference kept as written goes out as the document has it.
            writeMarkup(file, L"&");
            continue;
        }
        switch (c) {
            case L'"':
                writeMarkup(file, L"&quot;");
                break;
            case L'&':
                writeMarkup(file, L"&amp;");
                break;
            case L'<':
                writeMarkup(file, L"&lt;");
                break;
            case L'>':
                writeMarkup(file, L"&gt;");
                break;
            case L'-':
                writeMarkup(file, L" -");
                break;
            case kAttributeOpenQuote:
            case kAttributeCloseQuote:
                writeMarkup(file, L"\"");
                break;
            default:
                writeCharacterReference(file, c);
                break;
        }
    }
    endRun(count);
}

KeptReferenceLog* keptReferenceLog = nullptr;

void writeCommentMarkup(HANDLE file, const wchar_t* text) {
    writeMarkup(file, L"<!-- ");
    writeEscapedText(file, text, -1, true);
    writeMarkup(file, L" -->");
}

bool hasAttributes(const XMLTreeItem& element) {
    return element.attributes != nullptr && element.attributesLength > 0;
}

bool hasChildren(const XMLTreeItem& element) {
    return ElementStore::child(element.treeView, element.treeItem) != nullptr;
}

HTREEITEM firstChildItem(const XMLTreeItem& element) {
    return ElementStore::child(element.treeView, element.treeItem);
}

// Calls visit on each child record in order from the first child's item; items without a
// record are passed over.
template <typename Visit>
void forEachChildFrom(const XMLTreeItem& element, HTREEITEM first, Visit visit) {
    const HWND tree = element.treeView;
    for (HTREEITEM item = first; item != nullptr; item = ElementStore::next(tree, item)) {
        if (XMLTreeItem* child = ElementStore::record(tree, item)) visit(*child);
    }
}

template <typename Visit>
void forEachChild(const XMLTreeItem& element, Visit visit) {
    forEachChildFrom(element, firstChildItem(element), visit);
}

bool hasChildMarks(const XMLTreeItem& element) {
    return element.text != nullptr && containsChildMark(element.text, element.textLength);
}

// The partner's text where it goes without its children (the value-changed block, a
// comment): as its row reads.
void writePartnerText(HANDLE file, const XMLTreeItem& partner) {
    const std::wstring row = rowText(partner.text, partner.textLength);
    KeptReferenceLog::note(partner, row.data(), static_cast<int>(row.size()));
    writeEscaped(file, row.data(), static_cast<int>(row.size()));
}

// The tag body, for a caller that already knows whether the element has children. The
// text of an element with child marks is written with its children (writeContent).
void writeBody(const XMLTreeItem& element, HANDLE file, bool children) {
    writeMarkup(file, L">");
    const XMLTreeItem* partner = element.partner;
    if (OptionSet::InsertPI && partner != nullptr && hasText(*partner) && element.textDiffers()) {
        writeMarkup(file, L"<?start_value_changed?>");
        writeEndOfLine(file);
        writePartnerText(file, *partner);
        writeMarkup(file, L"<?end_value_changed?>");
        writeEndOfLine(file);
    }
    if (hasChildMarks(element)) return;
    if (hasText(element)) {
        KeptReferenceLog::note(element, element.text, element.textLength);
        writeEscaped(file, element.text, element.textLength);
    }
    if (children) writeEndOfLine(file);
}

// The element's text and its children from first in the document's order, after
// writeBody: each run of the text, then the child whose mark ends it, written in line;
// the children after the last mark one a line, as in an element without marks. A mark
// whose child is gone (or left out by writeChild) leaves its runs joined as they stood.
template <typename WriteChild>
void writeContent(const XMLTreeItem& element, HANDLE file, HTREEITEM first, WriteChild writeChild) {
    const HWND tree = element.treeView;
    HTREEITEM item = first;
    // The next child record from item on; null when none is left.
    auto nextChild = [&]() -> const XMLTreeItem* {
        for (; item != nullptr; item = ElementStore::next(tree, item)) {
            if (const XMLTreeItem* child = ElementStore::record(tree, item)) {
                item = ElementStore::next(tree, item);
                return child;
            }
        }
        return nullptr;
    };
    if (hasChildMarks(element)) {
        const wchar_t* const text = element.text;
        const int length = element.textLength;
        KeptReferenceLog::note(element, text, length);
        for (int at = 0;;) {
            int end = at;
            while (end < length && !isChildMark(end == 0 ? 0 : text[end - 1], text[end]))
                ++end;
            writeEscaped(file, text + at, end - at);
            if (end >= length) break;
            if (const XMLTreeItem* child = nextChild()) writeChild(*child, true);
            at = end + 1;
        }
        if (item == nullptr) return;
        writeEndOfLine(file);
    }
    while (const XMLTreeItem* child = nextChild())
        writeChild(*child, false);
}

void endLine(HANDLE file, bool inLine) {
    if (!inLine) writeEndOfLine(file);
}

// The filter of the save modes below the selected element.
bool passesModeFilter(const XMLTreeItem& element, int mode) {
    const int d = element.ignoreState != 0 ? 2 : element.differenceState();
    const uint8_t bits = element.differenceFlags;
    const bool leaf = !hasChildren(element);
    switch (mode) {
        case kSaveDifferencesMode:
            return d != 0;
        case kMergeMode:
            return true;
        case kSaveCommonMode:
            return leaf ? d == 0 : (bits & 1) != 0;
        case kSaveChangedMode:
            return leaf ? d == 1 : d != 0 && (bits & 4) != 0;
        case kSaveDeletedMode:
            return leaf ? d == 2 : d != 0 && ((bits & 2) != 0 || d == 2);
        case kSaveDeletedChangedMode:
            return leaf ? d != 0 : d != 0 && ((bits & 6) != 0 || d == 2);
        default:
            return true;
    }
}

// Whether saveInMode writes anything of the element: markers and comments that announce
// an element are written only when it follows.
bool isWritten(const XMLTreeItem& element, int mode, int below, int insideEntire) {
    if (!OptionSet::IncludeIgnoredElements && element.ignoreState != 0) return false;
    if (!below || insideEntire) return true;
    return passesModeFilter(element, mode);
}

// What of the partner's own content differs from the element's, in one comment written
// before an element written paired: the partner's name, its attribute text and, when
// withText, its text, each only when it differs, separated by blanks. Nothing when
// nothing of these differs.
void writePartnerComment(const XMLTreeItem& element, HANDLE file, bool withText, bool inLine) {
    const XMLTreeItem& partner = *element.partner;
    std::wstring comment;
    auto append = [&comment](const wchar_t* text, size_t count) {
        if (!comment.empty()) comment += L' ';
        comment.append(text, count);
    };
    if (partner.nameId() != element.nameId()) append(partner.nameText(), std::wcslen(partner.nameText()));
    if (element.attributesDiffer() && hasAttributes(partner))
        append(partner.attributes, static_cast<size_t>(partner.attributesLength));
    if (withText && element.textDiffers() && hasText(partner)) {
        const std::wstring row = rowText(partner.text, partner.textLength);
        append(row.data(), row.size());
    }
    if (comment.empty()) return;
    writeCommentMarkup(file, comment.c_str());
    endLine(file, inLine);
}

}  // namespace

bool hasText(const XMLTreeItem& element) {
    return element.text != nullptr && element.textLength > 0;
}

bool holdsKeptReference(const wchar_t* units, int count) {
    return units != nullptr && count > 0 && containsKeptReference(units, static_cast<size_t>(count));
}

KeptReferenceLog::KeptReferenceLog() {
    keptReferenceLog = this;
}

KeptReferenceLog::~KeptReferenceLog() {
    keptReferenceLog = nullptr;
}

void KeptReferenceLog::note(const XMLTreeItem& source, const wchar_t* units, int count) {
    KeptReferenceLog* log = keptReferenceLog;
    if (log == nullptr || log->holds(source.treeView) || !holdsKeptReference(units, count)) return;
    HWND* slot = log->trees_[0] == nullptr ? &log->trees_[0] : &log->trees_[1];
    *slot = source.treeView;
}

void writeEscaped(HANDLE file, const wchar_t* text) {
    writeEscapedText(file, text, -1, false);
}

void writeEscaped(HANDLE file, const wchar_t* text, int count) {
    writeEscapedText(file, text, count, false);
}

void writeComment(HANDLE file, const wchar_t* text) {
    writeCommentMarkup(file, text);
    writeEndOfLine(file);
}

void XMLTreeItem::writeStartTag(HANDLE file) const {
    {
        Markup markup(file);
        markup << L"<";
        markup.name(*this);
    }
    NamespaceOutput::openElement(file, *this, attributes, hasAttributes(*this) ? attributesLength : 0);
    if (hasAttributes(*this)) {
        writeMarkup(file, L" ");
        KeptReferenceLog::note(*this, attributes, attributesLength);
        writeEscaped(file, attributes, attributesLength);
    }
}

void writeEmptyTagEnd(HANDLE file, bool inLine) {
    {
        Markup markup(file);
        markup << L"/>";
        if (!inLine) markup.endOfLine();
    }
    NamespaceOutput::closeElement();
}

void XMLTreeItem::writeTagBody(HANDLE file) const {
    writeBody(*this, file, hasChildren(*this));
}

void XMLTreeItem::writeEndTag(HANDLE file, bool inLine) const {
    Markup markup(file);
    markup << L"</";
    markup.name(*this) << L">";
    if (!inLine) markup.endOfLine();
    NamespaceOutput::closeElement();
}

void XMLTreeItem::saveSubtree(HANDLE file, bool inLine) const {
    if (!OptionSet::IncludeIgnoredElements && ignoreState != 0) return;
    writeStartTag(file);
    const HTREEITEM first = firstChildItem(*this);
    if (first == nullptr && !hasText(*this)) {
        writeEmptyTagEnd(file, inLine);
        return;
    }
    writeBody(*this, file, first != nullptr);
    writeContent(*this, file, first,
                 [file](const XMLTreeItem& child, bool childInLine) { child.saveSubtree(file, childInLine); });
    writeEndTag(file, inLine);
}

void XMLTreeItem::saveInMode(HANDLE file, int whole, int mode, int below, int insideEntire, bool inLine) const {
    if (!isWritten(*this, mode, below, insideEntire)) return;
    const int childrenInsideEntire = entireElementList.contains(*this) ? 1 : insideEntire;
    writeStartTag(file);
    const HTREEITEM first = firstChildItem(*this);
    if (whole && first == nullptr && !hasText(*this)) {
        writeEmptyTagEnd(file, inLine);
        return;
    }
    writeBody(*this, file, first != nullptr);
    writeContent(*this, file, first, [&](const XMLTreeItem& child, bool childInLine) {
        if (whole)
            child.saveInMode(file, 1, mode, 1, childrenInsideEntire, childInLine);
        else
            child.savePair(file, mode, 1, childrenInsideEntire, childInLine);
    });
    if (!whole && partner != nullptr) partner->saveUnmatchedChildren(file, mode);
    writeEndTag(file, inLine);
}

void XMLTreeItem::savePair(HANDLE file, int mode, int below, int insideEntire, bool inLine) const {
    if (OptionSet::InsertPI) {
        if (partner == nullptr) {
            if (!isWritten(*this, mode, below, insideEntire)) return;
            writeMarkup(file, L"<?start_elements_added?>");
            endLine(file, inLine);
            saveInMode(file, 1, mode, below, insideEntire, inLine);
            writeMarkup(file, L"<?end_elements_added?>");
            endLine(file, inLine);
        } else if (equals(partner)) {
            saveInMode(file, 1, mode, below, insideEntire, inLine);
        } else {
            // The partner's differing text comes in the value-changed block.
            if (isWritten(*this, mode, below, insideEntire)) writePartnerComment(*this, file, false, inLine);
            saveInMode(file, 0, mode, below, insideEntire, inLine);
        }
        return;
    }
    if (partner == nullptr || equals(partner)) {
        saveInMode(file, 1, mode, below, insideEntire, inLine);
    } else if (sameOwnContent(partner)) {
        saveInMode(file, 0, mode, below, insideEntire, inLine);
    } else if (below == 0) {
        // The partner's whole version after the selected element would be a second root,
        // and leaving it out would lose all of the partner's side from a merge: the pair is
        // written paired, as with markers, and what differs of the partner's own content
        // goes into one comment before it.
        writePartnerComment(*this, file, true, inLine);
        saveInMode(file, 0, mode, below, insideEntire, inLine);
    } else {
        saveInMode(file, 1, mode, below, insideEntire, inLine);
        if (mode != kMergeMode) partner->saveInMode(file, 1, mode, below, 0, inLine);
    }
}

void XMLTreeItem::saveUnmatchedChildren(HANDLE file, int mode) const {
    bool blockOpen = false;
    forEachChild(*this, [&](const XMLTreeItem& child) {
        const bool wanted = child.partner == nullptr || (mode == kMergeMode && !child.sameOwnContent(child.partner));
        if (!wanted || !isWritten(child, mode, 1, 0)) return;
        if (OptionSet::InsertPI && !blockOpen) {
            writeMarkup(file, L"<?start_elements_deleted?>");
            writeEndOfLine(file);
        }
        blockOpen = true;
        child.saveInMode(file, 1, mode, 1, 0);
    });
    if (OptionSet::InsertPI && blockOpen) {
        writeMarkup(file, L"<?end_elements_deleted?>");
        writeEndOfLine(file);
    }
}
