#pragma once
// The parts of the application shell that need no widgets: command numbers,
// the menu layout, which commands are enabled or checked, the page the view
// shows and how the paging keys move it, the paper size read from a printer,
// and the rules for the file names of Save and Save As.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

// Command numbers (kept as the program has always numbered them; they are
// the data of the menu actions).
enum CommandId : int {
  ID_GRAPH_PAGE_TOOL = 57346,
  ID_TABLE_PAGE_TOOL = 57347,
  ID_HEADINGS = 32771,
  ID_UNSTEADY_READINGS = 32772,
  ID_ANALYSIS = 32773,
  ID_STYLE_DIGITS = 32774,
  ID_LINES_MARGINS = 32775,
  ID_ENTER_KEY = 32777,
  ID_FONTS = 32778,
  ID_TESTER_REGISTER = 32782,
  ID_SETUP = 32783,
  ID_GRAPH_PAGE = 32784,
  ID_TABLE_PAGE = 32785,
  ID_STEADY_READINGS = 32786,
  ID_PAGE_FORMAT = 32787,
  ID_ZOOM_IN = 32800,
  ID_ZOOM_OUT = 32801,
  ID_ZOOM_ACTUAL = 32802,
  ID_ZOOM_FIT_WIDTH = 32803,
  ID_ZOOM_FIT_PAGE = 32804,
  ID_FILE_EXPORT_PDF = 32805,
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_FILE_PRINT_SETUP = 57606,
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_DIRECT = 57608,
  ID_FILE_PRINT_PREVIEW = 57609,
  ID_FILE_MRU_FILE1 = 57616,  // .. 57619
  ID_APP_ABOUT = 57664,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  ID_APP_EXIT = 57665,
  ID_HELP_VIEWER = 57670,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
};
inline constexpr int kRecentFileCount = 4;

// One menu entry. id 0 is a separator; kRecentFilesSlot stands for the
// recent-file entries.
struct MenuItemSpec {
  int id = 0;
  std::string text;
  std::string shortcut;  // "Ctrl+N" or ""
  std::string statusTip;
  bool checkable = false;
};
inline constexpr int kRecentFilesSlot = -1;

struct MenuSpec {
  std::string title;
  std::vector<MenuItemSpec> items;
};

// The menu bar, menu by menu.
const std::vector<MenuSpec>& menuLayout();

// The commands whose editors a later part of the program provides.
bool isEditorCommand(int id);
// The name of the undo step an editor's OK on the test makes ("測定データ").
std::string editStepName(int id);
// The Edit menu's texts: "元に戻す: 測定データ(&U)", or "元に戻す(&U)" without
// a step (likewise やり直し with &R).
std::string undoMenuText(const std::string& stepName);
std::string redoMenuText(const std::string& stepName);

// How the page is sized on screen: a zoom of its own, or fitted to the
// width of the view or whole into it (refitted when the view changes size).
enum class ZoomMode { Fixed, FitWidth, FitPage };
inline constexpr int kMinZoom = 20;   // percent
inline constexpr int kMaxZoom = 400;

// What the view shows, process-wide.
struct ViewState {
  int currentPage = 1;
  bool printingInProgress = false;
  int paperWidthMm = 280;
  int paperHeightMm = 280;
  int zoomPercent = 100;  // screen only; printing and export never zoom
  ZoomMode zoomMode = ZoomMode::Fixed;
};
ViewState& theViewState();

// The next zoom step above (direction > 0) or below the zoom, from a fixed
// ladder (20, 25, 33, 50, 67, 75, 90, 100, 110, 125 ... 400 percent); a zoom
// between steps goes to the neighbouring step.
int nextZoomStep(int percent, int direction);
// The zoom, within kMinZoom..kMaxZoom, at which a length of paper fills
// `pixels` at the screen's resolution.
int zoomToFit(int pixels, double paperMm, int screenDpi);
// The resolution the page is drawn at on screen.
int zoomedDpi(int screenDpi, int percent);
// "n / N" for the status bar.
std::string pageStatusText(int page, int pages);

// Whether a menu command can be chosen now / shows a check mark.
bool isCommandEnabled(int id, const TestRecord& record);
bool isCommandChecked(int id, const ViewState& view);

// pageCount of the record; resets currentPage to 1 when it is above it.
int pageCountResetting(ViewState& view, const TestRecord& record);

enum class PageKey { PageUp, PageDown, Other };
// The paging keys: Up moves back a page from page 2 on, Down forward while
// there is a next page. True when the view is to be redrawn (every paging
// key outside printing, whether or not the page changed); while printing
// nothing happens.
bool handlePageKey(ViewState& view, const TestRecord& record, PageKey key);

// The page commands (graph / table page) of menu and tool bar; true when the
// command was one of them.
bool applyPageCommand(ViewState& view, int id);

// The paper size from a printer's page size in millimetres (whole
// millimetres, portrait) and its resolution. Without a resolution (below 1)
// reports "ハードウェア、デバイスエラー" and sets 280 × 280 mm.
void setPaperFromPrinter(ViewState& view, double widthMm, double heightMm, int resolution);

// After a readings editor (OK or Cancel): h and s of rows 1..n again, and
// h and s (columns 4, 5) emptied in the rows behind that hold no reading.
// A row holding a t, h', clock time or Q is never emptied.
void readingsFollowUp(TestRecord& record, bool steady);

// After OK in the Headings editor: a pipe-top height that is neither empty
// nor a number (blanks only count as no number) is reported ("パイプ(管)の
// 値が異常です", values kept); h and s again; k again
// from the stored gradient and steady values when the geometry is usable
// (stored only when the result is not the failure value).
void headingsFollowUp(TestRecord& record, int digitsPermeability);

// Save goes to Save As when the document has no path or its title does not
// end in "tvd" (any case).
bool saveNeedsSaveAs(const std::string& pathName, const std::string& title);

// The file Save As writes for the chosen name: a trailing "." removed, ".tvd"
// added to a name without extension; nothing (after reporting "拡張子を
// tvd(TVD)にして下さい") for any other extension.
std::optional<std::filesystem::path> saveAsTarget(const std::filesystem::path& chosen);

// The file Save As suggests: the test's own file; for a test without one,
// "<No.>.tvd" from the test's number (else the survey name, else "無題") in
// the folder of the last open (else the fallback folder). Characters a file
// name cannot hold become "_".
std::filesystem::path suggestedSavePath(const std::string& testPath, const TestRecord& record,
                                        const std::filesystem::path& lastFolder,
                                        const std::filesystem::path& fallbackFolder);

// The file "PDF出力..." suggests: the test's name with ".pdf" in the test's
// folder, or "無題.pdf" in the fallback folder for a test without a file.
std::filesystem::path suggestedPdfPath(const std::string& testPath, const std::filesystem::path& fallbackFolder);
// The file a chosen PDF name writes: ".pdf" added unless it ends so (any
// case); a trailing "." is dropped first.
std::filesystem::path pdfTarget(const std::filesystem::path& chosen);

// The folder part of a chosen file (what FileV.ndx remembers).
std::string folderOfChosenFile(const std::filesystem::path& chosen);

// The recent-file list: most recent first, at most kRecentFileCount, no
// duplicates.
std::vector<std::string> withRecentFile(std::vector<std::string> list, const std::string& path);
std::vector<std::string> withoutRecentFile(std::vector<std::string> list, const std::string& path);

} // namespace tov
