#pragma once
// The setup dialog "セットアップ" and the Enter-key dialog "キーの動作"
// without their widgets.
//
// Setup shows and changes the install location (drive and folder) that the
// install marker records; OK checks it, writes the marker and reads the
// settings and fonts again from the new place.
#include <optional>
#include <string>

namespace tov {

class Settings;
struct InstallLocation;

class SetupModel {
public:
  static constexpr int kDriveChars = 1;
  static constexpr int kFolderChars = 30;
  static constexpr const char* kStandardFolder = "\\Rundalk\\Tov5";
  // The fields, as the checks name them.
  enum FieldId : int { DriveField = 1, FolderField = 2 };

  void openSetup(const InstallLocation& location);
  const std::string& drive() const { return drive_; }
  const std::string& folder() const { return folder_; }
  void setDrive(std::string text) { drive_ = std::move(text); }
  void setFolder(std::string text) { folder_ = std::move(text); }

  // The folder field left: "データがありません" when it is shorter than 2
  // characters; a "\" in front when it has none.
  void folderLeft();
  // "標準の設定": the Windows drive and "\Rundalk\Tov5".
  void standardSettings(const std::string& windowsDrive);
  // OK: the length checks, then the drive in upper case must be one letter
  // A..Z and the folder at least 2 characters ("ドライブ名が異常です").
  // The field to correct, or nothing when the location can be stored.
  std::optional<int> checkSetup();
  // Stores the location, writes the marker and reloads the settings. False
  // when the marker could not be written (reported; the location still
  // holds for this run).
  bool storeSetup(Settings& settings) const;

private:
  std::string drive_;
  std::string folder_;
};

// The Enter-key setting: 0 the default button, 1 the next control,
// 2 nothing. A stored value outside 0..2 acts as 2 and is shown so.
struct KeyBehaviourChoice {
  const char* button;
  const char* description;
};
inline constexpr KeyBehaviourChoice kKeyBehaviourChoices[3] = {
    {"Windows標準", "OKボタンクリックと同じ"},
    {"次に移動", "次の入力欄に移動"},
    {"確定のみ", "OKボタンや次に移動しない"},
};
inline int keyBehaviourButton(int enterKeyMode) { return (enterKeyMode == 0 || enterKeyMode == 1) ? enterKeyMode : 2; }

} // namespace tov
