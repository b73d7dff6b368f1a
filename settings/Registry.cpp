#include "settings/Registry.h"

#include <cwchar>

namespace {

constexpr wchar_t kDefaultKeyPath[] = L"Software\\Verdalt";

// A registry key name holds at most 255 units; a longer path is cut there.
constexpr size_t kKeyPathUnits = 256;

// Empty: the default path.
wchar_t keyPath[kKeyPathUnits] = {};

}  // namespace

const wchar_t* programKeyPath() {
    return keyPath[0] != 0 ? keyPath : kDefaultKeyPath;
}

void setProgramKeyPath(const wchar_t* path) {
    const size_t length = path != nullptr ? wcsnlen(path, kKeyPathUnits - 1) : 0;
    wmemcpy(keyPath, path != nullptr ? path : L"", length);
    keyPath[length] = 0;
}
