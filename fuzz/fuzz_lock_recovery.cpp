// The lock file beside a test and the recovery file of the data folder:
// whatever they hold, parsing ends; a lock read back is written the same;
// a recovered test written again as a recovery file reads back the same,
// with the same base, and cut anywhere is not read; whatever its base line
// holds, a recovery is read (a damaged base loses the check, never the
// edits); a base of any size, time (before 1970 too) and hash is written
// and read back the same.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "files/LockFile.h"
#include "files/Recovery.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"

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
    const std::string written = recoveryText(recovered->record, recovered->testPath, recovered->savedAt,
                                             recovered->pid, recovered->host, recovered->base);
    const auto again = parseRecoveryText(written);
    if (!again || again->record != recovered->record) fail("a recovered test reads back differently");
    if (again->base != recovered->base) fail("a recovery's base reads back differently");
    if (again->testPath != recovered->testPath) fail("a recovery's path reads back differently");
    if (parseRecoveryText(written.substr(0, text.size() % written.size()))) fail("a recovery cut short is read");
  };
  // A whole recovery of the header lines and body given.
  const auto whole = [](const std::string& header, const std::string& body) {
    return "TovRecovery 2\n" + header + "body=" + std::to_string(body.size()) + " " +
           cformat("%016llx", static_cast<unsigned long long>(contentHash(body))) + "\n\n" + body;
  };
  check(bytes);
  check(whole("path=/a.tvd\ntime=1\npid=1\nhost=h\nbase=none\n", "$$_TOVKARBO3045\r\n" + std::string(bytes)));

  // The input's first line as the base line.
  const std::string_view line = bytes.substr(0, std::min(bytes.find('\n'), bytes.size()));
  const std::string withBaseText =
      whole("path=/a.tvd\ntime=1\npid=1\nhost=h\nbase=" + std::string(line) + "\n", "$$_TOVKARBO3045\r\n");
  const auto withBase = parseRecoveryText(withBaseText);
  if (!withBase) fail("a recovery is not read for its base line");
  if (withBase->base.has_value() == withBase->baseUnknown && line != "none") fail("a base line is both read and unknown");
  check(withBaseText);

  // The input's first 24 bytes as a base: size, time, hash.
  if (size >= 24) {
    FileIdentity base;
    std::memcpy(&base.size, data, 8);
    std::memcpy(&base.modifiedNs, data + 8, 8);
    std::memcpy(&base.hash, data + 16, 8);
    // Sizes and times as the system gives them (an int64_t's range).
    base.size &= 0x7fffffffffffffffULL;
    if (base.modifiedNs == std::numeric_limits<std::int64_t>::min()) base.modifiedNs = 0;
    const auto read = parseRecoveryText(recoveryText(TestRecord(), "/a.tvd", 1, 1, "h", base));
    if (!read || read->base != base || read->baseUnknown) fail("a base is read back differently");
  }
  return 0;
}
