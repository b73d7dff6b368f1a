// The one SAX2 reader of the process and the mapping of the loading options onto it.
#pragma once

#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>

extern xercesc::SAX2XMLReader* xmlReader;

// Initialises the parser and creates the reader (once).
void initParser();
// initParser, then installs the handler objects. Returns 1, or 0 when no reader could be made.
int setupParser();
void terminateParser();
// Sets the reader's features from the options; called before every parse.
void applyParserOptions();
// Answers an entity request from the external schema while "UseExternalSchema" is on: a new
// source that the parser owns, or null to let the parser resolve systemId itself.
xercesc::InputSource* resolveExternalSchema(const XMLCh* systemId);
// Makes the parser accept (on) or refuse (off) the control characters U+0001 to U+001F in
// documents of both XML versions.
void enableNonPrintableChars(bool on);
