// A test file (.tvd) read as the program reads it, then every page drawn;
// a test that can be saved must read back as the same test.
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "render/Page.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input;
  static fuzz::InputFile saved;
  static const DisplaySettings settings = firstStartDisplaySettings();
  static const fuzz::Fonts fonts = fuzz::defaultFonts();
  fuzz::silenceMessages();

  TestRecord record;
  if (loadTestFile(input.write(data, size), record) != LoadStatus::Ok) return 0;

  // Saving and reopening keeps the test.
  if (findUnsavableText(record).empty()) {
    const auto bytes = utf8ToCp932(buildTestFileText(record));
    if (!bytes) {
      std::fprintf(stderr, "a test that was read cannot be written in CP932\n");
      std::abort();
    }
    TestRecord reopened;
    const auto& path = saved.write(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    if (loadTestFile(path, reopened) != LoadStatus::Ok || !(reopened == record)) {
      std::fprintf(stderr, "a saved test reads back differently\n");
      std::abort();
    }
  }

  // As the program shows it: defaults for unset scales, the view's repair.
  record.fillScaleDefaults(settings.headingDefaults());
  repairScalesForDrawing(record);
  fuzz::drawEveryPage(record, settings, fonts);
  return 0;
}
