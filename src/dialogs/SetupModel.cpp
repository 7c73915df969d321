#include "dialogs/SetupModel.h"

#include "dialogs/FieldCheck.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "record/Messages.h"

namespace tov {

void SetupModel::openSetup(const InstallLocation& location) {
  drive_ = location.installDriveLetter;
  folder_ = location.installSubfolder;
}

void SetupModel::folderLeft() {
  if (cp932Length(folder_) < 2) reportMessage(IDS_NO_DATA);
  if (folder_.empty() || folder_[0] != '\\') folder_.insert(0, 1, '\\');
}

void SetupModel::standardSettings(const std::string& windowsDrive) {
  drive_ = windowsDrive.substr(0, 1);
  folder_ = kStandardFolder;
}

std::optional<int> SetupModel::checkSetup() {
  FieldCheck check;
  check.maxChars(DriveField, drive_, kDriveChars);
  check.maxChars(FolderField, folder_, kFolderChars);
  if (!check.ok()) return check.failedField();
  for (char& c : drive_)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const bool driveOk = drive_.size() == 1 && drive_[0] >= 'A' && drive_[0] <= 'Z';
  if (!driveOk || cp932Length(folder_) < 2) {
    reportMessage(IDS_BAD_DRIVE);
    return driveOk ? FolderField : DriveField;
  }
  return std::nullopt;
}

bool SetupModel::storeSetup(Settings& settings) const { return settings.writeInstallMarker(drive_, folder_); }

} // namespace tov
