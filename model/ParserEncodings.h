// The encodings the parser reads: the same table of names and code pages as the editor
// and the writers (settings/EncodingSpec), so that a document that loads also shows in the
// element window and saves in its own encoding.
#pragma once

// Puts the table in front of the platform's transcoding service, which goes by the
// system's list of charsets (under Wine, EUC-JP there names a code page that converts
// nothing). Call after the parser is initialised; a second call does nothing. An encoding
// the table does not name by a real name or alias, or whose code page this system lacks, is
// refused by name; so is a byte sequence that is no character of the encoding.
void installParserEncodings();
