#include "ui/TempFiles.h"

void deleteTempFiles() {}

const wchar_t* makeTempFileName() {
    return nullptr;
}
