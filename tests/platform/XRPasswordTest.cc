// The password class: both encrypted formats round-trip, anything else is
// refused, the caller's capacity is honoured, and a missing or malformed
// key makes every operation fail. A forked child never repeats its
// parent's nonces. A rotated key file or a registry naming another key
// file is used by the next operation (after an explicit reload, or at the
// next check).
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/PlainPasswordWatch.h"

namespace {

// Every line logged during a test is checked for the plain texts used.
class XRPasswordTest : public PlainPasswordLogCheck {};

constexpr unsigned long kV1 = 1UL << 24;
constexpr unsigned long kV2 = 2UL << 24;

bool loads(const std::string& text) { return XRPassword().putEncPwd(text.c_str()) != 0; }

TEST_F(XRPasswordTest, BothFormatsRoundTrip) {
  ScopedDevPasswordKey key;
  for (const std::string& plain : {std::string(), std::string("a b+c`"), std::string(900, 'p')}) {
    const std::string v2 = key.encryptV2(plain);
    const std::string v1 = key.encryptV1(plain);
    EXPECT_EQ(v2.rfind("XRPW2:", 0), 0u);
    EXPECT_EQ(v1.rfind("XRPW1:", 0), 0u);
    EXPECT_EQ(key.decrypt(v2), plain);
    EXPECT_EQ(key.decrypt(v1), plain);
    EXPECT_NE(key.encryptV2(plain), v2);  // random nonce
  }
  XRPassword password;
  char buffer[256];
  unsigned long length = sizeof buffer;
  ASSERT_NE(password.putEncPwd(key.encryptV1("pw").c_str()), 0);
  ASSERT_NE(password.getEncPwd(buffer, &length, kV2 | 0xFFFFFF), 0);  // low flag bits are ignored
  EXPECT_EQ(length, std::string(buffer).size());
  EXPECT_EQ(key.decrypt(buffer), "pw");
  // Other versions fail, and a refused text unloads the previous password.
  for (unsigned long flags : {0UL, 3UL << 24, 0xFFUL << 24, 1UL}) {
    EXPECT_EQ(password.getEncPwd(buffer, &length, flags), 0) << flags;
  }
  EXPECT_EQ(password.putEncPwd("garbage"), 0);
  EXPECT_EQ(password.getEncPwd(buffer, &length, kV2), 0);
  EXPECT_EQ(XRPassword().getEncPwd(buffer, &length, kV2), 0);
}

TEST_F(XRPasswordTest, TamperedAndForeignTextsAreRefused) {
  ScopedDevPasswordKey key;
  const std::string v2 = key.encryptV2("secret");
  const std::string v1 = key.encryptV1("secret");
  std::string flipped = v2;
  flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
  for (const std::string& text :
       {std::string(), std::string("secret"), std::string("XRPW2:"), std::string("XRPW1:"),
        "XRPW3:" + v2.substr(6), flipped, v2.substr(0, v2.size() - 4), "XRPW1:" + v2.substr(6),
        "XRPW2:" + v1.substr(6), v1.substr(0, v1.size() - 2), v1.substr(0, v1.size() - 1), v1 + "zz",
        v2 + " "}) {
    EXPECT_FALSE(loads(text)) << text;
    EXPECT_EQ(key.decrypt(text), "") << text;
  }
  EXPECT_EQ(XRPassword().putEncPwd(nullptr), 0);
}

TEST_F(XRPasswordTest, CapacityIncludesTheTerminatorAndIsNeverExceeded) {
  ScopedDevPasswordKey key;
  const std::string v2 = key.encryptV2("pw");
  std::vector<char> buffer(v2.size() + 8, 'Z');
  XRPassword password;
  ASSERT_NE(password.putEncPwd(v2.c_str()), 0);
  unsigned long length = v2.size();
  EXPECT_EQ(password.getEncPwd(buffer.data(), &length, kV2), 0);
  EXPECT_EQ(length, v2.size());
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(buffer.size(), 'Z'));
  length = 2;  // "pw" needs three bytes
  EXPECT_EQ(password.decrypt(v2.c_str(), buffer.data(), &length), 0);
  EXPECT_EQ(password.encrypt("pw", buffer.data(), &length), 0);
  EXPECT_EQ(buffer[0], 'Z');
  length = v2.size() + 1;
  ASSERT_NE(password.getEncPwd(buffer.data(), &length, kV2), 0);
  EXPECT_EQ(length, v2.size());
  EXPECT_EQ(buffer[v2.size()], '\0');
}

TEST_F(XRPasswordTest, MissingOrMalformedKeyFailsEveryOperation) {
  const std::string validHex = ScopedDevPasswordKey::kDevKeyHex;
  const std::string stored = ScopedDevPasswordKey().encryptV2("pw");
  const std::string otherKey(64, '7');  // well-formed but different
  for (const std::string& keyText : {otherKey, validHex.substr(1), validHex + "0", "g" + validHex.substr(1),
                                     validHex + "\nsecond line", std::string()}) {
    ScopedDevPasswordKey key(keyText);
    EXPECT_FALSE(loads(stored)) << keyText;
    if (keyText != otherKey) {
      EXPECT_EQ(key.encryptV2("refused plain"), "") << keyText;
    }
  }
  EXPECT_EQ(ScopedDevPasswordKey(validHex, false).encryptV2("refused plain"), "");  // no key file named
  ScopedDevPasswordKey removed;
  removed.removeKeyFile();
  EXPECT_EQ(removed.encryptV2("refused plain"), "");
  EXPECT_EQ(removed.decrypt(stored), "");
  // A FIFO in the key file's place is no key file (and is not waited on).
  ASSERT_EQ(mkfifo((removed.config().dir() + "/dev-only-password.key").c_str(), 0600), 0);
  XRPlatformInfo::reload();
  EXPECT_EQ(removed.encryptV2("refused plain"), "");
}

