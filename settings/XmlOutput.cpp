#include "settings/XmlOutput.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include <cwchar>
#include <memory>
#include <string>

#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/NamespaceOutput.h"
#include "settings/OptionSet.h"
#include "settings/ReportWriter.h"
#include "settings/XmlWriter.h"

namespace {

size_t lengthOf(const wchar_t* text) {
    return text == nullptr ? 0 : std::wcslen(text);
}

// Calls check on top and on each element of its subtree in document order (ignored
// subtrees left out when skipIgnored) until it answers true; true then. The walk climbs
// back by the items' parents instead of recursing, so a deep document needs no deep stack.
template <typename Check>
bool anyInSubtree(const XMLTreeItem& top, bool skipIgnored, Check check) {
    const HWND tree = top.treeView;
    auto wanted = [&](const XMLTreeItem* element) {
        return element != nullptr && !(skipIgnored && element->ignoreState != 0);
    };
    if (!wanted(&top)) return false;
    if (check(top)) return true;
    const HTREEITEM topItem = top.treeItem;
    HTREEITEM item = tree != nullptr ? ElementStore::child(tree, topItem) : nullptr;
    while (item != nullptr) {
        const XMLTreeItem* element = ElementStore::record(tree, item);
        const bool enter = wanted(element);
        if (enter && check(*element)) return true;
        HTREEITEM next = enter ? ElementStore::child(tree, item) : nullptr;
        // Up until a level with a next sibling, stopping at the top.
        for (HTREEITEM at = item; next == nullptr && at != topItem && at != nullptr;) {
            next = ElementStore::next(tree, at);
            if (next == nullptr) {
                at = ElementStore::parent(tree, at);
                if (at == topItem) break;
            }
        }
        item = next;
    }
    return false;
}

// The first name in element's subtree that spec cannot hold.
bool findInSubtree(const XMLTreeItem& top, const EncodingSpec& spec, bool skipIgnored, UnwritableName* found) {
    return anyInSubtree(top, skipIgnored, [&](const XMLTreeItem& element) {
        const wchar_t* name = element.nameText();
        if (!spec.holds(name, static_cast<int>(std::wcslen(name)))) {
            found->element = &element;
            return true;
        }
        return !element.forEachAttribute([&](const wchar_t* at, int count, const wchar_t*, int) {
            if (spec.holds(at, count)) return true;
            found->element = &element;
            found->attribute.assign(at, static_cast<size_t>(count));
            return false;
        });
    });
}

bool keptReferencesInSubtree(const XMLTreeItem& top, bool skipIgnored) {
    return anyInSubtree(top, skipIgnored, [](const XMLTreeItem& element) {
        return holdsKeptReference(element.text, element.textLength) ||
               holdsKeptReference(element.attributes, element.attributesLength);
    });
}

// Whether a save under command leaves out ignored elements (the report always does).
bool skipsIgnored(int command) {
    return !OptionSet::IncludeIgnoredElements || command == kSaveReportMode;
}

// Whether the command writes names of the partner's elements: as elements, or in the
// report's lists of the children only the other side has.
bool writesPartner(int command) {
    return command == kSaveDifferencesMode || command == kMergeMode || command == kSaveReportMode;
}

// The DOCTYPE line of the fields, however long they are; empty when none can be built.
std::wstring doctypeLine(const DoctypeFields& doctype) {
    const size_t capacity = lengthOf(doctype.name) + lengthOf(doctype.publicId) + lengthOf(doctype.systemId) + 42;
    std::wstring line(capacity, L'\0');
    if (!formatDoctypeLine(doctype.name, doctype.publicId, doctype.systemId, &line[0], static_cast<int>(capacity)))
        return std::wstring();
    line.resize(std::wcslen(line.c_str()));
    return line;
}

// Of the two documents a save takes its records from (0 the element's, 1 its partner's),
// the one whose DOCTYPE an output with kept references gets: the first whose references it
// holds, the element's before the partner's, or else the other one, when the first has no
// DOCTYPE to give (its references came with records copied from the other document).
// -1: no kept references, or no DOCTYPE at all.
int keptReferenceSide(bool own, bool partner, const DoctypeFields* const doctypes[2]) {
    if (!own && !partner) return -1;
    const int first = own ? 0 : 1;
    for (int side : {first, 1 - first}) {
        if (!doctypeLine(*doctypes[side]).empty()) return side;
    }
    return -1;
}

void writeDocument(HANDLE file,
                   const XMLTreeItem& element,
                   int command,
                   const DoctypeFields& doctype,
                   bool keptReferences) {
    writeXmlDeclaration(file, &element, doctype, keptReferences);
    // The top element declares the namespaces of every element the command may write: its
    // own subtree's and, for the commands that write the partner's elements or names, the
    // partner's.
    NamespaceOutput namespaces;
    const bool skipIgnored = skipsIgnored(command);
    auto note = [&namespaces](const XMLTreeItem& e) {
        namespaces.noteUses(e);
        return false;
    };
    anyInSubtree(element, skipIgnored, note);
    if (writesPartner(command) && element.partner != nullptr) anyInSubtree(*element.partner, skipIgnored, note);
    switch (command) {
        case kSaveElementMode:
            element.saveSubtree(file);
            break;
        case kSaveDifferencesMode:
        case kMergeMode:
            element.savePair(file, command, 0, 0);
            break;
        case kSaveCommonMode:
        case kSaveChangedMode:
        case kSaveDeletedMode:
        case kSaveDeletedChangedMode:
            element.saveInMode(file, 1, command, 0, 0);
            break;
        case kSaveReportMode:
            element.writeReport(file, 1);
            break;
        default:
            break;
    }
}

}  // namespace

