// Global parameter reads, end to end through the dispatcher.
#include <optional>
#include <string>

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

using GlobalParamTest = ListenerTest;

TEST_F(GlobalParamTest, ValueEmptyValueAndMissingParameter) {
  const struct {
    const char* name;
    const char* stored;
    uint32_t errorCode;
    std::optional<std::string> sent;  // an empty value is an empty text, a failure a null
  } cases[] = {
      {"nMaxStreams", "8", 0, "8"}, {"sEmpty", "", 0, ""}, {"sNone", "", XR_INVALID_GLOBAL_PROP, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_CALL(store(), getGlobalParam(c.name, _, _))
        .WillOnce(DoAll(SetArgReferee<1>(c.stored), SetArgReferee<2>("store text is not passed on"),
                        Return(c.errorCode)));
    Request<appmanGlobalParamReq> req;
    req.record().paramName = c.name;
    RecordingSession session;
    session.failSends();  // a failed send changes nothing
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, APPMAN_GLOBAL_PARAM_REQ, req.buf()),
              static_cast<int>(c.errorCode));
    const SentResponse& sent = answer(session, APPMAN_GLOBAL_PARAM_REQ);
    EXPECT_EQ(sent.text(offsetof(appmanGlobalParamRsp, paramValue)), c.sent);
    EXPECT_EQ(sent.as<appmanGlobalParamRsp>().errorCode, c.errorCode);
    EXPECT_EQ(sent.errorText, "");
  }
  EXPECT_EQ(log().count("Request Type [0x1a001031], sending response Code [0] back to client"), 2u);
  EXPECT_EQ(log().count("Error []"), 1u);
}
