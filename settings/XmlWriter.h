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
