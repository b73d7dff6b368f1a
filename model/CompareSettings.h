// The comparison options as they stood when the running comparison started.
#pragma once

#include <cstdint>

struct CompareSettings {
    int32_t mode;  // 0 exact, 1 ignore white space, 2 ignore case, 3 both: the index into every per-mode hash
    int32_t ignoreAttributes;
    int32_t ignoreText;
    int32_t uniqueAttributes;  // the child matcher stops after key matching
};

extern CompareSettings compareSettings;

// Copies "FlagComparsion", "IgnoreAttributes", "IgnoreValues" and "UniqueAttributes".
void captureCompareSettings();
