#pragma once
// Saving what the settings dialogs changed. A file that cannot be written is
// named to the user, who would otherwise take the change as kept.
#include "files/Settings.h"

namespace tov {

// Sys.ndx; false after the message.
bool saveSettingsReporting(Settings& settings);
// The six font files; false after the message.
bool saveFontsReporting(Settings& settings);

} // namespace tov
