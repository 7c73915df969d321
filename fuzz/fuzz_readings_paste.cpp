// The readings editors' paste: a block of text from the clipboard pasted
// into the grid of either method at a place the input chooses, the preview
// drawn with the pasted row current, the rows stored on OK and the pages of
// the test drawn. A paste that is refused changes nothing.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "FuzzSupport.h"
#include "dialogs/ReadingsModel.h"

using namespace tov;

namespace {

ReadingsModel openedOn(const TestRecord& test, ReadingsMethod method) {
  ReadingsModel model(method);
  model.openReadings(test.readings, test.pipeTopHeight(), test.equilibriumLevel(),
                     PreviewAxes{test.previewTimeFrom(), test.previewTimeTo(), test.previewLevelBottom(),
                                 test.previewLevelTop()});
  return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TestRecord unsteady = fuzz::sampleTest("unsteady.tvd");
  static const TestRecord steady = fuzz::sampleTest("steady.tvd");
  static const DisplaySettings settings = firstStartDisplaySettings();
  static const fuzz::Fonts fonts = fuzz::defaultFonts();
  fuzz::silenceMessages();
  if (size < 2) return 0;

  // The first two bytes choose the method and the cell the block goes to
  // (one row and one column past the grid included); the rest is the text.
  const bool isSteady = (data[0] & 1) != 0;
  const TestRecord& test = isSteady ? steady : unsteady;
  const int row = 1 + (data[0] >> 1) % (ReadingsModel::kRows + 1);
  const int column = 1 + data[1] % (ReadingsModel::kMaxColumns + 1);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  ReadingsModel model = openedOn(test, isSteady ? ReadingsMethod::Steady : ReadingsMethod::Unsteady);
  if (!model.pasteBlock(row, column, text)) {
    const ReadingsModel untouched = openedOn(test, model.method());
    for (int r = 1; r <= ReadingsModel::kRows; ++r)
      for (int c = 1; c <= model.columnCount(); ++c)
        if (model.cell(r, c) != untouched.cell(r, c)) {
          std::fprintf(stderr, "a refused paste changed row %d column %d\n", r, c);
          std::abort();
        }
    return 0;
  }

  model.selectRow(row);
  RecordingSurface preview(96, 96);
  model.drawPreview(preview, 400, 300);
  fuzz::checkDrawnWork(preview, "preview");

  if (!model.checkBeforeStore()) return 0;
  TestRecord stored = test;
  model.storeReadings(stored.readings);
  fuzz::drawEveryPage(stored, settings, fonts);
  return 0;
}
