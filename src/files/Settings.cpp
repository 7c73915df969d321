#include "files/Settings.h"

#include "files/AnalysisIni.h"

#include <algorithm>
#include <system_error>

#include "files/Platform.h"
#include "files/TextCodec.h"
#include "files/TesterRegister.h"
#include "files/TextFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace fs = std::filesystem;

namespace {

constexpr int kSettingsFileLines = 61;
constexpr int kSettingsLinesRead = 53;
constexpr const char* kSettingsVersionWritten = "304";
constexpr const char* kDefaultSubfolder = "\\Rundalk\\Tov5";
constexpr const char* kMarkerName = "\\Rundalk\\Qeltov5.whr";
constexpr const char* kDefaultFace = "ＭＳ 明朝";

// A text setting goes on one line of its file: a line break inside it would
// shift every later setting by a line when the file is read back.
std::string oneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

int numericLine(const std::string& line) { return classifyNumberText(line) > 0 ? toInt(line) : 0; }

// The number of characters of a UTF-8 text.
// The folder the marker names: its first line, with the drive letter first
// and the colon second. Empty when the file cannot be read or the line is too
// short (or does not begin with a drive letter and a colon) to name a folder.
std::string readMarker(const std::string& markerPath) {
  auto text = readTextLines(hostPath(markerPath));
  if (!text || text->lines.empty()) return {};
  const std::string& line = text->lines.front();
  if (line.size() < 3) return {};
  char letter = line[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z' || line[1] != ':') return {};
  return std::string(1, letter) + line.substr(1);
}

// A file that cannot be written is passed over without a word, but text the
// file's code page cannot hold is named: the user can change it.
bool reportUnencodable(const WriteResult& result) {
  if (result.status == WriteStatus::CannotEncode) reportMessage(IDS_CANNOT_ENCODE, result.detail);
  return result.ok();
}

} // namespace

HeadingDefaults DisplaySettings::headingDefaults() const {
  HeadingDefaults d;
  d.graphTitle = defaultGraphTitle;
  d.tableTitle = defaultTableTitle;
  d.surveyNameLabel = defaultSurveyNameLabel;
  d.surveyLocationLabel = defaultSurveyLocationLabel;
  d.testIdNumberLabel = defaultTestIdNumberLabel;
  d.contractorName = defaultContractorName;
  return d;
}

DisplaySettings firstStartDisplaySettings() {
  DisplaySettings s;
  s.settingsVersion = 304;
  s.defaultGraphTitle = "　";
  s.defaultTableTitle = "　";
  s.defaultSurveyNameLabel = "調査名";
  s.defaultSurveyLocationLabel = "調査位置";
  s.defaultTestIdNumberLabel = "No.";
  s.pipeWord = 0;
  s.levelLetter = "h";
  s.digitsTime = 0;
  s.digitsPipeLevel = 3;
  s.digitsLevel = 3;
  s.digitsHeadDifference = 3;
  s.digitsPermeability = 2;
  s.digitsGradient = 4;
  s.upperGraphTop = 70;
  s.lowerGraphTop = 150;
  s.resultTop = 220;
  s.unused18 = 3;
  s.digitsFlow = 2;
  s.tableFlowFormat = 0;
  s.upperGraphHeight = 60;
  s.lowerGraphHeight = 40;
  s.graphWidth = 100;
  s.rotateAxisNames = 1;
  s.joinReadings = 1;
  s.markGradientPoints = 1;
  s.gradientLineMode = 1;
  s.upperGraphLeft = 25;
  s.lowerGraphLeft = 25;
  s.resultLeftUnsteady = 50;
  s.resultLeftSteady = 75;
  s.widerHeadingLayout = 1;
  s.gridColourMode = 0;
  s.gridColour = "0x808080";
  s.unused35 = 2;
  s.frameLineWidth = 2;
  s.ruleLineWidth = 1;
  s.grid1Width = 1;
  s.grid1Solid = 5;
  s.grid1Blank = 0;
  s.grid2Width = 1;
  s.grid2Solid = 4;
  s.grid2Blank = 4;
  s.plotSize = 1.0;
  s.polylineWidth = 1;
  s.slopeLineWidth = 2;
  s.topMargin = 15;
  s.leftMargin = 15;
  s.testerRegisterPath = "";
  s.defaultContractorName = "株式会社";
  s.unused51 = "";
  s.graphFlowScaleFormat = 0;
  s.enterKeyMode = 1;
  return s;
}

std::vector<std::string> settingsFileLines(const DisplaySettings& s) {
  auto d = [](int v) { return cformat("%d", v); };
  std::vector<std::string> lines = {
      kSettingsVersionWritten,
      oneLine(s.defaultGraphTitle),
      oneLine(s.defaultTableTitle),
      oneLine(s.defaultSurveyNameLabel),
      oneLine(s.defaultSurveyLocationLabel),
      oneLine(s.defaultTestIdNumberLabel),
      d(s.pipeWord),
      oneLine(s.levelLetter),
      d(s.digitsTime),
      d(s.digitsPipeLevel),
      d(s.digitsLevel),
      d(s.digitsHeadDifference),
      d(s.digitsPermeability),
      d(s.digitsGradient),
      d(s.upperGraphTop),
      d(s.lowerGraphTop),
      d(s.resultTop),
      d(s.unused18),
      d(s.digitsFlow),
      d(s.tableFlowFormat),
      d(s.upperGraphHeight),
      d(s.lowerGraphHeight),
      d(s.graphWidth),
      d(s.rotateAxisNames),
      d(s.joinReadings),
      d(s.markGradientPoints),
      d(s.gradientLineMode),
      d(s.upperGraphLeft),
      d(s.lowerGraphLeft),
      d(s.resultLeftUnsteady),
      d(s.resultLeftSteady),
      d(s.widerHeadingLayout),
      d(s.gridColourMode),
      oneLine(s.gridColour),
      d(s.unused35),
      d(s.frameLineWidth),
      d(s.ruleLineWidth),
      d(s.grid1Width),
      d(s.grid1Solid),
      d(s.grid1Blank),
      d(s.grid2Width),
      d(s.grid2Solid),
      d(s.grid2Blank),
      cformat("%.1f", s.plotSize),
      d(s.polylineWidth),
      d(s.slopeLineWidth),
      d(s.topMargin),
      d(s.leftMargin),
      oneLine(s.testerRegisterPath),
      oneLine(s.defaultContractorName),
      oneLine(s.unused51),
      d(s.graphFlowScaleFormat),
      d(s.enterKeyMode),
  };
  lines.resize(kSettingsFileLines);  // lines 54 to 61 stay empty
  return lines;
}

void applySettingsFileLines(const std::vector<std::string>& lines, DisplaySettings& s) {
  const int count = static_cast<int>(std::min<std::size_t>(lines.size(), kSettingsLinesRead));
  for (int number = 1; number <= count; ++number) {
    const std::string& line = lines[static_cast<std::size_t>(number - 1)];
    const int n = numericLine(line);
    switch (number) {
      case 1: s.settingsVersion = n; break;
      case 2: s.defaultGraphTitle = line; break;
      case 3: s.defaultTableTitle = line; break;
      case 4: s.defaultSurveyNameLabel = line; break;
      case 5: s.defaultSurveyLocationLabel = line; break;
      case 6: s.defaultTestIdNumberLabel = line; break;
      case 7: s.pipeWord = n; break;
      case 8: s.levelLetter = line; break;
      case 9: s.digitsTime = n; break;
      case 10: s.digitsPipeLevel = n; break;
      case 11: s.digitsLevel = n; break;
      case 12: s.digitsHeadDifference = n; break;
      case 13: s.digitsPermeability = n; break;
      case 14: s.digitsGradient = n; break;
      case 15: s.upperGraphTop = n; break;
      case 16: s.lowerGraphTop = n; break;
      case 17: s.resultTop = n; break;
      case 18: s.unused18 = n; break;
      case 19: s.digitsFlow = n; break;
      case 20: s.tableFlowFormat = n; break;
      case 21: s.upperGraphHeight = n; break;
      case 22: s.lowerGraphHeight = n; break;
      case 23: s.graphWidth = n; break;
      case 24: s.rotateAxisNames = n; break;
      case 25: s.joinReadings = n; break;
      case 26: s.markGradientPoints = n; break;
      case 27: s.gradientLineMode = n; break;
      case 28: s.upperGraphLeft = n; break;
      case 29: s.lowerGraphLeft = n; break;
      case 30: s.resultLeftUnsteady = n; break;
      case 31: s.resultLeftSteady = n; break;
      case 32: s.widerHeadingLayout = n; break;
      case 33: s.gridColourMode = n; break;
      case 34: s.gridColour = line; break;
      case 35: s.unused35 = n; break;
      case 36: s.frameLineWidth = n; break;
      case 37: s.ruleLineWidth = n; break;
      case 38: s.grid1Width = n; break;
      case 39: s.grid1Solid = n; break;
      case 40: s.grid1Blank = n; break;
      case 41: s.grid2Width = n; break;
      case 42: s.grid2Solid = n; break;
      case 43: s.grid2Blank = n; break;
      case 44: s.plotSize = classifyNumberText(line) > 0 ? toDouble(line) : 0.0; break;
      case 45: s.polylineWidth = n; break;
      case 46: s.slopeLineWidth = n; break;
      case 47: s.topMargin = n; break;
      case 48: s.leftMargin = n; break;
      case 49: s.testerRegisterPath = line; break;
      case 50: s.defaultContractorName = line; break;
      case 51: s.unused51 = line; break;
      case 52: s.graphFlowScaleFormat = n; break;
      case 53: s.enterKeyMode = classifyNumberText(line) > 0 ? n : 1; break;
      default: break;
    }
  }
  // Files of version 300 had no graph and result positions yet.
  if (count >= 1 && s.settingsVersion == 300) {
    if (s.upperGraphLeft <= 0) s.upperGraphLeft = 25;
    if (s.lowerGraphLeft <= 0) s.lowerGraphLeft = 25;
    if (s.resultLeftUnsteady <= 0) s.resultLeftUnsteady = 50;
  }
}

double defaultFontSize(int slot) { return (slot == FontHeading || slot == FontTitle) ? 10.0 : 9.0; }

FontSetting defaultFontSetting(int slot) {
  FontSetting f;
  f.pointSize = defaultFontSize(slot);
  f.faceName = kDefaultFace;
  f.colour = 0;
  f.underline = 0;
  return f;
}

std::vector<std::string> fontFileLines(const FontSetting& font) {
  return {cformat("%.1f", font.pointSize), oneLine(font.faceName), cformat("%ld", font.colour),
          cformat("%d", font.underline)};
}

FontSetting fontFromLines(const std::vector<std::string>& lines, int slot) {
  FontSetting f;
  f.pointSize = 0.0;
  f.faceName = kDefaultFace;
  f.colour = 0;
  f.underline = 0;
  if (lines.size() >= 1) f.pointSize = toDouble(lines[0]);
  if (lines.size() >= 2) f.faceName = lines[1];
  if (lines.size() >= 3) f.colour = toLong(lines[2]);
  if (lines.size() >= 4) f.underline = toInt(lines[3]);
  if (cp932Length(f.faceName) < 2) f.faceName = kDefaultFace;
  // Written so that a size that is no number at all (NaN) is replaced too.
  if (!(f.pointSize > 1.0 && f.pointSize <= 200.0)) f.pointSize = defaultFontSize(slot);
  return f;
}

std::string InstallLocation::fontPath(int slot) const { return installFolder() + cformat("\\Font%d.ndx", slot); }

fs::path Settings::installFolderPath() const { return hostPath(location.installFolder()); }

void Settings::locateInstallFolder() {
  location.windowsDrive.clear();
  location.installDriveLetter.clear();
  location.installSubfolder.clear();

  const std::string windowsDir = windowsDirectory();
  if (windowsDir.size() >= 2) {
    location.windowsDrive = windowsDir.substr(0, 2);
    std::string found = readMarker(location.markerPath());
    if (found.size() < 3) {
      const std::string here = currentDirectory();
      if (here.size() >= 2) found = readMarker(here.substr(0, 2) + kMarkerName);
    }
    if (found.size() >= 3) {
      location.installDriveLetter = found.substr(0, 1);
      location.installSubfolder = found.substr(2);
    }
  }
  if (location.installDriveLetter.empty() || cp932Length(location.installSubfolder) < 2) {
    location.installDriveLetter = location.windowsDrive.substr(0, 1);
    location.installSubfolder = kDefaultSubfolder;
  }
}

void Settings::seedInstallFolderIfNew() {
  if (location.installDriveLetter.empty()) return;
  const fs::path folder = installFolderPath();
  std::error_code ec;
  if (fs::exists(folder, ec) || ec) return;
  fs::create_directories(folder, ec);
  if (ec) return;  // reading will then report the missing files

  std::vector<std::string> help;
  std::string_view text = shippedHelpText();
  while (!text.empty()) {
    std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    help.emplace_back(line);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
  }
  writeTextLines(hostPath(location.helpPath()), help);

  DisplaySettings first = firstStartDisplaySettings();
  first.testerRegisterPath = location.testerRegisterFile();
  writeTextLines(hostPath(location.settingsPath()), settingsFileLines(first));
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    writeTextLines(hostPath(location.fontPath(slot)), fontFileLines(defaultFontSetting(slot)));
  // An empty register of testers, so that its editor and the headings'
  // tester list open without a missing-file message.
  writeTesterRegister(hostPath(location.testerRegisterFile()), {});
}

void Settings::readSettingsFile() {
  const fs::path path = hostPath(location.settingsPath());
  if (auto text = readTextLines(path)) {
    if (text->hadInvalidBytes) reportMessage(IDS_BAD_ENCODING, shownPath(path));
    applySettingsFileLines(text->lines, display);
  } else {
    resetToFirstStartDefaults();
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(path));
  }
}

