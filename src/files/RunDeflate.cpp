#include "files/RunDeflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

namespace tov {

namespace {

constexpr std::size_t kBlockTokens = 1u << 15;  // codes are rebuilt for every block this long
constexpr std::uint32_t kAdlerBase = 65521;
constexpr int kLiteralCodes = 286, kCodeLengthCodes = 19;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// The order in which a block's header gives the code-length code's lengths.
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

// The index of the length code (257 + index) for a repeat of 3 to 258 bytes.
struct LengthIndex {
  std::uint8_t of[259] = {};
  constexpr LengthIndex() {
    for (int length = 3; length <= 258; ++length) {
      int i = 28;
      while (kLengthBase[i] > length) --i;
      of[length] = static_cast<std::uint8_t>(i);
    }
  }
};
constexpr LengthIndex kLengthIndex;

// Huffman code lengths for the counts, none longer than `limit`. Where the
// code comes out too deep the counts are flattened and the code built again.
// A lone symbol gets a partner, so that every code is complete.
void codeLengths(const std::uint32_t* counts, int n, int limit, std::uint8_t* lengths) {
  std::vector<std::uint64_t> weight(counts, counts + n);
  int used = 0;
  for (int s = 0; s < n; ++s) used += weight[static_cast<std::size_t>(s)] != 0;
  if (used < 2) {
    for (int s = 0; s < n && used < 2; ++s)
      if (weight[static_cast<std::size_t>(s)] == 0) {
        weight[static_cast<std::size_t>(s)] = 1;
        ++used;
      }
  }
  std::fill(lengths, lengths + n, std::uint8_t{0});
  for (;;) {
    std::vector<int> parent, symbol;
    std::priority_queue<std::pair<std::uint64_t, int>, std::vector<std::pair<std::uint64_t, int>>, std::greater<>>
        queue;
    for (int s = 0; s < n; ++s) {
      if (weight[static_cast<std::size_t>(s)] == 0) continue;
      queue.emplace(weight[static_cast<std::size_t>(s)], static_cast<int>(parent.size()));
      parent.push_back(-1);
      symbol.push_back(s);
    }
    while (queue.size() > 1) {
      const auto a = queue.top();
      queue.pop();
      const auto b = queue.top();
      queue.pop();
      const int node = static_cast<int>(parent.size());
      parent.push_back(-1);
      parent[static_cast<std::size_t>(a.second)] = parent[static_cast<std::size_t>(b.second)] = node;
      queue.emplace(a.first + b.first, node);
    }
    // Parents come after their children: depths from the root down.
    std::vector<int> depth(parent.size(), 0);
    for (std::size_t i = parent.size(); i-- > 0;)
      depth[i] = parent[i] < 0 ? 0 : depth[static_cast<std::size_t>(parent[i])] + 1;
    int deepest = 0;
    for (std::size_t leaf = 0; leaf < symbol.size(); ++leaf) deepest = std::max(deepest, depth[leaf]);
    if (deepest <= limit) {
      for (std::size_t leaf = 0; leaf < symbol.size(); ++leaf)
        lengths[symbol[leaf]] = static_cast<std::uint8_t>(depth[leaf]);
      return;
    }
    for (auto& w : weight)
      if (w) w = (w + 1) / 2;
  }
}

// Canonical codes for the lengths, bit-reversed: deflate sends codes from
// their top bit, the bit writer from the bottom.
void canonicalCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
  int perLength[16] = {};
  for (int s = 0; s < n; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  int next[16] = {};
  for (int bits = 1, code = 0; bits < 16; ++bits) {
    code = (code + perLength[bits - 1]) << 1;
    next[bits] = code;
  }
  for (int s = 0; s < n; ++s) {
    const int length = lengths[s];
    if (!length) continue;
    const int code = next[length]++;
    int reversed = 0;
    for (int b = 0; b < length; ++b) reversed |= ((code >> b) & 1) << (length - 1 - b);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

// Where the zeros from `i` end.
std::size_t zeroRunEnd(const unsigned char* p, std::size_t i, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (word) return i + static_cast<std::size_t>(std::countr_zero(word) >> 3);
    }
  }
  while (i < n && p[i] == 0) ++i;
  return i;
}

} // namespace

RunDeflate::RunDeflate() : out_("\x78\x01", 2) {  // deflate, 32 KB window, fastest
  std::fill(std::begin(literalCount_), std::end(literalCount_), 0u);
  tokens_.reserve(kBlockTokens + 600);
}

void RunDeflate::literal(unsigned char byte) {
  tokens_.push_back(byte);
  ++literalCount_[byte];
  adlerA_ = (adlerA_ + byte) % kAdlerBase;
  adlerB_ = (adlerB_ + adlerA_) % kAdlerBase;
  if (tokens_.size() >= kBlockTokens) endBlock(false);
}

void RunDeflate::repeats(unsigned char byte, std::size_t count) {
  // Adler-32 over `count` more copies of the byte, at once.
  const std::uint64_t n = count % kAdlerBase, a = adlerA_;
  const std::uint64_t triangle = (n * (n + 1) / 2) % kAdlerBase;
  adlerB_ = static_cast<std::uint32_t>((adlerB_ + n * a + triangle * byte) % kAdlerBase);
  adlerA_ = static_cast<std::uint32_t>((a + n * byte) % kAdlerBase);
  for (; count >= 3; count -= std::min<std::size_t>(count, 258)) {
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(count, 258));
    tokens_.push_back(static_cast<std::uint16_t>(256 + length));
    ++literalCount_[257 + kLengthIndex.of[length]];
  }
  for (; count > 0; --count) {
    tokens_.push_back(byte);
    ++literalCount_[byte];
  }
  if (tokens_.size() >= kBlockTokens) endBlock(false);
}

