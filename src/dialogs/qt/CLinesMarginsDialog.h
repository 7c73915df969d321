#pragma once
// The settings dialog "線種/マージン/社名": the widgets over a
// LinesMarginsModel.
#include <QDialog>

#include <array>
#include <functional>
#include <optional>

#include "dialogs/LinesMarginsModel.h"

class QLineEdit;
class QRadioButton;

namespace tov {

// Asks the user for a colour, starting from one; nothing on Cancel.
using ColourChooser = std::function<std::optional<Colour>(QWidget* parent, Colour initial)>;
// The platform's colour chooser.
std::optional<Colour> chooseColourWithDialog(QWidget* parent, Colour initial);

class CLinesMarginsDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; OK stores into target.
  CLinesMarginsDialog(LinesMarginsModel& model, DisplaySettings& target, QWidget* parent = nullptr,
                      ColourChooser chooser = chooseColourWithDialog);

  void accept() override;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QLineEdit* edit(LinesField field, const char* name, int digits = 4);
  QWidget* widthsGroup();
  QWidget* gridGroup(int grid);
  QWidget* plotGroup();
  QWidget* marginsGroup();
  QWidget* contractorGroup();
  void onChooseColour();
  // Shows the model's state.
  void refresh();
  void showFieldColour();

  LinesMarginsModel& model_;
  DisplaySettings& target_;
  ColourChooser chooser_;
  std::array<QLineEdit*, kLinesFieldCount> fields_{};
  QRadioButton* colourMode_ = nullptr;
  QRadioButton* blackAndWhiteMode_ = nullptr;
};

// The command "線種・マージン(L)": the dialog on the settings; on OK they are
// stored and Sys.ndx is written.
bool runLinesMarginsEditor(QWidget* parent, Settings& settings);

} // namespace tov
