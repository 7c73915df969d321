// The CP932 decoder and encoder: decoded text can always be encoded again
// and reads back the same; encoded text keeps its bytes when read and saved
// again; byte counts and prefixes agree with the encoding.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "files/TextCodec.h"

using namespace tov;
using tov::fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The bytes as a file's CP932.
  bool invalid = false;
  const std::string text = cp932ToUtf8(bytes, &invalid);
  const auto again = utf8ToCp932(text);
  if (!again) fail("decoded text cannot be encoded again");
  if (cp932ToUtf8(*again) != text) fail("decoded text reads back differently");
  if (!invalid && cp932Length(text) != static_cast<int>(again->size())) fail("byte count differs from the encoding");

  // The bytes as the program's UTF-8.
  if (const auto encoded = utf8ToCp932(bytes)) {
    // A few characters share their CP932 code with a look-alike that reads
    // back instead (U+00A5 and the backslash, U+301C and U+FF5E, ...), as
    // in every CP932 file; the bytes of a text saved again stay the same.
    const auto twice = utf8ToCp932(cp932ToUtf8(*encoded));
    if (!twice || *twice != *encoded) fail("encoded text changes when saved again");
    if (cp932Length(bytes) != static_cast<int>(encoded->size())) fail("byte count differs from the encoding");
    const int limit = size > 0 ? data[0] % 16 : 0;
    const std::string prefix = cp932Prefix(bytes, limit);
    if (!bytes.starts_with(prefix) || cp932Length(prefix) > limit) fail("prefix is not a prefix within the limit");
  }
  return 0;
}
