// The one SAX2 reader of the process and the mapping of the loading options onto it.
#pragma once

#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>

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

// Initialises the parser and creates the reader (once).
void initParser();
// initParser, then installs the handler objects. Returns 1, or 0 when no reader could be made.
int setupParser();
void terminateParser();
// Sets the reader's features from the options; called before every parse.
void applyParserOptions();
// Parses the document at systemId into the installed handlers, token by token, and
// stops at once when the handlers no longer want the parse (a fatal error, Cancel in
// a parse-message box). The parser's exceptions pass to the caller as parse would.
void parseDocument(const XMLCh* systemId);
// Whether a fatal-error report is the parser refusing the document: past the entity
// expansion limit or past the bounds of its memory.
bool isRefusalReport(const xercesc::SAXParseException& report);
// Ends the running scan at the parser's next allocation, for a refusal that the parser
// itself would read on past (with "ContinueAfterFatalError" on, it goes on expanding).
void endScanAtNextAllocation();
// Answers an entity request from the external schema while "UseExternalSchema" is on: a new
// source that the parser owns, or null to let the parser resolve systemId itself.
xercesc::InputSource* resolveExternalSchema(const XMLCh* systemId);
// Makes the parser accept (on) or refuse (off) the control characters U+0001 to U+001F in
// documents of both XML versions.
void enableNonPrintableChars(bool on);
