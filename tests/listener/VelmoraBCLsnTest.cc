// Velmora lookups by id and by name, end to end through the dispatcher.
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

VelmoraRow sampleRow() {
  VelmoraRow row;
  row.id = 0x100000005;  // wider than the request's 32-bit id
  row.name = "north";
  row.releaseId = 11;
  row.flags = 0x1ffffffff;
  row.timeZoneId = 42;
  row.hostName = "north.example";
  row.utcOffsetMinutes = -300;
  return row;
}

// The record a failed lookup must send: nothing but the error code.
appmanVelmoraRsp failedRecord(uint32_t errorCode) {
  appmanVelmoraRsp rsp;
  rsp.errorCode = errorCode;
  return rsp;
}

}  // namespace

using VelmoraLookupTest = ListenerTest;

TEST_F(VelmoraLookupTest, ByIdReadsOnly32BitsAndCopiesEveryOutput) {
  Request<appmanVelmoraByIdReq> req;
  req.record().velmoraId = 5;
  req.record().pad0 = 0xdeadbeef;  // host bytes beside the id are never read
  req.record().context = 0x77;
  EXPECT_CALL(store(), findVelmora(5, "", _, _)).WillOnce(DoAll(SetArgReferee<2>(sampleRow()), Return(0)));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_ID_REQ, req.buf()), 0);

  const SentResponse& sent = session_.only();
  EXPECT_EQ(sent.responseCode, APPMAN_VELMORA_BY_ID_RSP);
  EXPECT_EQ(sent.length, 72u);
  const auto rsp = sent.as<appmanVelmoraRsp>();
  EXPECT_EQ(rsp.velmoraId, 5u);
  EXPECT_EQ(rsp.idCopy, 0x100000005u);
  EXPECT_EQ(rsp.value1, 11u);
  EXPECT_EQ(rsp.value2, 0xffffffffu);
  EXPECT_EQ(rsp.value3, 42u);
  EXPECT_EQ(rsp.signedValue, -300);
  EXPECT_EQ(rsp.context, 0x77u);
  EXPECT_EQ(rsp.errorCode, 0u);
  EXPECT_EQ(rsp.reserved, 0u);
  EXPECT_EQ(sent.text(offsetof(appmanVelmoraRsp, velmoraName)), "north");
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [0] back to client"), 1u);
}

TEST_F(VelmoraLookupTest, ByNamePassesNameAndZeroId) {
  Request<appmanVelmoraByNameReq> req;
  req.record().velmoraName = "north";
  req.record().context = 9;
  EXPECT_CALL(store(), findVelmora(0, "north", _, _))
      .WillOnce(DoAll(SetArgReferee<2>(sampleRow()), Return(0)));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_NAME_REQ, req.buf()), 0);

  const SentResponse& sent = session_.only();
  EXPECT_EQ(sent.responseCode, APPMAN_VELMORA_BY_NAME_RSP);
  EXPECT_EQ(sent.length, 72u);
  EXPECT_EQ(sent.as<appmanVelmoraRsp>().context, 9u);
  EXPECT_EQ(sent.text(offsetof(appmanVelmoraRsp, velmoraName)), "north");
}

TEST_F(VelmoraLookupTest, StoreFailureStillSendsOneResponseWithOnlyTheErrorCode) {
  Request<appmanVelmoraByIdReq> req;
  req.record().velmoraId = 99;
  req.record().context = 0x77;
  EXPECT_CALL(store(), findVelmora(99, "", _, _))
      .WillOnce(DoAll(SetArgReferee<3>("Velmora 99 not found"), Return(XR_VELMORA_NOT_FOUND)));
  session_.failSends();  // a failed send changes nothing

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_ID_REQ, req.buf()),
            static_cast<int>(XR_VELMORA_NOT_FOUND));

  const SentResponse& sent = session_.only();
  const appmanVelmoraRsp expected = failedRecord(XR_VELMORA_NOT_FOUND);
  EXPECT_EQ(std::memcmp(sent.bytes.data(), &expected, sizeof expected), 0);
  EXPECT_EQ(sent.errorText, "Velmora 99 not found");
  EXPECT_EQ(log().count("Error [Velmora 99 not found]"), 1u);
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [131073] back to client"), 1u);
}

TEST_F(VelmoraLookupTest, EmptyNameReachesTheStore) {
  Request<appmanVelmoraByNameReq> req;
  req.record().velmoraName = "";
  EXPECT_CALL(store(), findVelmora(0, "", _, _)).WillOnce(Return(XR_VELMORA_NOT_FOUND));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_NAME_REQ, req.buf()),
            static_cast<int>(XR_VELMORA_NOT_FOUND));
  EXPECT_EQ(session_.only().as<appmanVelmoraRsp>().errorCode, XR_VELMORA_NOT_FOUND);
}
