#include "dialogs/qt/CImportDialog.h"
#include "app/CTovView.h"

#include <QDir>
#include <QKeyEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QToolBar>
#include <QSettings>
#include <QWheelEvent>


#include "app/CTovDoc.h"
#include "qt/FileChooser.h"
#include "qt/QtSurface.h"
#include "app/Dialogs.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"

namespace tov {

namespace {

// Scroll steps of the scroll bars in device units: a page and a line.
constexpr QSize kPageStep(103, 155);
constexpr QSize kLineStep(25, 38);

const QColor kDeskColour(0x80, 0x86, 0x8e);
const QColor kSheetEdgeColour(0x5a, 0x5f, 0x66);

// The desk with the sheet of paper on it; the page is drawn on the sheet
// by the view.
class PageWidget : public QWidget {
public:
  explicit PageWidget(CTovView& view) : QWidget(&view), view_(view) {
    setObjectName(QStringLiteral("pageWidget"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }

protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.fillRect(event->rect(), kDeskColour);
    const QRect paper = view_.sheetRect();
    painter.setPen(kSheetEdgeColour);
    painter.drawRect(paper.adjusted(-1, -1, 0, 0));
    painter.fillRect(paper, Qt::white);
    painter.save();
    painter.translate(paper.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), paper.size()));
    view_.OnDraw(painter, view_.pageDpi(), view_.pageDpi());
    painter.restore();
  }

private:
  CTovView& view_;
};

// Printing and PDF output start at the paper's corner (the layout carries
// its own margins) and draw at the export's resolution, so that a printed
// page and an exported one are the same drawing.
void prepareForPages(QPrinter& device) {
  device.setFullPage(true);
  device.setResolution(kPrintDpi);
}

} // namespace


CTovView::CTovView(CTovDoc& document, QWidget* parent)
    : QScrollArea(parent), document_(document), screenCache_(std::make_unique<QtSurfaceCache>()) {
  setObjectName(QStringLiteral("view"));
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  // One plain desk colour behind and around the sheet.
  QPalette desk = palette();
  desk.setColor(QPalette::Window, kDeskColour);
  viewport()->setPalette(desk);
  viewport()->setBackgroundRole(QPalette::Window);
  viewport()->setAutoFillBackground(true);
  page_ = new PageWidget(*this);
  setWidget(page_);
  setWidgetResizable(false);
  horizontalScrollBar()->setSingleStep(kLineStep.width());
  verticalScrollBar()->setSingleStep(kLineStep.height());
  connect(&document_, &CTovDoc::updateAllViews, this, &CTovView::OnUpdate);
  connect(&document_, &CTovDoc::editApplied, this, &CTovView::redraw);
}

CTovView::~CTovView() = default;

QPrinter& CTovView::printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    prepareForPages(*printer_);
  }
  return *printer_;
}

PaperSize CTovView::paper() { return paperOf(printer().pageLayout()); }

int CTovView::screenDpi() const { return page_->logicalDpiY(); }

int CTovView::pageDpi() const { return zoomedDpi(screenDpi(), zoomPercent()); }

QSize CTovView::sheetPixelSize() const {
  const double perMm = pageDpi() / 25.4;
  return QSize(static_cast<int>(theViewState().paperWidthMm * perMm),
               static_cast<int>(theViewState().paperHeightMm * perMm));
}

QRect CTovView::sheetRect() const {
  const QSize sheet = sheetPixelSize();
  // Centred on the desk; at the top of it when taller than the view.
  const int x = std::max(kSheetPadding, (page_->width() - sheet.width()) / 2);
  const int y = std::max(kSheetPadding, (page_->height() - sheet.height()) / 2);
  return QRect(QPoint(x, y), sheet);
}

void CTovView::applyScrollSizes() {
  const QSize sheet = sheetPixelSize();
  const QSize area = viewport()->size();
  page_->resize(std::max(area.width(), sheet.width() + 2 * kSheetPadding),
                std::max(area.height(), sheet.height() + 2 * kSheetPadding));
  horizontalScrollBar()->setPageStep(std::max(kPageStep.width(), area.width() - kLineStep.width()));
  verticalScrollBar()->setPageStep(std::max(kPageStep.height(), area.height() - kLineStep.height()));
}

