#include "model/ParserSetup.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/URLInputSource.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLURL.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>

#include "model/DocumentHandlers.h"
#include "settings/OptionSet.h"

xercesc::SAX2XMLReader* xmlReader = nullptr;

namespace {

constexpr int kControlUnits = 32;
constexpr uint8_t kValidCharBit = 0x40;

// The parser's own entries for U+0000 to U+001F, taken each time the control characters
// are switched on, so that switching off gives back exactly what the parser had.
uint8_t savedTable10[kControlUnits];
uint8_t savedTable11[kControlUnits];
bool tablesSaved = false;

}  // namespace

void initParser() {
    if (xmlReader != nullptr) return;
    try {
        xercesc::XMLPlatformUtils::Initialize("en_US");
        xmlReader = xercesc::XMLReaderFactory::createXMLReader(xercesc::XMLPlatformUtils::fgMemoryManager);
    } catch (...) {
        xmlReader = nullptr;
    }
}

int setupParser() {
    initParser();
    if (xmlReader == nullptr) return 0;
    xmlReader->setContentHandler(&countHandlers);
    xmlReader->setErrorHandler(&countHandlers);
    xmlReader->installAdvDocHandler(&advancedHandler);
    xmlReader->setLexicalHandler(&countHandlers);
    xmlReader->setDeclarationHandler(&countHandlers);
    xmlReader->setEntityResolver(&countHandlers);
    return 1;
}

void terminateParser() {
    if (xmlReader == nullptr) return;
    delete xmlReader;
    xmlReader = nullptr;
    xercesc::XMLPlatformUtils::Terminate();
}

void applyParserOptions() {
    if (xmlReader == nullptr) return;
    using xercesc::XMLUni;
    xmlReader->setFeature(XMLUni::fgXercesSchema, OptionSet::DoSchema != 0);
    xmlReader->setFeature(XMLUni::fgXercesSchemaFullChecking, OptionSet::SchemaFullChecking != 0);
    xmlReader->setFeature(XMLUni::fgXercesValidationErrorAsFatal, OptionSet::ValidationErrorAsFatal != 0);
    xmlReader->setFeature(XMLUni::fgXercesContinueAfterFatalError, OptionSet::ContinueAfterFatalError != 0);
    xmlReader->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, OptionSet::DoNamespaces != 0);
    xmlReader->setFeature(XMLUni::fgSAX2CoreNameSpaces, OptionSet::DoNamespaces != 0);
    xmlReader->setFeature(XMLUni::fgXercesLoadExternalDTD, OptionSet::SchemaValidation != 1);
    xmlReader->setFeature(XMLUni::fgSAX2CoreValidation, OptionSet::SchemaValidation != 1);
    xmlReader->setFeature(XMLUni::fgXercesDynamic, OptionSet::SchemaValidation == 0);
    FilePath& schema = OptionSet::PathToExternalSchema;
    void* location = nullptr;
    if (OptionSet::SchemaValidation == 2 && OptionSet::UseExternalSchema && (schema.flags & FilePath::kXSD))
        location = const_cast<wchar_t*>(schema.reset());
    xmlReader->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation, location);
    enableNonPrintableChars(OptionSet::AllowNonPrintableChars == 1);
}

xercesc::InputSource* resolveExternalSchema(const XMLCh* systemId) {
    FilePath& schema = OptionSet::PathToExternalSchema;
    if (!OptionSet::UseExternalSchema || !schema.isSet()) return nullptr;
    const wchar_t* path = schema.resolve(systemId);
    if (path == nullptr) return nullptr;
    if (schema.flags & FilePath::kURL) {
        xercesc::XMLURL url;
        if (!xercesc::XMLURL::parse(path, url)) return nullptr;
        return new xercesc::URLInputSource(url);
    }
    return new xercesc::LocalFileInputSource(path);
}

void enableNonPrintableChars(bool on) {
    uint8_t* table10 = xercesc::XMLChar1_0::getCharCharsTable();
    uint8_t* table11 = xercesc::XMLChar1_1::getCharCharsTable();
    bool allowed = (table10[1] & kValidCharBit) != 0;
    if (on == allowed) return;
    if (on) {
        std::memcpy(savedTable10, table10, kControlUnits);
        std::memcpy(savedTable11, table11, kControlUnits);
        tablesSaved = true;
        for (int unit = 1; unit < kControlUnits; ++unit) {
            table10[unit] |= kValidCharBit;
            table11[unit] |= kValidCharBit;
        }
    } else if (tablesSaved) {
        std::memcpy(table10, savedTable10, kControlUnits);
        std::memcpy(table11, savedTable11, kControlUnits);
    }
}
