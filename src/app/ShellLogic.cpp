#include "app/ShellLogic.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>

#include "analysis/PointsRest.h"
#include "files/Platform.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"

namespace tov {

namespace {

MenuItemSpec item(int id, std::string text, std::string tip, std::string shortcut = {}, bool checkable = false) {
  return MenuItemSpec{id, std::move(text), std::move(shortcut), std::move(tip), checkable};
}
MenuItemSpec separator() { return MenuItemSpec{}; }

std::vector<MenuSpec> buildMenuLayout() {
  return {
      {"ファイル(&F)",
       {
           item(ID_FILE_NEW, "新規作成(&N)", "新しい試験データを作成します", "Ctrl+N"),
           item(ID_FILE_OPEN, "開く(&O)...", "試験データのファイルを開きます", "Ctrl+O"),
           item(ID_FILE_SAVE, "上書き保存(&S)", "試験データを同じ名前で保存します", "Ctrl+S"),
           item(ID_FILE_SAVE_AS, "名前を付けて保存(&A)...", "試験データに名前を付けて保存します"),
           separator(),
           item(ID_FILE_PRINT, "印刷(&P)...", "グラフとデータ表を印刷します", "Ctrl+P"),
           item(ID_FILE_PRINT_PREVIEW, "印刷ﾌﾟﾚﾋﾞｭｰ(&V)", "印刷するページを画面で確かめます"),
           item(ID_FILE_PRINT_SETUP, "ﾌﾟﾘﾝﾀの設定(&R)...", "用紙やプリンタを選びます"),
           item(ID_FILE_EXPORT_PDF, "PDF出力(&D)...", "全ページを PDF ファイルに書き出します"),
           item(ID_FILE_BATCH, "一括処理(&B)...", "多数の試験をまとめて PDF や一覧表に書き出します"),
           separator(),
           MenuItemSpec{kRecentFilesSlot, {}, {}, {}, false},
           separator(),
           item(ID_APP_EXIT, "アプリケーションの終了(&X)", "プログラムを終了します"),
       }},
      {"編集(&E)",
       {
           item(ID_EDIT_UNDO, undoMenuText({}), "直前の編集を取り消します", "Ctrl+Z"),
           item(ID_EDIT_REDO, redoMenuText({}), "取り消した編集をやり直します", "Ctrl+Y"),
       }},
      {"データ(&A)",
       {
           item(ID_HEADINGS, "見出し(&M)", "調査名、水位、試験方法など"),
           item(ID_UNSTEADY_READINGS, "測定データ 非定常法(&A)", "非定常法の測定データの入力・修正"),
           item(ID_STEADY_READINGS, "測定データ 定常法(&B)", "定常法の測定データの入力・修正"),
           item(ID_IMPORT_READINGS, "測定データの取り込み(&I)...", "ロガーのファイルから測定データを取り込みます"),
           item(ID_ANALYSIS, "解析/目盛り(&N)", "解析点の選択と透水係数の計算、グラフの目盛り"),
           item(ID_PAGE_FORMAT, "ページ設定(&P)", "ページの書式や数値"),
       }},
      {"表示(&V)",
       {
           item(ID_VIEW_TOOLBAR, "ツール バー(&T)", "ツール バーの表示/非表示を切り替えます", {}, true),
           item(ID_VIEW_STATUS_BAR, "ステータス バー(&S)", "ステータス バーの表示/非表示を切り替えます", {}, true),
           separator(),
           item(ID_GRAPH_PAGE, "グラフ(&1)", "グラフのページを表示します", {}, true),
           item(ID_TABLE_PAGE, "データ表(&2)", "データ表のページを表示します", {}, true),
           separator(),
           item(ID_ZOOM_IN, "拡大(&I)", "ページを大きく表示します", "Ctrl++"),
           item(ID_ZOOM_OUT, "縮小(&O)", "ページを小さく表示します", "Ctrl+-"),
           item(ID_ZOOM_ACTUAL, "100%表示(&Z)", "ページを 100% で表示します", "Ctrl+0"),
           item(ID_ZOOM_FIT_WIDTH, "幅に合わせる(&W)", "ページの幅を画面に合わせます", {}, true),
           item(ID_ZOOM_FIT_PAGE, "ページ全体(&E)", "ページ全体を画面に収めます", {}, true),
       }},
      {"設定(&S)",
       {
           item(ID_STYLE_DIGITS, "様式・桁数(&Y)", "図表名、表示桁数など"),
           item(ID_LINES_MARGINS, "線種・マージン(&L)", "罫線、グラフグリッド線の太さ、マージン、会社名など"),
           item(ID_FONTS, "フォント(&F)", "活字の書体・サイズ"),
           item(ID_ENTER_KEY, "キーの動作(&E)", "Enterキーに対する動作応答"),
           separator(),
           item(ID_TESTER_REGISTER, "登録 試験者(&R)", "技術者名の登録編集"),
           item(ID_SETUP, "セットアップ(&S)", "このプログラムのインストール先の表示、確認"),
       }},
      {"ﾍﾙﾌﾟ(&H)",
       {
           item(ID_HELP_VIEWER, "操作＆ヘルプ(&H)", "操作方法の説明を表示します"),
           separator(),
           item(ID_APP_ABOUT, "ﾊﾞｰｼﾞｮﾝ情報(&A)...", "プログラムのバージョン情報を表示します"),
       }},
  };
}

bool endsWithTvd(std::string_view text) {
  if (text.size() < 3) return false;
  std::string tail(text.substr(text.size() - 3));
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == "tvd";
}

} // namespace

const std::vector<MenuSpec>& menuLayout() {
  static const std::vector<MenuSpec> layout = buildMenuLayout();
  return layout;
}

bool isEditorCommand(int id) {
  switch (id) {
  case ID_HEADINGS: case ID_UNSTEADY_READINGS: case ID_STEADY_READINGS: case ID_ANALYSIS:
  case ID_PAGE_FORMAT: case ID_STYLE_DIGITS: case ID_LINES_MARGINS: case ID_FONTS:
  case ID_ENTER_KEY: case ID_TESTER_REGISTER: case ID_SETUP: case ID_HELP_VIEWER: case ID_IMPORT_READINGS:
    return true;
  default:
    return false;
  }
}

std::filesystem::path suggestedSavePath(const std::string& testPath, const TestRecord& record,
                                        const std::filesystem::path& lastFolder,
                                        const std::filesystem::path& fallbackFolder) {
  if (!testPath.empty()) return pathFromUtf8(testPath);
  auto trimmed = [](std::string text) {
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    return text;
  };
  std::string name = trimmed(record.testIdNumber());
  if (name.empty()) name = trimmed(record.surveyName());
  if (name.empty()) name = "無題";
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  std::error_code ec;
  const bool usable = !lastFolder.empty() && std::filesystem::is_directory(lastFolder, ec);
  return (usable ? lastFolder : fallbackFolder) / pathFromUtf8(name + ".tvd");
}

bool isTestEditorCommand(int id) {
  switch (id) {
  case ID_HEADINGS: case ID_UNSTEADY_READINGS: case ID_STEADY_READINGS: case ID_ANALYSIS: case ID_PAGE_FORMAT:
    return true;
  default:
    return false;
  }
}

std::string editStepName(int id) {
  switch (id) {
  case ID_HEADINGS: return "見出し";
  case ID_UNSTEADY_READINGS: case ID_STEADY_READINGS: return "測定データ";
  case ID_IMPORT_READINGS: return "測定データの取り込み";
  case ID_ANALYSIS: return "解析/目盛り";
  case ID_PAGE_FORMAT: return "ページ設定";
  default: return "編集";
  }
}

std::string undoMenuText(const std::string& stepName) {
  return stepName.empty() ? "元に戻す(&U)" : "元に戻す: " + stepName + "(&U)";
}

std::string redoMenuText(const std::string& stepName) {
  return stepName.empty() ? "やり直し(&R)" : "やり直し: " + stepName + "(&R)";
}

ViewState& theViewState() {
  static ViewState state;
  return state;
}

bool isCommandEnabled(int id, const TestRecord& record) {
  const bool steady = record.fieldInt(F_formulaKind) == 4;
  if (id == ID_UNSTEADY_READINGS) return !steady;
  if (id == ID_STEADY_READINGS) return steady;
  return true;
}

bool isCommandChecked(int id, const ViewState& view) {
  if (id == ID_GRAPH_PAGE) return view.currentPage == 1;
  if (id == ID_TABLE_PAGE) return view.currentPage > 1;
  if (id == ID_ZOOM_FIT_WIDTH) return view.zoomMode == ZoomMode::FitWidth;
  if (id == ID_ZOOM_FIT_PAGE) return view.zoomMode == ZoomMode::FitPage;
  return false;
}

int nextZoomStep(int percent, int direction) {
  static constexpr int kSteps[] = {kMinZoom, 25, 33, 50, 67, 75, 90, 100, 110, 125, 150, 175, 200, 250, 300, kMaxZoom};
  if (direction > 0) {
    for (int step : kSteps)
      if (step > percent) return step;
    return kMaxZoom;
  }
  for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
    if (*it < percent) return *it;
  return kMinZoom;
}

int zoomToFit(int pixels, double paperMm, int screenDpi) {
  if (paperMm <= 0.0 || screenDpi <= 0) return 100;
  const double percent = std::floor(pixels * 25.4 * 100.0 / (paperMm * screenDpi));
  return static_cast<int>(std::clamp(percent, static_cast<double>(kMinZoom), static_cast<double>(kMaxZoom)));
}

int zoomedDpi(int screenDpi, int percent) {
  return std::max(1, static_cast<int>(std::lround(screenDpi * percent / 100.0)));
}

std::string pageStatusText(int page, int pages) { return cformat("%d / %d", page, pages); }

int pageCountResetting(ViewState& view, const TestRecord& record) {
  const int count = pageCount(record);
  if (view.currentPage > count) view.currentPage = 1;
  return count;
}

bool handlePageKey(ViewState& view, const TestRecord& record, PageKey key) {
  if (view.printingInProgress) return false;
  const int count = pageCountResetting(view, record);
  switch (key) {
  case PageKey::PageUp:
    if (view.currentPage >= 2) --view.currentPage;
    return true;
  case PageKey::PageDown:
    if (view.currentPage < count) ++view.currentPage;
    return true;
  case PageKey::Other:
    break;
  }
  return false;
}

bool applyPageCommand(ViewState& view, int id) {
  if (id == ID_GRAPH_PAGE || id == ID_GRAPH_PAGE_TOOL) {
    view.currentPage = 1;
    return true;
  }
  if (id == ID_TABLE_PAGE || id == ID_TABLE_PAGE_TOOL) {
    view.currentPage = 2;
    return true;
  }
  return false;
}

void setPaperFromPrinter(ViewState& view, double widthMm, double heightMm, int resolution) {
  if (resolution < 1) {
    reportMessage(IDS_DEVICE_ERROR);
    view.paperWidthMm = 280;
    view.paperHeightMm = 280;
    return;
  }
  // Page sizes in millimetres carry conversion noise (209.9999 for A4).
  const int width = static_cast<int>(widthMm + 1e-3);
  const int height = static_cast<int>(heightMm + 1e-3);
  view.paperWidthMm = std::min(width, height);
  view.paperHeightMm = std::max(width, height);
}

void readingsFollowUp(TestRecord& record, bool /*steady*/) {
  const int n = record.countRows(C_time);
  for (int row = 1; row <= n; ++row) record.deriveReadingRow(row);
  // Behind the readings only h and s of rows that hold no reading are
  // emptied: a row behind a t that is not a number, or with a blank t, keeps
  // every cell (its Q too).
  for (int row = n + 1; row <= kRowCount; ++row) {
    bool reading = false;
    for (int column : {C_time, C_pipeLevel, C_clockTime, C_flow})
      reading = reading || !record.cell(row, column).empty();
    if (reading) continue;
    record.setCell(row, C_level, "");
    record.setCell(row, C_headDifference, "");
  }
}

namespace {

void checkPipeTopAndDerive(TestRecord& record) {
  // Any text but a number is reported, a text of blanks too; only an empty
  // height is left unsaid.
  const std::string& pipeTop = record.pipeTopHeight();
  if (!pipeTop.empty() && !isNumberText(pipeTop)) reportMessage(IDS_BAD_PIPE_VALUE);
  record.deriveAllRows();
}

} // namespace

void headingsFollowUp(TestRecord& record, int digitsPermeability) {
  checkPipeTopAndDerive(record);
  if (const auto k = permeabilityFromHeadings(record))
    record.set_permeabilityText(formatPermeability(*k, digitsPermeability));
}

void headingsFollowUp(TestRecord& record, const TestRecord& before, int digitsPermeability) {
  static constexpr int kInputs[] = {F_formulaKind,  F_sectionLength, F_boreDiameter, F_equivalentDiameter,
                                    F_steadyFlow,   F_steadyHeadDifference};
  bool changed = false;
  for (int field : kInputs) changed = changed || record.field(field) != before.field(field);
  if (changed) headingsFollowUp(record, digitsPermeability);
  else checkPipeTopAndDerive(record);
  // The rows' s follow ho and the pipe top: points taken from them are
  // taken again, with a and k, so that none is left of an ho the test no
  // longer has.
  if (record.field(F_equilibriumLevel) != before.field(F_equilibriumLevel) ||
      record.field(F_pipeTopHeight) != before.field(F_pipeTopHeight)) {
    if (const auto retaken = retakePoints(record, before, theAnalysisSettings(), digitsPermeability))
      messageSink().report(messageText(IDS_POINTS_RETAKEN, {retaken->kBefore.empty() ? "なし" : retaken->kBefore,
                                                             retaken->kAfter.empty() ? "なし" : retaken->kAfter}));
  }
}

TestRecord afterFollowUpAlone(const TestRecord& before, int commandId) {
  TestRecord alone = before;
  if (commandId == ID_UNSTEADY_READINGS || commandId == ID_STEADY_READINGS)
    readingsFollowUp(alone, commandId == ID_STEADY_READINGS);
  else if (commandId == ID_HEADINGS)
    alone.deriveAllRows();
  return alone;
}

bool saveNeedsSaveAs(const std::string& pathName, const std::string& title) {
  return pathName.empty() || !endsWithTvd(title);
}

std::optional<std::filesystem::path> saveAsTarget(const std::filesystem::path& chosen) {
  std::string text = utf8Path(chosen);
  if (!text.empty() && text.back() == '.') text.pop_back();
  std::filesystem::path target = pathFromUtf8(text);
  const std::string extension = utf8Path(target.extension());  // ".txt" or ""
  if (extension.empty()) {
    target += ".tvd";
    return target;
  }
  if (extension.size() != 4 || !endsWithTvd(extension)) {
    reportMessage(IDS_BAD_EXTENSION);
    return std::nullopt;
  }
  return target;
}

std::filesystem::path suggestedPdfPath(const std::string& testPath, const std::filesystem::path& fallbackFolder) {
  if (testPath.empty()) return fallbackFolder / pathFromUtf8("無題.pdf");
  const std::filesystem::path test = pathFromUtf8(testPath);
  return test.parent_path() / pathFromUtf8(utf8Path(test.stem()) + ".pdf");
}

std::filesystem::path pdfTarget(const std::filesystem::path& chosen) {
  std::string text = utf8Path(chosen);
  if (!text.empty() && text.back() == '.') text.pop_back();
  std::string extension = utf8Path(pathFromUtf8(text).extension());
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension != ".pdf") text += ".pdf";
  return pathFromUtf8(text);
}

std::string folderOfChosenFile(const std::filesystem::path& chosen) {
  return utf8Path(chosen.parent_path());
}

std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string& path) {
  list = withoutRecentFile(std::move(list), path);
  list.insert(list.begin(), path);
  if (list.size() > static_cast<std::size_t>(kRecentFileCount)) list.resize(kRecentFileCount);
  return list;
}

std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string& path) {
  list.erase(std::remove(list.begin(), list.end(), path), list.end());
  return list;
}

} // namespace tov
