#include "settings/XmlOutput.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include <cwchar>
#include <memory>

#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "settings/XmlWriter.h"

namespace {

size_t lengthOf(const wchar_t* text) {
    return text == nullptr ? 0 : std::wcslen(text);
}

// The first name in element's subtree (ignored subtrees left out when they are) that
// spec cannot hold. The walk climbs back by the items' parents instead of recursing, so
// a deep document needs no deep stack.
bool findInSubtree(const XMLTreeItem& top, const EncodingSpec& spec, bool skipIgnored, UnwritableName* found) {
    const HWND tree = top.treeView;
    auto check = [&](const XMLTreeItem& element) {
        const wchar_t* name = element.nameText();
        if (!spec.holds(name, static_cast<int>(std::wcslen(name)))) {
            found->element = &element;
            return false;
        }
        return element.forEachAttribute([&](const wchar_t* at, int count, const wchar_t*, int) {
            if (spec.holds(at, count)) return true;
            found->element = &element;
            found->attribute.assign(at, static_cast<size_t>(count));
            return false;
        });
    };
    auto wanted = [&](const XMLTreeItem* element) {
        return element != nullptr && !(skipIgnored && element->ignoreState != 0);
    };
    if (!wanted(&top)) return false;
    if (!check(top)) return true;
    const HTREEITEM topItem = top.treeItem;
    HTREEITEM item = tree != nullptr ? ElementStore::child(tree, topItem) : nullptr;
    while (item != nullptr) {
        const XMLTreeItem* element = ElementStore::record(tree, item);
        const bool enter = wanted(element);
        if (enter && !check(*element)) return true;
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
    const bool skipIgnored = !OptionSet::IncludeIgnoredElements || command == kSaveReportMode;
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

void writeXmlDeclaration(HANDLE file, const XMLTreeItem* element, const DoctypeFields& doctype) {
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
    if (!parserReads(spec)) {
        plan.refusal = kUnreadableEncodingError;
        return plan;
    }
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
                     const DoctypeFields& doctype) {
    if (plan.refusal != ERROR_SUCCESS) return plan.refusal;
    EncodingSpec spec = plan.spec;
    const OutputSpecScope output(&spec);
    ReplacingFileWriter writer;
    if (!writer.begin(path)) return writer.error();
    // Unbuffered, a failing write would go unnoticed: the writers do not check theirs.
    if (!writer.useOutputBuffer()) return ERROR_NOT_ENOUGH_MEMORY;
    const HANDLE file = writer.handle();
    writeXmlDeclaration(file, &element, doctype);
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
    if (!writer.commit()) return writer.error() != 0 ? writer.error() : ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     const EncodingSpec* spec,
                     const DoctypeFields& doctype) {
    return writeXmlOutput(path, element, command,
                          planXmlOutput(element, command, spec != nullptr ? *spec : defaultWriterSpec), doctype);
}
