#include "settings/ColourSet.h"

ColourSet colourSet{};
