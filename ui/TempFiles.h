// Temporary XML files for opening results in another application.
#pragma once

// At start and at exit: removes the temporary files that are no longer wanted.
void deleteTempFiles();
// The name of a new temporary XML file, or null when none can be made. The name lives
// until the next call.
const wchar_t* makeTempFileName();
