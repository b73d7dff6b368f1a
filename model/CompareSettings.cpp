#include "model/CompareSettings.h"

#include "settings/OptionSet.h"

CompareSettings compareSettings = {0, 0, 0, 0};

void captureCompareSettings() {
    // The mode indexes arrays of four: only its two bits count.
    compareSettings.mode = static_cast<int32_t>(OptionSet::FlagComparsion & 3u);
    compareSettings.ignoreAttributes = OptionSet::IgnoreAttributes;
    compareSettings.ignoreText = OptionSet::IgnoreValues;
    compareSettings.uniqueAttributes = OptionSet::UniqueAttributes;
}
