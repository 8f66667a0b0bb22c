// Dispatch: the request table against the published one, and requests
// without data for every served code. Codes that must not be answered are
// the handle_message fuzz target's job.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/TestEnvironment.h"

using DispatchTest = ListenerTest;

namespace {

using L = ListenerId;
using H = HandlerId;

// The published request table.
const RequestRow kPublished[] = {
    {0x1a001011, L::kVelmora, H::kLookupVelmoraById, 0x1a001012, 72},
    {0x1a001021, L::kVelmora, H::kLookupVelmoraByName, 0x1a001022, 72},
    {0x1a001031, L::kGlobalProps, H::kGetProperty, 0x1a001032, 16},
    {0x1a001111, L::kClient, H::kLookupClientById, 0x1a001112, 80},
    {0x1a001121, L::kClient, H::kLookupClientByName, 0x1a001122, 80},
    {0x1a001123, L::kClient, H::kLookupClientByHostname, 0x1a001124, 80},
    {0x1a002011, L::kAppId, H::kGetNumApplicationId, 0x1a002013, 56},
    {0x1a002012, L::kAppId, H::kGetSymApplicationId, 0x1a002013, 56},
    {0x1a003011, L::kClient, H::kGetProps, 0x1a003912, 32},
    {0x1a003111, L::kInstance, H::kLookupInstanceById, 0x1a003912, 32},
    {0x1a003211, L::kBackupSet, H::kLookupBackupSetById, 0x1a003912, 32},
    {0x1a003311, L::kSubclient, H::kLookupSubclientById, 0x1a003912, 32},
    {0x1a004011, L::kSubclient, H::kUpdateFiles, 0x1a004012, 32},
    {0x1a004021, L::kSubclient, H::kUpdateFilters, 0x1a004022, 32},
    {0x1a004031, L::kSubclient, H::kUpdateProperties, 0x1a004032, 32},
    {0x1a004051, L::kClient, H::kSetPropsByAppId, 0x1a004052, 32},
    {0x1a004061, L::kClient, H::kSetProps, 0x1a004062, 32},
    {0x1a006011, L::kAdapters, H::kDoQuery, 0x1a006012, 32},
    {0x1a006111, L::kAdapters, H::kDoLookup, 0x1a006112, 32},
};

std::string unexpectedLine(unsigned long code) {
  char text[96];
  snprintf(text, sizeof text, "Unexpected network request [%#lx]. Cannot handle this request.", code);
  return text;
}

}  // namespace

TEST(RequestTableTest, MatchesThePublishedTableRowByRow) {
  ASSERT_EQ(kRequestTableSize, std::size(kPublished));
  for (const RequestRow& want : kPublished) {
    SCOPED_TRACE(unexpectedLine(want.requestCode));
    const RequestRow* got = findRequest(want.requestCode);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->listener, want.listener);
    EXPECT_EQ(got->handler, want.handler);
    EXPECT_EQ(got->responseCode, want.responseCode);
    EXPECT_EQ(got->recordLength, want.recordLength);
    EXPECT_EQ(&rowOf(want.handler), got);
  }
}

// A request without a record, or (where the listener reads a request text)
// a zeroed record whose texts are null, is answered once, before any store
// call (the store is strict), with every field zero but the error code and a
// general message's code. The object lookups answer a stream failure
// without an error text.
TEST_F(DispatchTest, MissingRequestDataIsAnsweredOnceWithOnlyTheErrorCode) {
  constexpr size_t kGeneral = offsetof(appmanGeneralMsg, errorCode);
  constexpr size_t kClient = offsetof(appmanClientRsp, errorCode);
  constexpr uint32_t kStream = APPMAN_PROPERTY_STREAM_RSP;
  const struct {
    unsigned long code;
    size_t errorAt;
    uint32_t msgCode;
    uint32_t errorCode;
    bool nullText;
  } cases[] = {
      {APPMAN_VELMORA_BY_ID_REQ, offsetof(appmanVelmoraRsp, errorCode), 0, XR_BAD_ARGS, false},
      {APPMAN_VELMORA_BY_NAME_REQ, offsetof(appmanVelmoraRsp, errorCode), 0, XR_BAD_ARGS, true},
      {APPMAN_GLOBAL_PARAM_REQ, offsetof(appmanGlobalParamRsp, errorCode), 0, XR_BAD_ARGS, true},
      {APPMAN_NUM_APPID_REQ, offsetof(appmanAppIdRsp, errorCode), 0, XR_BAD_ARGS, false},
      {APPMAN_SYM_APPID_REQ, offsetof(appmanAppIdRsp, errorCode), 0, XR_BAD_ARGS, false},
      {APPMAN_CLIENT_BY_ID_REQ, kClient, 0, XR_BAD_ARGS, false},
      {APPMAN_CLIENT_BY_NAME_REQ, kClient, 0, XR_BAD_ARGS, true},
      {APPMAN_CLIENT_BY_HOSTNAME_REQ, kClient, 0, XR_BAD_ARGS, true},
      {APPMAN_CLIENT_GET_PROPS_REQ, kGeneral, 0, XR_BAD_ARGS, false},
      {APPMAN_INSTANCE_BY_ID_REQ, kGeneral, kStream, XR_STREAM_FAILURE, true},
      {APPMAN_BACKUPSET_BY_ID_REQ, kGeneral, kStream, XR_STREAM_FAILURE, false},
      {APPMAN_SUBCLIENT_BY_ID_REQ, kGeneral, kStream, XR_STREAM_FAILURE, true},
      {APPMAN_SUBCLIENT_UPDATE_FILES_REQ, kGeneral, backupFilesId, XR_BAD_ARGS, false},
      {APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, kGeneral, propertiesId, XR_BAD_ARGS, false},
      {APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, kGeneral, propertiesId, XR_BAD_ARGS, false},
      {APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, kGeneral, propertiesId, XR_BAD_ARGS, false},
      {APPMAN_CLIENT_SET_PROPS_REQ, kGeneral, propertiesId, XR_BAD_ARGS, false},
      {APPMAN_DOQUERY_REQ, kGeneral, APPMAN_DOQUERY_RSP, XR_BAD_ARGS, true},
      {APPMAN_DOLOOKUP_REQ, kGeneral, APPMAN_DOLOOKUP_RSP, XR_BAD_ARGS, true},
  };
  ASSERT_EQ(std::size(cases), std::size(kPublished));
  alignas(8) unsigned char zeros[256] = {};
  xrsDatabuf noData, zeroed;
  zeroed.data = zeros;
  zeroed.length = zeroed.capacity = sizeof zeros;
  for (const auto& c : cases) {
    for (xrsDatabuf* buf : {static_cast<xrsDatabuf*>(nullptr), &noData, c.nullText ? &zeroed : nullptr}) {
      SCOPED_TRACE(unexpectedLine(c.code) + (buf == &zeroed ? " null text" : ""));
      RecordingSession session;
      EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, buf), static_cast<int>(c.errorCode));
      const SentResponse& sent = answer(session, c.code);
      std::vector<unsigned char> want(sent.length);
      std::memcpy(want.data() + c.errorAt, &c.errorCode, 4);
      if (c.errorAt == kGeneral) std::memcpy(want.data(), &c.msgCode, 4);
      EXPECT_EQ(sent.bytes, want);
      EXPECT_EQ(sent.errorText.empty(), c.errorCode == XR_STREAM_FAILURE) << sent.errorText;
    }
  }
}