void CTovView::applyFitMode() {
  const ZoomMode mode = state().zoomMode;
  if (mode == ZoomMode::Fixed) return;
  const int pad = 2 * kSheetPadding;
  const QSize whole = size();  // the view without scroll bars
  const int scrollBar = verticalScrollBar()->sizeHint().width();
  int percent = zoomToFit(whole.width() - pad, state().paperWidthMm, screenDpi());
  if (mode == ZoomMode::FitPage) {
    percent = std::min(percent, zoomToFit(whole.height() - pad, state().paperHeightMm, screenDpi()));
  } else if (zoomedDpi(screenDpi(), percent) * state().paperHeightMm / 25.4 + pad > whole.height()) {
    // The page is taller than the view: leave room for the scroll bar.
    percent = zoomToFit(whole.width() - pad - scrollBar, state().paperWidthMm, screenDpi());
  }
  if (percent != state().zoomPercent) {
    state().zoomPercent = percent;
    emit zoomChanged();
  }
  applyScrollSizes();
  page_->update();
}

void CTovView::setZoom(int percent, std::optional<QPoint> anchor) {
  percent = std::clamp(percent, kMinZoom, kMaxZoom);
  const bool modeChanged = state().zoomMode != ZoomMode::Fixed;
  state().zoomMode = ZoomMode::Fixed;
  if (percent == state().zoomPercent) {
    if (modeChanged) emit zoomChanged();
    return;
  }
  // The page point under the anchor, as a fraction of the sheet.
  const QPoint at = anchor.value_or(QPoint(viewport()->width() / 2, viewport()->height() / 2));
  const QRect before = sheetRect();
  const QPoint onPage = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()) + at - before.topLeft();
  const double fx = before.width() > 0 ? static_cast<double>(onPage.x()) / before.width() : 0.0;
  const double fy = before.height() > 0 ? static_cast<double>(onPage.y()) / before.height() : 0.0;

  state().zoomPercent = percent;
  applyScrollSizes();
  const QRect after = sheetRect();
  horizontalScrollBar()->setValue(after.left() + static_cast<int>(std::lround(fx * after.width())) - at.x());
  verticalScrollBar()->setValue(after.top() + static_cast<int>(std::lround(fy * after.height())) - at.y());
  page_->update();
  emit zoomChanged();
}

void CTovView::setZoomMode(ZoomMode mode) {
  if (mode == ZoomMode::Fixed) {
    setZoom(state().zoomPercent);
    return;
  }
  state().zoomMode = mode;
  applyFitMode();
  emit zoomChanged();
}

void CTovView::saveSettings(QSettings& settings) const {
  settings.setValue(QStringLiteral("View/zoom"), zoomPercent());
  settings.setValue(QStringLiteral("View/zoomMode"), static_cast<int>(theViewState().zoomMode));
}

void CTovView::restoreSettings(QSettings& settings) {
  const int mode = settings.value(QStringLiteral("View/zoomMode"), 0).toInt();
  setZoom(settings.value(QStringLiteral("View/zoom"), 100).toInt());
  if (mode == static_cast<int>(ZoomMode::FitWidth) || mode == static_cast<int>(ZoomMode::FitPage))
    setZoomMode(static_cast<ZoomMode>(mode));
}

void CTovView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (state().zoomMode != ZoomMode::Fixed) applyFitMode();
  else applyScrollSizes();
}

void CTovView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QScrollArea::wheelEvent(event);
    return;
  }
  const int delta = event->angleDelta().y();
  if (delta != 0) setZoom(nextZoomStep(zoomPercent(), delta), event->position().toPoint());
  event->accept();
}

void CTovView::OnInitialUpdate() {
  OnUpdate();
  applyScrollSizes();
}

void CTovView::readPrinterPaper() {
  QPrinter& device = printer();
  const QSizeF size = device.pageLayout().pageSize().size(QPageSize::Millimeter);
  setPaperFromPrinter(state(), size.width(), size.height(), device.resolution());
}

void CTovView::OnUpdate() {
  theSettings().loadSettings(false);
  readPrinterPaper();
  if (state().zoomMode != ZoomMode::Fixed) applyFitMode();
  else applyScrollSizes();
  redraw();
}

void CTovView::OnDraw(QPainter& painter, int dpiX, int dpiY) {
  TestRecord& record = document_.record();
  repairScalesForDrawing(record);
  std::optional<QtSurface> surface;
  if (dpiX > 0 && dpiY > 0) surface.emplace(painter, dpiX, dpiY, screenCache_.get());
  else surface.emplace(painter);
  surface->setWindowOrg(0, 0);
  surface->setBkModeTransparent();
  const PageInputs inputs = pageInputsFrom(record, theSettings(), state().paperWidthMm);
  renderPage(*surface, inputs, state().currentPage);
}