bool parserReads(const EncodingSpec& spec) {
    if (spec.kind == 0) return true;  // no declaration, and the writers keep to ASCII
    if (spec.codePage == 65000) return false;
    initParser();
    if (xercesc::XMLPlatformUtils::fgTransService == nullptr) return false;
    try {
        xercesc::XMLTransService::Codes result = xercesc::XMLTransService::Ok;
        std::unique_ptr<xercesc::XMLTranscoder> transcoder(
            xercesc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(spec.declaredName(), result, 64));
        return transcoder != nullptr && result == xercesc::XMLTransService::Ok;
    } catch (...) {
        return false;
    }
}

UnwritableName findUnwritableName(const XMLTreeItem& element, int command, const EncodingSpec& spec) {
    UnwritableName found;
    const bool skipIgnored = skipsIgnored(command);
    if (findInSubtree(element, spec, skipIgnored, &found)) return found;
    const bool withPartner = command == kSaveDifferencesMode || command == kMergeMode || command == kSaveReportMode;
    if (withPartner && element.partner != nullptr) findInSubtree(*element.partner, spec, skipIgnored, &found);
    return found;
}

int formatDoctypeLine(const wchar_t* name,
                      const wchar_t* publicId,
                      const wchar_t* systemId,
                      wchar_t* buffer,
                      int capacity) {
    const size_t nameLength = lengthOf(name);
    const size_t publicLength = lengthOf(publicId);
    const size_t systemLength = lengthOf(systemId);
    if (nameLength == 0 || (publicLength == 0 && systemLength == 0)) return 0;
    if (capacity <= 0 || nameLength + publicLength + systemLength + 42 > static_cast<size_t>(capacity)) return 0;
    // A system literal may hold either quote but not the one around it.
    const bool doubleQuoteInside = systemLength != 0 && std::wcschr(systemId, L'"') != nullptr;
    if (doubleQuoteInside && std::wcschr(systemId, L'\'') != nullptr) return 0;
    const wchar_t* systemQuote = doubleQuoteInside ? L"'" : L"\"";
    if (publicLength != 0) {
        std::swprintf(buffer, static_cast<size_t>(capacity), L"<!DOCTYPE %ls PUBLIC \"%ls\" %ls%ls%ls>", name, publicId,
                      systemQuote, systemLength != 0 ? systemId : L"", systemQuote);
    } else {
        std::swprintf(buffer, static_cast<size_t>(capacity), L"<!DOCTYPE %ls SYSTEM %ls%ls%ls>", name, systemQuote,
                      systemId, systemQuote);
    }
    return 1;
}

