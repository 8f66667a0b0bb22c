// UTF-8 / UTF-16 conversion: the converters against decoder stress cases
// and target exhaustion, with where each result leaves the pointers; the
// wide-string wrappers; and the fast runs against the plain per-character
// code on inputs long enough for them (every short sequence around a block
// end, long texts with a malformed piece at every target room), comparing
// result, positions and target bytes behind a guard pattern. Random inputs
// are the utf8_to_utf16 and utf16_to_utf8 fuzz targets' job.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Units = std::vector<unsigned short>;
// Result, source units passed, output.
template <typename Out>
using Outcome = std::tuple<ConversionResult, size_t, std::vector<Out>>;
using Out16 = Outcome<unsigned short>;
using Out8 = Outcome<unsigned char>;

// Runs one converter into a target of the given room plus a guard unit that must stay untouched.
template <typename Out, typename In, typename Convert>
Outcome<Out> run(Convert convert, const std::vector<In>& in, ConversionFlags flags, size_t room = 64) {
  std::vector<Out> target(room + 1, 0x5A);
  const In* src = in.data();
  Out* dst = target.data();
  const ConversionResult r = convert(&src, in.data() + in.size(), &dst, target.data() + room, flags);
  EXPECT_EQ(target[room], 0x5A) << "wrote past the target end";
  return {r, static_cast<size_t>(src - in.data()), std::vector<Out>(target.data(), dst)};
}

Out16 from8(const Bytes& in, ConversionFlags flags = strictConversion, size_t room = 64) {
  return run<unsigned short>(ConvertUTF8toUTF16, in, flags, room);
}

Out8 from16(const Units& in, ConversionFlags flags = strictConversion, size_t room = 64) {
  return run<unsigned char>(ConvertUTF16toUTF8, in, flags, room);
}

struct Utf8Case {
  const char* what;
  Bytes in;
  Out16 expected;
  ConversionFlags flags = strictConversion;
  size_t room = 64;
};

const Utf8Case kUtf8Cases[] = {
    {"first of each length",
     {0, 0xC2, 0x80, 0xE0, 0xA0, 0x80, 0xF0, 0x90, 0x80, 0x80},
     {conversionOK, 10, {0, 0x80, 0x800, 0xD800, 0xDC00}}},
    {"last of each length",
     {0x7F, 0xDF, 0xBF, 0xEF, 0xBF, 0xBF, 0xF4, 0x8F, 0xBF, 0xBF},
     {conversionOK, 10, {0x7F, 0x7FF, 0xFFFF, 0xDBFF, 0xDFFF}}},
    {"around the surrogates", {0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80}, {conversionOK, 6, {0xD7FF, 0xE000}}},
    {"above U+10FFFF", {0x41, 0xF4, 0x90, 0x80, 0x80}, {sourceIllegal, 1, {0x41}}},
    {"lead above F4", {0xF7, 0xBF, 0xBF, 0xBF}, {sourceIllegal, 0, {}}},
    {"F4 then ASCII", {0xF4, 0x41, 0x80, 0x80}, {sourceIllegal, 0, {}}},
    {"five-byte form", {0xF8, 0x88, 0x80, 0x80, 0x80}, {sourceIllegal, 0, {}}},
    {"six-byte lead, short", {0x41, 0xFE, 0xFE, 0xFF, 0xFF}, {sourceExhausted, 1, {0x41}}},
    {"lone continuation", {0x41, 0x80, 0xBF}, {sourceIllegal, 1, {0x41}}},
    {"lone lead then space", {0xC0, 0x20}, {sourceIllegal, 0, {}}},
    {"bad third byte", {0xE2, 0x82, 0x41}, {sourceIllegal, 0, {}}},
    {"truncated 2-byte", {0x41, 0xDF}, {sourceExhausted, 1, {0x41}}},
    {"truncated 4-byte", {0xF4, 0x8F, 0xBF}, {sourceExhausted, 0, {}}},
    {"largest overlong, 2", {0xC1, 0xBF}, {sourceIllegal, 0, {}}},
    {"largest overlong, 3", {0xE0, 0x9F, 0xBF}, {sourceIllegal, 0, {}}},
    {"largest overlong, 4", {0xF0, 0x8F, 0xBF, 0xBF}, {sourceIllegal, 0, {}}},
    {"high surrogate", {0x41, 0xED, 0xA0, 0x80}, {sourceIllegal, 1, {0x41}}},
    {"encoded pair", {0xED, 0xA0, 0x80, 0xED, 0xB0, 0x80}, {sourceIllegal, 0, {}}},
    {"lenient", {0xED, 0xA0, 0x80, 0xED, 0xBF, 0xBF}, {conversionOK, 6, {0xD800, 0xDFFF}}, lenientConversion},
    {"lenient overlong", {0xC0, 0x80}, {sourceIllegal, 0, {}}, lenientConversion},
    // No room: the source stays at the character; a pair's room is checked before its surrogates.
    {"no room", {0x41, 0x42}, {targetExhausted, 1, {0x41}}, strictConversion, 1},
    {"no room for a pair", {0x41, 0xF0, 0x9F, 0x98, 0x80}, {targetExhausted, 1, {0x41}}, strictConversion, 2},
    {"no room for a surrogate", {0xED, 0xA0, 0x80}, {targetExhausted, 0, {}}, strictConversion, 0},
};

