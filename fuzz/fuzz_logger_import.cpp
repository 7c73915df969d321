// A logger's export: the guesses of the import (encoding, separator, header,
// columns), the whole record read, the start found, the readings scheduled
// and written into a test. The first byte chooses the method and the
// reference; a refused file changes nothing.
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "import/LoggerImport.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input;
  fuzz::silenceMessages();
  if (size < 1) return 0;
  const bool steady = (data[0] & 1) != 0;
  const auto& path = input.write(data + 1, size - 1);

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
  const auto rows = session.scheduled();
  if (rows.size() > static_cast<std::size_t>(kRowCount)) {
    std::fprintf(stderr, "%zu readings scheduled\n", rows.size());
    std::abort();
  }
  TestRecord record;
  record.set_formulaKind(steady ? "4" : "1");
  const TestRecord before = record;
  if (!session.apply(record, &error) && record != before) {
    std::fprintf(stderr, "a refused import changed the test\n");
    std::abort();
  }
  return 0;
}
