// The PNG pages' deflate writer: whatever rows it is given, zlib reads back
// every byte, in order, and the Adler-32 agrees.
//
// The input is cut at each 0xff into rows. A row that starts with 0xfe is a
// zero row of the size its next two bytes give; one that starts with 0xfd
// repeats the row before as often as its next byte says (so that streams
// run over several blocks).
#include <cstdint>
#include <string>
#include <string_view>

#include <zlib.h>

#include "FuzzSupport.h"
#include "files/RunDeflate.h"

using tov::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tov::RunDeflate stream;
  std::string all, previous;
  for (std::size_t at = 0; at <= bytes.size();) {
    std::size_t end = bytes.find('\xff', at);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view row = bytes.substr(at, end - at);
    at = end + 1;
    if (row.size() >= 3 && row[0] == '\xfe') {
      const std::size_t zeros = (static_cast<std::uint8_t>(row[1]) << 8 | static_cast<std::uint8_t>(row[2])) + 1;
      stream.addZeroRow(2, zeros);
      previous = '\2' + std::string(zeros - 1, '\0');
      all += previous;
    } else if (row.size() >= 2 && row[0] == '\xfd') {
      for (int i = 0; i < static_cast<std::uint8_t>(row[1]) % 64; ++i) {
        stream.addRow(reinterpret_cast<const unsigned char*>(previous.data()), previous.size());
        all += previous;
      }
    } else {
      previous.assign(row);
      stream.addRow(reinterpret_cast<const unsigned char*>(previous.data()), previous.size());
      all += previous;
    }
  }
  const std::string deflated = stream.finish();
  std::string back(all.size() + 1, '\0');
  uLongf length = static_cast<uLongf>(back.size());
  if (uncompress(reinterpret_cast<Bytef*>(back.data()), &length, reinterpret_cast<const Bytef*>(deflated.data()),
                 static_cast<uLong>(deflated.size())) != Z_OK)
    fail("zlib cannot read the stream");
  back.resize(length);
  if (back != all) fail("zlib reads back other bytes");
  return 0;
}