int CTovView::pageCount() { return pageCountResetting(state(), document_.record()); }

void CTovView::redraw() {
  // A page above the count (readings were deleted) gives way to page 1, and
  // a page turned to is shown from its top.
  pageCount();
  if (state().currentPage != shownPage_) {
    shownPage_ = state().currentPage;
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
  }
  page_->update();
  emit pageChanged();
}

void CTovView::scrollBy(int dy) {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + dy);
}

void CTovView::keyPressEvent(QKeyEvent* event) {
  if (state().printingInProgress) {
    event->accept();
    return;
  }
  PageKey key = PageKey::Other;
  switch (event->key()) {
  case Qt::Key_PageUp: case Qt::Key_Up: key = PageKey::PageUp; break;
  case Qt::Key_PageDown: case Qt::Key_Down: key = PageKey::PageDown; break;
  default: break;
  }
  if (handlePageKey(state(), document_.record(), key)) {
    // The paging keys turn pages; they do not also scroll the sheet.
    redraw();
    event->accept();
    return;
  }
  // Within a page: Home and End go to its top and bottom, Space and
  // Shift+Space scroll by a screen.
  QScrollBar* bar = verticalScrollBar();
  const int screen = std::max(1, viewport()->height() - kLineStep.height());
  switch (event->key()) {
  case Qt::Key_Home: bar->setValue(bar->minimum()); event->accept(); return;
  case Qt::Key_End: bar->setValue(bar->maximum()); event->accept(); return;
  case Qt::Key_Space:
    scrollBy((event->modifiers() & Qt::ShiftModifier) ? -screen : screen);
    event->accept();
    return;
  default: break;
  }
  QScrollArea::keyPressEvent(event);
}

bool CTovView::onCommand(int id) {
  if (applyPageCommand(state(), id)) {
    redraw();
    return true;
  }
  if (isEditorCommand(id)) {
    runEditorCommand(id);
    return true;
  }
  switch (id) {
  case ID_FILE_PRINT: onFilePrint(); return true;
  case ID_FILE_PRINT_DIRECT: printPages(printer()); return true;
  case ID_FILE_PRINT_PREVIEW: onFilePrintPreview(); return true;
  case ID_FILE_PRINT_SETUP: onFilePrintSetup(); return true;
  case ID_FILE_EXPORT_PDF: onFileExportPdf(); return true;
  case ID_ZOOM_IN: setZoom(nextZoomStep(zoomPercent(), 1)); return true;
  case ID_ZOOM_OUT: setZoom(nextZoomStep(zoomPercent(), -1)); return true;
  case ID_ZOOM_ACTUAL: setZoom(100); return true;
  case ID_ZOOM_FIT_WIDTH: setZoomMode(ZoomMode::FitWidth); return true;
  case ID_ZOOM_FIT_PAGE: setZoomMode(ZoomMode::FitPage); return true;
  default: return false;
  }
}

void CTovView::runEditorCommand(int id) {
  TestRecord& record = document_.record();
  if (!isCommandEnabled(id, record)) return;
  if (id == ID_IMPORT_READINGS) {
    importReadingsFrom({});
    return;
  }
  if (!isTestEditorCommand(id)) {
    // The program's settings are no part of the undo history; reading them
    // again may fill the test's empty labels, which leaves it to be saved.
    const TestRecord before = record;
    if (runEditor(id, this, record) && record != before) document_.setModifiedFlag(true);
    redraw();
    return;
  }
  // The editor works on a copy; its OK puts the copy in as one undoable
  // step (which marks the test modified when it changed anything).
  const TestRecord before = record;
  TestRecord edited = record;
  const bool ok = runEditor(id, this, edited);
  if (id == ID_UNSTEADY_READINGS || id == ID_STEADY_READINGS)
    readingsFollowUp(edited, id == ID_STEADY_READINGS);
  else if (id == ID_HEADINGS && ok)
    headingsFollowUp(edited, before, theSettings().display.digitsPermeability);
  // OK that changed the test is one undoable step and leaves the test to be
  // saved; h and s derived again by the follow-up alone are no change, and
  // Cancel keeps the test with its derived values computed again.
  if (ok && edited != afterFollowUpAlone(before, id))
    document_.applyEdit(QString::fromStdString(editStepName(id)), edited);
  else
    record = edited;
  redraw();
}

