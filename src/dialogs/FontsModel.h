#pragma once
// The dialog "フォント" without its widgets: the six page fonts as working
// copies, one row each (face, size, colour and what the font is used for),
// the choices made in the font and colour choosers, and OK, which writes
// the six font files.
#include <array>
#include <string>

#include "files/Settings.h"
#include "render/Surface.h"

namespace tov {

// What the font chooser gave back.
struct ChosenFont {
  std::string faceName;
  double pointSize = 0.0;
  bool underline = false;
};

class FontsModel {
public:
  static constexpr double kMinPointSize = 1.1;    // smaller sizes would not load back
  static constexpr double kMaxPointSize = 200.0;  // nor larger ones

  // The slots in the order of the dialog's rows.
  static const std::array<int, kFontSlotCount>& rowSlots();
  // The slot's button text and what it is used for.
  static const char* slotName(int slot);
  static const char* slotNote(int slot);
  // The size field: the size rounded to whole points, then the exact size.
  static std::string sizeText(double pointSize);

  void openFonts(const Settings& settings);
  const FontSetting& font(int slot) const { return working_.at(index(slot)); }

  // OK in the font chooser, which started out showing `shown` for the
  // slot's font. What it merely showed back is no choice: a face that is
  // not installed (shown under the name of the face standing in for it)
  // keeps its own name, and a size the chooser could only show rounded
  // keeps its fraction. A face the font files cannot hold is refused with
  // a message. False when nothing changed.
  bool chooseFont(int slot, const ChosenFont& chosen, const ChosenFont& shown);
  // OK in the colour chooser.
  bool chooseColour(int slot, Colour colour);

  bool isModified() const { return working_ != original_; }
  // OK: the working fonts into the settings and their six files. False
  // (after a message naming the file) when a file could not be written.
  bool storeFonts(Settings& settings) const;
  // Cancel: asks before discarding changes; true when the dialog may close.
  bool confirmCancel() const;

private:
  static std::size_t index(int slot) { return static_cast<std::size_t>(slot - 1); }

  std::array<FontSetting, kFontSlotCount> working_{};
  std::array<FontSetting, kFontSlotCount> original_{};
};

} // namespace tov
