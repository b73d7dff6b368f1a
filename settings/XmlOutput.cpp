#include "settings/XmlOutput.h"

#include <cwchar>

#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "settings/XmlWriter.h"

namespace {

size_t lengthOf(const wchar_t* text) {
    return text == nullptr ? 0 : std::wcslen(text);
}

}  // namespace

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
                      spec.name);
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

DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     EncodingSpec* spec,
                     const DoctypeFields& doctype) {
    currentOutputSpec = spec != nullptr ? spec : &defaultWriterSpec;
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