// The one place a logger file's readings enter the test (the menu command
// and a file dropped on the window).
// The import is one undoable step.
void CTovView::importReadingsFrom(const std::filesystem::path& file) {
  TestRecord edited = document_.record();
  if (runImportEditor(this, edited, file)) {
    readingsFollowUp(edited, edited.fieldInt(F_formulaKind) == 4);
    document_.applyEdit(QString::fromStdString(editStepName(ID_IMPORT_READINGS)), edited);
  }
  redraw();
}

void CTovView::printPages(QPrinter& device) {
  if (device.pageLayout().orientation() == QPageLayout::Landscape) {
    // The layout is portrait; on landscape paper its lower half would be
    // cut off.
    reportMessage(IDS_LANDSCAPE_REFUSED);
    return;
  }
  prepareForPages(device);
  const int pages = pageCount();
  int from = device.fromPage();
  int to = device.toPage();
  if (from < 1) from = 1;
  if (to < 1 || to > pages) to = pages;
  TestRecord& record = document_.record();
  repairScalesForDrawing(record);
  // The footer is centred on the paper of the printer that prints.
  const PageInputs inputs = pageInputsFrom(record, theSettings(), paperOf(device.pageLayout()).wholeWidthMm());
  state().printingInProgress = true;
  const bool printed = paintPageRange(device, inputs, from, to, [this](int page) { state().currentPage = page; });
  state().printingInProgress = false;
  if (!printed) reportMessage(IDS_DEVICE_ERROR);
  state().currentPage = 1;
  redraw();
}

void CTovView::onFilePrint() {
  QPrinter& device = printer();
  QPrintDialog dialog(&device, this);
  dialog.setObjectName(QStringLiteral("printDialog"));
  dialog.setMinMax(1, pageCount());
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  readPrinterPaper();  // the dialog may have changed printer or paper
  applyScrollSizes();
  if (accepted) printPages(device);
  else redraw();
}

void CTovView::onFilePrintPreview() {
  QPrinter& device = printer();
  device.setFromTo(0, 0);
  QPrintPreviewDialog dialog(&device, this);
  dialog.setObjectName(QStringLiteral("printPreviewDialog"));
  dialog.setWindowTitle(QStringLiteral("印刷ﾌﾟﾚﾋﾞｭｰ"));
  dialog.resize(window()->size() * 9 / 10);
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) { printPages(*target); });
  // A 閉じる button at the end of the preview's tool bar.
  if (auto* bar = dialog.findChild<QToolBar*>()) {
    bar->addSeparator();
    QAction* close = bar->addAction(QStringLiteral("閉じる(&C)"), &dialog, &QDialog::reject);
    close->setObjectName(QStringLiteral("closePreviewAction"));
    if (QWidget* button = bar->widgetForAction(close)) button->setObjectName(QStringLiteral("closePreviewButton"));
  }
  dialog.exec();
  readPrinterPaper();
  applyScrollSizes();
  state().currentPage = 1;
  redraw();
}

void CTovView::onFilePrintSetup() {
  QPageSetupDialog dialog(&printer(), this);
  dialog.setObjectName(QStringLiteral("pageSetupDialog"));
  dialog.exec();
  readPrinterPaper();
  applyScrollSizes();
  redraw();
}

void CTovView::onFileExportPdf() {
  std::filesystem::path fallback = pathFromUtf8(readLastFolder(theSettings().installFolderPath()).folder);
  if (fallback.empty()) fallback = toPath(QDir::homePath());
  const auto chosen = document_.fileChooser().chooseSaveFile(this, suggestedPdfPath(document_.pathName(), fallback),
                                                             {QStringLiteral("PDF (*.pdf)")});
  if (!chosen) return;
  const std::filesystem::path target = pdfTarget(*chosen);
  // The file dialog asked about the name as typed, not about one that
  // gained its extension here.
  std::error_code ec;
  if (target != *chosen && std::filesystem::exists(target, ec) &&
      !messageSink().askYesNo(messageText(IDS_CONFIRM_OVERWRITE, shownPath(target))))
    return;
  TestRecord& record = document_.record();
  repairScalesForDrawing(record);
  writePdf(target, record, theSettings(), paper());
}

} // namespace tov