TEST(ConvertUTF8toUTF16, StressCases) {
  for (const Utf8Case& c : kUtf8Cases) EXPECT_EQ(from8(c.in, c.flags, c.room), c.expected) << c.what;
}

TEST(ConvertUTF16toUTF8, SurrogatesAndTargetExhaustion) {
  EXPECT_EQ(from16({0xD83D, 0xDE00, 0xDBFF, 0xDFFF}),
            Out8(conversionOK, 4, {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}));
  EXPECT_EQ(from16({0x41, 0xD83D}), Out8(conversionOK, 2, {0x41, 0xED, 0xA0, 0xBD}));
  EXPECT_EQ(from16({0x41, 0xD83D, 0x42}), Out8(sourceIllegal, 1, {0x41}));
  EXPECT_EQ(from16({0x41, 0xD83D, 0xD83D}), Out8(sourceIllegal, 1, {0x41}));
  EXPECT_EQ(from16({0x41, 0xDE00}), Out8(sourceIllegal, 1, {0x41}));
  EXPECT_EQ(from16({0xDE00, 0xD83D, 0x42}, lenientConversion),
            Out8(conversionOK, 3, {0xED, 0xB8, 0x80, 0xED, 0xA0, 0xBD, 0x42}));
  // Exhaustion backs up to the whole character.
  EXPECT_EQ(from16({0x41, 0xE9}, strictConversion, 2), Out8(targetExhausted, 1, {0x41}));
  EXPECT_EQ(from16({0xD83D, 0xDE00}, strictConversion, 3), Out8(targetExhausted, 0, {}));
}

TEST(ConvertUTF, EveryScalarRoundTripsAndSurrogateFormsPassTheLegalityTest) {
  for (uint32_t v = 0; v <= 0x10FFFF; ++v) {
    if (v >= 0xD800 && v <= 0xDFFF) continue;
    const uint32_t w = v - 0x10000;
    const Units units = v <= 0xFFFF ? Units{static_cast<unsigned short>(v)}
                                    : Units{static_cast<unsigned short>(0xD800 + (w >> 10)),
                                            static_cast<unsigned short>(0xDC00 + (w & 0x3FF))};
    const Bytes bytes = std::get<2>(from16(units, strictConversion, 4));
    ASSERT_EQ(bytes.size(), v < 0x80 ? 1u : v < 0x800 ? 2u : v < 0x10000 ? 3u : 4u) << v;
    ASSERT_TRUE(isLegalUTF8(bytes.data(), static_cast<int>(bytes.size()))) << v;
    ASSERT_EQ(from8(bytes, strictConversion, 2), Out16(conversionOK, bytes.size(), units)) << v;
  }
  const unsigned char surrogate[] = {0xED, 0xA0, 0x80, 0x80, 0x80};
  EXPECT_TRUE(isLegalUTF8(surrogate, 3));
  EXPECT_FALSE(isLegalUTF8(surrogate, 0));
  EXPECT_FALSE(isLegalUTF8(surrogate, 5));
}

