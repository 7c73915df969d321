#pragma once
// A zlib stream made fast for page images. A page at print resolution is
// a hundred megabytes that are, once each row is predicted from the pixel
// to its left, nearly all zero bytes, with a few hundred thousand others.
// General-purpose deflate looks at every byte for matches; this writer finds
// the runs a machine word at a time and stores each as repeats of the byte
// before it (distance 1, as run-length deflate does), with Huffman codes
// built for every block. Any inflater reads the result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

class RunDeflate {
public:
  RunDeflate();

  // One row of bytes as given (a PNG row: its filter byte first).
  void addRow(const unsigned char* row, std::size_t size);
  // A row of `size` bytes: `first`, then zeros.
  void addZeroRow(unsigned char first, std::size_t size);
  // The whole stream: zlib header, the blocks, the Adler-32 of every byte.
  std::string finish();

private:
  void literal(unsigned char byte);
  void repeats(unsigned char byte, std::size_t count);  // after a literal of the same byte
  void endBlock(bool last);
  void putBits(std::uint32_t bits, int count);

  std::vector<std::uint16_t> tokens_;  // a byte (< 256), or 256 + a repeat length
  std::uint32_t literalCount_[286];
  std::uint32_t adlerA_ = 1, adlerB_ = 0;
  std::string out_;
  std::uint64_t bitBuffer_ = 0;
  int bitCount_ = 0;
};

} // namespace tov
