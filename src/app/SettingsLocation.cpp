#include "app/SettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "app/RecentFiles.h"

namespace tov {

QString settingsFileOf(const char* organisation, const char* application) {
  return QSettings(windowSettingsFormat(), QSettings::UserScope, QString::fromUtf8(organisation),
                   QString::fromUtf8(application))
      .fileName();
}

bool takeOverOldSettings() {
  const QString now = settingsFileOf(kSettingsOrganisation, kSettingsApplication);
  const QString before = settingsFileOf(kOldSettingsOrganisation, kSettingsApplication);
  if (QFileInfo::exists(now) || !QFileInfo::exists(before)) return false;
  const QFileInfo beforeInfo(before);
  if (!QDir().mkpath(QFileInfo(now).absolutePath()) || !QFile::rename(before, now)) return false;
  QDir().rmdir(beforeInfo.absolutePath());  // only when nothing else is in it
  return true;
}

} // namespace tov