std::wstring wide(std::initializer_list<uint32_t> chars) {
  std::wstring w;
  for (const uint32_t c : chars) w.push_back(static_cast<wchar_t>(c));
  return w;
}

// A failure returns kUnicodeConversionFailed and leaves the output ("previous").
TEST(Utf8ToUnicode, GivesUtf16UnitsOnePerWideCharacter) {
  const std::pair<std::string, std::wstring> cases[] = {{"", L""},
                                                        {"A\xc3\xa9", wide({0x41, 0xE9})},
                                                        {"\xf0\x9f\x98\x80", wide({0xD83D, 0xDE00})},
                                                        {std::string("a\0b", 3), L"a"},
                                                        {"\xed\xa0\x80", L"previous"},
                                                        {"\xc0\x80", L"previous"},
                                                        {"\x80", L"previous"},
                                                        {"\xe2", L"previous"},
                                                        {"ok\xf8\x88\x80\x80\x80", L"previous"},
                                                        {"\xf4\x90\x80\x80", L"previous"}};
  for (const auto& [in, expected] : cases) {
    std::wstring out = L"previous";
    EXPECT_EQ(utf8ToUnicode(in, out), expected == L"previous" ? kUnicodeConversionFailed : 0) << in;
    EXPECT_EQ(out, expected) << in;
  }
}

TEST(UnicodeToUtf8, ConvertsUnitsAndScalarsAboveTheBasicPlane) {
  const std::pair<std::wstring, std::string> cases[] = {{L"", ""},
                                                        {wide({0x41, 0xE9, 0xFFFF}), "A\xc3\xa9\xef\xbf\xbf"},
                                                        {wide({0xD83D, 0xDE00}), "\xf0\x9f\x98\x80"},
                                                        {wide({0xD83D}), "\xed\xa0\xbd"},
                                                        {wide({0x1F600}), "\xf0\x9f\x98\x80"},
                                                        {wide({0x41, 0x10FFFF}), "A\xf4\x8f\xbf\xbf"},
                                                        {wide({0x61, 0, 0x62}), "a"},
                                                        {wide({0xDE00}), "previous"},
                                                        {wide({0xD83D, 0x41}), "previous"},
                                                        {wide({0x110000}), "previous"},
                                                        {wide({0xFFFFFFFF}), "previous"}};
  for (const auto& [in, expected] : cases) {
    std::string out = "previous";
    EXPECT_EQ(unicodeToUtf8(in, out), expected == "previous" ? kUnicodeConversionFailed : 0) << expected;
    EXPECT_EQ(out, expected) << in.size() << " characters";
  }
}

