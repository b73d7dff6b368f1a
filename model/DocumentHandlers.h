// The parser handlers that turn a parse into a panel's element tree. One instance
// of each lives for the whole run; the load command points them at the panel.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include <string>
#include <vector>

#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"

struct XMLTreeView;
struct XMLTreeItem;

// The reading of a document again without its external DTD, when that DTD cannot be read
// ("SchemaValidation" Auto): the parser has read the prolog with the DTD as empty, but it
// validates any document with a DOCTYPE, so the document is read again from the start
// without the DTD and without validation, and the parser keeps the references to the
// entities only the DTD declares as written (kKeptReferenceMark, the name, ";").
//
// What it keeps, from the start of the first pass until clear() at the start of the next
// parse: the document's id, whether the DTD was left out, and the reports that the
// first pass made in the document's prolog (those of the document entity only). A report of
// the second pass is dropped only when it repeats one of those exactly; each excuses one.
class DTDRestart {
public:
    // The reports of one prolog that are kept; a prolog with more is reported in full again.
    static constexpr size_t kMostReports = 256;

    // A new parse: nothing expected, nothing skipped, nothing recorded.
    void clear();
    // The document the parse reads is documentId, as its reports name it.
    void setDocument(const XMLCh* documentId);
    // The DOCTYPE names systemId as its DTD (none when null or empty).
    void expectDTD(const XMLCh* systemId);
    // Whether the parser asks for the DOCTYPE's DTD now; true once per DOCTYPE.
    bool takeRequest(const XMLCh* systemId);
    // The first pass found the DTD unreadable.
    void skip() { skipped_ = true; }
    bool skipped() const { return skipped_; }
    // The first pass has left the prolog: its later reports are not kept.
    void leaveProlog() { inProlog_ = false; }
    bool running() const { return running_; }
    // The second pass: runs from the guard's making to its end, on every way out.
    class Pass {
    public:
        explicit Pass(DTDRestart& restart) : restart_(restart) { restart_.begin(); }
        ~Pass() { restart_.end(); }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        DTDRestart& restart_;
    };
    enum class Kind { kWarning, kError, kFatalError };
    // Takes note of a report of the parse. Before the second pass, one of the document's
    // prolog is kept; while it runs, true when the report repeats a kept one exactly, which
    // it then uses up.
    bool isRepeat(Kind kind, const xercesc::SAXParseException& exc);

private:
    friend class Pass;
    void begin();
    void end();

    struct Report {
        Kind kind;
        XMLFileLoc line;
        XMLFileLoc column;
        std::wstring message;
        bool used;
    };

    // The system id of the DOCTYPE, until the parser asks for it; empty when none.
    std::wstring requested_;
    std::wstring document_;
    bool skipped_ = false;
    bool running_ = false;
    bool inProlog_ = true;
    std::vector<Report> reports_;
};

