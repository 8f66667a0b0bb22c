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
#include "fakes/RecordingSession.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"

namespace {

constexpr char kTag[] = "Streamer::convertPasswords";
constexpr char kFailure[] = "Could not perform version conversion! Will return value with default encyption.";

class PasswordConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { EvLog::setSink(log_); }
  void TearDown() override {
    EvLog::setSink(nullptr);
    clearPropList(outgoing_);
    for (const ApplProperty* p : incoming_) delete p;
  }

  // The outgoing path of a handler, for a peer of the given protocol version.
  void sendTo(unsigned int protocol, int level) {
    session_.setProtocolVersion(protocol);
    EvEvent ev;
    if (peerNeedsPasswordConversion(peerProtocolVersion(session_, ev, "Handler"))) {
      streamer_.convertPasswords(outgoing_, level, XR_PASSWORD_VER_1);
    }
  }
  const char* valueOf(const char* name) const {
    for (const AppMgrProps* p : outgoing_) {
      if (std::string(p->name) == name) return p->value;
    }
    return nullptr;
  }

  ScopedDevPasswordKey key_;
  std::shared_ptr<MemoryLogSink> log_ = std::make_shared<MemoryLogSink>();
  RecordingSession session_;
  Streamer streamer_;
  AppMgrPropsList outgoing_;
  Streamer::PropertyList incoming_;
};

const struct {
  int level;
  const char* name;
} kPasswordProps[] = {{CONV_PWD_CLIENT_PROPS_LEVEL, "FS User Password"},
                      {CONV_PWD_CLIENT_PROPS_LEVEL, "AD User Password"},
                      {CONV_PWD_INST_PROPS_LEVEL, "Oracle Catalog Connect Password"},
                      {CONV_PWD_INST_PROPS_LEVEL, "exchange USER password"},
                      {CONV_PWD_SC_PROPS_LEVEL, "unc content password"}};

TEST_F(PasswordConversionTest, Version6PeerGetsVersion1PasswordsVersion7StoredOnes) {
  for (const auto& c : kPasswordProps) {
    SCOPED_TRACE(c.name);
    const std::string stored = key_.encryptV2("s3cret");
    appendProperty(outgoing_, c.name, 1, stored);
    appendProperty(outgoing_, "Log Level", 1, stored);
    sendTo(7, c.level);
    EXPECT_EQ(valueOf(c.name), stored);
    sendTo(6, c.level);
    EXPECT_EQ(std::string(valueOf(c.name)).rfind("XRPW1:", 0), 0u);
    EXPECT_EQ(key_.decrypt(valueOf(c.name)), "s3cret");
    EXPECT_EQ(valueOf("Log Level"), stored);
    clearPropList(outgoing_);
  }
  EXPECT_TRUE(log_->textsFor(kTag).empty());
}

TEST_F(PasswordConversionTest, UnknownProtocolVersionIsLoggedAndLeavesValues) {
  session_.failProtocolVersion("no version");
  appendProperty(outgoing_, "FS User Password", 1, key_.encryptV2("pw"));
  const std::string stored = valueOf("FS User Password");
  EvEvent ev;
  EXPECT_EQ(peerProtocolVersion(session_, ev, "Handler"), 0x1003u);
  EXPECT_EQ(log_->count("Error getting protocol version [no version]. Will use default encryption."), 1u);
  sendTo(7, CONV_PWD_CLIENT_PROPS_LEVEL);
  EXPECT_EQ(valueOf("FS User Password"), stored);
}

TEST_F(PasswordConversionTest, IncomingVersion1PasswordsBecomeVersion2) {
  PropertyBuilder builder;
  incoming_.push_back(builder.build("UNC Content Password", 1, key_.encryptV1("pw"), 0));
  incoming_.push_back(builder.build("Other", 1, key_.encryptV1("pw"), 0));
  const std::string other = incoming_.back()->getValue();
  streamer_.convertPasswords(incoming_, CONV_PWD_SC_PROPS_LEVEL, XR_PASSWORD_VER_2);
  EXPECT_EQ(std::string(incoming_.front()->getValue()).rfind("XRPW2:", 0), 0u);
  EXPECT_EQ(key_.decrypt(incoming_.front()->getValue()), "pw");
  EXPECT_EQ(incoming_.back()->getValue(), other);
}

TEST_F(PasswordConversionTest, LevelsWithoutPasswordsTouchNothingAndLogNothing) {
  for (const auto& c : kPasswordProps) appendProperty(outgoing_, c.name, 1, "not encrypted");
  for (int level :
       {NO_CONVERSIONS, CONV_PWD_APPTYPE_PROPS_LEVEL, CONV_PWD_BSET_PROPS_LEVEL, 6, -1, 1 << 20}) {
    streamer_.convertPasswords(outgoing_, level, XR_PASSWORD_VER_1);
  }
  for (const AppMgrProps* p : outgoing_) EXPECT_STREQ(p->value, "not encrypted");
  EXPECT_TRUE(log_->records().empty());
}

TEST_F(PasswordConversionTest, OnlyWholeNamesMatch) {
  const std::string stored = key_.encryptV2("pw");
  // Client names match exactly with case; a part of a name never matches.
  for (const char* name : {"User", "", "fs user password", "AD User Password "}) {
    appendProperty(outgoing_, name, 1, stored);
  }
  streamer_.convertPasswords(outgoing_, CONV_PWD_CLIENT_PROPS_LEVEL, XR_PASSWORD_VER_1);
  appendProperty(outgoing_, "Oracle Passwords", 1, stored);
  streamer_.convertPasswords(outgoing_, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
  for (const AppMgrProps* p : outgoing_) EXPECT_EQ(p->value, stored) << p->name;
}

TEST_F(PasswordConversionTest, LongerResultGetsANewBufferShorterReusesTheOld) {
  appendProperty(outgoing_, "FS User Password", 1, key_.encryptV2("pw"));
  const auto before = reinterpret_cast<std::uintptr_t>(outgoing_.front()->value);
  streamer_.convertPasswords(outgoing_, CONV_PWD_CLIENT_PROPS_LEVEL, XR_PASSWORD_VER_1);
  const auto longer = reinterpret_cast<std::uintptr_t>(outgoing_.front()->value);
  EXPECT_NE(longer, before);
  streamer_.convertPasswords(outgoing_, CONV_PWD_CLIENT_PROPS_LEVEL, XR_PASSWORD_VER_2);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(outgoing_.front()->value), longer);
  EXPECT_EQ(key_.decrypt(outgoing_.front()->value), "pw");
}

TEST_F(PasswordConversionTest, UnconvertibleValueStaysAndIsLogged) {
  const std::string stored = key_.encryptV2("pw");
  appendProperty(outgoing_, "Informix Password", 1, "plain text");
  streamer_.convertPasswords(outgoing_, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
  EXPECT_STREQ(outgoing_.front()->value, "plain text");
  clearPropList(outgoing_);

  appendProperty(outgoing_, "Oracle Password", 1, stored);
  key_.removeKeyFile();
  streamer_.convertPasswords(outgoing_, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
  EXPECT_EQ(outgoing_.front()->value, stored);
  EXPECT_EQ(log_->textsFor(kTag), (std::vector<std::string>{kFailure, kFailure}));
}

}  // namespace
