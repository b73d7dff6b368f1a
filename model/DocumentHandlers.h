// The parser handlers that turn a parse into a panel's element tree. One instance
// of each lives for the whole run; the load command points them at the panel.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include <string>

#include "model/ParserSetup.h"

struct XMLTreeView;
struct XMLTreeItem;

class SAX2CountHandlers : public xercesc::DefaultHandler {
public:
    static constexpr int kTextBufferUnits = 65536;

    int column = 1;
    int line = 1;
    HTREEITEM currentItem = nullptr;
    XMLTreeView* panel = nullptr;
    int elementCount = 0;
    const xercesc::Locator* locator = nullptr;
    int32_t currentPathHash = 0;
    wchar_t textBuffer[kTextBufferUnits] = {};
    wchar_t* textEnd = textBuffer;
    int errorSeen = 0;
    int fatalSeen = 0;
    int cancelled = 0;
    // The parser refused the document (entity expansion limit, memory bounds): the parse
    // is over whatever "ContinueAfterFatalError" says, and its last reports are noise.
    int refused = 0;
    // Clears the four flags above for a new parse. Before the document starts too: a
    // document that cannot be opened is reported without a startDocument, and a Cancel
    // left over from the parse before would silence its report.
    void clearParseFlags();
    // The external DTD of this parse that could not be read ("SchemaValidation" Auto),
    // empty when none, and the note naming it and the reason, which the log and the
    // status bar show.
    wchar_t skippedDtd[260] = {};
    wchar_t skippedDtdNote[1024] = {};
    // The prolog is read again without the DTD (restartWithoutDTD): the flags and the log
    // of the parse stay, and the reports up to the end of the DOCTYPE are not repeated.
    void beginRestart();
    // The restarted prolog has been read: the note goes to the log.
    void endRestart();
    EntityOutputMeter entityOutput;
    HANDLE logFile = nullptr;
    wchar_t logPath[260] = {};
    wchar_t message[512] = {};
    wchar_t position[260] = {};
    wchar_t messageText[1024] = {};
    wchar_t systemId[260] = {};

    bool stopRequested() const;
    XMLTreeItem* flushText();
    void refreshPosition();
    // Starts the log of a new parse: any open log is closed, and the log file is path
    // with ".log" appended while "LogErrorMessages" is on. A path that leaves no room
    // for ".log" in logPath gives no log.
    void setLogPath(const wchar_t* path);
    void closeLog();
    // Keeps the report's texts and, while "ShowErrorMessages" is on, asks whether to go
    // on; Cancel sets cancelled. Returns the box's answer, 0 when none was shown.
    int reportParseMessage(const wchar_t* kind, const xercesc::SAXParseException& exc, UINT icon);
    // Appends the line of the last report to the log, creating the file at the first one.
    void logMessage(const wchar_t* kind);
    // Refuses the document as past kEntityOutputLimit, as the parser refuses one past its
    // expansion limit.
    void refuseEntityOutput();

    // EntityResolver
    xercesc::InputSource* resolveEntity(const XMLCh* const publicId, const XMLCh* const systemId) override;

    // ContentHandler
    void characters(const XMLCh* const chars, const XMLSize_t length) override;
    void endDocument() override;
    void endElement(const XMLCh* const uri, const XMLCh* const localname, const XMLCh* const qname) override;
    void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length) override;
    void processingInstruction(const XMLCh* const target, const XMLCh* const data) override;
    void setDocumentLocator(const xercesc::Locator* const locator) override;
    void startDocument() override;
    void startElement(const XMLCh* const uri, const XMLCh* const localname, const XMLCh* const qname,
                      const xercesc::Attributes& attrs) override;

    // ErrorHandler
    void warning(const xercesc::SAXParseException& exc) override;
    void error(const xercesc::SAXParseException& exc) override;
    void fatalError(const xercesc::SAXParseException& exc) override;
    void resetErrors() override;

    // LexicalHandler
    void comment(const XMLCh* const chars, const XMLSize_t length) override;
    void endCDATA() override;
    void endDTD() override;
    void endEntity(const XMLCh* const name) override;
    void startEntity(const XMLCh* const name) override;
    void startDTD(const XMLCh* const name, const XMLCh* const publicId, const XMLCh* const systemId) override;

    // DeclHandler
    void internalEntityDecl(const XMLCh* const name, const XMLCh* const value) override;

private:
    bool isRepeatedReport(const xercesc::SAXParseException& exc) const;

    // The system id of the DOCTYPE, until the parser asks for it.
    std::wstring dtdRequest_;
    bool dtdRequested_ = false;
    bool restarting_ = false;
    // Where the DOCTYPE ended, in the parse that found its DTD unreadable.
    XMLFileLoc doctypeEndLine_ = 0;
    XMLFileLoc doctypeEndColumn_ = 0;
};

class AdvancedHandler : public xercesc::XMLDocumentHandler {
public:
    XMLTreeView* panel = nullptr;
    // Set when the document's XML declaration gave the encoding in use.
    bool encodingSeen = false;

    void docCharacters(const XMLCh* const, const XMLSize_t, const bool) override {}
    void docComment(const XMLCh* const) override {}
    void docPI(const XMLCh* const, const XMLCh* const) override {}
    void endDocument() override {}
    void endElement(const xercesc::XMLElementDecl&, const unsigned int, const bool, const XMLCh* const) override {}
    void endEntityReference(const xercesc::XMLEntityDecl&) override {}
    void ignorableWhitespace(const XMLCh* const, const XMLSize_t, const bool) override {}
    void resetDocument() override {}
    void startDocument() override { encodingSeen = false; }
    void startElement(const xercesc::XMLElementDecl&, const unsigned int, const XMLCh* const,
                      const xercesc::RefVectorOf<xercesc::XMLAttr>&, const XMLSize_t, const bool,
                      const bool) override {}
    void startEntityReference(const xercesc::XMLEntityDecl&) override {}
    void XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr, const XMLCh* const standaloneStr,
                 const XMLCh* const actualEncodingStr) override;
};

extern SAX2CountHandlers countHandlers;
extern AdvancedHandler advancedHandler;
