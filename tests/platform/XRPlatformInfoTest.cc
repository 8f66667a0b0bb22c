// The configuration registry over a temporary INI file.
#include <string>

#include <gtest/gtest.h>

#include "platform/XRPlatformInfo.h"

#include "fakes/ScopedPlatformConfig.h"

TEST(XRPlatformInfo, FocusSectionOverridesThePlainSection) {
  ScopedPlatformConfig config(
      "[Base]\ndTARVENTEMPDIR = /var/tmp\nnCloudLaptopClient = 0\n"
      "[Instance002/Base]\nnCloudLaptopClient = 1\n");
  XRPlatformInfo info;
  std::string text;
  EXPECT_EQ(info.IsCloudLaptopClient(), 0);
  EXPECT_EQ(info.getString("Quarvel", "dTARVENTEMPDIR", &text), 0);
  info.setFocus("Instance002");
  EXPECT_EQ(info.IsCloudLaptopClient(), 1);
  ASSERT_NE(info.getString("Base", "dTARVENTEMPDIR", &text), 0);  // falls back to the plain section
  EXPECT_EQ(text, "/var/tmp");
}

TEST(XRPlatformInfo, GetNumberTakesOnlyAnUnsignedNumber) {
  ScopedPlatformConfig config(
      "[Quarvel]\ngood = 42\nhex = 0x10\nneg = -3\ntail = 12abc\nword = yes\nempty =\n");
  XRPlatformInfo info;
  const std::pair<const char*, unsigned long> cases[] = {
      {"good", 42}, {"hex", 16}, {"neg", 7}, {"tail", 7}, {"word", 7}, {"empty", 7}, {"absent", 7}};
  for (const auto& [key, expected] : cases) {
    unsigned long number = 7;
    EXPECT_EQ(info.getNumber("Quarvel", key, &number) != 0, expected != 7) << key;
    EXPECT_EQ(number, expected) << key;
  }
}

TEST(XRPlatformInfo, MissingFileIsAnEmptyRegistry) {
  ScopedPlatformConfig config;
  XRPlatformInfo info;
  std::string text;
  unsigned long number = 0;
  EXPECT_EQ(info.getString("Base", "dTARVENTEMPDIR", &text), 0);
  EXPECT_EQ(info.getNumber("Quarvel", "sDisableCloudCaching", &number), 0);
  EXPECT_EQ(info.IsCloudLaptopClient(), 0);
}