// The note of a load whose external DTD was not read: by "SchemaValidation" Never, or
// because it could not be read. One per parse: set while the parse reads, written once when
// it ends, and kept (text, DTD, reason, count) until the next parse starts.
class DTDNote {
public:
    void clear();
    // The DOCTYPE names systemId as its external DTD; its external id ends at line and
    // column, where the note's log line points unless the DTD could not be read.
    void setDoctype(const XMLCh* systemId, XMLFileLoc line, XMLFileLoc column);
    // The DTD could not be read, for reason; the DOCTYPE ended at line and column.
    void leaveOut(const std::wstring& reason, XMLFileLoc line, XMLFileLoc column);
    bool leftOut() const { return leftOut_; }
    // The system id of the DTD that was not read.
    const std::wstring& dtd() const { return dtd_; }
    const std::wstring& reason() const { return reason_; }
    // Whether the parser keeps references as written: the reader's feature, which alone
    // holds that state. Marks appear only while it is on, so counting needs no switch.
    bool keepingReferences() const;
    void countKept(const XMLCh* units, XMLSize_t count);
    uint32_t keptCount() const { return kept_; }
    // Writes the text from the above, once per parse: when the DTD was left out, or when
    // "SchemaValidation" Never kept references. True when this call wrote a note.
    bool write(bool validationNever);
    // The parse failed: nothing was loaded, so there is nothing to note, now or later.
    void discard();
    // Empty until written, and when there is nothing to note.
    const wchar_t* text() const { return text_.c_str(); }
    XMLFileLoc line() const { return line_; }
    XMLFileLoc column() const { return column_; }

private:
    std::wstring doctype_;
    std::wstring dtd_;
    std::wstring reason_;
    std::wstring text_;
    bool leftOut_ = false;
    bool written_ = false;
    uint32_t kept_ = 0;
    XMLFileLoc line_ = 0;
    XMLFileLoc column_ = 0;
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
    // The parse is over whatever "ContinueAfterFatalError" says, and its last reports are
    // noise: the parser refused the document (entity expansion limit, memory bounds), or the
    // document could not be read to its end.
    int refused = 0;
    // Clears the four flags above for a new parse. Before the document starts too: a
    // document that cannot be opened is reported without a startDocument, and a Cancel
    // left over from the parse before would silence its report.
    void clearParseFlags();
    // The external DTD that this parse did not read and the references it kept.
    DTDNote dtdNote;
    // The second pass without the DTD: the flags and the log of the parse stay, and only
    // exact repeats of the first pass's reports in the prolog are dropped.
    DTDRestart dtdRestart;
    // endDocument came in this parse (of its last pass): the document was read to its end.
    bool documentEnded = false;
    // The document has a DOCTYPE (an internal or an external DTD); known once its prolog is read.
    bool doctypeSeen = false;
    // Writes the note of the DTD and puts it in the log, once per parse: from endDocument,
    // or after a parse that ended before it.
    void finishDTDNote();
    // Ends the parse with a fatal error of text about the document documentId (at line and
    // column when known, else 0), whatever "ContinueAfterFatalError" says.
    void failParse(const wchar_t* text, const XMLCh* documentId, int atLine = 0, int atColumn = 0);
    // The elements of this parse whose attributes did not all fit in the attribute text,
    // with the attributes left out; empty when none. The log and the status bar show it.
    std::wstring lostAttributesNote;
    // The elements of this parse whose text was cut at kMaxTextUnits; empty when none. The
    // log and the status bar show it beside the note of the attributes.
    std::wstring cutTextsNote;
    EntityOutputMeter entityOutput;
    HANDLE logFile = nullptr;
    wchar_t logPath[260] = {};
    wchar_t message[512] = {};
    wchar_t position[260] = {};
    wchar_t messageText[1024] = {};
    wchar_t systemId[260] = {};

    bool stopRequested() const;
    // The load of this parse fails: it was stopped, or a fatal error left no element.
    bool loadFailed() const;
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
    // Appends the line of the last report to the log, creating the file at the first one. A
    // report about another file than the document (its DTD, a schema) names it: file.
    void logMessage(const wchar_t* kind, const XMLCh* file = nullptr);
    // The document a parse reads is named documentId (as the load gave it; the parser's own
    // name for it is taken at startDocument). Reports that name another file lie outside it.
    void setDocumentId(const XMLCh* documentId);
    bool isOutsideDocument(const XMLCh* reportId) const;
    // Refuses the document as past kEntityOutputLimit, as the parser refuses one past its
    // expansion limit.
    void refuseEntityOutput();

    // EntityResolver: the requests for the DTD and the entities it names (schema requests go
    // to the external schema, resolveExternalSchema).
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
    bool isRepeatedReport(DTDRestart::Kind kind, const xercesc::SAXParseException& exc);
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
    void clearLostAttributes();
    // Adds the element to cutTextsNote, once.
    void noteCutText(const XMLTreeItem& record);
    void clearCutTexts();
    // A warning line of text at line and column in the log.
    void logWarning(const wchar_t* text, int atLine, int atColumn);

    // Per open element, the outermost first: white space was trimmed after the last unit
    // of its text, so that the next run of its text is joined to it with a blank.
    std::vector<bool> blankPending_;
    // Per open element, the outermost first, from placesStart_ on: the marks of its children
    // since its last run and the blanks beside them, which go into its text only when a run
    // follows them. Only the innermost open element's grow, so one text holds them all.
    std::wstring places_;
    std::vector<uint32_t> placesStart_;
    // A child of parent starts: its mark waits for a run of parent's text.
    void notePlaceOfChild(const XMLTreeItem& parent);
    uint64_t attributeTextAdded_ = 0;
    uint32_t lostElements_ = 0;
    std::wstring lostEntries_;
    int lostLine_ = 0;
    int lostColumn_ = 0;
    std::vector<XMLSize_t> lostWork_;
    void addDocumentId(const XMLCh* documentId);

    std::vector<std::wstring> documentIds_;
    // The text buffer was cut: the rest of the open element's run is dropped.
    bool runCut_ = false;
    const XMLTreeItem* lastCut_ = nullptr;
    uint32_t cutElements_ = 0;
    std::wstring cutEntries_;
    int cutLine_ = 0;
    int cutColumn_ = 0;
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
