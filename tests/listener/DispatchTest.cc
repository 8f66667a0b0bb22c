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
constexpr size_t kVelmora = offsetof(appmanVelmoraRsp, errorCode);
constexpr size_t kParam = offsetof(appmanGlobalParamRsp, errorCode);
constexpr size_t kAppId = offsetof(appmanAppIdRsp, errorCode);
constexpr size_t kClient = offsetof(appmanClientRsp, errorCode);
constexpr size_t kGeneral = offsetof(appmanGeneralMsg, errorCode);
constexpr uint32_t kStream = APPMAN_PROPERTY_STREAM_RSP;
constexpr uint32_t kBad = XR_BAD_ARGS;
constexpr uint32_t kFailure = XR_STREAM_FAILURE;

// The published request table, and what a request without data gets: the
// offset of the error code in the answer, a general message's code, the
// error code, and whether the listener reads a request text.
const struct {
  RequestRow row;
  size_t errorAt;
  uint32_t msgCode;
  uint32_t errorCode;
  bool readsText;
} kPublished[] = {
    {{0x1a001011, L::kVelmora, H::kLookupVelmoraById, 0x1a001012, 72}, kVelmora, 0, kBad, false},
    {{0x1a001021, L::kVelmora, H::kLookupVelmoraByName, 0x1a001022, 72}, kVelmora, 0, kBad, true},
    {{0x1a001031, L::kGlobalProps, H::kGetProperty, 0x1a001032, 16}, kParam, 0, kBad, true},
    {{0x1a001111, L::kClient, H::kLookupClientById, 0x1a001112, 80}, kClient, 0, kBad, false},
    {{0x1a001121, L::kClient, H::kLookupClientByName, 0x1a001122, 80}, kClient, 0, kBad, true},
    {{0x1a001123, L::kClient, H::kLookupClientByHostname, 0x1a001124, 80}, kClient, 0, kBad, true},
    {{0x1a002011, L::kAppId, H::kGetNumApplicationId, 0x1a002013, 56}, kAppId, 0, kBad, false},
    {{0x1a002012, L::kAppId, H::kGetSymApplicationId, 0x1a002013, 56}, kAppId, 0, kBad, false},
    {{0x1a003011, L::kClient, H::kGetProps, 0x1a003912, 32}, kGeneral, 0, kBad, false},
    {{0x1a003111, L::kInstance, H::kLookupInstanceById, 0x1a003912, 32}, kGeneral, kStream, kFailure, true},
    {{0x1a003211, L::kBackupSet, H::kLookupBackupSetById, 0x1a003912, 32},
     kGeneral,
     kStream,
     kFailure,
     false},
    {{0x1a003311, L::kSubclient, H::kLookupSubclientById, 0x1a003912, 32}, kGeneral, kStream, kFailure, true},
    {{0x1a004011, L::kSubclient, H::kUpdateFiles, 0x1a004012, 32}, kGeneral, backupFilesId, kBad, false},
    {{0x1a004021, L::kSubclient, H::kUpdateFilters, 0x1a004022, 32}, kGeneral, propertiesId, kBad, false},
    {{0x1a004031, L::kSubclient, H::kUpdateProperties, 0x1a004032, 32}, kGeneral, propertiesId, kBad, false},
    {{0x1a004051, L::kClient, H::kSetPropsByAppId, 0x1a004052, 32}, kGeneral, propertiesId, kBad, false},
    {{0x1a004061, L::kClient, H::kSetProps, 0x1a004062, 32}, kGeneral, propertiesId, kBad, false},
    {{0x1a006011, L::kAdapters, H::kDoQuery, 0x1a006012, 32}, kGeneral, APPMAN_DOQUERY_RSP, kBad, true},
    {{0x1a006111, L::kAdapters, H::kDoLookup, 0x1a006112, 32}, kGeneral, APPMAN_DOLOOKUP_RSP, kBad, true},
};

std::string codeText(unsigned long code) {
  char text[32];
  snprintf(text, sizeof text, "code %#lx", code);
  return text;
}

}  // namespace

TEST(RequestTableTest, MatchesThePublishedTableRowByRow) {
  ASSERT_EQ(kRequestTableSize, std::size(kPublished));
  for (const auto& published : kPublished) {
    const RequestRow& want = published.row;
    SCOPED_TRACE(codeText(want.requestCode));
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
  alignas(8) unsigned char zeros[256] = {};
  xrsDatabuf noData, zeroed;
  zeroed.data = zeros;
  zeroed.length = zeroed.capacity = sizeof zeros;
  for (const auto& c : kPublished) {
    const unsigned long code = c.row.requestCode;
    for (xrsDatabuf* buf : {static_cast<xrsDatabuf*>(nullptr), &noData, c.readsText ? &zeroed : nullptr}) {
      SCOPED_TRACE(codeText(code) + (buf == &zeroed ? " null text" : ""));
      RecordingSession session;
      EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, code, buf), static_cast<int>(c.errorCode));
      const SentResponse& sent = answer(session, code);
      std::vector<unsigned char> want(sent.length);
      std::memcpy(want.data() + c.errorAt, &c.errorCode, 4);
      if (c.errorAt == kGeneral) std::memcpy(want.data(), &c.msgCode, 4);
      EXPECT_EQ(sent.bytes, want);
      EXPECT_EQ(sent.errorText.empty(), c.errorCode == XR_STREAM_FAILURE) << sent.errorText;
    }
  }
}
