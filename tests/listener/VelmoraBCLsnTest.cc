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

constexpr size_t kNameField = offsetof(appmanVelmoraRsp, velmoraName);

// The id is wider than the request's 32 bits, and so are the flags.
const VelmoraRow kRow{0x100000005, "north", 11, 0x1ffffffff, 42, "north.example", "", "", "", -300};

using VelmoraLookupTest = ListenerTest;

TEST_F(VelmoraLookupTest, ByIdReadsOnly32BitsAndCopiesEveryOutput) {
  Request<appmanVelmoraByIdReq> req;
  req.record().velmoraId = 5;
  req.record().pad0 = 0xdeadbeef;  // host bytes beside the id are never read
  req.record().context = 0x77;
  EXPECT_CALL(store(), findVelmora(5, "", _, _)).WillOnce(DoAll(SetArgReferee<2>(kRow), Return(0)));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_ID_REQ, req.buf()), 0);

  const SentResponse& sent = answer(session_, APPMAN_VELMORA_BY_ID_REQ);
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
  EXPECT_EQ(sent.text(kNameField), "north");
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [0] back to client"), 1u);
}

TEST_F(VelmoraLookupTest, ByNamePassesEvenAnEmptyNameWithIdZero) {
  for (const char* name : {"north", ""}) {
    Request<appmanVelmoraByNameReq> req;
    req.record().velmoraName = name;
    req.record().context = 9;
    EXPECT_CALL(store(), findVelmora(0, name, _, _)).WillOnce(DoAll(SetArgReferee<2>(kRow), Return(0)));
    RecordingSession session;

    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, APPMAN_VELMORA_BY_NAME_REQ, req.buf()), 0);
    const SentResponse& sent = answer(session, APPMAN_VELMORA_BY_NAME_REQ);
    EXPECT_EQ(sent.as<appmanVelmoraRsp>().context, 9u);
    EXPECT_EQ(sent.text(kNameField), "north");
  }
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

  const SentResponse& sent = answer(session_, APPMAN_VELMORA_BY_ID_REQ);
  appmanVelmoraRsp expected;
  expected.errorCode = XR_VELMORA_NOT_FOUND;
  EXPECT_EQ(std::memcmp(sent.bytes.data(), &expected, sizeof expected), 0);
  EXPECT_EQ(sent.errorText, "Velmora 99 not found");
  EXPECT_EQ(log().count("Error [Velmora 99 not found]"), 1u);
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [131073] back to client"), 1u);
}

}  // namespace
