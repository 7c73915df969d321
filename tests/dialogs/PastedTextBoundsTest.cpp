// Text typed into a cell of the readings editors that fails its check is
// kept as it is (a paste of it is refused), but drawn cut: the preview's
// labels of the current row and, once stored, the pages.
// Each row is named for the input that drew a longer text than a page may.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "dialogs/ReadingsModel.h"
#include "files/TextCodec.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/Primitives.h"
#include "render/RecordingSurface.h"

namespace tov {
namespace {

int longestText(const RecordingSurface& s) {
  int longest = 0;
  for (const auto& t : s.texts()) longest = std::max(longest, cp932Length(t.text));
  for (const auto& t : s.drawTexts()) longest = std::max(longest, cp932Length(t.text));
  return longest;
}

TEST(PastedTextBounds, LongPastedCellsAreKeptButDrawnCut) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  const std::string longCell = "1" + std::string(300, 'A');  // the paste target's finding, minimised
  const std::string tenMegabytes(10 << 20, '9');
  const struct {
    const char* name;
    ReadingsMethod method;
    std::string block;
    int column;  // where the long text goes, kept whole
    const std::string& kept;
  } rows[] = {
      {"LongLevel", ReadingsMethod::Unsteady, "30\t" + longCell + "\t10:30\n", 2, longCell},
      {"LongTime", ReadingsMethod::Unsteady, longCell + "\t1.0\n", 1, longCell},
      {"TenMegabyteClockTime", ReadingsMethod::Steady, "30,1.0,2.5,E-5," + tenMegabytes + "\n", 5, tenMegabytes},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    ReadingsModel model(r.method);
    model.openReadings(ReadingTable{}, "0.5", "-2.5", PreviewAxes{"0", "100", "-5", "5"});
    EXPECT_FALSE(model.pasteBlock(1, 1, r.block));
    // The same cells typed in place, one by one.
    std::string_view line(r.block);
    line.remove_suffix(1);  // the line end
    const char separator = line.find('\t') != std::string_view::npos ? '\t' : ',';
    for (int column = 1; !line.empty(); ++column) {
      const std::size_t end = std::min(line.find(separator), line.size());
      model.openCellEditor(1, column);
      model.commitCell(1, column, std::string(line.substr(0, end)));
      line.remove_prefix(std::min(end + 1, line.size()));
    }
    EXPECT_EQ(model.cell(1, r.column), r.kept);
    model.selectRow(1);
    RecordingSurface preview;
    model.drawPreview(preview, 400, 300);
    EXPECT_LE(longestText(preview), kMaxDrawnTextBytes);

    TestRecord record;
    model.storeReadings(record.readings);
    const DisplaySettings settings = firstStartDisplaySettings();
    record.fillScaleDefaults(settings.headingDefaults());
    std::array<FontSetting, kFontSlotCount> fonts{};
    for (int slot = 1; slot <= kFontSlotCount; ++slot) fonts[static_cast<std::size_t>(slot - 1)] = defaultFontSetting(slot);
    for (int page = 1; page <= pageCount(record); ++page) {
      RecordingSurface s;
      renderPage(s, PageInputs{record, settings, fonts, 210}, page);
      EXPECT_LE(longestText(s), kMaxDrawnTextBytes) << "page " << page;
    }
  }
}

} // namespace
} // namespace tov
