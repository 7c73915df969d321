#pragma once
// The page view: one printable page at a time on a grey desk (page 1 the
// graph page, pages 2 and up the data-table pages), the paging keys, the
// editor commands of the Data and Settings menus, printing and preview.
#include <QScrollArea>

#include <functional>
#include <memory>

#include "app/ShellLogic.h"

class QPainter;
class QPrinter;

namespace tov {

class CTovDoc;

// The editor of a command: runs modally on a copy of what it edits and
// writes it back into the record (or the settings) on OK; true when closed
// with OK.
using EditorFunction = std::function<bool(QWidget* parent, TestRecord& record)>;
// Makes a command open its editor (replacing the "not available" message).
void registerEditor(int commandId, EditorFunction editor);
// Forgets the editors (tests).
void clearEditors();

class CTovView : public QScrollArea {
  Q_OBJECT
public:
  explicit CTovView(CTovDoc& document, QWidget* parent = nullptr);
  ~CTovView() override;

  CTovDoc& document() { return document_; }
  ViewState& state() { return theViewState(); }
  QWidget* pageWidget() const { return page_; }
  QPrinter& printer();

  // Scroll sizes, then the first update.
  void OnInitialUpdate();
  // Settings (when due), the default printer's paper, redraw.
  void OnUpdate();
  // Draws the current page on the painter's device at its resolution.
  void OnDraw(QPainter& painter);

  // Page count; resets the current page to 1 when it is above it.
  int pageCount();
  // Runs a view command (editors, page commands, printing). False when the
  // command is not the view's.
  bool onCommand(int id);

  // Prints the printer's page range (every page when it has none), one page
  // per sheet, then shows page 1 again.
  void printPages(QPrinter& printer);
  void onFilePrint();
  void onFilePrintPreview();
  void onFilePrintSetup();

  // Size of the sheet drawn on screen, in pixels of the view.
  QSize sheetPixelSize() const;
  static constexpr int kSheetPadding = 24;

signals:
  // The page shown, or the record, changed (the frame updates check marks).
  void pageChanged();

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void redraw();
  void runEditorCommand(int id);
  void readDefaultPrinterPaper();
  void applyScrollSizes();

  CTovDoc& document_;
  QWidget* page_ = nullptr;
  std::unique_ptr<QPrinter> printer_;
};

} // namespace tov
