// The command line: program [first file [second file [option file]]].
#pragma once

constexpr int kCommandLineTokens = 6;

// Splits the text in place at blanks and tabs outside double quotes; a double quote
// always ends a token and is dropped. Keeps at most kCommandLineTokens tokens (the
// program's path first) and returns how many.
int splitCommandLine(wchar_t* text, wchar_t* tokens[kCommandLineTokens]);

// Reads the option file, loads the files into the panels and compares when both hold
// a document. The text (the process's whole command line) is split in place.
void processCommandLine(wchar_t* commandLine);
