// The one SAX2 reader of the process and the mapping of the loading options onto it.
#pragma once

#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>

#include <string>

extern xercesc::SAX2XMLReader* xmlReader;

// The entity expansions one parse may make before the parser refuses the document. A
// billion-laughs document needs about a billion; honest documents stay far below, and
// the predefined entities and character references do not count.
constexpr XMLSize_t kEntityExpansionLimit = 100000;
// Bounds of the parser's own memory. Entities expanded inside entity values and
// attribute values grow one buffer of the parser without passing the expansion count
// often enough; no honest document needs one block of this size, nor this much in all.
constexpr XMLSize_t kLargestParserBlock = 64u << 20;
constexpr XMLSize_t kParserMemoryBudget = 512u << 20;
// The characters that general entity references may deliver in one parse. One large
// entity referenced many times stays under the expansion limit and yet makes the parser
// copy its text for minutes. Honest documents deliver kilobytes, at most a few megabytes,
// through references; this is some 128 million, past the expansion limit of references
// to a kilobyte entity, so that such a document still meets that limit first.
constexpr XMLSize_t kEntityOutputLimit = 128u << 20;

// Counts what general entity references deliver to one parse: to the content, where the
// parser tells where a reference begins and ends, and to attribute values, where it does
// not. There the characters of a start tag's values past the length of the tag as written
// in the source can only have come from references (or declared defaults), so those count.
class EntityOutputMeter {
public:
    void begin() {
        depth_ = 0;
        delivered_ = 0;
        sourceKnown_ = false;
        sourceOffset_ = 0;
    }
    void enter() { ++depth_; }
    void leave() {
        if (depth_ > 0) --depth_;
    }
    // Counts characters of the content; true once, when they take the parse past the limit.
    bool deliver(XMLSize_t count) {
        if (depth_ == 0) return false;
        return add(count);
    }
    // Where the last event ended in the source, when the reader can tell (known).
    void markSource(bool known, XMLFilePos offset) {
        sourceKnown_ = known;
        sourceOffset_ = offset;
    }
    // A start tag that ends at tagEnd in the source holds values of valueUnits characters in
    // all; true once, when they take the parse past the limit. Without both ends of the tag
    // nothing is counted.
    bool deliverAttributes(XMLSize_t valueUnits, bool known, XMLFilePos tagEnd) {
        XMLFilePos written = 0;
        if (!known || !writtenUpTo(tagEnd, written)) return false;
        if (valueUnits <= written) return false;
        return add(static_cast<XMLSize_t>(valueUnits - written));
    }

    // The length of the tag that ends at tagEnd as written in the source (in bytes, so at
    // least its characters), into written; false when the source offsets are not known.
    bool writtenUpTo(XMLFilePos tagEnd, XMLFilePos& written) const {
        if (!sourceKnown_) return false;
        written = tagEnd > sourceOffset_ ? tagEnd - sourceOffset_ : 0;
        return true;
    }

private:
    bool add(XMLSize_t count) {
        if (delivered_ > kEntityOutputLimit) return false;
        delivered_ += count;
        return delivered_ > kEntityOutputLimit;
    }

    int depth_ = 0;
    XMLSize_t delivered_ = 0;
    bool sourceKnown_ = false;
    XMLFilePos sourceOffset_ = 0;
};

// Where reader now stands in the source of the entity it reads, in bytes; false when it
// cannot tell.
bool readerSourceOffset(const xercesc::SAX2XMLReader* reader, XMLFilePos& offset);
// The length of the attribute values in list, in characters.
XMLSize_t attributeValueUnits(const xercesc::Attributes& list);

// Initialises the parser and creates the reader (once).
void initParser();
// initParser, then installs the handler objects. Returns 1, or 0 when no reader could be made.
int setupParser();
void terminateParser();
// Sets the reader's features from the options; called before every parse.
void applyParserOptions();
// Parses the document at systemId into the installed handlers, token by token, and
// stops at once when the handlers no longer want the parse (a fatal error, Cancel in
// a parse-message box). When its external DTD cannot be read ("SchemaValidation" Auto),
// the document is read a second time from its source without the DTD. Memory running out
// outside the parser's own fails the parse as a document too large, and renews the reader;
// the parser's other exceptions pass to the caller as parse would.
void parseDocument(const XMLCh* systemId);
// Parses systemId on the calling thread with a reader of its own, under the same bounds
// as the one reader (entity expansions, entity output, memory); whatever the document
// holds and every failure are dropped. For the first-start notice, which runs on a thread
// of its own while the one reader serves the panels.
void parseDetached(const XMLCh* systemId);
// The fatal-error text of a parse past kEntityOutputLimit.
const wchar_t* entityOutputLimitText();
// Whether a fatal-error report is the parser refusing the document: past the entity
// expansion limit, the entity output limit or the bounds of its memory.
bool isRefusalReport(const xercesc::SAXParseException& report);
// Ends the running scan at the parser's next allocation, for a refusal that the parser
// itself would read on past (with "ContinueAfterFatalError" on, it goes on expanding).
void endScanAtNextAllocation();
// Answers a request for a schema from the external schema while "UseExternalSchema" is on: a
// new source that the parser owns, or null to let the parser resolve systemId itself. Requests
// for the DTD and other entities never come here.
xercesc::InputSource* resolveExternalSchema(const XMLCh* systemId);
// Opens the external DTD systemId of a document at baseId as the parser itself would, so
// that a DTD that cannot be read is known before the parser fails on it: a new source over
// the opened stream (the parser owns it), or null with the reason in reason.
xercesc::InputSource* openExternalDTD(const XMLCh* systemId, const XMLCh* baseId, std::wstring& reason);
// A new, empty external subset (the parser owns it).
xercesc::InputSource* emptyExternalSubset();
// Makes the parser accept (on) or refuse (off) the control characters U+0001 to U+001F in
// documents of both XML versions.
void enableNonPrintableChars(bool on);
