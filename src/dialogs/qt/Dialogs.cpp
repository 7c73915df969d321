#include "dialogs/qt/Dialogs.h"

#include "app/CTovView.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CAnalysisDialog.h"
#include "dialogs/qt/CFontsDialog.h"
#include "dialogs/qt/CHeadingsDialog.h"
#include "dialogs/qt/CHelpDialog.h"
#include "dialogs/qt/CKeyBehaviourDialog.h"
#include "dialogs/qt/CLinesMarginsDialog.h"
#include "dialogs/qt/CPageFormatDialog.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "dialogs/qt/CSetupDialog.h"
#include "dialogs/qt/CStyleDigitsDialog.h"
#include "dialogs/qt/CTesterRegisterDialog.h"
#include "files/Settings.h"

namespace tov {

void registerDialogs() {
  // The test's own data.
  registerEditor(ID_HEADINGS, runHeadingsEditor);
  registerEditor(ID_UNSTEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Unsteady);
  });
  registerEditor(ID_STEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Steady);
  });
  registerEditor(ID_ANALYSIS, [](QWidget* parent, TestRecord& record) { return runAnalysisEditor(parent, record); });
  registerEditor(ID_PAGE_FORMAT, [](QWidget* parent, TestRecord& record) {
    return runPageFormatEditor(parent, record, theViewState().paperHeightMm, theSettings().font(FontPage).pointSize);
  });
  // The program's settings.
  registerEditor(ID_STYLE_DIGITS, [](QWidget* parent, TestRecord&) { return runStyleDigitsEditor(parent, theSettings()); });
  registerEditor(ID_LINES_MARGINS, [](QWidget* parent, TestRecord&) { return runLinesMarginsEditor(parent, theSettings()); });
  registerEditor(ID_FONTS, [](QWidget* parent, TestRecord&) { return runFontsEditor(parent, theSettings()); });
  registerEditor(ID_ENTER_KEY, [](QWidget* parent, TestRecord&) { return runKeyBehaviourEditor(parent); });
  registerEditor(ID_TESTER_REGISTER, [](QWidget* parent, TestRecord&) { return runTesterRegisterEditor(parent); });
  registerEditor(ID_SETUP, [](QWidget* parent, TestRecord&) { return runSetupEditor(parent); });
  registerEditor(ID_HELP_VIEWER, [](QWidget* parent, TestRecord&) { return runHelpViewer(parent); });
}

} // namespace tov
