// UTF-8 / UTF-16 conversion: the converters against decoder stress cases
// and target exhaustion, with where each result leaves the pointers, and
// the wide-string wrappers. The fast runs against the plain per-character
// code, on random and long inputs, are the utf8_to_utf16 and utf16_to_utf8
// fuzz targets' job.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

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
    {"six-byte lead, short", {0x41, 0xFE, 0xFE, 0xFF, 0xFF}, {sourceExhausted, 1, {0x41}}},
    {"lone continuation", {0x41, 0x80, 0xBF}, {sourceIllegal, 1, {0x41}}},
    {"bad third byte", {0xE2, 0x82, 0x41}, {sourceIllegal, 0, {}}},
    {"truncated 2-byte", {0x41, 0xDF}, {sourceExhausted, 1, {0x41}}},
    {"truncated 4-byte", {0xF4, 0x8F, 0xBF}, {sourceExhausted, 0, {}}},
    {"largest overlong, 2", {0xC1, 0xBF}, {sourceIllegal, 0, {}}},
    {"largest overlong, 4", {0xF0, 0x8F, 0xBF, 0xBF}, {sourceIllegal, 0, {}}},
    {"high surrogate", {0x41, 0xED, 0xA0, 0x80}, {sourceIllegal, 1, {0x41}}},
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
  EXPECT_EQ(from16({0x41, 0xDE00}), Out8(sourceIllegal, 1, {0x41}));
  EXPECT_EQ(from16({0xDE00, 0xD83D, 0x42}, lenientConversion),
            Out8(conversionOK, 3, {0xED, 0xB8, 0x80, 0xED, 0xA0, 0xBD, 0x42}));
  // A pair across the end of an eight-unit block of a text long enough for blocks.
  Units straddling(7, 0x41);
  straddling.insert(straddling.end(), {0xD83D, 0xDE00});
  straddling.resize(32, 0x42);
  Bytes want(7, 0x41);
  want.insert(want.end(), {0xF0, 0x9F, 0x98, 0x80});
  want.resize(34, 0x42);
  EXPECT_EQ(from16(straddling, strictConversion, 200), Out8(conversionOK, 32, want));
  // Exhaustion backs up to the whole character.
  EXPECT_EQ(from16({0x41, 0xE9}, strictConversion, 2), Out8(targetExhausted, 1, {0x41}));
  EXPECT_EQ(from16({0xD83D, 0xDE00}, strictConversion, 3), Out8(targetExhausted, 0, {}));
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
                                                        {wide({0x61, 0, 0x62}), "a"},
                                                        {wide({0xDE00}), "previous"},
                                                        {wide({0xD83D, 0x41}), "previous"},
                                                        {wide({0x110000}), "previous"}};
  for (const auto& [in, expected] : cases) {
    std::string out = "previous";
    EXPECT_EQ(unicodeToUtf8(in, out), expected == "previous" ? kUnicodeConversionFailed : 0) << expected;
    EXPECT_EQ(out, expected) << in.size() << " characters";
  }
}

}  // namespace
