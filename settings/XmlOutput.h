// One XML output file: the byte order mark, the XML declaration, the DOCTYPE line of
// the root, then the element under a save mode, written beside the target and moved
// over it only when complete.
#pragma once

#include <windows.h>

#include <string>

#include "settings/EncodingSpec.h"

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
// parent, the DOCTYPE line; in the encoding currentOutputSpec points at. With
// keptReferences the output holds references kept as written: the DOCTYPE line is
// written whatever the option and the element, for any fields a panel holds. A character
// of the system id that the encoding lacks is written as XML has it for system
// identifiers: its UTF-8 bytes as %HH, so that the line names the same DTD.
void writeXmlDeclaration(HANDLE file,
                         const XMLTreeItem* element,
                         const DoctypeFields& doctype,
                         bool keptReferences = false);
// A name that a save would write and its encoding cannot hold: the element, with the
// attribute when the name is one of the element's attribute names, or the reference when
// it is the name of a reference kept as written in its text or attributes (both empty when
// it is the element's own). element is null when every name is held. doctype: the name is
// that of the DOCTYPE line the output gets (element is then null).
struct UnwritableName {
    const XMLTreeItem* element = nullptr;
    std::wstring attribute;
    std::wstring reference;
    std::wstring doctype;
    bool found() const { return element != nullptr || !doctype.empty(); }
};
// The first such name among the elements command writes from element: its subtree and,
// for the commands that write the partner's elements too, the partner's.
UnwritableName findUnwritableName(const XMLTreeItem& element, int command, const EncodingSpec& spec);

// Whether the program's parser reads a file written in spec back: it knows the declared
// encoding (it has no UTF-7, and which code pages it has depends on the system).
bool parserReads(const EncodingSpec& spec);

// The errors of a save that writeXmlOutput refuses before anything is written: files in
// the encoding would not read back, a name cannot be held by it, or a report holds nothing.
constexpr DWORD kUnreadableEncodingError = ERROR_UNSUPPORTED_TYPE;
constexpr DWORD kUnwritableNameError = ERROR_NO_UNICODE_TRANSLATION;
// A report of an element that is ignored, has no partner or equals it holds nothing.
constexpr DWORD kNothingToReportError = ERROR_NO_DATA;

// One save, decided once before anything is asked or written: its encoding and its DOCTYPE.
struct OutputPlan {
    DWORD refusal = ERROR_SUCCESS;  // or one of the errors above
    UnwritableName unwritable;      // the name behind kUnwritableNameError
    EncodingSpec spec;              // what the file is written in
    // Whether the output holds references kept as written (left without the DTD that
    // declares them) from the element's own tree, and from its partner's.
    bool ownKeptReferences = false;
    bool partnerKeptReferences = false;
    // The DOCTYPE the output gets, and whether it gets it whatever "PrintDoctype" says and
    // wherever the element is (the output holds kept references).
    DoctypeFields doctype{};
    bool keptReferences = false;
};
// The save of element under command in spec. doctype is that of the element's document,
// partnerDoctype that of its partner's. Under "<none>", names beyond ASCII are written in
// UTF-8, declared: a file without a declaration is read as UTF-8. When the output holds a
// reference kept as written, it gets the DOCTYPE of a document it comes from, so that it
// reads as that document did: the element's own when its references are in the output (or
// the partner's has no DOCTYPE to give), else the partner's. A document whose references
// were kept did not read its DTD, so its DOCTYPE keeps the partner's references too.
OutputPlan planXmlOutput(const XMLTreeItem& element,
                         int command,
                         const EncodingSpec& spec,
                         const DoctypeFields& doctype = DoctypeFields{},
                         const DoctypeFields& partnerDoctype = DoctypeFields{});

// Writes element under command (568, 980-986) to path as the plan says, in its encoding,
// which currentOutputSpec points at while it writes and no longer afterwards. Returns
// ERROR_SUCCESS, or the plan's refusal or the system error; on an error the file at path
// is as it was.
DWORD writeXmlOutput(const wchar_t* path, const XMLTreeItem& element, int command, const OutputPlan& plan);
// The same after planXmlOutput in spec (null: defaultWriterSpec).
DWORD writeXmlOutput(const wchar_t* path,
                     const XMLTreeItem& element,
                     int command,
                     const EncodingSpec* spec,
                     const DoctypeFields& doctype,
                     const DoctypeFields& partnerDoctype = DoctypeFields{});
