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

TEST_F(PasswordConversionTest, Version6PeerGetsVersion1PasswordsInANewBufferVersion7StoredOnes) {
  // Level 1 names match exactly; levels 3 and 5 ignore case.
  const std::pair<int, const char*> passwords[] = {
      {CONV_PWD_CLIENT_PROPS_LEVEL, "FS User Password"},
      {CONV_PWD_CLIENT_PROPS_LEVEL, "AD User Password"},
      {CONV_PWD_INST_PROPS_LEVEL, "Oracle Catalog Connect Password"},
      {CONV_PWD_INST_PROPS_LEVEL, "exchange USER password"},
      {CONV_PWD_SC_PROPS_LEVEL, "unc content password"}};
  for (const auto& [level, name] : passwords) {
    clearPropList(outgoing_);
    appendProperty(outgoing_, name, 1, stored_);
    sendTo(7, level);
    EXPECT_EQ(first(), stored_) << name;
    const auto before = reinterpret_cast<std::uintptr_t>(outgoing_.front()->value);
    sendTo(6, level);
    EXPECT_NE(reinterpret_cast<std::uintptr_t>(outgoing_.front()->value), before) << name;
    EXPECT_EQ(first().rfind("XRPW1:", 0), 0u) << name;
    EXPECT_EQ(key_.decrypt(first()), "s3cret") << name;
  }
  EXPECT_TRUE(log_->records().empty());
  // An unknown peer version is logged and taken as a new peer (0x1003).
  session_.failProtocolVersion("no version");
  appendProperty(outgoing_, "FS User Password", 1, stored_);
  sendTo(6, CONV_PWD_CLIENT_PROPS_LEVEL);
  EXPECT_EQ(outgoing_.back()->value, stored_);
  EXPECT_EQ(log_->count("Error getting protocol version [no version]. Will use default encryption."), 1u);
}

TEST_F(PasswordConversionTest, OtherLevelsAndOtherNamesTouchNothingAndLogNothing) {
  for (const char* name : {"FS User Password", "Oracle Password", "UNC Content Password"}) {
    appendProperty(outgoing_, name, 1, stored_);
  }
  for (int level :
       {NO_CONVERSIONS, CONV_PWD_APPTYPE_PROPS_LEVEL, CONV_PWD_BSET_PROPS_LEVEL, 6, -1, 1 << 20}) {
    streamer_.convertPasswords(outgoing_, level, XR_PASSWORD_VER_1);
  }
  for (const AppMgrProps* p : outgoing_) EXPECT_EQ(p->value, stored_) << p->name;
  clearPropList(outgoing_);
  // Level 1 matches names exactly, with case; no level matches a part of a name.
  for (const char* name : {"User", "", "fs user password", "AD User Password ", "Log Level"}) {
    appendProperty(outgoing_, name, 1, stored_);
  }
  streamer_.convertPasswords(outgoing_, CONV_PWD_CLIENT_PROPS_LEVEL, XR_PASSWORD_VER_1);
  appendProperty(outgoing_, "Oracle Passwords", 1, stored_);
  appendProperty(outgoing_, "UNC Content", 1, stored_);
  for (int level : {CONV_PWD_INST_PROPS_LEVEL, CONV_PWD_SC_PROPS_LEVEL}) {
    streamer_.convertPasswords(outgoing_, level, XR_PASSWORD_VER_1);
  }
  for (const AppMgrProps* p : outgoing_) EXPECT_EQ(p->value, stored_) << p->name;
  EXPECT_TRUE(log_->records().empty());
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
