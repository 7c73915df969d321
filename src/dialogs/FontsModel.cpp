#include "dialogs/FontsModel.h"

#include <algorithm>
#include <cmath>

#include "dialogs/SettingsSave.h"
#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

const std::array<int, kFontSlotCount>& FontsModel::rowSlots() {
  static const std::array<int, kFontSlotCount> slots{FontTitle, FontHeading, FontTable, FontGraph, FontResults, FontPage};
  return slots;
}

const char* FontsModel::slotName(int slot) {
  switch (slot) {
  case FontHeading: return "見出し";
  case FontTable: return "データ表";
  case FontGraph: return "グラフ";
  case FontResults: return "計算結果";
  case FontTitle: return "タイトル";
  case FontPage: return "ページ";
  default: return "";
  }
}

const char* FontsModel::slotNote(int slot) {
  switch (slot) {
  case FontHeading: return "調査名、年月日など標題部分";
  case FontTable: return "データ表の内部の数字、文字";
  case FontGraph: return "グラフの目盛り文字など";
  case FontResults: return "グラフ下部の計算経過式、計算結果";
  case FontTitle: return "図表最上部のタイトル";
  case FontPage: return "フッタ ページ部分";
  default: return "";
  }
}

std::string FontsModel::sizeText(double pointSize) {
  return cformat(" %2d     (%.1f)", static_cast<int>(std::lround(pointSize)), pointSize);
}

void FontsModel::openFonts(const Settings& settings) {
  for (int slot = 1; slot <= kFontSlotCount; ++slot) working_.at(index(slot)) = settings.font(slot);
  original_ = working_;
}

bool FontsModel::chooseFont(int slot, const ChosenFont& chosen, const ChosenFont& shown) {
  FontSetting& font = working_.at(index(slot));
  const FontSetting before = font;
  if (chosen.faceName != shown.faceName && !chosen.faceName.empty()) {
    std::string offending;
    if (!utf8ToCp932(chosen.faceName, &offending)) {
      reportMessage(IDS_CANNOT_ENCODE, offending);
      return false;
    }
    font.faceName = chosen.faceName;
  }
  if (chosen.pointSize != shown.pointSize) font.pointSize = std::clamp(chosen.pointSize, kMinPointSize, kMaxPointSize);
  font.underline = chosen.underline ? 1 : 0;
  return font != before;
}

bool FontsModel::chooseColour(int slot, Colour colour) {
  FontSetting& font = working_.at(index(slot));
  const long value = static_cast<long>(colour & 0xFFFFFFu);
  if (font.colour == value) return false;
  font.colour = value;
  return true;
}

bool FontsModel::storeFonts(Settings& settings) const {
  for (int slot = 1; slot <= kFontSlotCount; ++slot) settings.setFont(slot, working_.at(index(slot)));
  return saveFontsReporting(settings);
}

bool FontsModel::confirmCancel() const {
  return !isModified() || messageSink().askYesNo(messageText(IDS_DISCARD_CHANGES));
}

} // namespace tov
