// The lock file beside a test and the recovery file of the data folder:
// whatever they hold, parsing ends; a lock read back is written the same;
// a recovered test written again as a recovery file reads back the same.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "files/LockFile.h"
#include "files/Recovery.h"
#include "files/TvdFile.h"

using namespace tov;
using tov::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const auto owner = parseLockText(bytes)) {
    const auto again = parseLockText(lockText(*owner));
    if (!again || !(*again == *owner)) fail("a lock read back differs");
  }

  // As a recovery file's text, and as the test inside a valid header.
  auto check = [](std::string_view text) {
    const auto recovered = parseRecoveryText(text);
    // Only what a save would write is expected to read back the same.
    if (!recovered || !findUnsavableText(recovered->record).empty()) return;
    const std::string written =
        recoveryText(recovered->record, recovered->testPath, recovered->savedAt, recovered->pid, recovered->host);
    const auto again = parseRecoveryText(written);
    if (!again || again->record != recovered->record) fail("a recovered test reads back differently");
  };
  check(bytes);
  check("TovRecovery 1\npath=/a.tvd\ntime=1\npid=1\nhost=h\n\n$$_TOVKARBO3045\r\n" + std::string(bytes));
  return 0;
}
