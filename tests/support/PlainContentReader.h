// Reads the content of a file the program wrote with a parser of its own: no validation, no external DTD,
// none of the program's handlers. What a test checks of a written file is what another
// program would read in it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLUni.hpp>

struct PlainElement {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    std::wstring text;  // the element's own character data, as the file holds it
    // The character data with each child's start standing as "<name>" where it stood.
    std::wstring content;
    // Read with namespaces only: the element's namespace and each attribute's, in the
    // order of attributes (declarations are not attributes then).
    std::wstring uri;
    std::vector<std::wstring> attributeUris;
};

struct PlainDocument {
    bool wellFormed = false;
    std::wstring firstError;
    std::vector<PlainElement> elements;  // in document order

    const PlainElement* named(const std::wstring& name) const {
        for (const PlainElement& e : elements)
            if (e.name == name) return &e;
        return nullptr;
    }
};

namespace plain_content {
class Collector : public xercesc::DefaultHandler {
public:
    explicit Collector(PlainDocument& document) : document_(document) {}

    void startElement(const XMLCh* const uri,
                      const XMLCh* const,
                      const XMLCh* const qname,
                      const xercesc::Attributes& attrs) override {
        PlainElement element;
        element.name = qname;
        if (!open_.empty()) document_.elements[open_.back()].content += L"<" + element.name + L">";
        element.uri = uri;
        for (XMLSize_t i = 0; i < attrs.getLength(); ++i) {
            element.attributes.emplace_back(attrs.getQName(i), attrs.getValue(i));
            element.attributeUris.emplace_back(attrs.getURI(i));
        }
        open_.push_back(document_.elements.size());
        document_.elements.push_back(std::move(element));
    }
    void endElement(const XMLCh* const, const XMLCh* const, const XMLCh* const) override {
        if (!open_.empty()) open_.pop_back();
    }
    void characters(const XMLCh* const chars, const XMLSize_t length) override {
        if (open_.empty()) return;
        document_.elements[open_.back()].text.append(chars, length);
        document_.elements[open_.back()].content.append(chars, length);
    }
    void error(const xercesc::SAXParseException& e) override { note(e); }
    void fatalError(const xercesc::SAXParseException& e) override { note(e); }

    bool failed = false;

private:
    void note(const xercesc::SAXParseException& e) {
        if (!failed)
            document_.firstError = std::wstring(e.getMessage()) + L" at line " + std::to_wstring(e.getLineNumber());
        failed = true;
    }

    PlainDocument& document_;
    std::vector<size_t> open_;
};
}  // namespace plain_content

// With namespaces, a prefix that nothing binds is an error, and each element and
// attribute gets its namespace.
inline PlainDocument readPlain(const std::wstring& path, bool namespaces = false) {
    PlainDocument document;
    std::unique_ptr<xercesc::SAX2XMLReader> reader(xercesc::XMLReaderFactory::createXMLReader());
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(xercesc::XMLUni::fgXercesLoadExternalDTD, false);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, namespaces);
    plain_content::Collector collector(document);
    reader->setContentHandler(&collector);
    reader->setErrorHandler(&collector);
    try {
        reader->parse(path.c_str());
    } catch (...) {
        collector.failed = true;
        if (document.firstError.empty()) document.firstError = L"the parser threw";
    }
    document.wellFormed = !collector.failed;
    return document;
}
