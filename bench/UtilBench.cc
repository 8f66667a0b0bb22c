// Benchmarks of the shared text utilities: UTF-8 / UTF-16 conversion, the
// wide-string wrappers and splitting at a delimiter.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/StringParser.h"
#include "AppMgr/UnicodeConversion.h"

namespace {

// A mix of one- to four-byte characters, repeated to the asked length.
std::string mixedUtf8(size_t bytes) {
  const std::string piece = "path/to/file \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 ";
  std::string s;
  while (s.size() + piece.size() <= bytes) s += piece;
  return s;
}

void BM_ConvertUTF8toUTF16(benchmark::State& state) {
  const std::string in = mixedUtf8(static_cast<size_t>(state.range(0)));
  std::vector<unsigned short> out(in.size());
  for (auto _ : state) {
    const unsigned char* src = reinterpret_cast<const unsigned char*>(in.data());
    unsigned short* dst = out.data();
    benchmark::DoNotOptimize(
        ConvertUTF8toUTF16(&src, src + in.size(), &dst, out.data() + out.size(), strictConversion));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_ConvertUTF8toUTF16)->Arg(64)->Arg(4096);

void BM_ConvertUTF16toUTF8(benchmark::State& state) {
  const std::string utf8 = mixedUtf8(static_cast<size_t>(state.range(0)));
  std::vector<unsigned short> in(utf8.size());
  const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8.data());
  unsigned short* d = in.data();
  ConvertUTF8toUTF16(&s, s + utf8.size(), &d, in.data() + in.size(), strictConversion);
  in.resize(static_cast<size_t>(d - in.data()));
  std::vector<unsigned char> out(4 * in.size());
  for (auto _ : state) {
    const unsigned short* src = in.data();
    unsigned char* dst = out.data();
    benchmark::DoNotOptimize(
        ConvertUTF16toUTF8(&src, src + in.size(), &dst, out.data() + out.size(), strictConversion));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(utf8.size()));
}
BENCHMARK(BM_ConvertUTF16toUTF8)->Arg(64)->Arg(4096);

void BM_utf8ToUnicode(benchmark::State& state) {
  const std::string in = mixedUtf8(static_cast<size_t>(state.range(0)));
  std::wstring out;
  for (auto _ : state) benchmark::DoNotOptimize(utf8ToUnicode(in, out));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_utf8ToUnicode)->Arg(64)->Arg(4096);

void BM_unicodeToUtf8(benchmark::State& state) {
  std::wstring in;
  utf8ToUnicode(mixedUtf8(static_cast<size_t>(state.range(0))), in);
  std::string out;
  for (auto _ : state) benchmark::DoNotOptimize(unicodeToUtf8(in, out));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}
BENCHMARK(BM_unicodeToUtf8)->Arg(64)->Arg(4096);

void BM_getComponents(benchmark::State& state) {
  std::string text;
  for (int64_t i = 0; i < state.range(0); ++i) text += (i == 0 ? "" : ",") + std::to_string(i * 37);
  for (auto _ : state) {
    StringParser parser(text, ',');
    benchmark::DoNotOptimize(parser.getComponents(0).size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_getComponents)->Arg(4)->Arg(64)->Arg(1024);

}  // namespace