// A key file that group or others may access is not used; the error names
// the file and the fix, and the key works once the file is made private.
TEST_F(XRPasswordTest, KeyFileThatOthersCanAccessIsRefusedUntilMadePrivate) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("private plain");
  const std::string keyFile = key.config().dir() + "/dev-only-password.key";
  const std::string fix = "chmod 600 " + keyFile;
  for (mode_t mode : {0644, 0640, 0604, 0620, 0602, 0610, 0601}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(keyFile.c_str(), mode), 0);
    XRPlatformInfo::reload();
    watchedLog_->clear();
    EXPECT_EQ(key.decrypt(stored), "");
    EXPECT_EQ(key.encryptV2("private plain"), "");
    const std::vector<LogRecord> records = watchedLog_->records();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(), [&](const LogRecord& r) {
      return r.severity == LogSeverity::kError && r.text.find("[" + keyFile + "]") != std::string::npos &&
             r.text.find(fix) != std::string::npos;
    })) << "no error naming the file and the fix";
  }
  for (mode_t mode : {0600, 0400}) {
    ASSERT_EQ(chmod(keyFile.c_str(), mode), 0);
    XRPlatformInfo::reload();
    EXPECT_EQ(key.decrypt(stored), "private plain") << mode;
  }
}

TEST_F(XRPasswordTest, ForkedChildDoesNotRepeatTheParentsNonces) {
  ScopedDevPasswordKey key;
  ASSERT_NE(key.encryptV2("pw"), "");  // the parent has random bytes at hand
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const std::string text = key.encryptV2("pw") + key.encryptV1("pw");
    const bool written = write(fds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  std::string fromChild;
  char buffer[512];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) fromChild.append(buffer, got);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string fromParent = key.encryptV2("pw") + key.encryptV1("pw");
  ASSERT_EQ(fromChild.size(), fromParent.size());
  EXPECT_NE(fromChild.substr(0, 30), fromParent.substr(0, 30));  // "XRPW2:" and the nonce
  EXPECT_NE(fromChild, fromParent);
}

// "pw" encrypted (version 2) under the given master key.
std::string storedUnder(const std::string& keyHex) { return ScopedDevPasswordKey(keyHex).encryptV2("pw"); }

// A stored password converted to version 1, or empty when that fails.
std::string convertedToV1(const std::string& stored) {
  XRPassword password;
  char buffer[512];
  unsigned long length = sizeof buffer;
  if (password.putEncPwd(stored.c_str()) == 0 || password.getEncPwd(buffer, &length, kV1) == 0) return "";
  return std::string(buffer, length);
}

TEST_F(XRPasswordTest, RotatedKeyFileAndRetargetedRegistryAreFollowed) {
  using std::chrono::hours;
  using std::chrono::milliseconds;
  const std::string keyA = ScopedDevPasswordKey::kDevKeyHex;
  const std::string keyB(64, 'b');
  const std::string storedA = storedUnder(keyA);
  const std::string storedB = storedUnder(keyB);
  const struct {
    const char* name;
    bool editRegistry;  // else the key file is rewritten in place
    milliseconds interval;
    bool reload;
    bool followed;
  } cases[] = {
      {"key file, explicit reload", false, hours(1), true, true},
      {"key file, checked at every use", false, milliseconds(0), false, true},
      {"key file, before the next check", false, hours(1), false, false},
      {"registry, explicit reload", true, hours(1), true, true},
      {"registry, checked at every use", true, milliseconds(0), false, true},
      {"registry, before the next check", true, hours(1), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedDevPasswordKey key;  // names a file holding key A
    const std::string dir = key.config().dir();
    ASSERT_EQ(key.decrypt(storedA), "pw");
    XRPlatformInfo::setCheckInterval(c.interval);
    if (c.editRegistry) {
      writePrivateFile(dir + "/other.key", keyB);
      writePrivateFile(key.config().path(), "[Base]\nsPasswordKeyFile = other.key\n");
    } else {
      writePrivateFile(dir + "/dev-only-password.key", keyB);
    }
    if (c.reload) XRPlatformInfo::reload();
    EXPECT_EQ(key.decrypt(storedB), c.followed ? "pw" : "");
    EXPECT_EQ(key.decrypt(storedA), c.followed ? "" : "pw");
    const std::string v1 = convertedToV1(c.followed ? storedB : storedA);
    ASSERT_EQ(v1.rfind("XRPW1:", 0), 0u);
    EXPECT_EQ(key.decrypt(v1), "pw");
    XRPlatformInfo::setCheckInterval(std::chrono::seconds(1));
  }
}

}  // namespace
