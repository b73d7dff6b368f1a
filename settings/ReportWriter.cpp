#include "settings/ReportWriter.h"

#include "model/ElementStore.h"
#include "model/TextDiffArea.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/NamespaceOutput.h"
#include "settings/XmlWriter.h"

namespace {

// One buffer serves every level of the walk: it is filled and written before the walk
// goes down, and a deep document would not have room for one per level.
wchar_t reportBuffer[kReportBufferUnits];

}  // namespace

bool reportHoldsAnything(const XMLTreeItem& element) {
    return element.ignoreState == 0 && element.partner != nullptr && !element.equals(element.partner);
}

void XMLTreeItem::writeReport(HANDLE file, int withXmlns) const {
    if (ignoreState != 0 || partner == nullptr || equals(partner)) return;
    reportBuffer[0] = 0;
    const int attributeUnits = writeAttributeDifferences(file, reportBuffer, withXmlns);
    writeMarkup(file, L"<");
    writeText(file, nameText(), -1, currentOutputSpec);
    NamespaceOutput::openElement(file, *this, reportBuffer, attributeUnits > 0 ? attributeUnits : 0);
    if (attributeUnits > 0) {
        KeptReferenceLog::note(*this, reportBuffer, attributeUnits);
        writeEscaped(file, reportBuffer, attributeUnits);
    }
    const HWND tree = treeView;
    const HTREEITEM firstChild = ElementStore::child(tree, treeItem);
    if (firstChild == nullptr && (!hasText(*this) || !textDiffers())) {
        writeEmptyTagEnd(file);
        return;
    }
    writeMarkup(file, L">");
    writeEndOfLine(file);
    writeValueDifference(file);
    if (firstChild != nullptr) {
        writeUniqueChildren(file, L"<!-- Unique element(s) in first file -->");
        // With its text written, the runs after child marks follow the children they follow
        // in the document.
        int run =
            textDiffers() && hasText(*this) && (flags & kTextIgnoredFlag) == 0 && containsChildMark(text, textLength)
                ? nextTextRun(0)
                : -1;
        for (HTREEITEM item = firstChild; item != nullptr; item = ElementStore::next(tree, item)) {
            const XMLTreeItem* child = ElementStore::record(tree, item);
            if (child == nullptr) continue;
            child->writeReport(file, 0);
            if (run >= 0) run = writeTextRun(file, run);
        }
        while (run >= 0)
            run = writeTextRun(file, run);
        partner->writeUniqueChildren(file, L"<!-- Unique element(s) in second file -->");
    }
    writeEndTag(file);
}

int XMLTreeItem::nextTextRun(int at) const {
    const int length = text == nullptr ? 0 : textLength;
    while (at < length && !isChildMark(at == 0 ? 0 : text[at - 1], text[at]))
        ++at;
    return at < length ? at + 1 : -1;
}

int XMLTreeItem::writeTextRun(HANDLE file, int at) const {
    const int next = nextTextRun(at);
    const int end = next < 0 ? textLength : next - 1;
    if (end > at) {
        KeptReferenceLog::note(*this, text + at, end - at);
        writeEscaped(file, text + at, end - at);
        writeEndOfLine(file);
    }
    return next;
}

int XMLTreeItem::writeAttributeDifferences(HANDLE file, wchar_t* buffer, int withXmlns) const {
    buffer[0] = 0;
    if (!attributesDiffer()) return 0;
    paintDiffArea.prepare(this, true);
    if (!paintDiffArea.paired) return 0;
    paintDiffArea.first.markAttributeDifferences(&paintDiffArea.second);
    if (paintDiffArea.second.changedAttributesText(buffer, kReportBufferUnits, false) > 0) {
        writeComment(file, buffer);
    }
    return static_cast<int>(paintDiffArea.first.changedAttributesText(buffer, kReportBufferUnits, withXmlns != 0));
}

void XMLTreeItem::writeValueDifference(HANDLE file) const {
    if (!textDiffers()) return;
    if (hasText(*partner) && (partner->flags & kTextIgnoredFlag) == 0)
        writeComment(file, rowText(partner->text, partner->textLength).c_str());
    // The text up to its first child mark; the runs after it follow their children.
    if (hasText(*this) && (flags & kTextIgnoredFlag) == 0) writeTextRun(file, 0);
}

void XMLTreeItem::writeUniqueChildren(HANDLE file, const wchar_t* heading) const {
    bool headed = false;
    const HWND tree = treeView;
    for (HTREEITEM item = ElementStore::child(tree, treeItem); item != nullptr; item = ElementStore::next(tree, item)) {
        const XMLTreeItem* child = ElementStore::record(tree, item);
        if (child == nullptr || child->ignoreState != 0 || child->partner != nullptr) continue;
        if (!headed) {
            writeText(file, heading, -1, currentOutputSpec);
            writeEndOfLine(file);
            headed = true;
        }
        writeMarkup(file, L"<");
        writeText(file, child->nameText(), -1, currentOutputSpec);
        NamespaceOutput::openElement(file, *child, nullptr, 0);
        writeEmptyTagEnd(file);
    }
}
