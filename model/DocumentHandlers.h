// The parser handlers that turn a parse into a panel's element tree. One instance
// of each lives for the whole run; the load command points them at the panel.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include <set>
#include <string>
#include <vector>

#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"

struct XMLTreeView;
struct XMLTreeItem;

// The reading of a document again without its external DTD, when that DTD cannot be read
// ("SchemaValidation" Auto): the parser has read it as empty, but it validates any document
// with a DOCTYPE, so the document is read again without validation. Its own state from the
// DOCTYPE of the first pass to the end of the parse; nothing of it outlasts the parse.
//
// Without the DTD, references to the entities only the DTD declares would vanish from the
// texts. The second pass gives the parser a stand-in DTD that declares each name the
// document references as an entity whose text is the reference as written, its "&" taken
// by kKeptReferenceMark, so that the texts keep "&nbsp;" where the document has it.
class DTDRestart {
public:
    // The stand-in holds at most this many names, each of at most kLongestName units.
    static constexpr size_t kMostNames = 10000;
    static constexpr size_t kLongestName = 256;

    // A new parse: nothing expected, nothing skipped, nothing kept.
    void clear();
    // The DOCTYPE names systemId as its DTD (none when null or empty).
    void expectDTD(const XMLCh* systemId);
    // Whether the parser asks for the DOCTYPE's DTD now; true once per DOCTYPE.
    bool takeRequest(const XMLCh* systemId);
    // The first pass found the DTD unreadable; the DOCTYPE ended at line and column.
    void skip(XMLFileLoc line, XMLFileLoc column);
    bool skipped() const { return skipped_; }
    // The second pass runs from begin to end; Pass does both, on every way out.
    void begin();
    void end();
    bool running() const { return running_; }
    class Pass {
    public:
        explicit Pass(DTDRestart& restart) : restart_(restart) { restart_.begin(); }
        ~Pass() { restart_.end(); }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        DTDRestart& restart_;
    };
    // Whether a report of the second pass was made in the first (up to the end of the DOCTYPE).
    bool isRepeat(const xercesc::SAXParseException& exc) const;
    // A name the document references, for the stand-in DTD (before the second pass).
    void addName(std::wstring name);
    size_t nameCount() const { return names_.size(); }
    // The stand-in DTD of the second pass (the parser owns the source).
    xercesc::InputSource* standInDTD();
    // Counts the kept references in units delivered by the parser.
    void countKept(const XMLCh* units, XMLSize_t count);
    uint32_t keptCount() const { return kept_; }
    XMLFileLoc doctypeEndLine() const { return doctypeEndLine_; }
    XMLFileLoc doctypeEndColumn() const { return doctypeEndColumn_; }
    // The warning of the parse is in the log; it is written once.
    bool takeLogTurn() {
        const bool first = !logged_;
        logged_ = true;
        return first && skipped_;
    }

private:
    // The system id of the DOCTYPE, until the parser asks for it; empty when none.
    std::wstring requested_;
    bool skipped_ = false;
    bool running_ = false;
    bool logged_ = false;
    XMLFileLoc doctypeEndLine_ = 0;
    XMLFileLoc doctypeEndColumn_ = 0;
    std::set<std::wstring> names_;
    std::wstring standIn_;
    uint32_t kept_ = 0;
};

class SAX2CountHandlers : public xercesc::DefaultHandler {
public:
    static constexpr int kTextBufferUnits = 65536;
    // What entity references and declared defaults add to the attribute text of the start
    // tags, beyond the tags as written, the panel keeps up to this many units in one parse.
    // The entity meter lets a document deliver 128 million characters before it refuses it,
    // and a panel keeping them all, once per element, would hold a quarter of a gigabyte;
    // honest documents add kilobytes. Past it, attributes are left out whole, as past the
    // length of a record's attribute text.
    static constexpr uint64_t kAttributeTextFromReferences = 32u << 20;

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
    // The second pass without the DTD: the flags and the log of the parse stay, and the
    // reports up to the end of the DOCTYPE are not repeated.
    DTDRestart dtdRestart;
    // The note of the left-out DTD, with the count of the references kept, goes to the log
    // (once per parse; from endDocument, or after a parse that stopped before it).
    void logSkippedDtd();
    // The elements of this parse whose attributes did not all fit in the attribute text,
    // with the attributes left out; empty when none. The log and the status bar show it.
    std::wstring lostAttributesNote;
    EntityOutputMeter entityOutput;
    HANDLE logFile = nullptr;
    wchar_t logPath[260] = {};
    wchar_t message[512] = {};
    wchar_t position[260] = {};
    wchar_t messageText[1024] = {};
    wchar_t systemId[260] = {};

    bool stopRequested() const;
    XMLTreeItem* flushText();
    // Refreshes line and column from the locator, and the meter's place in the source.
    void refreshPosition();
    void markSource();
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
    // How much of a start tag's attribute text the panel keeps: what the tag as written holds
    // (written bytes, so at least its characters, when known) and what is left of
    // kAttributeTextFromReferences.
    uint32_t attributeTextBound(bool known, XMLFilePos written) const;
    // Adds the element and the attributes of list at the places in lost to lostAttributesNote.
    void noteLostAttributes(const XMLTreeItem& record,
                            const xercesc::Attributes& list,
                            const std::vector<XMLSize_t>& lost);
    // lostAttributesNote goes to the log, once per parse.
    void logLostAttributes();
    // skippedDtdNote from the DTD's id, the reason it could not be read and the count kept.
    void writeSkippedDtdNote();

    std::wstring skippedDtdReason_;
    // Per open element, the outermost first: white space was trimmed after the last unit
    // of its text, so that the next run of its text is joined to it with a blank.
    std::vector<bool> blankPending_;
    uint64_t attributeTextAdded_ = 0;
    uint32_t lostElements_ = 0;
    std::wstring lostEntries_;
    int lostLine_ = 0;
    int lostColumn_ = 0;
    std::vector<XMLSize_t> lostWork_;
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
