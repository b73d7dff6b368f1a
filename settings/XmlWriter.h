// The XML text of compared elements: escaping, comments, and the save modes that
// write an element with its partner's differences. The element writers themselves
// are members of XMLTreeItem (declared with the record) and live in XmlWriter.cpp.
// Everything goes through writeText with the record currentOutputSpec points at.
#pragma once

#include <windows.h>

#include <cstddef>

#include "settings/EncodingSpec.h"

struct XMLTreeItem;

// The save modes are the numbers of the commands that ask for them.
enum SaveMode {
    kSaveElementMode = 568,
    kSaveDifferencesMode = 980,
    kMergeMode = 981,
    kSaveCommonMode = 982,
    kSaveChangedMode = 983,
    kSaveDeletedMode = 984,
    kSaveDeletedChangedMode = 985,
    kSaveReportMode = 986,
};

// A piece of markup whose length is known at compile time, in the output encoding.
template <size_t N>
void writeMarkup(HANDLE file, const wchar_t (&text)[N]) {
    writeText(file, text, static_cast<int>(N - 1), &outputSpec());
}
// "/>" and an end of line after a start tag (XMLTreeItem::writeStartTag or the report's),
// which closes the element's namespace scope as its end tag would; no end of line for an
// element that stands in its parent's text (inLine).
void writeEmptyTagEnd(HANDLE file, bool inLine = false);
// Whether the element has text of its own.
bool hasText(const XMLTreeItem& element);

// The text with '"', '&', '<' and '>' escaped and the attribute text's quote marks as
// double quotes. A character the output encoding cannot hold (under "<none>", every one
// above U+007F) becomes a character reference, so the file reads back as written.
void writeEscaped(HANDLE file, const wchar_t* text);
void writeEscaped(HANDLE file, const wchar_t* text, int count);
// "<!-- ", the text escaped, " -->", end of line. A hyphen that follows a hyphen gets a
// blank before it: "--" may not appear inside a comment.
void writeComment(HANDLE file, const wchar_t* text);

// Whether the units hold an entity reference kept as written.
bool holdsKeptReference(const wchar_t* units, int count);

// While one is alive, the writers note in it the trees whose entity references kept as
// written (left without the DTD that declares them) go into markup: an attribute text or
// a text as content. Inside a comment a reference means nothing and is not noted. Such a
// file reads as its document did only under that document's DOCTYPE. One at a time.
class KeptReferenceLog {
public:
    KeptReferenceLog();
    ~KeptReferenceLog();
    KeptReferenceLog(const KeptReferenceLog&) = delete;
    KeptReferenceLog& operator=(const KeptReferenceLog&) = delete;

    bool holds(HWND tree) const { return tree != nullptr && (trees_[0] == tree || trees_[1] == tree); }
    bool empty() const { return trees_[0] == nullptr; }
    // Notes source's tree when the units hold a kept reference (with no log alive, nothing).
    static void note(const XMLTreeItem& source, const wchar_t* units, int count);

private:
    HWND trees_[2] = {};  // a save takes records from two trees at most
};
