// UTF-8 / UTF-16 conversion against decoder stress cases (boundaries,
// malformed, overlong, surrogates, truncation), target exhaustion and where
// each result leaves the pointers, plus a round trip over every scalar.
#include <tuple>

#include <gtest/gtest.h>

#include "AppMgr/ConvertUTF.h"

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

}  // namespace

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
