#pragma once
// The application-wide preferences (Sys.ndx), the six page fonts
// (Font1.ndx .. Font6.ndx), and the install folder that holds them.
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

// Sys.ndx, one member per line (line numbers in the comments).
struct DisplaySettings {
  int settingsVersion = 0;                 // 1
  std::string defaultGraphTitle;           // 2
  std::string defaultTableTitle;           // 3
  std::string defaultSurveyNameLabel;      // 4
  std::string defaultSurveyLocationLabel;  // 5
  std::string defaultTestIdNumberLabel;    // 6
  int pipeWord = 0;                        // 7  0 "管", 1 "パイプ"
  std::string levelLetter;                 // 8
  int digitsTime = 0;                      // 9
  int digitsPipeLevel = 0;                 // 10
  int digitsLevel = 0;                     // 11
  int digitsHeadDifference = 0;            // 12
  int digitsPermeability = 0;              // 13
  int digitsGradient = 0;                  // 14
  int upperGraphTop = 0;                   // 15
  int lowerGraphTop = 0;                   // 16
  int resultTop = 0;                       // 17
  int unused18 = 0;                        // 18
  int digitsFlow = 0;                      // 19
  int tableFlowFormat = 0;                 // 20 0 "10-n", 1 "E-n", 2 "0.xxxx"
  int upperGraphHeight = 0;                // 21
  int lowerGraphHeight = 0;                // 22
  int graphWidth = 0;                      // 23
  int rotateAxisNames = 0;                 // 24
  int joinReadings = 0;                    // 25
  int markGradientPoints = 0;              // 26
  int gradientLineMode = 0;                // 27 0 join, 1 extended, 2 none
  int upperGraphLeft = 0;                  // 28
  int lowerGraphLeft = 0;                  // 29
  int resultLeftUnsteady = 0;              // 30
  int resultLeftSteady = 0;                // 31
  int widerHeadingLayout = 0;              // 32
  int gridColourMode = 0;                  // 33 0 colour, 1 black and white
  std::string gridColour;                  // 34 "0x808080"
  int unused35 = 0;                        // 35
  int frameLineWidth = 0;                  // 36
  int ruleLineWidth = 0;                   // 37
  int grid1Width = 0;                      // 38
  int grid1Solid = 0;                      // 39
  int grid1Blank = 0;                      // 40
  int grid2Width = 0;                      // 41
  int grid2Solid = 0;                      // 42
  int grid2Blank = 0;                      // 43
  double plotSize = 0.0;                   // 44 "%.1f"
  int polylineWidth = 0;                   // 45
  int slopeLineWidth = 0;                  // 46
  int topMargin = 0;                       // 47
  int leftMargin = 0;                      // 48
  std::string testerRegisterPath;          // 49
  std::string defaultContractorName;       // 50
  std::string unused51;                    // 51
  int graphFlowScaleFormat = 0;            // 52 0 "10-n", 1 "E-n"
  int enterKeyMode = 0;                    // 53 0 normal, 1 next control, 2 nothing

  bool operator==(const DisplaySettings&) const = default;
  HeadingDefaults headingDefaults() const;
};

// The first-start values of every setting.
DisplaySettings firstStartDisplaySettings();

// Sys.ndx as lines (61 lines, line 1 "304") and back. Reading applies the
// file's special cases (version 300 with lines 28-30 at 0 or less; a
// non-numeric line 53); missing lines leave the members as they were.
std::vector<std::string> settingsFileLines(const DisplaySettings& settings);
void applySettingsFileLines(const std::vector<std::string>& lines, DisplaySettings& settings);

// One page font.
struct FontSetting {
  double pointSize = 0.0;
  std::string faceName = "ＭＳ 明朝";
  long colour = 0;  // 0x00BBGGRR
  int underline = 0;
  bool operator==(const FontSetting&) const = default;
};

enum FontSlot : int {
  FontHeading = 1, FontTable = 2, FontGraph = 3, FontResults = 4, FontTitle = 5, FontPage = 6,
};
inline constexpr int kFontSlotCount = 6;
// The size a slot falls back to: 10.0 for slots 1 and 5, 9.0 for the others.
double defaultFontSize(int slot);
FontSetting defaultFontSetting(int slot);

// A font file's four lines and back (with the loading rules: a face under 2
// bytes becomes "ＭＳ 明朝", a size not in (1, 200] the slot's default).
std::vector<std::string> fontFileLines(const FontSetting& font);
FontSetting fontFromLines(const std::vector<std::string>& lines, int slot);

// Where the program's files live. Paths are in Windows form.
struct InstallLocation {
  std::string windowsDrive;        // "C:"
  std::string installDriveLetter;  // "C"
  std::string installSubfolder;    // "\Rundalk\Tov5"
  std::string installFolder() const { return installDriveLetter + ":" + installSubfolder; }
  std::string settingsPath() const { return installFolder() + "\\Sys.ndx"; }
  std::string testerRegisterFile() const { return installFolder() + "\\M.mst"; }
  std::string fontPath(int slot) const;   // installFolder + "\FontN.ndx"
  std::string helpPath() const { return installFolder() + "\\Help.txt"; }
  std::string markerPath() const { return windowsDrive + "\\Rundalk\\Qeltov5.whr"; }
};

// The program's settings: install location, Sys.ndx and the fonts. One
// instance serves the program (theSettings()); tests make their own.
class Settings {
public:
  explicit Settings(TestRecord& record) : record_(record) {}

  // Locates the install folder (first call only), reads Sys.ndx and the
  // font files when due (force: read them again), and fills the record's
  // scale defaults (every call).
  void loadSettings(bool force);
  // Writes Sys.ndx. False when it cannot be written; only text that the
  // file's code page cannot hold is reported.
  bool saveSettings();
  // Setup: checks and stores a new install location, writes the marker and
  // reloads. False when the drive or folder was refused (nothing changes),
  // and also when the marker could not be written (the new location then
  // holds for this run and the settings were reloaded from it).
  bool writeInstallMarker(const std::string& driveLetter, const std::string& subfolder);
  void resetToFirstStartDefaults() { display = firstStartDisplaySettings(); }
  // Writes the six font files; a file that cannot be written is skipped.
  // False when one was skipped.
  bool saveFonts();

  const FontSetting& font(int slot) const { return fonts_.at(static_cast<std::size_t>(slot - 1)); }
  void setFont(int slot, const FontSetting& f) { fonts_.at(static_cast<std::size_t>(slot - 1)) = f; }

  DisplaySettings display;
  InstallLocation location;
  bool located() const { return located_; }
  // The install folder on this machine.
  std::filesystem::path installFolderPath() const;

private:
  void locateInstallFolder();
  void readSettingsFile();
  void readFontFiles();
  void seedInstallFolderIfNew();

  TestRecord& record_;
  std::array<FontSetting, kFontSlotCount> fonts_{};
  bool located_ = false;
  bool settingsRead_ = false;
  bool fontsRead_ = false;
};

Settings& theSettings();

// The shipped operating instructions (UTF-8), written into a new install
// folder as Help.txt.
const std::string& shippedHelpText();

} // namespace tov