TEST(UnicodeWrappers, WorstCaseSizesRoundTrip) {
  for (const uint32_t c : {0x10FFFFu, 0xFFFFu, 0x7FFu}) {
    const std::wstring in(1000, static_cast<wchar_t>(c));
    std::string utf8;
    ASSERT_EQ(unicodeToUtf8(in, utf8), 0);
    EXPECT_EQ(utf8.size(), c > 0xFFFF ? 4000u : c > 0x7FF ? 3000u : 2000u);
    std::wstring back;
    ASSERT_EQ(utf8ToUnicode(utf8, back), 0);
    std::string again;
    ASSERT_EQ(unicodeToUtf8(back, again), 0);
    EXPECT_EQ(again, utf8);
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

using unicode_fast::Level;

template <Level kLevel>
ConversionResult fast8At(const unsigned char** s, const unsigned char* e, unsigned short** t,
                         unsigned short* te, ConversionFlags f) {
  return unicode_fast::convertUTF8toUTF16(kLevel, s, e, t, te, f);
}

template <Level kLevel>
ConversionResult fast16At(const unsigned short** s, const unsigned short* e, unsigned char** t,
                          unsigned char* te, ConversionFlags f) {
  return unicode_fast::convertUTF16toUTF8(kLevel, s, e, t, te, f);
}

template <typename In, typename Out>
using Converter = ConversionResult (*)(const In**, const In*, Out**, Out*, ConversionFlags);

// Runs both converters on the n units at in with `room` target units and
// compares everything they report and write. Returns false (after a gtest
// failure) on the first difference.
template <typename In, typename Out>
bool sameOutcome(Converter<In, Out> fast, Converter<In, Out> plain, const In* in, size_t n, size_t room,
                 ConversionFlags flags) {
  static std::vector<Out> a;  // reused: the exhaustive tests make millions of calls
  static std::vector<Out> b;
  a.assign(room + 8, static_cast<Out>(0xA5));
  b.assign(room + 8, static_cast<Out>(0xA5));
  const In* srcA = in;
  const In* srcB = in;
  Out* dstA = a.data();
  Out* dstB = b.data();
  const ConversionResult ra = fast(&srcA, in + n, &dstA, a.data() + room, flags);
  const ConversionResult rb = plain(&srcB, in + n, &dstB, b.data() + room, flags);
  if (ra == rb && srcA == srcB && dstA - a.data() == dstB - b.data() && a == b) return true;
  std::string hex;
  for (size_t i = 0; i < n; ++i) hex += std::to_string(static_cast<unsigned>(in[i])) + " ";
  ADD_FAILURE() << "input [" << hex << "] room " << room << " flags " << flags << ": result " << ra << " vs "
                << rb << ", source " << (srcA - in) << " vs " << (srcB - in) << ", target "
                << (dstA - a.data()) << " vs " << (dstB - b.data());
  return false;
}

// The exported converter (best level) and, with `portableToo`, the
// portable level against the plain loop.
bool same8(const std::vector<unsigned char>& in, size_t room, ConversionFlags flags,
           bool portableToo = true) {
  return sameOutcome<unsigned char, unsigned short>(ConvertUTF8toUTF16, unicode_reference::convertUTF8toUTF16,
                                                    in.data(), in.size(), room, flags) &&
         (!portableToo || sameOutcome<unsigned char, unsigned short>(fast8At<Level::kPortable>,
                                                                     unicode_reference::convertUTF8toUTF16,
                                                                     in.data(), in.size(), room, flags));
}

bool same16(const std::vector<unsigned short>& in, size_t room, ConversionFlags flags,
            bool portableToo = true) {
  return sameOutcome<unsigned short, unsigned char>(ConvertUTF16toUTF8, unicode_reference::convertUTF16toUTF8,
                                                    in.data(), in.size(), room, flags) &&
         (!portableToo || sameOutcome<unsigned short, unsigned char>(fast16At<Level::kPortable>,
                                                                     unicode_reference::convertUTF16toUTF8,
                                                                     in.data(), in.size(), room, flags));
}

const ConversionFlags kModes[] = {strictConversion, lenientConversion};

// Every 1- and 2-byte sequence, and every 3-byte sequence that starts with
// a lead byte, at each offset around the end of the first block (bytes 12
// to 18) of a long text: well-formed ASCII before it, and either ASCII or
// Latin and CJK characters after it, so that the block decoder meets each
// sequence whole, cut at the block's end, or spilling into the next block.
TEST(UnicodeDifferential, EveryShortSequenceAtEachOffsetAroundABlockEnd) {
  const std::string latinCjk = "\xc3\xa9\xe4\xb8\xad\xc3\xb1x\xe6\x96\x87\xf0\x9f\x98\x80 abc \xc3\xa9";
  const std::string after[] = {std::string(40, 'z'), latinCjk + latinCjk};
  std::vector<unsigned char> in;
  auto check = [&](size_t offset, const unsigned char* seq, size_t length, const std::string& tail,
                   ConversionFlags flags) {
    in.assign(offset, 'a');
    in.insert(in.end(), seq, seq + length);
    in.insert(in.end(), tail.begin(), tail.end());
    return same8(in, in.size(), flags, false) && same8(in, offset + 2, flags, false);
  };
  for (size_t offset = 12; offset <= 18; ++offset) {
    for (const ConversionFlags flags : kModes) {
      for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; b += kSanitized ? 5 : 1) {
          const unsigned char seq[] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b)};
          for (const std::string& tail : after) ASSERT_TRUE(check(offset, seq, 2, tail, flags));
        }
      }
    }
  }
  // Three bytes: one offset per lead, cycling, so that every offset meets
  // every lead class; both modes by the second byte's parity.
  for (unsigned a = 0xC0; a < 256; ++a) {
    const size_t offset = 12 + a % 7;
    for (unsigned b = 0x80; b < 0xC0 + 0x40 * !kSanitized; ++b) {
      const ConversionFlags flags = kModes[b & 1];
      for (unsigned c = 0; c < 256; c += kSanitized ? 3 : 1) {
        const unsigned char seq[] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                     static_cast<unsigned char>(c)};
        ASSERT_TRUE(check(offset, seq, 3, after[c & 1], flags));
      }
    }
  }
}

