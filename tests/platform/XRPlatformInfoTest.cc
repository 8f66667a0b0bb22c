// The configuration registry over a temporary INI file.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/XRPlatformInfo.h"

namespace {

// Writes an INI file and points APPMGR_PLATFORM_CONFIG at it for one test.
class PlatformInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/appmgr-platform-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = pattern;
    setenv(kPlatformConfigEnv, path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv(kPlatformConfigEnv);
    std::remove(path_.c_str());
  }
  void write(const char* text) {
    std::FILE* file = std::fopen(path_.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
  }

  std::string path_;
};

}  // namespace

TEST_F(PlatformInfoTest, FocusSectionOverridesThePlainSection) {
  write(
      "[Base]\ndTARVENTEMPDIR = /var/tmp\nnCloudLaptopClient = 0\n"
      "[Instance002/Base]\nnCloudLaptopClient = 1\n");
  XRPlatformInfo info;
  std::string text;
  EXPECT_EQ(info.IsCloudLaptopClient(), 0);
  ASSERT_NE(info.getString("Base", "dTARVENTEMPDIR", &text), 0);
  EXPECT_EQ(text, "/var/tmp");
  EXPECT_EQ(info.getString("Quarvel", "dTARVENTEMPDIR", &text), 0);

  info.setFocus("Instance002");
  EXPECT_EQ(info.IsCloudLaptopClient(), 1);
  ASSERT_NE(info.getString("Base", "dTARVENTEMPDIR", &text), 0);  // falls back to the plain section
  EXPECT_EQ(text, "/var/tmp");
}

TEST_F(PlatformInfoTest, GetNumberRejectsAnythingButAnUnsignedNumber) {
  write("[Quarvel]\ngood = 42\nhex = 0x10\nneg = -3\ntail = 12abc\nword = yes\nempty =\n");
  XRPlatformInfo info;
  unsigned long number = 0;
  ASSERT_NE(info.getNumber("Quarvel", "good", &number), 0);
  EXPECT_EQ(number, 42u);
  ASSERT_NE(info.getNumber("Quarvel", "hex", &number), 0);
  EXPECT_EQ(number, 16u);
  for (const char* key : {"neg", "tail", "word", "empty", "absent"}) {
    number = 7;
    EXPECT_EQ(info.getNumber("Quarvel", key, &number), 0) << key;
    EXPECT_EQ(number, 7u) << key;
  }
}

TEST_F(PlatformInfoTest, MissingFileIsAnEmptyRegistry) {
  std::remove(path_.c_str());
  XRPlatformInfo info;
  std::string text;
  unsigned long number = 0;
  EXPECT_EQ(info.getString("Base", "dTARVENTEMPDIR", &text), 0);
  EXPECT_EQ(info.getNumber("Quarvel", "sDisableCloudCaching", &number), 0);
  EXPECT_EQ(info.IsCloudLaptopClient(), 0);
}
