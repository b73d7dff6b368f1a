#include "model/ParserSetup.h"

#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "model/DocumentHandlers.h"
#include "settings/OptionSet.h"

xercesc::SAX2XMLReader* xmlReader = nullptr;

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
}
