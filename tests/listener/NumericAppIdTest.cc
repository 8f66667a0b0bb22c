// Reading of the numeric application id text of the lookups.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "listener/NumericAppId.h"

namespace {

// "velmoraId/appId" as read from `text`, with "failed " before it when the
// text is refused.
std::string parsed(const char* text) {
  AppIdInfo info;
  info.velmoraId = 9;  // a refused text leaves the ids untouched
  const bool ok = parseNumericAppId(text, info);
  return (ok ? "" : "failed ") + std::to_string(info.velmoraId) + "/" + std::to_string(info.appId);
}

// A part without a leading unsigned number reads 0; overlong numbers saturate.
TEST(NumericAppId, ReadsLeadingUnsignedNumbersAndRefusesTextsWithoutDelimiter) {
  const char* const texts[] = {"2:1045",
                               " \t7:  12x",
                               "7:3:4",
                               "2:abc",
                               ":",
                               "-1:+5",
                               "18446744073709551615:18446744073709551616",
                               "1:999999999999999999999999999999999999999",
                               "2-1045",
                               "",
                               nullptr};
  std::vector<std::string> got;
  for (const char* text : texts) got.push_back(parsed(text));
  const std::string max = "18446744073709551615";
  EXPECT_EQ(got, (std::vector<std::string>{"2/1045", "7/12", "7/3", "2/0", "0/0", "0/0", max + "/" + max,
                                           "1/" + max, "failed 9/0", "failed 9/0", "failed 9/0"}));
}

}  // namespace
