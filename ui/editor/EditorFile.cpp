#include "ui/editor/EditorFile.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "model/MessageBox.h"
#include "model/ParseMessages.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "ui/MainWindow.h"
#include "ui/StatusBar.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"

namespace {

constexpr uint32_t kUtf16LittleEndian = 1200;
constexpr uint32_t kUtf16BigEndian = 1201;
constexpr uint32_t kKindUtf16 = 4;
// Larger files are refused: the editor's positions are 32-bit.
constexpr LONGLONG kLargestFile = 0x3FFFFFFF;

bool isHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The text streamed into the editor, block by block.
struct StreamSource {
    const wchar_t* text;
    size_t length;
    size_t position;
};

DWORD CALLBACK readEditorBlock(DWORD_PTR cookie, LPBYTE buffer, LONG bytes, LONG* handed) {
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const size_t units = streamBlockUnits(source->text + source->position, source->length - source->position,
                                          static_cast<size_t>(bytes < 0 ? 0 : bytes) / sizeof(wchar_t));
    std::memcpy(buffer, source->text + source->position, units * sizeof(wchar_t));
    source->position += units;
    *handed = static_cast<LONG>(units * sizeof(wchar_t));
    // A large text takes seconds: the status bar's progress follows it, painted at once.
    // The call that ends a piece hands over nothing (and 0 would restart the progress).
    if (units == 0) return 0;
    updateProgress(static_cast<int>(units));
    if (progressBar != nullptr) UpdateWindow(progressBar);
    return 0;
}

// The editor's text streamed out to the scratch file, block by block.
struct StreamTarget {
    ReplacingFileWriter* writer;
    const EncodingSpec* spec;
    wchar_t strip;
    wchar_t pendingHigh;  // a high surrogate that ended the last block
    bool lossy;
    std::vector<wchar_t> units;
};

DWORD CALLBACK writeEditorBlock(DWORD_PTR cookie, LPBYTE buffer, LONG bytes, LONG* taken) {
    auto* target = reinterpret_cast<StreamTarget*>(cookie);
    *taken = 0;
    if (target->writer->failed()) return 1;
    const size_t count = static_cast<size_t>(bytes < 0 ? 0 : bytes) / sizeof(wchar_t);
    std::vector<wchar_t>& units = target->units;
    units.clear();
    if (target->pendingHigh != 0) units.push_back(target->pendingHigh);
    target->pendingHigh = 0;
    for (size_t i = 0; i < count; ++i) {
        wchar_t c;
        std::memcpy(&c, buffer + i * sizeof(wchar_t), sizeof(c));
        if (c != target->strip || c == 0) units.push_back(c);
    }
    // A pair split by the block end is converted whole with the next block.
    if (!units.empty() && isHighSurrogate(units.back())) {
        target->pendingHigh = units.back();
        units.pop_back();
    }
    if (!writeText(target->writer->handle(), units.data(), static_cast<int>(units.size()), target->spec,
                   &target->lossy)) {
        target->writer->markFailed(GetLastError());
        return 1;
    }
    *taken = bytes;
    return 0;
}

void showLoadFailure(XMLTreeView& panel, DWORD error) {
    showSystemError(L"XMLTreeView::loadFile", panel.fileName, static_cast<int>(error));
    panel.editorLoadFailed = 1;
    if (panel.editor != nullptr) SendMessageW(panel.editor, EM_SETREADONLY, TRUE, 0);
}

bool readWholeFile(HANDLE file, std::string* bytes, DWORD* error) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        *error = GetLastError();
        return false;
    }
    if (size.QuadPart > kLargestFile) {
        *error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    bytes->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes->size()) {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(file, &(*bytes)[done], want, &got, nullptr)) {
            *error = GetLastError();
            return false;
        }
        // A file that ends before its size was reached is as unreadable as a missing one.
        if (got == 0) {
            *error = ERROR_HANDLE_EOF;
            return false;
        }
        done += got;
    }
    return true;
}

// Rich edit lays out what it took in when a stream ends, which for a large text takes
// far longer than the stream: taken in pieces, the text is laid out piece by piece, and
// the progress shown between the pieces follows the whole of the work.
constexpr size_t kStreamPieceUnits = 1 << 16;

