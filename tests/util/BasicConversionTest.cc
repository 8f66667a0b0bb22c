// Fixed-format value conversion and trimming: the exact semantics of each
// form, scans that stop early or convert nothing, and "%f" texts longer
// than the fixed buffer.
#include <cfloat>
#include <climits>
#include <cstdio>

#include <gtest/gtest.h>

#include "AppMgr/BasicConversion.h"

namespace {

template <typename T>
T from(const std::string& text, T out) {
  BasicConversion::fromString(out, text);
  return out;
}

template <typename T>
T fromHex(const std::string& text, T out) {
  BasicConversion::fromHexString(out, text);
  return out;
}

template <typename T>
std::string text(T value) {
  std::string out = "previous content";
  BasicConversion::toString(value, out);
  return out;
}

template <typename T>
std::string hex(T value) {
  std::string out = "previous content";
  BasicConversion::toHexString(value, out);
  return out;
}

}  // namespace

TEST(BasicConversion, ScansFollowTheirFormatsAndKeepTheOutputWhenNothingConverts) {
  for (const char* t : {"", "0", "0abc", "false"}) EXPECT_FALSE(from(t, true)) << t;
  for (const char* t : {"true", "1", "FALSE", "no", " 0", "false "}) EXPECT_TRUE(from(t, false)) << t;
  EXPECT_EQ(from("Abc", 'x'), 'A');
  EXPECT_EQ(from("", 'x'), '\0');
  EXPECT_EQ(from("\xe9", static_cast<unsigned char>(0)), 0xE9);
  EXPECT_EQ(from(" 42xyz", 7), 42);
  EXPECT_EQ(from("\t-12.9", 7), -12);
  EXPECT_EQ(from("18446744073709551615", 0ull), ULLONG_MAX);
  EXPECT_EQ(from("-9223372036854775808", 0ll), LLONG_MIN);
  EXPECT_DOUBLE_EQ(from("2.5e3x", 0.0), 2500.0);
  EXPECT_FLOAT_EQ(from("1.5", 0.0f), 1.5f);
  EXPECT_EQ(from(std::string{'5', '\0', '6'}, 0), 5);
  EXPECT_EQ(fromHex("0x1F", 0u), 31u);
  EXPECT_EQ(fromHex(" 0XaBcD!", static_cast<unsigned short>(0)), 0xABCD);
  EXPECT_EQ(fromHex("ffffffffffffffff", 0ll), -1);  // unsigned bit pattern into the signed variable
  for (const char* t : {"abc", "", "   ", "-", "+", "x1"}) {
    EXPECT_EQ(from(t, 7), 7) << t;
    EXPECT_EQ(from(t, 7ul), 7ul) << t;
    EXPECT_DOUBLE_EQ(from(t, 7.5), 7.5) << t;
  }
  for (const char* t : {"xyz", "", " ", "g1", "-"}) EXPECT_EQ(fromHex(t, 7ull), 7ull) << t;
}

TEST(BasicConversion, ToStringReplacesOutputWithFixedForms) {
  EXPECT_EQ(text(true) + text(false), "10");
  EXPECT_EQ(text('A') + text('\0'), "A");
  EXPECT_EQ(text(static_cast<unsigned char>(0xE9)), "\xe9");
  EXPECT_EQ(text(LLONG_MIN), "-9223372036854775808");
  EXPECT_EQ(text(ULLONG_MAX), "18446744073709551615");
  EXPECT_EQ(text(2.5) + text(0.1f), "2.5000000.100000");
  EXPECT_EQ(hex(31u) + hex(0ul), "0x1f0x0");
  EXPECT_EQ(hex(-1ll), "0xffffffffffffffff");
  for (const double v : {-1e23, 1e24, -1e300, DBL_MAX, static_cast<double>(FLT_MAX)}) {
    char expected[512];  // DBL_MAX takes 316 characters, beyond any fixed buffer
    ASSERT_GE(std::snprintf(expected, sizeof expected, "%f", v), 31);
    EXPECT_EQ(text(v), expected);
  }
  EXPECT_EQ(text(FLT_MAX), text(static_cast<double>(FLT_MAX)));
}

TEST(BasicConversion, TrimRemovesOnlySevenBitWhiteSpaceAtTheEnds) {
  const std::pair<std::string, std::string> cases[] = {{"  a b \t", "a b"},
                                                       {"   ", ""},
                                                       {"", ""},
                                                       {"\r\n\v\fx\t", "x"},
                                                       {"\xa0x\xa0", "\xa0x\xa0"},
                                                       {"\x85 x \x85", "\x85 x \x85"},
                                                       {" \xff ", "\xff"}};
  for (auto [in, out] : cases) {
    trimWhiteSpace(in);
    EXPECT_EQ(in, out);
  }
}
