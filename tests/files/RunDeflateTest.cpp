#include "files/RunDeflate.h"

#include <random>

#include <zlib.h>

#include <gtest/gtest.h>

namespace tov {
namespace {

using Rows = std::vector<std::string>;

// What zlib reads back from the stream (its Adler-32 checked), or "(unreadable)".
std::string inflated(const std::string& stream, std::size_t expected) {
  std::string out(expected + 1, '\0');
  uLongf size = static_cast<uLongf>(out.size());
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(stream.data()),
                 static_cast<uLong>(stream.size())) != Z_OK)
    return "(unreadable)";
  out.resize(size);
  return out;
}

// Rows given as they are, and zero rows ("" + size as "\0N"): what zlib reads
// back is every byte, in order.
TEST(RunDeflate, ZlibReadsBackEveryByte) {
  std::mt19937 random(7);
  auto noise = [&random](std::size_t size, int spread) {
    std::string s(size, '\0');
    // Geometric spread: a few bytes common, many rare, so that the plain
    // Huffman code would be deeper than deflate allows.
    std::geometric_distribution<int> pick(1.0 / spread);
    for (auto& c : s) c = static_cast<char>(std::min(pick(random), 255));
    return s;
  };
  // Byte k (1..18) 1, 2, 3, 5, 8... times, each next to 0x7f, in one block:
  // the plain Huffman code of these counts is 19 bits deep, deeper than
  // deflate allows.
  std::string fibonacci;
  for (int k = 1, count = 1, before = 1; k <= 18; ++k, count += before, before = count - before)
    for (int i = 0; i < count; ++i) fibonacci += {static_cast<char>(k), '\x7f'};
  const struct {
    const char* what;
    Rows rows;
    std::vector<std::size_t> zeroRows;  // sizes of zero rows added after the rows
  } cases[] = {
      {"one byte", {"x"}, {}},
      {"nothing but a zero row of one byte", {}, {1}},
      {"repeat lengths about the longest code", {std::string(259, '\0'), std::string(260, 'a'), std::string(261, '\0'),
                                                 std::string(258, 'b'), std::string(227, '\0') + "c"},
       {}},
      {"runs of every short length", {"a" + std::string(1, 'b') + "cc" + "ddd" + "eeee" + std::string(10, '\0') + "f"}, {}},
      {"page-like rows and zero rows", {std::string(14881, '\0'), "\x01" + std::string(500, '\0') + "\xff\x01\x01"},
       {14881, 2, 3}},
      {"counts that need a shallower code", {fibonacci}, {}},
      {"noise over many blocks", {noise(300000, 40), noise(70000, 2)}, {100000}},
      {"many rows, block ends inside rows", Rows(3000, std::string(1, '\1') + std::string(4000, '\0') + "zz"), {}},
  };
  for (const auto& c : cases) {
    RunDeflate stream;
    std::string all;
    for (const auto& row : c.rows) {
      stream.addRow(reinterpret_cast<const unsigned char*>(row.data()), row.size());
      all += row;
    }
    for (const std::size_t size : c.zeroRows) {
      stream.addZeroRow(2, size);
      all += '\2' + std::string(size - 1, '\0');
    }
    const std::string deflated = stream.finish();
    const std::string back = inflated(deflated, all.size());
    EXPECT_TRUE(back == all) << c.what << ": " << back.substr(0, 20);  // the rows are too long to print
  }
}

} // namespace
} // namespace tov