void RunDeflate::addRow(const unsigned char* row, std::size_t size) {
  for (std::size_t i = 0; i < size;) {
    const unsigned char byte = row[i];
    std::size_t end = i + 1;
    if (byte == 0) {
      end = zeroRunEnd(row, end, size);
    } else {
      while (end < size && row[end] == byte) ++end;
    }
    literal(byte);
    if (end - i > 1) repeats(byte, end - i - 1);
    i = end;
  }
}

void RunDeflate::addZeroRow(unsigned char first, std::size_t size) {
  if (size == 0) return;
  literal(first);
  if (size > 1) literal(0);
  if (size > 2) repeats(0, size - 2);
}

void RunDeflate::putBits(std::uint32_t bits, int count) {
  bitBuffer_ |= static_cast<std::uint64_t>(bits) << bitCount_;
  bitCount_ += count;
  if (bitCount_ >= 32) {
    const char bytes[4] = {static_cast<char>(bitBuffer_), static_cast<char>(bitBuffer_ >> 8),
                           static_cast<char>(bitBuffer_ >> 16), static_cast<char>(bitBuffer_ >> 24)};
    out_.append(bytes, 4);
    bitBuffer_ >>= 32;
    bitCount_ -= 32;
  }
}

void RunDeflate::endBlock(bool last) {
  literalCount_[256] = 1;  // the block's end
  std::uint8_t lengths[kLiteralCodes + 2];
  codeLengths(literalCount_, kLiteralCodes, 15, lengths);
  int literals = kLiteralCodes;
  while (literals > 257 && lengths[literals - 1] == 0) --literals;
  // One distance is used (1, the byte before); a second of the same length
  // makes the code complete.
  constexpr int distances = 2;
  lengths[literals] = lengths[literals + 1] = 1;
  const int all = literals + distances;

  // The lengths themselves, with runs of zeros shortened (17: 3-10, 18: 11-138).
  std::vector<std::pair<std::uint8_t, std::uint8_t>> lengthSymbols;  // symbol, extra value
  std::uint32_t lengthCounts[kCodeLengthCodes] = {};
  for (int i = 0; i < all;) {
    int run = 1;
    if (lengths[i] == 0)
      while (i + run < all && lengths[i + run] == 0 && run < 138) ++run;
    if (run >= 11) {
      lengthSymbols.emplace_back(18, run - 11);
    } else if (run >= 3) {
      lengthSymbols.emplace_back(17, run - 3);
    } else {
      run = 1;
      lengthSymbols.emplace_back(lengths[i], 0);
    }
    ++lengthCounts[lengthSymbols.back().first];
    i += run;
  }
  std::uint8_t codeLengthLengths[kCodeLengthCodes];
  codeLengths(lengthCounts, kCodeLengthCodes, 7, codeLengthLengths);
  std::uint16_t codeLengthCodes[kCodeLengthCodes] = {};
  canonicalCodes(codeLengthLengths, kCodeLengthCodes, codeLengthCodes);
  int sent = kCodeLengthCodes;
  while (sent > 4 && codeLengthLengths[kCodeLengthOrder[sent - 1]] == 0) --sent;

  putBits(last ? 1 : 0, 1);
  putBits(2, 2);  // Huffman codes of its own
  putBits(static_cast<std::uint32_t>(literals - 257), 5);
  putBits(distances - 1, 5);
  putBits(static_cast<std::uint32_t>(sent - 4), 4);
  for (int i = 0; i < sent; ++i) putBits(codeLengthLengths[kCodeLengthOrder[i]], 3);
  for (const auto& [symbol, extra] : lengthSymbols) {
    putBits(codeLengthCodes[symbol], codeLengthLengths[symbol]);
    if (symbol == 17) putBits(extra, 3);
    if (symbol == 18) putBits(extra, 7);
  }

  std::uint16_t codes[kLiteralCodes] = {};
  canonicalCodes(lengths, literals, codes);
  // Two distance codes of one bit: 0 is the first (distance 1).
  for (const std::uint16_t token : tokens_) {
    if (token < 256) {
      putBits(codes[token], lengths[token]);
      continue;
    }
    const int length = token - 256;
    const int index = kLengthIndex.of[length];
    putBits(codes[257 + index], lengths[257 + index]);
    if (kLengthExtra[index]) putBits(static_cast<std::uint32_t>(length - kLengthBase[index]), kLengthExtra[index]);
    putBits(0, 1);
  }
  putBits(codes[256], lengths[256]);

  tokens_.clear();
  std::fill(std::begin(literalCount_), std::end(literalCount_), 0u);
}

std::string RunDeflate::finish() {
  endBlock(true);
  while (bitCount_ > 0) {
    out_ += static_cast<char>(bitBuffer_);
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  }
  bitBuffer_ = 0;
  bitCount_ = 0;
  const std::uint32_t adler = (adlerB_ << 16) | adlerA_;
  for (int shift = 24; shift >= 0; shift -= 8) out_ += static_cast<char>(adler >> shift);
  return std::move(out_);
}

} // namespace tov
