// One XML output file: the byte order mark, the XML declaration, the DOCTYPE line of
// the root, then the element under a save mode, written beside the target and moved
// over it only when complete.
#pragma once

#include <windows.h>

struct EncodingSpec;
struct XMLTreeItem;

// The DOCTYPE of the document the element comes from (texts not owned; null or empty
// when absent).
struct DoctypeFields {
    const wchar_t* name;
    const wchar_t* publicId;
    const wchar_t* systemId;
};

constexpr int kDoctypeLineUnits = 512;

// "<!DOCTYPE name PUBLIC "p" "s">" or "<!DOCTYPE name SYSTEM "s">" into buffer; 0 (and
// nothing built) without a name, without either id, when it would not fit, or when the
// system id holds both kinds of quote. A system id holding a double quote is written
// between apostrophes.
int formatDoctypeLine(const wchar_t* name,
                      const wchar_t* publicId,
                      const wchar_t* systemId,
                      wchar_t* buffer,
                      int capacity);
// Byte order mark, declaration and, with "PrintDoctype" and an element without a
// parent, the DOCTYPE line; in the encoding currentOutputSpec points at.
void writeXmlDeclaration(HANDLE file, const XMLTreeItem* element, const DoctypeFields& doctype);
// Points currentOutputSpec at spec and writes element under command (568, 980-986) to
// path. Returns ERROR_SUCCESS, or the system error; on an error the file at path is
// as it was.
DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     EncodingSpec* spec,
                     const DoctypeFields& doctype);
