// The .xle reader alone (expat, streaming): the input after its first byte
// is an XML file, fed to the reader in pieces whose size the first byte
// sets, as a slow or short read gives them. Every sample line after the
// names has as many fields as the names (a channel never shifts the
// columns), and a refused file says why.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "import/XleReader.h"

using namespace tov;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::silenceMessages();
  if (size < 1) return 0;
  const std::size_t piece = 1 + static_cast<std::size_t>(data[0]) * 37;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t at = 0;
  const auto source = [&](char* buffer, std::size_t want) {
    const std::size_t n = std::min({want, piece, text.size() - at});
    std::memcpy(buffer, text.data() + at, n);
    at += n;
    return n;
  };
  std::size_t names = 0;  // the fields of the names line, once given
  std::size_t lines = 0;
  const auto line = [&](std::string_view given) {
    ++lines;
    const std::size_t fields = static_cast<std::size_t>(std::count(given.begin(), given.end(), ',')) + 1;
    if (names == 0 && given.starts_with("Date,Time,ms")) names = fields;
    else if (names != 0 && fields != names) fuzz::fail("a sample line with another number of fields than the names");
    return true;
  };
  std::string error;
  logger::XleInfo info;
  const bool ok = logger::readXleLines(source, line, &error, &info);
  if (!ok && error.empty()) fuzz::fail("a refused file without a reason");
  if (lines > text.size() + 8) fuzz::fail("more lines than the input could hold");
  return 0;
}
