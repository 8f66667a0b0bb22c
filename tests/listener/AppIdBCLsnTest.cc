// Application-id resolution: the access-mode rule and both handlers, end to
// end through the dispatcher.
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/AppIdInfo.h"
#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::AllOf;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

// Only the low 32 bits of the application id travel.
const ApplicationRow kResolved{0x100000017, 3, 4, 2, 5, 29, 6, 7, 8, "", "", ""};

TEST(AppIdAccessModeTest, FirstMatchingRuleWins) {
  // {appId, velmoraId, clientId, appTypeId, instanceId, backupSetId, subclientId}, names, mode
  struct Case {
    unsigned long ids[7];
    const char* names[3];
    int mode;
  } cases[] = {
      {{0, 2, 5, 29, 0, 0, 0}, {"inst", "bs", "sc"}, 3},
      {{23, 2, 5, 29, 0, 0, 0}, {"inst", "bs", "sc"}, 2},  // rule 1 before rule 2
      {{0, 2, 5, 29, 6, 0, 0}, {"", "bs", "sc"}, 4},
      {{0, 2, 5, 29, 6, 7, 0}, {"", "", "sc"}, 5},
      {{0, 2, 5, 29, 6, 7, 8}, {"", "", ""}, 6},
      {{0, 2, 5, 29, 6, 0, 8}, {"", "", ""}, 0},
      {{23, 0, 5, 29, 6, 7, 8}, {"inst", "", ""}, 0},
  };
  for (const Case& c : cases) {
    AppIdInfo info;
    unsigned long* fields[] = {&info.appId,      &info.velmoraId,   &info.clientId,   &info.appTypeId,
                               &info.instanceId, &info.backupSetId, &info.subclientId};
    for (int i = 0; i < 7; ++i) *fields[i] = c.ids[i];
    info.instanceName = c.names[0];
    info.backupSetName = c.names[1];
    info.subclientName = c.names[2];
    info.setAccessMode();
    EXPECT_EQ(info.accessMode, c.mode) << "case " << (&c - cases);
  }
}

using AppIdLookupTest = ListenerTest;

TEST_F(AppIdLookupTest, NumericIdResolvesToEveryIdWithAppIdTwice) {
  Request<appmanAppIdNumReq> req;
  req.record() = {2, 23, 0x55};
  EXPECT_CALL(
      store(),
      findApplication(ApplicationKey::kNumeric,
                      AllOf(Field(&ApplicationRow::velmoraId, 2u), Field(&ApplicationRow::appId, 23u)), _, _))
      .WillOnce(DoAll(SetArgReferee<2>(kResolved), Return(0)));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_NUM_APPID_REQ, req.buf()), 0);

  const auto rsp = answer(session_, APPMAN_NUM_APPID_REQ).as<appmanAppIdRsp>();
  const uint32_t expected[] = {0x17, 2, 5, 0x17, 29, 6, 7, 8, 3, 4};
  EXPECT_EQ(std::memcmp(&rsp, expected, sizeof expected), 0);
  EXPECT_EQ(rsp.context, 0x55u);
  EXPECT_EQ(rsp.errorCode, 0u);
  // The application-id handlers log no send line.
  EXPECT_EQ(log().textsFor("AppIdBCLsn::getNumApplicationId"), std::vector<std::string>{" "});
}

TEST_F(AppIdLookupTest, SymbolicIdWithAllSixIdsUsesTheIdKey) {
  Request<appmanAppIdSymReq> req;
  req.record() = {0xffffffff, 2, 5, 29, 6, 7, 8, 0, 0x66};
  EXPECT_CALL(store(), findApplication(ApplicationKey::kIds, Field(&ApplicationRow::subclientId, 8u), _, _))
      .WillOnce(DoAll(SetArgReferee<2>(kResolved), Return(0)));

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_SYM_APPID_REQ, req.buf()), 0);
  const auto rsp = answer(session_, APPMAN_SYM_APPID_REQ).as<appmanAppIdRsp>();
  EXPECT_EQ(rsp.appId, 0x17u);
  EXPECT_EQ(rsp.context, 0x66u);
}

TEST_F(AppIdLookupTest, IncompleteIdsReachTheDatabaseWithModeZeroAndFailWithOnlyTheErrorCode) {
  // Mode 0 with velmoraId and appId unset names no application: the
  // database answers XR_APPID_BAD_ARGS without asking the store.
  Request<appmanAppIdNumReq> numeric;
  numeric.record().velmoraId = 2;
  Request<appmanAppIdSymReq> symbolic;
  symbolic.record() = {0, 2, 5, 29, 6, 0, 8, 0, 0x66};
  session_.failSends();

  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_NUM_APPID_REQ, numeric.buf()),
            static_cast<int>(XR_APPID_BAD_ARGS));
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_SYM_APPID_REQ, symbolic.buf()),
            static_cast<int>(XR_APPID_BAD_ARGS));

  ASSERT_EQ(session_.sent().size(), 2u);
  for (const SentResponse& sent : session_.sent()) {
    appmanAppIdRsp expected;
    expected.errorCode = XR_APPID_BAD_ARGS;
    EXPECT_EQ(std::memcmp(sent.bytes.data(), &expected, sizeof expected), 0);
    EXPECT_FALSE(sent.errorText.empty());
  }
  EXPECT_EQ(log().count("Error [" + session_.sent()[0].errorText + "]"), 2u);
}

}  // namespace