void Settings::readFontFiles() {
  for (int slot = 1; slot <= kFontSlotCount; ++slot) {
    const fs::path path = hostPath(location.fontPath(slot));
    if (auto text = readTextLines(path)) {
      if (text->hadInvalidBytes) reportMessage(IDS_BAD_ENCODING, shownPath(path));
      setFont(slot, fontFromLines(text->lines, slot));
    } else {
      setFont(slot, defaultFontSetting(slot));
      if (slot == FontHeading) reportMessage(IDS_FILE_NOT_FOUND, shownPath(path));
    }
  }
}

void Settings::loadSettings(bool force) {
  if (force) {
    settingsRead_ = false;
    fontsRead_ = false;
  }
  if (!located_) {
    locateInstallFolder();
    located_ = true;
  }
  if (!settingsRead_ || !fontsRead_) seedInstallFolderIfNew();
  if (!settingsRead_) {
    readSettingsFile();
    display.testerRegisterPath = location.testerRegisterFile();
    // Our analysis settings live beside Sys.ndx, in a file of their own.
    theAnalysisSettings() = readAnalysisSettings(installFolderPath());
    settingsRead_ = true;
  }
  record_.fillScaleDefaults(display.headingDefaults());
  if (!fontsRead_) {
    readFontFiles();
    fontsRead_ = true;
  }
}

