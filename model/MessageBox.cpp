#include "model/MessageBox.h"

#include <utility>

HWND boxOwnerWindow = nullptr;
const wchar_t* messageHelpTopic = nullptr;

namespace {
BoxHandler boxHandler;
}

int showBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    if (boxHandler) return boxHandler(owner, text, caption, type);
    return MessageBoxW(owner, text, caption, type);
}

void setBoxHandler(BoxHandler handler) {
    boxHandler = std::move(handler);
}