void writeXmlDeclaration(HANDLE file, const XMLTreeItem* element, const DoctypeFields& doctype, bool keptReferences) {
    const EncodingSpec& spec = outputSpec();
    wchar_t declaration[64 + EncodingSpec::kNameUnits];
    if (spec.kind != 0)
        std::swprintf(declaration, 64 + EncodingSpec::kNameUnits, L"<?xml version=\"1.0\" encoding=\"%ls\"?>",
                      spec.declaredName());
    else
        std::wcscpy(declaration, L"<?xml version=\"1.0\"?>");
    spec.writeByteOrderMark(file);
    writeText(file, declaration, -1, &spec);
    writeEndOfLine(file);
    if (keptReferences) {
        const std::wstring line = doctypeLine(doctype);
        if (!line.empty()) {
            writeText(file, line.c_str(), static_cast<int>(line.size()), &spec);
            writeEndOfLine(file);
        }
        return;
    }
    if (!OptionSet::PrintDoctype || element == nullptr || element->parent() != nullptr) return;
    wchar_t line[kDoctypeLineUnits];
    if (formatDoctypeLine(doctype.name, doctype.publicId, doctype.systemId, line, kDoctypeLineUnits)) {
        writeText(file, line, -1, &spec);
        writeEndOfLine(file);
    }
}

OutputPlan planXmlOutput(const XMLTreeItem& element, int command, const EncodingSpec& spec) {
    OutputPlan plan;
    plan.spec = spec;
    if (command == kSaveReportMode && !reportHoldsAnything(element)) {
        plan.refusal = kNothingToReportError;
        return plan;
    }
    if (!parserReads(spec)) {
        plan.refusal = kUnreadableEncodingError;
        return plan;
    }
    // Only these write the partner's records as markup; the report has them in comments.
    const bool partnerWritten = command == kSaveDifferencesMode || command == kMergeMode;
    plan.ownKeptReferences = keptReferencesInSubtree(element, skipsIgnored(command));
    if (partnerWritten && element.partner != nullptr)
        plan.partnerKeptReferences = keptReferencesInSubtree(*element.partner, skipsIgnored(command));
    plan.unwritable = findUnwritableName(element, command, spec);
    if (plan.unwritable.element == nullptr) return plan;
    if (spec.kind != 0) {
        plan.refusal = kUnwritableNameError;
        return plan;
    }
    plan.unwritable = UnwritableName();
    plan.spec.setName(L"UTF-8");
    plan.spec.endOfLine = spec.endOfLine;
    return plan;
}

DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     const OutputPlan& plan,
                     const DoctypeFields& doctype,
                     const DoctypeFields& partnerDoctype) {
    if (plan.refusal != ERROR_SUCCESS) return plan.refusal;
    EncodingSpec spec = plan.spec;
    const OutputSpecScope output(&spec);
    const DoctypeFields* const doctypes[2] = {&doctype, &partnerDoctype};
    const HWND trees[2] = {element.treeView, element.partner != nullptr ? element.partner->treeView : nullptr};
    // The plan tells from the records which DOCTYPE the output needs; what the writers
    // noted while writing is sure. The first file is kept when the two agree (what it
    // writes does not depend on the DOCTYPE line), else written once more with the right one.
    int side = keptReferenceSide(plan.ownKeptReferences, plan.partnerKeptReferences, doctypes);
    for (int pass = 0;; ++pass) {
        ReplacingFileWriter writer;
        if (!writer.begin(path)) return writer.error();
        // Unbuffered, a failing write would go unnoticed: the writers do not check theirs.
        if (!writer.useOutputBuffer()) return ERROR_NOT_ENOUGH_MEMORY;
        const KeptReferenceLog log;
        writeDocument(writer.handle(), element, command, side >= 0 ? *doctypes[side] : doctype, side >= 0);
        const int needed = keptReferenceSide(log.holds(trees[0]), log.holds(trees[1]), doctypes);
        if (needed != side && pass == 0 && !writer.failed()) {
            side = needed;
            continue;  // the first file goes with its writer
        }
        if (!writer.commit()) return writer.error() != 0 ? writer.error() : ERROR_WRITE_FAULT;
        return ERROR_SUCCESS;
    }
}

DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     const EncodingSpec* spec,
                     const DoctypeFields& doctype,
                     const DoctypeFields& partnerDoctype) {
    return writeXmlOutput(path, element, command,
                          planXmlOutput(element, command, spec != nullptr ? *spec : defaultWriterSpec), doctype,
                          partnerDoctype);
}