bool Settings::saveSettings() {
  if (location.installDriveLetter.empty()) return false;  // no folder located yet
  return reportUnencodable(writeTextLines(hostPath(location.settingsPath()), settingsFileLines(display)));
}

bool Settings::saveFonts() {
  if (location.installDriveLetter.empty()) return false;
  bool all = true;
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    all = reportUnencodable(writeTextLines(hostPath(location.fontPath(slot)), fontFileLines(font(slot)))) && all;
  return all;
}

bool Settings::writeInstallMarker(const std::string& driveLetter, const std::string& subfolder) {
  std::string letter = driveLetter;
  for (char& c : letter)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const bool letterOk = letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'Z';
  const bool folderOk = cp932Length(subfolder) >= 2 && subfolder.find_first_of("\r\n") == std::string::npos;
  if (!letterOk || !folderOk) {
    reportMessage(IDS_BAD_DRIVE);
    return false;
  }

  // The marker lives on the Windows drive, which only locating establishes.
  if (!located_) {
    locateInstallFolder();
    located_ = true;
  }
  location.installDriveLetter = letter;
  location.installSubfolder = subfolder;

  const fs::path marker = hostPath(location.markerPath());
  std::error_code ec;
  fs::create_directories(marker.parent_path(), ec);
  const bool written = writeTextLines(marker, {letter + ":" + subfolder}).ok();
  if (!written) reportMessage(IDS_BAD_FOLDER_OR_DRIVE);

  loadSettings(true);
  return written;
}

Settings& theSettings() {
  static Settings settings(theRecord());
  return settings;
}

} // namespace tov
