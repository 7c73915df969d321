#include "app/RecentFiles.h"

#include <QSettings>

#include "app/SettingsLocation.h"
#include "app/ShellLogic.h"

namespace tov {

namespace {
const QString kGroup = QStringLiteral("Recent File List");
QString keyOf(int index) { return QStringLiteral("File%1").arg(index + 1); }
} // namespace

RecentFiles::RecentFiles(QObject* parent) : QObject(parent) { load(); }

void RecentFiles::load() {
  QSettings settings(windowSettingsFormat(), QSettings::UserScope, QString::fromUtf8(kSettingsOrganisation),
                     QString::fromUtf8(kSettingsApplication));
  settings.beginGroup(kGroup);
  files_.clear();
  for (int i = 0; i < kRecentFileCount; ++i) {
    const QString value = settings.value(keyOf(i)).toString();
    if (!value.isEmpty()) files_.push_back(value.toStdString());
  }
  emit changed();
}

void RecentFiles::save() const {
  QSettings settings(windowSettingsFormat(), QSettings::UserScope, QString::fromUtf8(kSettingsOrganisation),
                     QString::fromUtf8(kSettingsApplication));
  settings.beginGroup(kGroup);
  for (int i = 0; i < kRecentFileCount; ++i) {
    if (i < static_cast<int>(files_.size()))
      settings.setValue(keyOf(i), QString::fromStdString(files_[static_cast<std::size_t>(i)]));
    else
      settings.remove(keyOf(i));
  }
}

void RecentFiles::add(const std::string& path) {
  files_ = withRecentFile(std::move(files_), path);
  save();
  emit changed();
}

void RecentFiles::remove(const std::string& path) {
  files_ = withoutRecentFile(std::move(files_), path);
  save();
  emit changed();
}

} // namespace tov
