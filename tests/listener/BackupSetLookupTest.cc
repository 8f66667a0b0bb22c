// Backup set lookup: the response text byte for byte, the flag token, and
// one 0xC201 response with an empty property list on every failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BackupSetBCLsn.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/TestEnvironment.h"
#include "listener/LookupTestSupport.h"

using namespace lookup_test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr uint64_t kBackupSetId = 31;

class BackupSetLookupTest : public ListenerTest {
 protected:
  void expectBackupSet(const std::string& name, int64_t flags) {
    BackupSetRow row;
    row.id = kBackupSetId;
    row.name = name;
    row.flags = flags;
    EXPECT_CALL(store(), findBackupSet(kBackupSetId, _, _)).WillOnce(DoAll(SetArgReferee<1>(row), Return(0)));
  }
  int run(RecordingSession& session, xrsDatabuf* buf) {
    BackupSetBCLsn listener;
    const int result = listener.handleMessage(session, APPMAN_BACKUPSET_BY_ID_REQ, buf);
    EXPECT_TRUE(listener.propList.empty());
    return result;
  }
  int run(Request<appmanObjectReq>& request) { return run(session_, request.buf()); }
};

TEST_F(BackupSetLookupTest, SendsEscapedNameFlagTokenAndProperties) {
  expectBackupSet("`nightly set+1", 8);
  expectProperties(store(), PropertyOwner::kBackupSet, kBackupSetId,
                   {{"Retain Days", 3, "a b+c"}, {"`Tag", 0xFFFFFFFFul, ""}});
  Request<appmanObjectReq> request = objectRequest(kBackupSetId);

  EXPECT_EQ(run(request), 0);
  EXPECT_EQ(streamText(session_), "``nightly+1set+21 true 2 0 Retain+1Days 3 a+1b+2c 0 ``Tag -1 ` ");
  EXPECT_EQ(session_.only().as<appmanGeneralMsg>().errorCode, 0u);
  EXPECT_EQ(session_.versionQueries(), 0);
  EXPECT_THAT(
      log().textsFor("BackupSetBCLsn::lookupBackupSetById"),
      ::testing::ElementsAre(" ", "Request Type [0x1a003211], sending response Code [0] back to client"));
}

TEST_F(BackupSetLookupTest, FlagBitThreeAloneSelectsTrueToken) {
  const std::pair<int64_t, const char*> cases[] = {{0, "false"}, {7, "false"}, {8, "true"},
                                                   {9, "true"},  {15, "true"}, {16, "false"}};
  for (const auto& [flags, token] : cases) {
    SCOPED_TRACE(flags);
    expectBackupSet("set", flags);
    expectProperties(store(), PropertyOwner::kBackupSet, kBackupSetId, {});
    RecordingSession session;
    Request<appmanObjectReq> request = objectRequest(kBackupSetId);
    EXPECT_EQ(run(session, request.buf()), 0);
    EXPECT_EQ(streamText(session), std::string("set ") + token + " 0 ");
  }
}

TEST_F(BackupSetLookupTest, OldPeerGetsStoredPasswords) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("pw");
  session_.setProtocolVersion(6);
  expectBackupSet("set", 0);
  expectProperties(store(), PropertyOwner::kBackupSet, kBackupSetId,
                   {{"Oracle Password", 1, stored}, {"UNC Content Password", 1, stored}});
  Request<appmanObjectReq> request = objectRequest(kBackupSetId);

  EXPECT_EQ(run(request), 0);
  EXPECT_EQ(streamText(session_), "set false 2 0 Oracle+1Password 1 " + escaped(stored) +
                                      " 0 UNC+1Content+1Password 1 " + escaped(stored) + " ");
}

TEST_F(BackupSetLookupTest, FailureSendsStreamFailureWithTheDatabaseText) {
  for (const bool missing : {true, false}) {
    SCOPED_TRACE(missing);
    const std::string text = missing ? "no such backup set" : "property table locked";
    if (missing) {  // no property read follows
      EXPECT_CALL(store(), findBackupSet(kBackupSetId, _, _))
          .WillOnce(DoAll(SetArgReferee<2>(text), Return(XR_BACKUPSET_NOT_FOUND)));
    } else {  // fails after the name was written
      expectBackupSet("set", 8);
      EXPECT_CALL(store(), listProperties(PropertyOwner::kBackupSet, kBackupSetId, kPassThrough, _, _))
          .WillOnce(DoAll(SetArgReferee<4>(text), Return(XR_PROP_NOT_FOUND)));
    }
    RecordingSession session;
    Request<appmanObjectReq> request = objectRequest(kBackupSetId);
    expectFailure(session, run(session, request.buf()));
    EXPECT_EQ(session.only().errorText, text);
    EXPECT_EQ(log().count("General Listener Exception:" + text), 1u);
  }
  EXPECT_EQ(log().count("Request Type [0x1a003211], sending response Code [49665] back to client"), 2u);

  ConfigStore::install(nullptr);
  Request<appmanObjectReq> request = objectRequest(kBackupSetId);
  expectFailure(session_, run(request));
  EXPECT_EQ(session_.only().errorText, "BSInterfaceDB: no configuration store is installed");
}

TEST_F(BackupSetLookupTest, NullRequestDataIsAnsweredOnce) {
  Request<appmanObjectReq> request;
  request.buf()->data = nullptr;
  expectFailure(session_, run(request));

  RecordingSession second;
  expectFailure(second, run(second, nullptr));
}

}  // namespace
