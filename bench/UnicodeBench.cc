// UTF-8 / UTF-16 conversion and the wide-string wrappers against ICU on
// 4 MB of ASCII, Latin, CJK and emoji words. Each row pair is named
// "<path>/<mix>/ours" and "<path>/<mix>/ref"; ICU is the reference:
//   utf8ToUtf16   ConvertUTF8toUTF16        vs u_strFromUTF8, into a buffer
//   utf16ToUtf8   ConvertUTF16toUTF8        vs u_strToUTF8, into a buffer
//   utf8ToUnicode utf8ToUnicode (a fresh wide string) vs u_strFromUTF8
//                 into a fresh UTF-16 string
//   unicodeToUtf8 unicodeToUtf8 (a fresh string) vs u_strToUTF8 into a
//                 fresh string
#include <cstdlib>
#include <string>
#include <vector>

#include <unicode/ustring.h>

#include <benchmark/benchmark.h>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "BenchText.h"

namespace {

using bench_text::Mix;

constexpr size_t kTextBytes = 4 << 20;

struct Texts {
  std::string utf8;
  std::vector<unsigned short> utf16;
  std::u16string icu16;
  std::wstring wide;
};

Texts makeTexts(Mix mix) {
  Texts t;
  t.utf8 = bench_text::words(mix, kTextBytes);
  t.utf16.resize(t.utf8.size());
  const unsigned char* s = reinterpret_cast<const unsigned char*>(t.utf8.data());
  unsigned short* d = t.utf16.data();
  if (ConvertUTF8toUTF16(&s, s + t.utf8.size(), &d, d + t.utf16.size(), strictConversion) != conversionOK) {
    std::abort();
  }
  t.utf16.resize(static_cast<size_t>(d - t.utf16.data()));
  t.icu16.assign(t.utf16.begin(), t.utf16.end());
  t.wide.assign(t.utf16.begin(), t.utf16.end());
  return t;
}

void setBytes(benchmark::State& state, const Texts& t) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(t.utf8.size()));
}

void utf8ToUtf16Ours(benchmark::State& state, const Texts& t) {
  std::vector<unsigned short> out(t.utf8.size());
  for (auto _ : state) {
    const unsigned char* src = reinterpret_cast<const unsigned char*>(t.utf8.data());
    unsigned short* dst = out.data();
    if (ConvertUTF8toUTF16(&src, src + t.utf8.size(), &dst, out.data() + out.size(), strictConversion) !=
        conversionOK) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(dst);
    benchmark::ClobberMemory();
  }
  setBytes(state, t);
}

void utf8ToUtf16Icu(benchmark::State& state, const Texts& t) {
  std::vector<UChar> out(t.utf8.size());
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, t.utf8.data(),
                  static_cast<int32_t>(t.utf8.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU conversion failed");
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  setBytes(state, t);
}

void utf16ToUtf8Ours(benchmark::State& state, const Texts& t) {
  std::vector<unsigned char> out(t.utf8.size());
  for (auto _ : state) {
    const unsigned short* src = t.utf16.data();
    unsigned char* dst = out.data();
    if (ConvertUTF16toUTF8(&src, src + t.utf16.size(), &dst, out.data() + out.size(), strictConversion) !=
        conversionOK) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(dst);
    benchmark::ClobberMemory();
  }
  setBytes(state, t);
}

void utf16ToUtf8Icu(benchmark::State& state, const Texts& t) {
  std::vector<char> out(t.utf8.size());
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, t.icu16.data(),
                static_cast<int32_t>(t.icu16.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU conversion failed");
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  setBytes(state, t);
}

void utf8ToUnicodeOurs(benchmark::State& state, const Texts& t) {
  for (auto _ : state) {
    std::wstring out;
    if (utf8ToUnicode(t.utf8, out) != 0) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(out.data());
  }
  setBytes(state, t);
}

void utf8ToUnicodeIcu(benchmark::State& state, const Texts& t) {
  for (auto _ : state) {
    std::u16string out(t.utf8.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, t.utf8.data(),
                  static_cast<int32_t>(t.utf8.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU conversion failed");
    out.resize(static_cast<size_t>(length));
    benchmark::DoNotOptimize(out.data());
  }
  setBytes(state, t);
}

void unicodeToUtf8Ours(benchmark::State& state, const Texts& t) {
  for (auto _ : state) {
    std::string out;
    if (unicodeToUtf8(t.wide, out) != 0) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(out.data());
  }
  setBytes(state, t);
}

void unicodeToUtf8Icu(benchmark::State& state, const Texts& t) {
  for (auto _ : state) {
    std::string out(3 * t.icu16.size(), '\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, t.icu16.data(),
                static_cast<int32_t>(t.icu16.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU conversion failed");
    out.resize(static_cast<size_t>(length));
    benchmark::DoNotOptimize(out.data());
  }
  setBytes(state, t);
}

using Runner = void (*)(benchmark::State&, const Texts&);

}  // namespace

int main(int argc, char** argv) {
  static std::vector<Texts> texts;
  const Mix mixes[] = {Mix::kAscii, Mix::kLatin, Mix::kCjk, Mix::kEmoji};
  texts.reserve(4);
  for (Mix mix : mixes) texts.push_back(makeTexts(mix));

  const struct {
    const char* path;
    Runner ours;
    Runner ref;
  } paths[] = {
      {"utf8ToUtf16", utf8ToUtf16Ours, utf8ToUtf16Icu},
      {"utf16ToUtf8", utf16ToUtf8Ours, utf16ToUtf8Icu},
      {"utf8ToUnicode", utf8ToUnicodeOurs, utf8ToUnicodeIcu},
      {"unicodeToUtf8", unicodeToUtf8Ours, unicodeToUtf8Icu},
  };
  for (const auto& p : paths) {
    for (size_t i = 0; i < 4; ++i) {
      const Texts* t = &texts[i];
      const std::string base = std::string(p.path) + "/" + bench_text::mixName(mixes[i]);
      const Runner ours = p.ours;
      const Runner ref = p.ref;
      benchmark::RegisterBenchmark((base + "/ours").c_str(), [=](benchmark::State& s) {
        ours(s, *t);
      })->Unit(benchmark::kMicrosecond);
      benchmark::RegisterBenchmark((base + "/ref").c_str(), [=](benchmark::State& s) {
        ref(s, *t);
      })->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
