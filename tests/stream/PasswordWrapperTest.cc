// The password wrapper over the platform's password class.
#include <gtest/gtest.h>

#include "AppMgr/PasswordWrapper.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/PlainPasswordWatch.h"

namespace {

// Every line logged during a test is checked for the plain texts used.
class PasswordWrapperTest : public PlainPasswordLogCheck {};

}  // namespace

TEST_F(PasswordWrapperTest, EncryptsDecryptsConvertsAndReturnsNullOnFailure) {
  ScopedDevPasswordKey key;
  watchPlainPassword("a b+c plain");
  PasswordWrapper plain("a b+c plain");
  const char* strong = plain.strongEncrypt();
  ASSERT_NE(strong, nullptr);
  EXPECT_EQ(key.decrypt(strong), "a b+c plain");
  ASSERT_NE(plain.encrypt(), nullptr);
  EXPECT_EQ(key.decrypt(plain.resultBuffer), "a b+c plain");
  PasswordWrapper stored(key.encryptV2("pw"));
  const char* v1 = stored.getEncPassword(1UL << 24);
  ASSERT_NE(v1, nullptr);
  EXPECT_EQ(std::string(v1).rfind("XRPW1:", 0), 0u);
  EXPECT_STREQ(PasswordWrapper(v1).decrypt(), "pw");

  PasswordWrapper garbage("not encrypted");
  EXPECT_EQ(garbage.getEncPassword(2UL << 24), nullptr);
  EXPECT_EQ(garbage.decrypt(), nullptr);
  EXPECT_EQ(PasswordWrapper(key.encryptV2("pw")).getEncPassword(3UL << 24), nullptr);
  EXPECT_EQ(PasswordWrapper(std::string(2048, 'x')).encrypt(), nullptr);  // result beyond 2049 bytes
  key.removeKeyFile();
  EXPECT_EQ(PasswordWrapper("a b+c plain").encrypt(), nullptr);
}
