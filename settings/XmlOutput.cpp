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

// Calls visit(name, length) on the name of each reference kept as written in count units
// until it answers false; false then.
template <typename Visit>
bool forEachKeptReferenceName(const wchar_t* units, int count, Visit visit) {
    if (units == nullptr) return true;
    for (int i = 0; i < count; ++i) {
        if (!isKeptReferenceMark(i > 0 ? units[i - 1] : 0, units[i])) continue;
        int end = i + 1;
        while (end < count && units[end] != L';')
            ++end;
        if (!visit(units + i + 1, end - i - 1)) return false;
        i = end;
    }
    return true;
}

// The first name in element's subtree that spec cannot hold: with names, the elements' and
// attributes' own; always, those of the kept references in texts and attributes.
bool findInSubtree(const XMLTreeItem& top,
                   const EncodingSpec& spec,
                   bool skipIgnored,
                   bool names,
                   UnwritableName* found) {
    return anyInSubtree(top, skipIgnored, [&](const XMLTreeItem& element) {
        const wchar_t* name = element.nameText();
        if (names && !spec.holds(name, static_cast<int>(std::wcslen(name)))) {
            found->element = &element;
            return true;
        }
        const bool attributesHeld =
            !names || element.forEachAttribute([&](const wchar_t* at, int count, const wchar_t*, int) {
                if (spec.holds(at, count)) return true;
                found->element = &element;
                found->attribute.assign(at, static_cast<size_t>(count));
                return false;
            });
        if (!attributesHeld) return true;
        auto referenceHeld = [&](const wchar_t* reference, int length) {
            if (spec.holds(reference, length)) return true;
            found->element = &element;
            found->reference.assign(reference, static_cast<size_t>(length));
            return false;
        };
        return (names && !forEachKeptReferenceName(element.attributes, element.attributesLength, referenceHeld)) ||
               !forEachKeptReferenceName(element.text, element.textLength, referenceHeld);
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

// Whether a save under command may write its partner's records as markup: the paired saves
// do, and every save but the report writes the partner's differing text in the
// value-changed block of "InsertPI".
bool writesPartner(int command) {
    return command == kSaveDifferencesMode || command == kMergeMode;
}
bool writesPartnerText(int command) {
    return writesPartner(command) || (OptionSet::InsertPI && command != kSaveReportMode);
}

// Whether the command writes names of the partner's elements: as elements, or in the
// report's lists of the children only the other side has.
bool namesPartnerElements(int command) {
    return writesPartner(command) || command == kSaveReportMode;
}

// The system id with each character spec cannot hold as its UTF-8 bytes, each as %HH: the
// escaping XML gives system identifiers, which names the same resource.
std::wstring escapedSystemId(const wchar_t* systemId, const EncodingSpec& spec) {
    std::wstring escaped;
    const size_t length = lengthOf(systemId);
    for (size_t i = 0; i < length; ++i) {
        const bool pair = systemId[i] >= 0xD800 && systemId[i] <= 0xDBFF && i + 1 < length &&
                          systemId[i + 1] >= 0xDC00 && systemId[i + 1] <= 0xDFFF;
        const int units = pair ? 2 : 1;
        if (systemId[i] < 0x80 || spec.holdsCharacter(systemId + i, units)) {
            escaped.append(systemId + i, static_cast<size_t>(units));
        } else {
            char bytes[8];
            const int made =
                WideCharToMultiByte(CP_UTF8, 0, systemId + i, units, bytes, sizeof(bytes), nullptr, nullptr);
            for (int b = 0; b < made; ++b) {
                wchar_t hex[4];
                std::swprintf(hex, 4, L"%%%02X", static_cast<unsigned char>(bytes[b]));
                escaped += hex;
            }
        }
        i += static_cast<size_t>(units - 1);
    }
    return escaped;
}

// The DOCTYPE line of the fields in spec, however long they are; empty when none can be built.
std::wstring doctypeLine(const DoctypeFields& doctype, const EncodingSpec& spec) {
    const std::wstring systemId = escapedSystemId(doctype.systemId, spec);
    const size_t capacity = lengthOf(doctype.name) + lengthOf(doctype.publicId) + systemId.size() + 42;
    std::wstring line(capacity, L'\0');
    if (!formatDoctypeLine(doctype.name, doctype.publicId, systemId.c_str(), &line[0], static_cast<int>(capacity)))
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
        if (!doctypeLine(*doctypes[side], EncodingSpec()).empty()) return side;
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
    if (namesPartnerElements(command) && element.partner != nullptr) anyInSubtree(*element.partner, skipIgnored, note);
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
    if (findInSubtree(element, spec, skipIgnored, true, &found)) return found;
    if (element.partner == nullptr) return found;
    // The report has the partner's names in its comments, the value-changed block only its texts.
    const bool partnerNames = namesPartnerElements(command);
    if (partnerNames || writesPartnerText(command))
        findInSubtree(*element.partner, spec, skipIgnored, partnerNames, &found);
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
        const std::wstring line = doctypeLine(doctype, spec);
        if (!line.empty()) {
            writeText(file, line.c_str(), static_cast<int>(line.size()), &spec);
            writeEndOfLine(file);
        }
        return;
    }
    if (!OptionSet::PrintDoctype || element == nullptr || element->parent() != nullptr) return;
    wchar_t line[kDoctypeLineUnits];
    const std::wstring systemId = escapedSystemId(doctype.systemId, spec);
    if (formatDoctypeLine(doctype.name, doctype.publicId, systemId.c_str(), line, kDoctypeLineUnits)) {
        writeText(file, line, -1, &spec);
        writeEndOfLine(file);
    }
}

OutputPlan planXmlOutput(const XMLTreeItem& element,
                         int command,
                         const EncodingSpec& spec,
                         const DoctypeFields& doctype,
                         const DoctypeFields& partnerDoctype) {
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
    plan.ownKeptReferences = keptReferencesInSubtree(element, skipsIgnored(command));
    if (writesPartnerText(command) && element.partner != nullptr)
        plan.partnerKeptReferences = keptReferencesInSubtree(*element.partner, skipsIgnored(command));
    if (plan.ownKeptReferences || plan.partnerKeptReferences) {
        // Whether those records go into markup depends on the save mode's filters: the
        // writers walk once here, writing nothing, and say whose references they would write.
        EncodingSpec walkSpec = plan.spec;
        const OutputSpecScope output(&walkSpec);
        MemoryWriteSink nowhere(false);
        const KeptReferenceLog log;
        writeDocument(nowhere.handle(), element, command, doctype, false);
        plan.ownKeptReferences = log.holds(element.treeView);
        plan.partnerKeptReferences = element.partner != nullptr && log.holds(element.partner->treeView);
    }
    const DoctypeFields* const doctypes[2] = {&doctype, &partnerDoctype};
    const int side = keptReferenceSide(plan.ownKeptReferences, plan.partnerKeptReferences, doctypes);
    plan.keptReferences = side >= 0;
    plan.doctype = side >= 0 ? *doctypes[side] : doctype;
    plan.unwritable = findUnwritableName(element, command, spec);
    // The DOCTYPE's name is a name too, written when its line is.
    const bool doctypeWritten = plan.keptReferences || (OptionSet::PrintDoctype && element.parent() == nullptr);
    const wchar_t* doctypeName = plan.doctype.name;
    if (!plan.unwritable.found() && doctypeWritten && lengthOf(doctypeName) != 0 &&
        !spec.holds(doctypeName, static_cast<int>(lengthOf(doctypeName))))
        plan.unwritable.doctype = doctypeName;
    if (!plan.unwritable.found()) return plan;
    if (spec.kind != 0) {
        plan.refusal = kUnwritableNameError;
        return plan;
    }
    plan.unwritable = UnwritableName();
    plan.spec.setName(L"UTF-8");
    plan.spec.endOfLine = spec.endOfLine;
    return plan;
}

DWORD writeXmlOutput(const wchar_t* path, const XMLTreeItem& element, int command, const OutputPlan& plan) {
    if (plan.refusal != ERROR_SUCCESS) return plan.refusal;
    EncodingSpec spec = plan.spec;
    const OutputSpecScope output(&spec);
    ReplacingFileWriter writer;
    if (!writer.begin(path)) return writer.error();
    // Unbuffered, a failing write would go unnoticed: the writers do not check theirs.
    if (!writer.useOutputBuffer()) return ERROR_NOT_ENOUGH_MEMORY;
    writeDocument(writer.handle(), element, command, plan.doctype, plan.keptReferences);
    if (!writer.commit()) return writer.error() != 0 ? writer.error() : ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     const EncodingSpec* spec,
                     const DoctypeFields& doctype,
                     const DoctypeFields& partnerDoctype) {
    return writeXmlOutput(
        path, element, command,
        planXmlOutput(element, command, spec != nullptr ? *spec : defaultWriterSpec, doctype, partnerDoctype));
}
