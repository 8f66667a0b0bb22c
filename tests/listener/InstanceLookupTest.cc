// Instance lookup: the response text byte for byte, content only for
// application type 7 with the Notes prefixes, passwords converted only for
// version 6 peers, and one 0xC201 response with empty lists on every failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/InstanceBCLsn.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/TestEnvironment.h"
#include "listener/LookupTestSupport.h"

using namespace lookup_test;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr uint64_t kInstanceId = 77;

class InstanceLookupTest : public ListenerTest {
 protected:
  void expectInstance(const std::string& name) {
    InstanceRow row;
    row.name = name;
    EXPECT_CALL(store(), findInstance(kInstanceId, _, _)).WillOnce(DoAll(SetArgReferee<1>(row), Return(0)));
  }
  int run(RecordingSession& session, Request<appmanObjectReq>& request) {
    InstanceBCLsn listener;
    const int result = listener.handleMessage(session, APPMAN_INSTANCE_BY_ID_REQ, request.buf());
    EXPECT_TRUE(listener.propList.empty());
    EXPECT_TRUE(listener.contentList.empty());
    return result;
  }
};

TEST_F(InstanceLookupTest, OtherApplicationTypeSendsNameAndPropertiesOnly) {
  expectApplication(store(), 13);
  expectInstance("inst one+`");
  expectProperties(store(), PropertyOwner::kInstance, kInstanceId,
                   {{"`Home Dir", 4, "/opt/a b"}, {"", 12, "+"}});
  Request<appmanObjectReq> request = objectRequest(kInstanceId);

  EXPECT_EQ(run(session_, request), 0);
  EXPECT_EQ(streamText(session_), "inst+1one+2` 2 0 ``Home+1Dir 4 /opt/a+1b 0 ` 12 +2 ");
  EXPECT_EQ(session_.only().as<appmanGeneralMsg>().errorCode, 0u);
  EXPECT_THAT(
      log().textsFor("InstanceBCLsn::lookupInstanceById"),
      ::testing::ElementsAre(" ", "Request Type [0x1a003111], sending response Code [0] back to client"));
}

TEST_F(InstanceLookupTest, TypeSevenAddsContentWithNotesPrefixes) {
  expectApplication(store(), 7);
  expectInstance("notes");
  expectProperties(store(), PropertyOwner::kInstance, kInstanceId, {});
  EXPECT_CALL(store(), listInstanceContent(kInstanceId, _, _))
      .WillOnce(
          DoAll(SetArgReferee<1>(std::vector<ContentRow>{{9, "mail/a.nsf"}, {10, "By Date"}, {3, "`db x"}}),
                Return(0)));
  Request<appmanObjectReq> request = objectRequest(kInstanceId);

  EXPECT_EQ(run(session_, request), 0);
  EXPECT_EQ(streamText(session_), "notes 0 3 NotesProfile:mail/a.nsf NotesView:By+1Date ``db+1x ");
}

TEST_F(InstanceLookupTest, OnlyVersionSixPeerGetsPasswordsInVersionOne) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("s3cret");
  const std::string storedText = "i 2 0 ORACLE+1password 5 " + escaped(stored) + " 0 Owner 1 dba ";
  for (const int version : {6, 7, -1}) {
    SCOPED_TRACE(version);
    RecordingSession session;
    setPeerVersion(session, version);
    expectApplication(store(), 13);
    expectInstance("i");
    expectProperties(store(), PropertyOwner::kInstance, kInstanceId,
                     {{"ORACLE password", 5, stored}, {"Owner", 1, "dba"}});
    Request<appmanObjectReq> request = objectRequest(kInstanceId);
    ASSERT_EQ(run(session, request), 0);
    expectPasswordToken(key, streamText(session).value_or(""), storedText, 5, version == 6 ? "s3cret" : "");
  }
  EXPECT_EQ(log().count("Error getting protocol version [no version]. Will use default encryption."), 1u);
}

TEST_F(InstanceLookupTest, UnreadableRequestMakesNoDatabaseCall) {
  Request<appmanObjectReq> noData;
  noData.buf()->data = nullptr;
  Request<appmanObjectReq> requests[] = {objectRequest(kInstanceId, "2-1045"),
                                         objectRequest(kInstanceId, nullptr), noData};
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

TEST_F(InstanceLookupTest, DatabaseFailureAtAnyStepSendsStreamFailure) {
  for (int failAt = 0; failAt < 4; ++failAt) {
    SCOPED_TRACE(failAt);
    const std::string text = "step " + std::to_string(failAt) + " failed";
    if (failAt == 0) {
      EXPECT_CALL(store(), findApplication(_, _, _, _))
          .WillOnce(DoAll(SetArgReferee<3>(text), Return(XR_APPID_NOT_FOUND)));
    } else {
      expectApplication(store(), 7);
    }
    if (failAt == 1) {
      EXPECT_CALL(store(), findInstance(kInstanceId, _, _))
          .WillOnce(DoAll(SetArgReferee<2>(text), Return(XR_INSTANCE_NOT_FOUND)));
    } else if (failAt > 1) {
      expectInstance("i");
    }
    if (failAt == 2) {
      EXPECT_CALL(store(), listProperties(PropertyOwner::kInstance, kInstanceId, kPassThrough, _, _))
          .WillOnce(DoAll(SetArgReferee<4>(text), Return(XR_PROP_NOT_FOUND)));
    } else if (failAt > 2) {
      expectProperties(store(), PropertyOwner::kInstance, kInstanceId, {{"a", 1, "b"}});
      EXPECT_CALL(store(), listInstanceContent(kInstanceId, _, _))
          .WillOnce(DoAll(SetArgReferee<2>(text), Return(XR_CONTENT_NOT_FOUND)));
    }
    RecordingSession session;
    Request<appmanObjectReq> request = objectRequest(kInstanceId);
    expectFailure(session, run(session, request));
    EXPECT_EQ(session.only().errorText, text);
    EXPECT_EQ(log().count("General Listener Exception:" + text), 1u);
  }
}

}  // namespace
