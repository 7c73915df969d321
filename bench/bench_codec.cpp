// The CP932 conversion at the file boundary: a test whose field holds 10 MB
// of double-byte characters is decoded when read and encoded when saved.
#include <benchmark/benchmark.h>

#include <string>

#include "files/TextCodec.h"

namespace {

// 10 MB of CP932 double-byte characters (kanji and kana in turn) and its UTF-8.
const std::string& cp932Field() {
  static const std::string field = [] {
    std::string bytes;
    const char pairs[][2] = {{'\x8e', '\x8e'}, {'\x8c', '\xb1'}, {'\x82', '\xa0'}, {'\x83', '\x41'}};
    for (std::size_t i = 0; bytes.size() < (10u << 20); ++i) bytes.append(pairs[i % 4], 2);
    return bytes;
  }();
  return field;
}

const std::string& utf8Field() {
  static const std::string text = tov::cp932ToUtf8(cp932Field());
  return text;
}

void BM_Cp932Decode10MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tov::cp932ToUtf8(cp932Field()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(cp932Field().size()));
}
BENCHMARK(BM_Cp932Decode10MB)->Unit(benchmark::kMillisecond);

void BM_Cp932Encode10MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tov::utf8ToCp932(utf8Field()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(cp932Field().size()));
}
BENCHMARK(BM_Cp932Encode10MB)->Unit(benchmark::kMillisecond);

} // namespace
