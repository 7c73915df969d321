#include "dialogs/qt/Dialogs.h"

#include "app/CTovView.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CHeadingsDialog.h"
#include "dialogs/qt/CHelpDialog.h"
#include "dialogs/qt/CKeyBehaviourDialog.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "dialogs/qt/CSetupDialog.h"
#include "dialogs/qt/CTesterRegisterDialog.h"

namespace tov {

void registerDialogs() {
  registerEditor(ID_UNSTEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Unsteady);
  });
  registerEditor(ID_STEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Steady);
  });
  // Headings, tester register, Enter key, help and setup.
  registerEditor(ID_HEADINGS, runHeadingsEditor);
  registerEditor(ID_TESTER_REGISTER, [](QWidget* parent, TestRecord&) { return runTesterRegisterEditor(parent); });
  registerEditor(ID_ENTER_KEY, [](QWidget* parent, TestRecord&) { return runKeyBehaviourEditor(parent); });
  registerEditor(ID_HELP_VIEWER, [](QWidget* parent, TestRecord&) { return runHelpViewer(parent); });
  registerEditor(ID_SETUP, [](QWidget* parent, TestRecord&) { return runSetupEditor(parent); });
}

} // namespace tov
