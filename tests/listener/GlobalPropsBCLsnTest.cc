// Global parameter reads, end to end through the dispatcher.
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
constexpr size_t kValueField = offsetof(appmanGlobalParamRsp, paramValue);
}  // namespace

class GlobalParamTest : public ListenerTest {
 protected:
  int ask(const char* name) {
    req_.record().paramName = name;
    return BCLsnMsgHandler::handleMessage(session_, APPMAN_GLOBAL_PARAM_REQ, req_.buf());
  }
  Request<appmanGlobalParamReq> req_;
};

TEST_F(GlobalParamTest, ValueIsReturned) {
  EXPECT_CALL(store(), getGlobalParam("nMaxStreams", _, _)).WillOnce(DoAll(SetArgReferee<1>("8"), Return(0)));
  EXPECT_EQ(ask("nMaxStreams"), 0);
  const SentResponse& sent = session_.only();
  EXPECT_EQ(sent.responseCode, APPMAN_GLOBAL_PARAM_RSP);
  EXPECT_EQ(sent.length, 16u);
  EXPECT_EQ(sent.text(kValueField), "8");
  EXPECT_EQ(log().count("Request Type [0x1a001031], sending response Code [0] back to client"), 1u);
}

TEST_F(GlobalParamTest, EmptyValueIsAnEmptyTextNotNull) {
  EXPECT_CALL(store(), getGlobalParam("sEmpty", _, _)).WillOnce(Return(0));
  EXPECT_EQ(ask("sEmpty"), 0);
  EXPECT_EQ(session_.only().text(kValueField), "");
}

TEST_F(GlobalParamTest, MissingParameterSendsNullValueAndEmptyErrorText) {
  EXPECT_CALL(store(), getGlobalParam("sNone", _, _))
      .WillOnce(DoAll(SetArgReferee<2>("store text is not passed on"), Return(XR_INVALID_GLOBAL_PROP)));
  session_.failSends();
  EXPECT_EQ(ask("sNone"), static_cast<int>(XR_INVALID_GLOBAL_PROP));
  const SentResponse& sent = session_.only();
  EXPECT_EQ(sent.text(kValueField), std::nullopt);
  EXPECT_EQ(sent.as<appmanGlobalParamRsp>().errorCode, XR_INVALID_GLOBAL_PROP);
  EXPECT_EQ(sent.errorText, "");
  EXPECT_EQ(log().count("Error []"), 1u);
}