bool streamIntoEditor(HWND editor, const std::wstring& text, DWORD* error) {
    size_t done = 0;
    do {
        const size_t piece = streamBlockUnits(text.data() + done, text.size() - done, kStreamPieceUnits);
        StreamSource source{text.data() + done, piece, 0};
        EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, readEditorBlock};
        // The first piece replaces the whole (empty) text, each later one goes at its end.
        WPARAM format = SF_TEXT | SF_UNICODE;
        if (done != 0) {
            CHARRANGE end{-1, -1};
            SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
            format |= SFF_SELECTION;
        }
        SendMessageW(editor, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&stream));
        if (stream.dwError != 0 || source.position != source.length) {
            *error = stream.dwError != 0 ? stream.dwError : ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        done += piece;
    } while (done < text.size());
    // The caret follows the pieces to the end: the editor stands at the start, as after
    // one stream.
    if (done > kStreamPieceUnits) {
        CHARRANGE start{0, 0};
        SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
        SendMessageW(editor, EM_SCROLLCARET, 0, 0);
    }
    return true;
}

bool askToSaveAnyway(const wchar_t* text, const wchar_t* encoding) {
    wchar_t message[512];
    std::swprintf(message, std::size(message), text, encoding);
    return showBox(mainWindow, message, L"Warning!", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

}  // namespace

std::wstring decodeEditorText(const std::string& bytes, const EncodingSpec& spec, int32_t* endOfLine) {
    std::wstring text;
    if (spec.kind == kKindUtf16) {
        size_t at = 0;
        if (bytes.size() >= 2) {
            const unsigned first = static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8);
            if (first == 0xFEFF || first == 0xFFFE) at = 2;
        }
        text.resize((bytes.size() - at) / 2);
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned a = static_cast<unsigned char>(bytes[at + 2 * i]);
            const unsigned b = static_cast<unsigned char>(bytes[at + 2 * i + 1]);
            text[i] = static_cast<wchar_t>(spec.codePage == kUtf16BigEndian ? (a << 8) | b : (b << 8) | a);
        }
    } else if (!bytes.empty()) {
        // The whole file is converted at once, so no character is cut at a block end.
        const int size = static_cast<int>(bytes.size());
        const int units = MultiByteToWideChar(spec.codePage, 0, bytes.data(), size, nullptr, 0);
        if (units > 0) {
            text.resize(static_cast<size_t>(units));
            MultiByteToWideChar(spec.codePage, 0, bytes.data(), size, &text[0], units);
        }
    }
    int32_t style = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n') {
            style = 2;
            break;
        }
        if (text[i] == L'\r') {
            style = (i + 1 < text.size() && text[i + 1] == L'\n') ? 1 : 3;
            break;
        }
    }
    if (endOfLine != nullptr) *endOfLine = style;
    return text;
}

size_t streamBlockUnits(const wchar_t* text, size_t count, size_t room) {
    if (count <= room) return count;
    size_t units = room;
    // The editor makes two line breaks of a CR that ends one block and the LF that opens the next.
    if (units > 1 && text[units - 1] == L'\r') --units;
    if (units > 1 && isHighSurrogate(text[units - 1])) --units;
    return units;
}

wchar_t endOfLineToStrip(const EncodingSpec& spec) {
    switch (spec.endOfLine) {
        case 2:
            return L'\r';
        case 3:
            return L'\n';
        default:
            return 0;
    }
}

