// The password wrapper over the platform's password class.
#include <gtest/gtest.h>

#include "AppMgr/PasswordWrapper.h"

#include "fakes/DevPasswordKey.h"

TEST(PasswordWrapper, EncryptsDecryptsConvertsAndReturnsNullOnFailure) {
  ScopedDevPasswordKey key;
  PasswordWrapper plain("a b+c");
  const char* strong = plain.strongEncrypt();
  ASSERT_NE(strong, nullptr);
  EXPECT_EQ(key.decrypt(strong), "a b+c");
  ASSERT_NE(plain.encrypt(), nullptr);
  EXPECT_EQ(key.decrypt(plain.resultBuffer), "a b+c");
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
  EXPECT_EQ(PasswordWrapper("pw").encrypt(), nullptr);
}
