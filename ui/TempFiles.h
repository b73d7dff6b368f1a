// Temporary XML files for opening results in another application. They live in a
// folder of the program's own in the temporary directory ("Verdalt"), so that the
// clean-up never touches another program's files.
#pragma once

#include <cstdint>
#include <functional>

enum class TempCleanup {
    kStart,  // every "temp*.xml" left in the program's folder by earlier runs
    kExit,   // the files this run made (one still open elsewhere is left for the next start)
};
void deleteTempFiles(TempCleanup when);

// The name of a new, empty temporary XML file (made here, so no other run can take it),
// or null when none can be made. The name lives until the next call.
const wchar_t* makeTempFileName();

// Tests: the folder that stands for the temporary directory (null: the system's), and the
// clock of the names (null: the current time in seconds).
void setTempDirectory(const wchar_t* path);
void setTempClock(std::function<uint32_t()> clock);
