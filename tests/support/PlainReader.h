// A plain SAX2 reader, set up as any non-validating parser is and not as the program sets
// up its own: no validation, no external DTD read, no references kept. It tells whether
// another program could read a file the program wrote.
#pragma once

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <memory>
#include <string>

#include "model/ParserSetup.h"

namespace plain_reader {

class CollectingErrors : public xercesc::ErrorHandler {
public:
    std::string messages;

    void warning(const xercesc::SAXParseException& e) override { add("warning", e); }
    void error(const xercesc::SAXParseException& e) override { add("error", e); }
    void fatalError(const xercesc::SAXParseException& e) override { add("fatal error", e); }
    void resetErrors() override {}

private:
    void add(const char* kind, const xercesc::SAXParseException& e) {
        messages += std::string(kind) + " at line " + std::to_string(e.getLineNumber()) + ": ";
        for (const XMLCh* c = e.getMessage(); c != nullptr && *c != 0; ++c)
            messages += *c < 0x80 ? static_cast<char>(*c) : '?';
        messages += "\n";
    }
};

// Every warning and error the reader reports for the file, one a line; empty when none.
inline std::string problemsOf(const std::wstring& path) {
    initParser();
    std::unique_ptr<xercesc::SAX2XMLReader> reader(xercesc::XMLReaderFactory::createXMLReader());
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, true);
    reader->setFeature(xercesc::XMLUni::fgXercesLoadExternalDTD, false);
    CollectingErrors errors;
    reader->setErrorHandler(&errors);
    try {
        xercesc::LocalFileInputSource source(reinterpret_cast<const XMLCh*>(path.c_str()));
        reader->parse(source);
    } catch (...) {
        errors.messages += "exception\n";
    }
    return errors.messages;
}

}  // namespace plain_reader
