// A logger's export, text or XML (an .xle through expat, with every
// encoding it may declare): the guesses of the import (encoding, separator,
// header, columns, metadata, sections and footers), the whole record read, the
// start found, the readings scheduled and written into a test, the headings
// filled and the checks of what the data contradict. The first byte chooses
// the method and the reference; with its bit 8 the input after the first
// "\f\f" is a barometric file paired with the rest. A refused file changes
// nothing.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "FuzzSupport.h"
#include "import/LoggerImport.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input, barometer;
  fuzz::silenceMessages();
  if (size < 1) return 0;
  const bool steady = (data[0] & 1) != 0;
  std::size_t levelSize = size - 1;
  std::size_t baroAt = 0;
  if (data[0] & 8) {
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (const std::size_t mark = text.find("\f\f"); mark != std::string_view::npos) levelSize = mark, baroAt = mark + 2;
  }
  const auto& path = input.write(data + 1, levelSize);

  logger::ImportSession session(steady);
  std::string error;
  if (!session.open(path, &error)) return 0;
  (void)session.rawLines(200);
  (void)session.columnNames();
  (void)session.previewRows(100);
  if (data[0] & 2) session.settings().reference = {logger::ReferenceKind::SensorDepth, 10.0, -1};
  if (data[0] & 4) session.settings().schedule = {logger::ScheduleKind::Interval, 1.0 + data[0] % 7};
  if (!session.readAll(&error)) {
    if (session.series()) std::abort();  // a refused read keeps no record
    return 0;
  }
  if (baroAt > 0) {
    const auto& baroPath = barometer.write(data + 1 + baroAt, size - 1 - baroAt);
    const std::vector<double> level = session.series()->level;
    if (!session.setBarometer(baroPath, &error) && session.series()->level != level) {
      std::fprintf(stderr, "a refused barometric file changed the level\n");
      std::abort();
    }
    (void)session.pressureDriftKPaPerHour();
  }
  (void)session.report();
  const auto rows = session.scheduled();
  if (rows.size() > static_cast<std::size_t>(kRowCount)) {
    std::fprintf(stderr, "%zu readings scheduled\n", rows.size());
    std::abort();
  }
  TestRecord record;
  record.set_formulaKind(steady ? "4" : "1");
  const TestRecord before = record;
  if (!session.apply(record, &error)) {
    if (record != before) {
      std::fprintf(stderr, "a refused import changed the test\n");
      std::abort();
    }
    return 0;
  }
  (void)session.fillHeadings(record, (data[0] & 16) != 0);
  (void)session.warnings(record);
  return 0;
}
