// The registry and the password keys are read once and read again when
// their files change: a rotated key file or a registry naming another key
// file is used by the next operation (after an explicit reload, or at the
// next check), and a bad replacement fails cleanly until a good one is back.
#include <chrono>
#include <cstdio>
#include <string>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"
#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/PlainPasswordWatch.h"

namespace {

using std::chrono::hours;
using std::chrono::milliseconds;

const std::string kKeyA = ScopedDevPasswordKey::kDevKeyHex;
const std::string kKeyB(64, 'b');
constexpr unsigned long kV1 = 1UL << 24;
constexpr char kNoValidKey[] = "holds no valid key";

// Sets how often files are checked, for one test.
class ScopedCheckInterval {
 public:
  explicit ScopedCheckInterval(milliseconds interval) { XRPlatformInfo::setCheckInterval(interval); }
  ~ScopedCheckInterval() { XRPlatformInfo::setCheckInterval(std::chrono::seconds(1)); }
};

// Key files and registries alike are written private to the owner.
void writeFile(const std::string& path, const std::string& text) { writePrivateFile(path, text); }

// Replaces path in one step, as an operator's rename would.
void replaceFile(const std::string& path, const std::string& text) {
  writeFile(path + ".new", text);
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
}

// "pw" encrypted (version 2) under the given master key.
std::string storedUnder(const std::string& keyHex) { return ScopedDevPasswordKey(keyHex).encryptV2("pw"); }

std::string decrypted(const std::string& text) {
  char buffer[256];
  unsigned long length = sizeof buffer;
  return XRPassword().decrypt(text.c_str(), buffer, &length) != 0 ? std::string(buffer, length) : "";
}

// A stored password converted to version 1, or empty when that fails.
std::string convertedToV1(const std::string& stored) {
  XRPassword password;
  char buffer[512];
  unsigned long length = sizeof buffer;
  if (password.putEncPwd(stored.c_str()) == 0 || password.getEncPwd(buffer, &length, kV1) == 0) return "";
  return std::string(buffer, length);
}

size_t countContaining(const MemoryLogSink& log, const std::string& part) {
  size_t n = 0;
  for (const LogRecord& record : log.records()) n += record.text.find(part) != std::string::npos ? 1 : 0;
  return n;
}

class PlatformReloadTest : public ::testing::Test {
 protected:
  void SetUp() override { EvLog::setSink(log_); }
  void TearDown() override {
    EvLog::setSink(nullptr);
    expectNoPlainPasswordInLog(log_->records());
  }

  const std::string storedA_ = storedUnder(kKeyA);
  const std::string storedB_ = storedUnder(kKeyB);
  std::shared_ptr<MemoryLogSink> log_ = std::make_shared<MemoryLogSink>();
};

TEST_F(PlatformReloadTest, RotatedKeyFileAndRetargetedRegistryAreFollowed) {
  struct Case {
    const char* name;
    bool editRegistry;  // else the key file is rewritten in place
    milliseconds interval;
    bool reload;
    bool followed;
  };
  const Case cases[] = {
      {"key file, explicit reload", false, hours(1), true, true},
      {"key file, checked at every use", false, milliseconds(0), false, true},
      {"key file, before the next check", false, hours(1), false, false},
      {"registry, explicit reload", true, hours(1), true, true},
      {"registry, checked at every use", true, milliseconds(0), false, true},
      {"registry, before the next check", true, hours(1), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedDevPasswordKey key;  // names a file holding key A
    const std::string dir = key.config().dir();
    ASSERT_EQ(decrypted(storedA_), "pw");
    const ScopedCheckInterval interval(c.interval);
    if (c.editRegistry) {
      writeFile(dir + "/other.key", kKeyB);
      writeFile(key.config().path(), "[Base]\nsPasswordKeyFile = other.key\n");
    } else {
      writeFile(dir + "/dev-only-password.key", kKeyB);
    }
    if (c.reload) XRPlatformInfo::reload();
    EXPECT_EQ(decrypted(storedB_), c.followed ? "pw" : "");
    EXPECT_EQ(decrypted(storedA_), c.followed ? "" : "pw");
    const std::string v1 = convertedToV1(c.followed ? storedB_ : storedA_);
    ASSERT_EQ(v1.rfind("XRPW1:", 0), 0u);
    EXPECT_EQ(decrypted(v1), "pw");
  }
}

TEST_F(PlatformReloadTest, BadReplacementFailsCleanlyUntilAGoodFileIsBack) {
  ScopedDevPasswordKey key;
  const ScopedCheckInterval interval(hours(1));  // only the writes below reload
  const std::string keyFile = key.config().dir() + "/dev-only-password.key";
  const std::string goodRegistry = "[Base]\nsPasswordKeyFile = dev-only-password.key\n";
  struct Case {
    const char* name;
    std::string keyText;   // replaces the key file; "-" removes it, "|" puts a FIFO there
    std::string registry;  // replaces the registry
  };
  const Case cases[] = {
      // Malformed key texts of every kind are refused by XRPasswordTest; one
      // stands for them here.
      {"truncated key", kKeyB.substr(0, 40), goodRegistry},
      {"key file removed", "-", goodRegistry},
      {"a FIFO instead of a file", "|", goodRegistry},
      {"registry does not parse", kKeyB, "[Base\nsPasswordKeyFile = dev-only-password.key\n"},
      {"registry names no key file", kKeyB, "[Base]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    replaceFile(keyFile, kKeyA);
    key.config().write(goodRegistry);
    ASSERT_EQ(decrypted(storedA_), "pw");
    log_->clear();

    if (c.keyText == "-" || c.keyText == "|") {
      key.removeKeyFile();
      if (c.keyText == "|") {
        ASSERT_EQ(mkfifo(keyFile.c_str(), 0600), 0);
      }
    } else {
      replaceFile(keyFile, c.keyText);
    }
    key.config().write(c.registry);
    // Nothing of the old key is left in use, and nothing of the new one.
    EXPECT_EQ(decrypted(storedA_), "");
    EXPECT_EQ(decrypted(storedB_), "");
    EXPECT_EQ(convertedToV1(storedA_), "");
    EXPECT_EQ(key.encryptV2("pw"), "");
    // A bad key file is read and reported once, not at every operation.
    const bool keyFileRead = c.registry == goodRegistry;
    EXPECT_EQ(countContaining(*log_, kNoValidKey) + countContaining(*log_, "Cannot read"),
              keyFileRead ? 1u : 0u);

    replaceFile(keyFile, kKeyB);
    key.config().write(goodRegistry);
    EXPECT_EQ(decrypted(storedB_), "pw");
    EXPECT_EQ(decrypted(convertedToV1(storedB_)), "pw");
  }
}

}  // namespace
