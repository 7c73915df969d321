// The settings file (Sys.ndx) read onto the settings of a first load, then
// every page of both sample tests drawn with them.
#include "FuzzSupport.h"
#include "files/TextFile.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input;
  static const TestRecord unsteady = fuzz::sampleTest("long.tvd");
  static const TestRecord steady = fuzz::sampleTest("steady.tvd");
  static const fuzz::Fonts fonts = fuzz::defaultFonts();
  fuzz::silenceMessages();

  const auto text = readTextLines(input.write(data, size));
  if (!text) return 0;
  DisplaySettings settings;  // what a first load reads the file onto
  applySettingsFileLines(text->lines, settings);
  fuzz::drawEveryPage(unsteady, settings, fonts);
  fuzz::drawEveryPage(steady, settings, fonts);
  return 0;
}
