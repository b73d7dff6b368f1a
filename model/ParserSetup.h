// The one SAX2 reader of the process and the mapping of the loading options onto it.
#pragma once

#include <xercesc/sax2/SAX2XMLReader.hpp>

extern xercesc::SAX2XMLReader* xmlReader;

// Initialises the parser and creates the reader (once).
void initParser();
// initParser, then installs the handler objects. Returns 1, or 0 when no reader could be made.
int setupParser();
void terminateParser();
// Sets the reader's features from the options; called before every parse.
void applyParserOptions();
