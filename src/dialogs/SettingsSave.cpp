#include "dialogs/SettingsSave.h"

#include "record/Messages.h"

namespace tov {

bool saveSettingsReporting(Settings& settings) {
  if (settings.saveSettings()) return true;
  reportMessage(IDS_WRITE_FAILED_DETAIL, settings.location.settingsPath());
  return false;
}

bool saveFontsReporting(Settings& settings) {
  if (settings.saveFonts()) return true;
  reportMessage(IDS_WRITE_FAILED_DETAIL, settings.location.installFolder() + "\\Font*.ndx");
  return false;
}

} // namespace tov
