#include "app/Dialogs.h"

#include "app/ShellLogic.h"
#include "dialogs/qt/CAnalysisDialog.h"
#include "dialogs/qt/CFontsDialog.h"
#include "dialogs/qt/CHeadingsDialog.h"
#include "dialogs/qt/CHelpDialog.h"
#include "dialogs/qt/CImportDialog.h"
#include "dialogs/qt/CKeyBehaviourDialog.h"
#include "dialogs/qt/CLinesMarginsDialog.h"
#include "dialogs/qt/CPageFormatDialog.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "dialogs/qt/CSetupDialog.h"
#include "dialogs/qt/CStyleDigitsDialog.h"
#include "dialogs/qt/CTesterRegisterDialog.h"
#include "files/Settings.h"

namespace tov {

bool runEditor(int commandId, QWidget* parent, TestRecord& record) {
  switch (commandId) {
  // The test's own data.
  case ID_HEADINGS: return runHeadingsEditor(parent, record);
  case ID_UNSTEADY_READINGS: return runReadingsEditor(parent, record, ReadingsMethod::Unsteady);
  case ID_STEADY_READINGS: return runReadingsEditor(parent, record, ReadingsMethod::Steady);
  case ID_IMPORT_READINGS: return runImportEditor(parent, record);
  case ID_ANALYSIS: return runAnalysisEditor(parent, record);
  case ID_PAGE_FORMAT:
    return runPageFormatEditor(parent, record, theViewState().paperHeightMm, theSettings().font(FontPage).pointSize);
  // The program's settings.
  case ID_STYLE_DIGITS: return runStyleDigitsEditor(parent, theSettings());
  case ID_LINES_MARGINS: return runLinesMarginsEditor(parent, theSettings());
  case ID_FONTS: return runFontsEditor(parent, theSettings());
  case ID_ENTER_KEY: return runKeyBehaviourEditor(parent);
  case ID_TESTER_REGISTER: return runTesterRegisterEditor(parent);
  case ID_SETUP: return runSetupEditor(parent);
  case ID_HELP_VIEWER: return runHelpViewer(parent);
  default: return false;
  }
}

} // namespace tov