// Long texts of every character length (and a surrogate pair or a four-byte
// form in each block), with one malformed piece moved through them, at every
// target room up to the need: the block steps meet each piece whole or cut
// and stop exactly where the room ends. The wrappers run on the same texts at
// both levels.
TEST(UnicodeDifferential, LongTextsWithAMovingMalformedPieceAtEveryRoom) {
  const std::string good = "ab \xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80xyz\xd7\xbf\xef\xbf\xbd\xf4\x8f\xbf\xbf";
  const std::vector<std::string> bad = {"\x80", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"};
  const std::vector<unsigned short> units = {0x41, 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0x7FF, 0x800, 0xFFFF};
  for (const std::string& piece : bad) {
    for (size_t at = 0; at <= 3 * good.size(); at += 5) {
      const std::string text = (good + good + good).insert(at, piece);
      const std::vector<unsigned char> bytes(text.begin(), text.end());
      std::vector<unsigned short> wide16;
      for (int k = 0; k < 6; ++k) wide16.insert(wide16.end(), units.begin(), units.end());
      wide16.insert(wide16.begin() + static_cast<long>(at % wide16.size()),
                    0xD800 + static_cast<unsigned short>(at));
      for (const ConversionFlags flags : kModes) {
        for (size_t room = 0; room <= bytes.size() + 1; ++room) ASSERT_TRUE(same8(bytes, room, flags));
        for (size_t room = 0; room <= 3 * wide16.size() + 1; ++room) ASSERT_TRUE(same16(wide16, room, flags));
      }
      const std::wstring wide(wide16.begin(), wide16.end());
      for (const Level level : {unicode_fast::bestLevel(), Level::kPortable}) {
        std::wstring fastWide = L"previous", plainWide = L"previous";
        ASSERT_EQ(unicode_fast::utf8ToUnicode(level, text, fastWide),
                  unicode_reference::utf8ToUnicode(text, plainWide));
        ASSERT_EQ(fastWide, plainWide);
        std::string fastText = "previous", plainText = "previous";
        ASSERT_EQ(unicode_fast::unicodeToUtf8(level, wide, fastText),
                  unicode_reference::unicodeToUtf8(wide, plainText));
        ASSERT_EQ(fastText, plainText);
      }
    }
  }
}

}  // namespace
