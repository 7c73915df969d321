#pragma once
// The page view: one printable page at a time, centred on a plain desk (page
// 1 the graph page, pages 2 and up the data-table pages), the paging and
// scrolling keys, zoom, the editor commands of the Data and Settings menus,
// printing, preview and PDF output.
//
// On screen the page is drawn at the screen's resolution times the zoom, so
// that it stays sharp at every size; printing and PDF output draw at their
// own resolution and never zoom.
#include <QScrollArea>

#include <filesystem>
#include <memory>
#include <optional>

#include "cli/ExportJob.h"
#include "app/ShellLogic.h"

class QPainter;
class QPrinter;
class QSettings;

namespace tov {

class CTovDoc;
class QtSurfaceCache;

class CTovView : public QScrollArea {
  Q_OBJECT
public:
  // Runs the import of a logger file (chosen in a file dialog when none is given).
  void importReadingsFrom(const std::filesystem::path& file);
  explicit CTovView(CTovDoc& document, QWidget* parent = nullptr);
  ~CTovView() override;

  CTovDoc& document() { return document_; }
  ViewState& state() { return theViewState(); }
  QWidget* pageWidget() const { return page_; }
  // The printer the view prints and previews with (the default printer, or
  // PDF output without one); its paper is the paper shown on screen.
  QPrinter& printer();
  // That paper.
  PaperSize paper();

  // Scroll sizes, then the first update.
  void OnInitialUpdate();
  // Settings (when due), the printer's paper, redraw.
  void OnUpdate();
  // Draws the current page on the painter's device at its resolution, or
  // at the one given (the screen's, zoomed: what is laid out is then kept
  // for the next paint).
  void OnDraw(QPainter& painter, int dpiX = 0, int dpiY = 0);

  // Page count; resets the current page to 1 when it is above it.
  int pageCount();
  // Runs a view command (editors, page commands, printing). False when the
  // command is not the view's.
  bool onCommand(int id);

  // Prints the printer's page range (every page when it has none), one page
  // per sheet, on the printer's paper at the print resolution, then shows
  // page 1 again. A landscape page is refused with a message.
  void printPages(QPrinter& printer);
  void onFilePrint();
  void onFilePrintPreview();
  void onFilePrintSetup();
  // "PDF出力...": every page to a PDF file chosen in a file dialog.
  void onFileExportPdf();

  // Zoom: a fixed percentage (kept within kMinZoom..kMaxZoom), or a fit
  // mode that follows the size of the view. The point of the page under
  // `anchor` (viewport coordinates; the centre when absent) stays put.
  int zoomPercent() const { return theViewState().zoomPercent; }
  void setZoom(int percent, std::optional<QPoint> anchor = std::nullopt);
  void setZoomMode(ZoomMode mode);
  // The screen's resolution and the one the page is drawn at on it.
  int screenDpi() const;
  int pageDpi() const;

  // Size of the sheet drawn on screen, and where it lies on the desk.
  QSize sheetPixelSize() const;
  QRect sheetRect() const;
  static constexpr int kSheetPadding = 16;

  // The window's zoom between runs.
  void saveSettings(QSettings& settings) const;
  void restoreSettings(QSettings& settings);

signals:
  // The page shown, or the record, changed (the frame updates check marks
  // and the page number).
  void pageChanged();
  void zoomChanged();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

private:
  void redraw();
  void runEditorCommand(int id);
  void readPrinterPaper();
  void applyScrollSizes();
  void applyFitMode();
  void scrollBy(int dy);

  CTovDoc& document_;
  QWidget* page_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QtSurfaceCache> screenCache_;
  int shownPage_ = 1;  // the page the scroll position belongs to
};

} // namespace tov
