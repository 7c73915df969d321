#pragma once
// The dialog "フォント": the widgets over a FontsModel, one row per page
// font. The row's button opens the font chooser (face, size, underline);
// the "■" beside the size opens the colour chooser.
#include <QDialog>

#include <array>
#include <functional>
#include <optional>

#include "dialogs/FontsModel.h"
#include "dialogs/qt/CLinesMarginsDialog.h"

class QLineEdit;
class QPushButton;

namespace tov {

// What the font chooser showed at first for the slot's font and what the
// user took from it.
struct FontChoice {
  ChosenFont shown;
  ChosenFont chosen;
};
// Asks the user for a font, starting from a slot's; nothing on Cancel.
using FontChooser = std::function<std::optional<FontChoice>(QWidget* parent, const FontSetting& font)>;
// The platform's font chooser.
std::optional<FontChoice> chooseFontWithDialog(QWidget* parent, const FontSetting& font);

class CFontsDialog : public QDialog {
  Q_OBJECT
public:
  // The model is opened already; OK stores into settings.
  CFontsDialog(FontsModel& model, Settings& settings, QWidget* parent = nullptr,
               FontChooser fontChooser = chooseFontWithDialog, ColourChooser colourChooser = chooseColourWithDialog);

  void accept() override;
  void reject() override;

private:
  struct Row {
    QPushButton* button = nullptr;
    QLineEdit* face = nullptr;
    QLineEdit* size = nullptr;
    QPushButton* colour = nullptr;
  };
  void onChooseFont(int slot);
  void onChooseColour(int slot);
  // Shows the model's state.
  void refresh();

  FontsModel& model_;
  Settings& settings_;
  FontChooser fontChooser_;
  ColourChooser colourChooser_;
  std::array<Row, kFontSlotCount> rows_{};  // by slot - 1
};

// The command "フォント(&F)": the dialog on the six page fonts; on OK they
// are stored and their files written.
bool runFontsEditor(QWidget* parent, Settings& settings);

} // namespace tov
