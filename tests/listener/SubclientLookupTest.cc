// Subclient lookup: the response text byte for byte, with content and the
// seven filter groups except for the application types that carry none,
// passwords converted only for version 6 peers, and one 0xC201 response with
// an empty property list on every failure.
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/SubclientBCLsn.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/TestEnvironment.h"
#include "listener/LookupTestSupport.h"

using namespace lookup_test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr uint64_t kSubclientId = 905;
constexpr uint64_t kFileSystemType = 33;

class SubclientLookupTest : public ListenerTest {
 protected:
  void expectSubclient(const std::string& name, int64_t flags) {
    SubclientRow row;
    row.name = name;
    row.flags = flags;
    EXPECT_CALL(store(), findSubclient(kSubclientId, _, _)).WillOnce(DoAll(SetArgReferee<1>(row), Return(0)));
  }
  void expectEntries(int group, const std::vector<std::string>& entries) {
    EXPECT_CALL(store(), listSubclientEntries(kSubclientId, group, _, _))
        .WillOnce(DoAll(SetArgReferee<2>(entries), Return(0)));
  }
  // A subclient without properties.
  void expectBareSubclient(uint64_t appType, int64_t flags) {
    expectApplication(store(), appType);
    expectSubclient("sc", flags);
    expectProperties(store(), PropertyOwner::kSubclient, kSubclientId, {});
  }
  int run(RecordingSession& session, Request<appmanObjectReq>& request) {
    SubclientBCLsn listener;
    const int result = listener.handleMessage(session, APPMAN_SUBCLIENT_BY_ID_REQ, request.buf());
    EXPECT_TRUE(listener.propList.empty());
    return result;
  }
};

TEST_F(SubclientLookupTest, SendsContentAndSevenFilterGroups) {
  ::testing::InSequence inOrder;
  expectApplication(store(), kFileSystemType);
  expectSubclient("default sc", 9);
  expectProperties(store(), PropertyOwner::kSubclient, kSubclientId, {{"Scan Type", 2, "1+1"}});
  expectEntries(kSubclientContentGroup, {"/home/my docs", "a+b", "`x"});
  for (int group = kFirstFilterGroup; group <= kLastFilterGroup; ++group) expectEntries(group, {});
  Request<appmanObjectReq> request = objectRequest(kSubclientId);

  EXPECT_EQ(run(session_, request), 0);
  EXPECT_EQ(
      streamText(session_),
      "default+1sc true 1 0 Scan+1Type 2 1+21 3 /home/my+1docs a+2b ``x 7 2 0 3 0 4 0 5 0 6 0 7 0 8 0 ");
  EXPECT_EQ(session_.only().as<appmanGeneralMsg>().errorCode, 0u);
  EXPECT_THAT(
      log().textsFor("SubclientBCLsn::lookupSubclientById"),
      ::testing::ElementsAre(" ", "Request Type [0x1a003311], sending response Code [0] back to client"));
}

TEST_F(SubclientLookupTest, TypesWithoutContentEndWithZeroAndFlagBitThreeSelectsTrueToken) {
  const std::tuple<uint64_t, int64_t, const char*> cases[] = {
      {2, 0, "false"}, {3, 7, "false"}, {4, 8, "true"}, {16, 9, "true"}, {22, 15, "true"}, {23, 16, "false"}};
  for (const auto& [appType, flags, token] : cases) {
    SCOPED_TRACE(appType);
    expectBareSubclient(appType, flags);
    RecordingSession session;
    Request<appmanObjectReq> request = objectRequest(kSubclientId);
    EXPECT_EQ(run(session, request), 0);
    EXPECT_EQ(streamText(session), std::string("sc ") + token + " 0 0 ");
  }
}

