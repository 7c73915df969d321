#pragma once
// Where the window keeps its settings (recent files, zoom, geometry, tool
// bar): ~/.config/Tov/Tov.conf (under $XDG_CONFIG_HOME when set); on
// Windows %APPDATA%\Tov\Tov.ini, a file as there, not the registry. Earlier
// versions kept them in ~/.config/Local AppWizard-Generated Applications/
// Tov.conf; such a file is moved over the first time the program starts.
#include <QSettings>
#include <QString>

namespace tov {

inline constexpr const char* kOldSettingsOrganisation = "Local AppWizard-Generated Applications";

// The form of the window's settings: the system's own (a file under
// ~/.config) on Linux, an INI file under %APPDATA% on Windows.
inline QSettings::Format windowSettingsFormat() {
#ifdef Q_OS_WIN
  return QSettings::IniFormat;
#else
  return QSettings::NativeFormat;
#endif
}

// The settings file of an organisation folder and application name.
QString settingsFileOf(const char* organisation, const char* application);

// Moves the old settings file to the new place when there is one and the new
// place has none yet (an empty old folder goes too); true when it moved.
bool takeOverOldSettings();

} // namespace tov
