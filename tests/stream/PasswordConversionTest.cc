// Re-encryption of password properties by level, through the handlers'
// protocol-version rule: a peer of protocol version 6 gets version 1
// passwords, a peer of version 7 the stored ones.
#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "platform/EvDebug.h"
#include "platform/PropertyBuilder.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/PlainPasswordWatch.h"
#include "fakes/RecordingSession.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"

namespace {

class PasswordConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { EvLog::setSink(log_); }
  void TearDown() override {
    EvLog::setSink(nullptr);
    clearPropList(outgoing_);
    expectNoPlainPasswordInLog(log_->records());
  }

  // The outgoing path of a handler, for a peer of the given protocol version.
  void sendTo(unsigned int protocol, int level) {
    session_.setProtocolVersion(protocol);
    EvEvent ev;
    if (peerNeedsPasswordConversion(peerProtocolVersion(session_, ev, "Handler"))) {
      streamer_.convertPasswords(outgoing_, level, XR_PASSWORD_VER_1);
    }
  }
  std::string first() const { return outgoing_.front()->value; }

  ScopedDevPasswordKey key_;
  const std::string stored_ = key_.encryptV2("s3cret");
  std::shared_ptr<MemoryLogSink> log_ = std::make_shared<MemoryLogSink>();
  RecordingSession session_;
  Streamer streamer_;
  AppMgrPropsList outgoing_;
};

// Level 1 names match exactly; levels 3 and 5 ignore case; no level matches
// a part of a name or another level's names, and other levels convert
// nothing. A converted value is a version 1 password in a new buffer.
TEST_F(PasswordConversionTest, Version6PeerGetsTheLevelsOwnPasswordsInVersion1) {
  constexpr int kClient = CONV_PWD_CLIENT_PROPS_LEVEL, kInst = CONV_PWD_INST_PROPS_LEVEL;
  constexpr int kSubclient = CONV_PWD_SC_PROPS_LEVEL;
  const struct {
    int level;
    const char* name;
    bool converts;
  } cases[] = {{kClient, "FS User Password", true},
               {kClient, "AD User Password", true},
               {kInst, "Oracle Catalog Connect Password", true},
               {kInst, "exchange USER password", true},
               {kSubclient, "unc content password", true},
               {kClient, "fs user password", false},
               {kClient, "AD User Password ", false},
               {kInst, "Oracle Passwords", false},
               {kInst, "FS User Password", false},
               {kSubclient, "UNC Content", false},
               {NO_CONVERSIONS, "FS User Password", false},
               {CONV_PWD_APPTYPE_PROPS_LEVEL, "Oracle Password", false},
               {1 << 20, "UNC Content Password", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " at level " + std::to_string(c.level));
    clearPropList(outgoing_);
    appendProperty(outgoing_, c.name, 1, stored_);
    sendTo(7, c.level);
    EXPECT_EQ(first(), stored_);
    const auto before = reinterpret_cast<std::uintptr_t>(outgoing_.front()->value);
    sendTo(6, c.level);
    if (!c.converts) {
      EXPECT_EQ(first(), stored_);
      continue;
    }
    EXPECT_NE(reinterpret_cast<std::uintptr_t>(outgoing_.front()->value), before);
    EXPECT_EQ(first().rfind("XRPW1:", 0), 0u);
    EXPECT_EQ(key_.decrypt(first()), "s3cret");
  }
  EXPECT_TRUE(log_->records().empty());
  // An unknown peer version is logged and taken as a new peer (0x1003).
  session_.failProtocolVersion("no version");
  appendProperty(outgoing_, "FS User Password", 1, stored_);
  sendTo(6, kClient);
  EXPECT_EQ(outgoing_.back()->value, stored_);
  EXPECT_EQ(log_->count("Error getting protocol version [no version]. Will use default encryption."), 1u);
}

TEST_F(PasswordConversionTest, UnconvertibleValueStaysAndIsLogged) {
  const char* kFailure = "Could not perform version conversion! Will return value with default encyption.";
  appendProperty(outgoing_, "Informix Password", 1, "plain text");
  streamer_.convertPasswords(outgoing_, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
  EXPECT_EQ(first(), "plain text");
  clearPropList(outgoing_);
  appendProperty(outgoing_, "Oracle Password", 1, stored_);
  key_.removeKeyFile();
  streamer_.convertPasswords(outgoing_, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
  EXPECT_EQ(first(), stored_);
  EXPECT_EQ(log_->textsFor("Streamer::convertPasswords"), (std::vector<std::string>{kFailure, kFailure}));
}

}  // namespace
