// A font file (Font1.ndx .. Font6.ndx) read for every slot, then the pages of
// a sample test drawn with it in every slot.
#include "FuzzSupport.h"
#include "files/TextFile.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input;
  static const TestRecord sample = fuzz::sampleTest("unsteady.tvd");
  static const DisplaySettings settings = firstStartDisplaySettings();
  fuzz::silenceMessages();

  const auto text = readTextLines(input.write(data, size));
  if (!text) return 0;
  fuzz::Fonts fonts{};
  for (int slot = 1; slot <= kFontSlotCount; ++slot)
    fonts[static_cast<std::size_t>(slot - 1)] = fontFromLines(text->lines, slot);
  fuzz::drawEveryPage(sample, settings, fonts);
  return 0;
}
