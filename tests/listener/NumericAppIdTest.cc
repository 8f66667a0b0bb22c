// Reading of the numeric application id text of the lookups.
#include <limits>

#include <gtest/gtest.h>

#include "listener/NumericAppId.h"

namespace {

constexpr unsigned long kMax = std::numeric_limits<unsigned long>::max();

AppIdInfo parsed(const char* text) {
  AppIdInfo info;
  EXPECT_TRUE(parseNumericAppId(text, info)) << text;
  return info;
}

TEST(NumericAppId, ReadsBothUnsignedNumbers) {
  EXPECT_EQ(parsed("2:1045").velmoraId, 2u);
  EXPECT_EQ(parsed("2:1045").appId, 1045u);
  EXPECT_EQ(parsed(" \t7:  12x").appId, 12u);
  EXPECT_EQ(parsed("7:3:4").appId, 3u);
}

TEST(NumericAppId, PartWithoutLeadingNumberGivesZero) {
  EXPECT_EQ(parsed("2:abc").appId, 0u);
  EXPECT_EQ(parsed("2:abc").velmoraId, 2u);
  EXPECT_EQ(parsed(":").velmoraId, 0u);
  EXPECT_EQ(parsed("-1:+5").velmoraId, 0u);
  EXPECT_EQ(parsed("-1:+5").appId, 0u);
}

TEST(NumericAppId, OverlongNumbersSaturate) {
  EXPECT_EQ(parsed("18446744073709551615:18446744073709551616").velmoraId, kMax);
  EXPECT_EQ(parsed("18446744073709551615:18446744073709551616").appId, kMax);
  EXPECT_EQ(parsed("1:999999999999999999999999999999999999999").appId, kMax);
}

TEST(NumericAppId, MissingDelimiterOrTextLeavesInfoUntouched) {
  AppIdInfo info;
  info.velmoraId = 9;
  EXPECT_FALSE(parseNumericAppId("2-1045", info));
  EXPECT_FALSE(parseNumericAppId("", info));
  EXPECT_FALSE(parseNumericAppId(nullptr, info));
  EXPECT_EQ(info.velmoraId, 9u);
  EXPECT_EQ(info.appId, 0u);
}

}  // namespace