bool XMLTreeView::loadFile() {
    editorLoadFailed = 0;
    HANDLE file =
        CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showLoadFailure(*this, GetLastError());
        return false;
    }
    std::string bytes;
    DWORD error = 0;
    const bool read = readWholeFile(file, &bytes, &error);
    CloseHandle(file);
    if (!read) {
        showLoadFailure(*this, error);
        return false;
    }
    // A declaration of plain "UTF-16" names no byte order: the file's first bytes tell it.
    if (outputEncoding.kind == kKindUtf16 && bytes.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(bytes[0]);
        const auto b1 = static_cast<unsigned char>(bytes[1]);
        if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0 && b1 != 0)) outputEncoding.codePage = kUtf16BigEndian;
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 != 0 && b1 == 0)) outputEncoding.codePage = kUtf16LittleEndian;
    }
    int32_t style = 0;
    const std::wstring text = decodeEditorText(bytes, outputEncoding, &style);
    outputEncoding.endOfLine = style;
    bytes = std::string();

    updateProgress(0);
    progressFileSize = static_cast<uint32_t>(text.size());
    const bool streamed = streamIntoEditor(editor, text, &error);
    updateProgress(-1);
    if (!streamed) {
        showLoadFailure(*this, error);
        return false;
    }
    return true;
}

bool XMLTreeView::saveFile(const wchar_t* target) {
    if (editor == nullptr || target == nullptr || target[0] == 0) return false;
    // Read through the ANSI code page, the text would be written back through it.
    if (outputEncoding.kind == 0 &&
        !askToSaveAnyway(L"The encoding \"%ls\" of the document is not known.\nThe text was read and would be "
                         L"written in the ANSI code page, which may change its characters.\n\nSave anyway?",
                         declaredEncoding[0] != 0 ? declaredEncoding : outputEncoding.name))
        return false;

    ReplacingFileWriter writer;
    if (!writer.begin(target)) {
        showSystemError(L"XMLTreeView::saveFile", target, static_cast<int>(writer.error()));
        return false;
    }
    if (!outputEncoding.writeByteOrderMark(writer.handle())) writer.markFailed(GetLastError());
    StreamTarget out{&writer, &outputEncoding, endOfLineToStrip(outputEncoding), 0, false, {}};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&out), 0, writeEditorBlock};
    if (!writer.failed()) SendMessageW(editor, EM_STREAMOUT, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
    if (stream.dwError != 0) writer.markFailed(stream.dwError);
    if (!writer.failed() && out.pendingHigh != 0 &&
        !writeText(writer.handle(), &out.pendingHigh, 1, &outputEncoding, &out.lossy))
        writer.markFailed(GetLastError());
    if (writer.failed()) {
        writer.abandon();
        showSystemError(L"XMLTreeView::saveFile", target, static_cast<int>(writer.error()));
        return false;
    }
    if (out.lossy && !askToSaveAnyway(L"Some characters of the text cannot be written in the encoding \"%ls\" "
                                      L"and would be changed.\n\nSave anyway?",
                                      outputEncoding.name)) {
        writer.abandon();
        return false;
    }
    if (!writer.commit()) {
        showSystemError(L"XMLTreeView::saveFile", target, static_cast<int>(writer.error()));
        return false;
    }
    return true;
}

bool writeEditorText(XMLTreeView& panel, const wchar_t* target, wchar_t* written) {
    if (written != nullptr) written[0] = 0;
    if (panel.editor == nullptr || panel.editorLoadFailed || panel.editorTextLetGo) return false;
    // A copy: target may be the panel's own name, which is rewritten below.
    wchar_t path[kPathUnits];
    std::wcsncpy(path, target != nullptr ? target : panel.fileName, kPathUnits - 1);
    path[kPathUnits - 1] = 0;
    if (path[0] == 0 || !panel.saveFile(path)) return false;
    // The file holds the text now, under the name it was written to: should the text not
    // parse when the tree is loaded again, the editor keeps it under that name.
    std::wcscpy(panel.fileName, path);
    panel.editorModified = 0;
    SendMessageW(panel.editor, EM_SETMODIFY, FALSE, 0);
    updatePathCaption(panel);
    layoutPathButtons(true);
    enableSaveButton();
    if (written != nullptr) std::wcscpy(written, path);
    return true;
}

LoadResult reloadWrittenFile(XMLTreeView& panel, HWND owner, const wchar_t* written) {
    if (written == nullptr || written[0] == 0) return kLoadCancelled;
    // The load writes the name it is given into the panel's own, which must not be its source.
    wchar_t path[kPathUnits];
    std::wcsncpy(path, written, kPathUnits - 1);
    path[kPathUnits - 1] = 0;
    return panel.loadDocument(owner, path, 1, 0);
}
