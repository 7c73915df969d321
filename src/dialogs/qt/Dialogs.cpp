#include "dialogs/qt/Dialogs.h"

#include "app/CTovView.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CAnalysisDialog.h"
#include "dialogs/qt/CFontsDialog.h"
#include "dialogs/qt/CLinesMarginsDialog.h"
#include "dialogs/qt/CPageFormatDialog.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "dialogs/qt/CStyleDigitsDialog.h"
#include "files/Settings.h"

namespace tov {

void registerDialogs() {
  registerEditor(ID_UNSTEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Unsteady);
  });
  registerEditor(ID_STEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Steady);
  });
  registerEditor(ID_ANALYSIS, [](QWidget* parent, TestRecord& record) { return runAnalysisEditor(parent, record); });
  registerEditor(ID_STYLE_DIGITS, [](QWidget* parent, TestRecord&) { return runStyleDigitsEditor(parent, theSettings()); });
  registerEditor(ID_LINES_MARGINS, [](QWidget* parent, TestRecord&) { return runLinesMarginsEditor(parent, theSettings()); });
  registerEditor(ID_PAGE_FORMAT, [](QWidget* parent, TestRecord& record) {
    return runPageFormatEditor(parent, record, theViewState().paperHeightMm, theSettings().font(FontPage).pointSize);
  });
  registerEditor(ID_FONTS, [](QWidget* parent, TestRecord&) { return runFontsEditor(parent, theSettings()); });
}

} // namespace tov
