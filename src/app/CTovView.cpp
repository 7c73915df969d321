#include "app/CTovView.h"

#include <QKeyEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>

#include <map>

#include "app/CTovDoc.h"
#include "app/QtSurface.h"
#include "files/Settings.h"
#include "record/Messages.h"
#include "render/Page.h"

namespace tov {

namespace {

std::map<int, EditorFunction>& editors() {
  static std::map<int, EditorFunction> table;
  return table;
}

// Scroll sizes in device units: the whole area, a page step and a line step.
constexpr QSize kTotalSize(831, 1247);
constexpr QSize kPageStep(103, 155);
constexpr QSize kLineStep(25, 38);

const QColor kDeskColour(0x7a, 0x7f, 0x86);
const QColor kShadowColour(0, 0, 0, 70);

// The sheet of paper on the desk; the page is drawn on it by the view.
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
    const QSize sheet = view_.sheetPixelSize();
    const int pad = CTovView::kSheetPadding;
    const QRect paper(pad, pad, sheet.width(), sheet.height());
    painter.fillRect(paper.translated(3, 4), kShadowColour);
    painter.fillRect(paper, Qt::white);
    painter.save();
    painter.translate(pad, pad);
    painter.setClipRect(QRect(QPoint(0, 0), sheet));
    view_.OnDraw(painter);
    painter.restore();
  }

private:
  CTovView& view_;
};

} // namespace

void registerEditor(int commandId, EditorFunction editor) { editors()[commandId] = std::move(editor); }
void clearEditors() { editors().clear(); }

CTovView::CTovView(CTovDoc& document, QWidget* parent) : QScrollArea(parent), document_(document) {
  setObjectName(QStringLiteral("view"));
  setFrameShape(QFrame::NoFrame);
  setBackgroundRole(QPalette::Dark);
  setFocusPolicy(Qt::StrongFocus);
  page_ = new PageWidget(*this);
  setWidget(page_);
  setWidgetResizable(false);
  connect(&document_, &CTovDoc::updateAllViews, this, &CTovView::OnUpdate);
}

CTovView::~CTovView() = default;

QPrinter& CTovView::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *printer_;
}

QSize CTovView::sheetPixelSize() const {
  const double perMmX = page_->logicalDpiX() / 25.4;
  const double perMmY = page_->logicalDpiY() / 25.4;
  // The sheet is at least as tall as A4 so that the footer of a page laid
  // out for A4 stays on paper when no printer tells the real size.
  const int heightMm = std::max(theViewState().paperHeightMm, 297);
  return QSize(static_cast<int>(theViewState().paperWidthMm * perMmX), static_cast<int>(heightMm * perMmY));
}

void CTovView::applyScrollSizes() {
  const QSize sheet = sheetPixelSize();
  page_->resize(std::max(kTotalSize.width(), sheet.width() + 2 * kSheetPadding),
                std::max(kTotalSize.height(), sheet.height() + 2 * kSheetPadding));
  horizontalScrollBar()->setPageStep(kPageStep.width());
  verticalScrollBar()->setPageStep(kPageStep.height());
  horizontalScrollBar()->setSingleStep(kLineStep.width());
  verticalScrollBar()->setSingleStep(kLineStep.height());
}

void CTovView::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  horizontalScrollBar()->setPageStep(kPageStep.width());
  verticalScrollBar()->setPageStep(kPageStep.height());
}

void CTovView::OnInitialUpdate() {
  OnUpdate();
  applyScrollSizes();
}

void CTovView::readDefaultPrinterPaper() {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return;
  QPrinter device(info, QPrinter::HighResolution);
  const int resolution = device.resolution();
  const QRect full = device.pageLayout().fullRectPixels(std::max(resolution, 1));
  setPaperFromDevice(state(), full.width(), full.height(), resolution, resolution);
}

void CTovView::OnUpdate() {
  theSettings().loadSettings(false);
  readDefaultPrinterPaper();
  applyScrollSizes();
  redraw();
}

void CTovView::OnDraw(QPainter& painter) {
  TestRecord& record = document_.record();
  repairScalesForDrawing(record);
  QtSurface surface(painter);
  surface.setWindowOrg(0, 0);
  surface.setBkModeTransparent();
  const PageInputs inputs = pageInputsFrom(record, theSettings(), state().paperWidthMm);
  renderPage(surface, inputs, state().currentPage);
}

int CTovView::pageCount() { return pageCountResetting(state(), document_.record()); }

void CTovView::redraw() {
  page_->update();
  emit pageChanged();
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
  default: return false;
  }
}

void CTovView::runEditorCommand(int id) {
  TestRecord& record = document_.record();
  if (!isCommandEnabled(id, record)) return;
  const auto found = editors().find(id);
  if (found == editors().end() || !found->second) {
    reportMessage(IDS_EDITOR_NOT_AVAILABLE);
  } else {
    const TestRecord before = record;
    const bool ok = found->second(this, record);
    // OK that changed the test leaves it to be saved.
    if (ok && record != before) document_.setModifiedFlag(true);
    if (id == ID_UNSTEADY_READINGS || id == ID_STEADY_READINGS)
      readingsFollowUp(record, id == ID_STEADY_READINGS);
    else if (id == ID_HEADINGS && ok)
      headingsFollowUp(record, theSettings().display.digitsPermeability);
  }
  redraw();
}

void CTovView::printPages(QPrinter& device) {
  const int pages = pageCount();
  int from = device.fromPage();
  int to = device.toPage();
  if (from < 1) from = 1;
  if (to < 1 || to > pages) to = pages;
  QPainter painter;
  if (!painter.begin(&device)) {
    reportMessage(IDS_DEVICE_ERROR);
    return;
  }
  for (int page = from; page <= to; ++page) {
    if (page > from) device.newPage();
    state().printingInProgress = true;
    state().currentPage = page;
    painter.save();
    OnDraw(painter);
    painter.restore();
    state().printingInProgress = false;
  }
  painter.end();
  state().currentPage = 1;
  redraw();
}

void CTovView::onFilePrint() {
  QPrinter& device = printer();
  QPrintDialog dialog(&device, this);
  dialog.setObjectName(QStringLiteral("printDialog"));
  dialog.setMinMax(1, pageCount());
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  if (dialog.exec() != QDialog::Accepted) return;
  printPages(device);
}

void CTovView::onFilePrintPreview() {
  QPrinter& device = printer();
  device.setFromTo(0, 0);
  QPrintPreviewDialog dialog(&device, this);
  dialog.setObjectName(QStringLiteral("printPreviewDialog"));
  dialog.setWindowTitle(QStringLiteral("印刷ﾌﾟﾚﾋﾞｭｰ"));
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) { printPages(*target); });
  dialog.exec();
  state().currentPage = 1;
  redraw();
}

void CTovView::onFilePrintSetup() {
  QPageSetupDialog dialog(&printer(), this);
  dialog.setObjectName(QStringLiteral("pageSetupDialog"));
  dialog.exec();
  redraw();
}

} // namespace tov
