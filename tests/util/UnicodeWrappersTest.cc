// Wide-string / UTF-8 wrappers: results, output left alone on failure,
// texts cut at the first NUL, wide characters above 0xFFFF, and buffers
// sized for the worst case.
#include <gtest/gtest.h>

#include "AppMgr/UnicodeConversion.h"

namespace {

std::wstring wide(std::initializer_list<uint32_t> chars) {
  std::wstring w;
  for (const uint32_t c : chars) w.push_back(static_cast<wchar_t>(c));
  return w;
}

}  // namespace

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
