#include "dialogs/qt/Dialogs.h"

#include "app/CTovView.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CReadingsDialog.h"

namespace tov {

void registerDialogs() {
  registerEditor(ID_UNSTEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Unsteady);
  });
  registerEditor(ID_STEADY_READINGS, [](QWidget* parent, TestRecord& record) {
    return runReadingsEditor(parent, record, ReadingsMethod::Steady);
  });
}

} // namespace tov