TEST_F(SubclientLookupTest, OnlyVersionSixPeerGetsSubclientPasswordsInVersionOne) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("unc pw");
  // An instance password name is no password at the subclient level.
  const std::string storedText = "sc false 2 0 unc+1content+1password 5 " + escaped(stored) +
                                 " 0 Oracle+1Password 5 " + escaped(stored) + " 0 ";
  for (const int version : {6, 7, -1}) {
    SCOPED_TRACE(version);
    RecordingSession session;
    setPeerVersion(session, version);
    expectApplication(store(), 16);
    expectSubclient("sc", 0);
    expectProperties(store(), PropertyOwner::kSubclient, kSubclientId,
                     {{"unc content password", 5, stored}, {"Oracle Password", 5, stored}});
    Request<appmanObjectReq> request = objectRequest(kSubclientId);
    ASSERT_EQ(run(session, request), 0);
    expectPasswordToken(key, streamText(session).value_or(""), storedText, 6, version == 6 ? "unc pw" : "");
  }
  EXPECT_EQ(log().count("Error getting protocol version [no version]. Will use default encryption."), 1u);
}

TEST_F(SubclientLookupTest, UnreadableRequestMakesNoDatabaseCall) {
  Request<appmanObjectReq> noData;
  noData.buf()->data = nullptr;
  Request<appmanObjectReq> requests[] = {objectRequest(kSubclientId, "21045"),
                                         objectRequest(kSubclientId, nullptr), noData};
  for (Request<appmanObjectReq>& request : requests) {
    RecordingSession session;
    expectFailure(session, run(session, request));
    EXPECT_EQ(session.versionQueries(), 1);
    EXPECT_EQ(session.only().errorText, "");
  }
  EXPECT_EQ(
      log().count("General Listener Exception:Bad Arguments used for constructing ApplicationId object."),
      3u);
}

TEST_F(SubclientLookupTest, DatabaseFailureAtAnyStepSendsStreamFailure) {
  for (int failAt = 0; failAt < 3; ++failAt) {
    SCOPED_TRACE(failAt);
    const std::string text = "step " + std::to_string(failAt) + " failed";
    if (failAt == 0) {
      EXPECT_CALL(store(), findApplication(_, _, _, _))
          .WillOnce(DoAll(SetArgReferee<3>(text), Return(XR_APPID_NOT_FOUND)));
    } else {
      expectApplication(store(), kFileSystemType);
    }
    if (failAt == 1) {
      EXPECT_CALL(store(), findSubclient(kSubclientId, _, _))
          .WillOnce(DoAll(SetArgReferee<2>(text), Return(XR_SUBCLIENT_NOT_FOUND)));
    } else if (failAt == 2) {
      expectSubclient("sc", 0);
      EXPECT_CALL(store(), listProperties(PropertyOwner::kSubclient, kSubclientId, kPassThrough, _, _))
          .WillOnce(DoAll(SetArgReferee<4>(text), Return(XR_PROP_NOT_FOUND)));
    }
    RecordingSession session;
    Request<appmanObjectReq> request = objectRequest(kSubclientId);
    expectFailure(session, run(session, request));
    EXPECT_EQ(session.only().errorText, text);
    EXPECT_EQ(log().count("General Listener Exception:" + text), 1u);
  }
}

TEST_F(SubclientLookupTest, FourthFilterReadFailureStopsTheLookup) {
  ::testing::InSequence inOrder;
  expectApplication(store(), kFileSystemType);
  expectSubclient("sc", 0);
  expectProperties(store(), PropertyOwner::kSubclient, kSubclientId, {{"a", 1, "b"}, {"c", 2, "d"}});
  expectEntries(kSubclientContentGroup, {"/"});
  for (int group = 2; group <= 4; ++group) expectEntries(group, {});
  EXPECT_CALL(store(), listSubclientEntries(kSubclientId, 5, _, _)).WillOnce(Return(XR_CONTENT_NOT_FOUND));
  Request<appmanObjectReq> request = objectRequest(kSubclientId);

  expectFailure(session_, run(session_, request));
  EXPECT_EQ(log().count("Request Type [0x1a003311], sending response Code [49665] back to client"), 1u);
}

}  // namespace
