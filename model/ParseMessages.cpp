#include "model/ParseMessages.h"

#include <cwchar>

#include "model/MessageBox.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"

namespace {

constexpr int kMessageUnits = 1024;
constexpr int kSystemErrorUnits = 2048;

bool holdsVisibleCharacter(const wchar_t* text) {
    for (; *text != 0; ++text)
        if (*text > L' ') return true;
    return false;
}

// Appends source to the text in buffer, cut so that the buffer stays terminated.
void appendCut(wchar_t* buffer, int units, const wchar_t* source) {
    size_t used = std::wcslen(buffer);
    size_t room = static_cast<size_t>(units) - 1 - used;
    size_t length = std::wcslen(source);
    size_t take = length < room ? length : room;
    std::wmemcpy(buffer + used, source, take);
    buffer[used + take] = 0;
}

void writeConsoleLine(const wchar_t* text, size_t length) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    wchar_t line[kMessageUnits + 2];
    std::wmemcpy(line, text, length);
    line[length] = L'\r';
    line[length + 1] = L'\n';
    writeText(output, line, static_cast<int>(length + 2));
}

}  // namespace

int showMessage(const wchar_t* format, const wchar_t* argument, const wchar_t* caption, UINT type, HWND owner) {
    if (!OptionSet::consoleOutput && !OptionSet::messageBoxes) return 0;
    if (format == nullptr) format = L"";

    wchar_t text[kMessageUnits];
    if (argument != nullptr && holdsVisibleCharacter(argument)) {
        // _snwprintf leaves the buffer unterminated when the text does not fit.
        _snwprintf(text, kMessageUnits, format, argument);
        text[kMessageUnits - 1] = 0;
    } else {
        text[0] = 0;
        appendCut(text, kMessageUnits, format);
    }

    wchar_t* lineBreak = std::wcschr(text, L'$');
    if (OptionSet::consoleOutput && owner == nullptr)
        writeConsoleLine(text, lineBreak != nullptr ? static_cast<size_t>(lineBreak - text) : std::wcslen(text));

    if (!OptionSet::messageBoxes) return 0;
    if (lineBreak != nullptr) *lineBreak = L'\n';
    messageHelpTopic = L"htm/validat.htm";
    int answer = showBox(owner, text, caption, type);
    messageHelpTopic = nullptr;
    return answer;
}

int showSystemError(const wchar_t* operation, const wchar_t* fileName, int code) {
    DWORD error = code == -1 ? GetLastError() : static_cast<DWORD>(code);

    wchar_t text[kSystemErrorUnits];
    text[0] = 0;
    if (operation != nullptr) {
        appendCut(text, kSystemErrorUnits, operation);
        appendCut(text, kSystemErrorUnits, L"\n");
    }
    if (fileName != nullptr) {
        appendCut(text, kSystemErrorUnits, fileName);
        appendCut(text, kSystemErrorUnits, L"\n");
    }
    const std::wstring systemText = systemErrorText(error);
    if (!systemText.empty()) appendCut(text, kSystemErrorUnits, systemText.c_str());
    return showBox(nullptr, text, L"Error", MB_OK | MB_ICONERROR);
}

std::wstring systemErrorText(DWORD error) {
    wchar_t systemText[kSystemErrorUnits];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), systemText, kSystemErrorUnits, nullptr);
    return std::wstring(systemText, length < kSystemErrorUnits ? length : kSystemErrorUnits - 1);
}
