// The record lookups end to end through the dispatcher: Velmora by id and
// by name, global parameters, application ids, clients by id, name and host
// name, and the client property read. Each answer is checked field by field
// or byte for byte; failures leave every field but the error code zero.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// A store action that fills output argument N with `value` and returns `rc`
// with `text` in the error text argument E.
template <size_t N, size_t E, typename T>
auto fills(T value, int rc = 0, const std::string& text = "") {
  return DoAll(SetArgReferee<N>(value), SetArgReferee<E>(text), Return(rc));
}

class LookupTest : public ListenerTest {
 protected:
  // The only answer's bytes against a record of type R that is all zero but
  // for its error code.
  template <typename R>
  static void expectOnlyErrorCode(const RecordingSession& session, unsigned long code, uint32_t errorCode) {
    R want;
    want.errorCode = errorCode;
    EXPECT_EQ(std::memcmp(answer(session, code).bytes.data(), &want, sizeof want), 0);
  }
};

// The id and the flags are wider than the record's 32 bits.
const VelmoraRow kVelmora{0x100000005, "north", 11, 0x1ffffffff, 42, "north.example", "", "", "", -300};

TEST_F(LookupTest, VelmoraByIdOrNameCopiesEveryOutputAndAFailureOnlyTheErrorCode) {
  Request<appmanVelmoraByIdReq> byId;
  byId.record().velmoraId = 5;
  byId.record().pad0 = 0xdeadbeef;  // host bytes beside the id are never read
  byId.record().context = 0x77;
  EXPECT_CALL(store(), findVelmora(5, "", _, _)).WillOnce(fills<2, 3>(kVelmora));
  ASSERT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_VELMORA_BY_ID_REQ, byId.buf()), 0);
  const SentResponse& sent = answer(session_, APPMAN_VELMORA_BY_ID_REQ);
  const auto rsp = sent.as<appmanVelmoraRsp>();
  EXPECT_EQ(std::make_tuple(rsp.velmoraId, rsp.idCopy, rsp.value1, rsp.value2, rsp.value3, rsp.signedValue),
            std::make_tuple(5u, 0x100000005ul, 11u, 0xffffffffu, 42u, -300));
  EXPECT_EQ(std::make_tuple(rsp.context, rsp.errorCode, rsp.reserved), std::make_tuple(0x77ul, 0u, 0u));
  EXPECT_EQ(sent.text(offsetof(appmanVelmoraRsp, velmoraName)), "north");
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [0] back to client"), 1u);

  Request<appmanVelmoraByNameReq> byName;
  byName.record().velmoraName = "";  // even an empty name is passed, with id 0
  byName.record().context = 9;
  EXPECT_CALL(store(), findVelmora(0, "", _, _)).WillOnce(fills<2, 3>(kVelmora));
  RecordingSession session;
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, APPMAN_VELMORA_BY_NAME_REQ, byName.buf()), 0);
  EXPECT_EQ(answer(session, APPMAN_VELMORA_BY_NAME_REQ).as<appmanVelmoraRsp>().context, 9u);

  byId.record().velmoraId = 99;
  EXPECT_CALL(store(), findVelmora(99, "", _, _))
      .WillOnce(fills<2, 3>(kVelmora, XR_VELMORA_NOT_FOUND, "Velmora 99 not found"));
  RecordingSession failing;
  failing.failSends();  // a failed send changes nothing
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(failing, APPMAN_VELMORA_BY_ID_REQ, byId.buf()),
            static_cast<int>(XR_VELMORA_NOT_FOUND));
  expectOnlyErrorCode<appmanVelmoraRsp>(failing, APPMAN_VELMORA_BY_ID_REQ, XR_VELMORA_NOT_FOUND);
  EXPECT_EQ(failing.only().errorText, "Velmora 99 not found");
  EXPECT_EQ(log().count("Error [Velmora 99 not found]"), 1u);
  EXPECT_EQ(log().count("Request Type [0x1a001011], sending response Code [131073] back to client"), 1u);
}

TEST_F(LookupTest, GlobalParameterValueEmptyValueAndMissingParameter) {
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
        .WillOnce(fills<1, 2>(std::string(c.stored), c.errorCode, "store text is not passed on"));
    Request<appmanGlobalParamReq> req;
    req.record().paramName = c.name;
    RecordingSession session;
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

// Only the low 32 bits of the application id travel.
const ApplicationRow kResolved{0x100000017, 3, 4, 2, 5, 29, 6, 7, 8, "", "", ""};

TEST_F(LookupTest, ApplicationIdResolvesByNumberOrByAllSixIds) {
  Request<appmanAppIdNumReq> numeric;
  numeric.record() = {2, 23, 0x55};
  EXPECT_CALL(
      store(),
      findApplication(ApplicationKey::kNumeric,
                      AllOf(Field(&ApplicationRow::velmoraId, 2u), Field(&ApplicationRow::appId, 23u)), _, _))
      .WillOnce(fills<2, 3>(kResolved));
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session_, APPMAN_NUM_APPID_REQ, numeric.buf()), 0);
  const auto rsp = answer(session_, APPMAN_NUM_APPID_REQ).as<appmanAppIdRsp>();
  const uint32_t expected[] = {0x17, 2, 5, 0x17, 29, 6, 7, 8, 3, 4};  // the application id twice
  EXPECT_EQ(std::memcmp(&rsp, expected, sizeof expected), 0);
  EXPECT_EQ(std::make_pair(rsp.context, rsp.errorCode), std::make_pair(0x55ul, 0u));
  // The application-id handlers log no send line.
  EXPECT_EQ(log().textsFor("AppIdBCLsn::getNumApplicationId"), std::vector<std::string>{" "});

  Request<appmanAppIdSymReq> symbolic;
  symbolic.record() = {0xffffffff, 2, 5, 29, 6, 7, 8, 0, 0x66};
  EXPECT_CALL(store(), findApplication(ApplicationKey::kIds, Field(&ApplicationRow::subclientId, 8u), _, _))
      .WillOnce(fills<2, 3>(kResolved));
  RecordingSession session;
  EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, APPMAN_SYM_APPID_REQ, symbolic.buf()), 0);
  const auto sym = answer(session, APPMAN_SYM_APPID_REQ).as<appmanAppIdRsp>();
  EXPECT_EQ(std::make_pair(sym.appId, sym.context), std::make_pair(0x17u, 0x66ul));
}

TEST_F(LookupTest, IncompleteApplicationIdsFailWithOnlyTheErrorCodeAndNoStoreCall) {
  // Mode 0 with velmoraId and appId unset names no application.
  Request<appmanAppIdNumReq> numeric;
  numeric.record().velmoraId = 2;
  Request<appmanAppIdSymReq> symbolic;
  symbolic.record() = {0, 2, 5, 29, 6, 0, 8, 0, 0x66};
  for (const auto& [code, buf] :
       {std::pair{APPMAN_NUM_APPID_REQ, numeric.buf()}, std::pair{APPMAN_SYM_APPID_REQ, symbolic.buf()}}) {
    RecordingSession session;
    log().clear();
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, code, buf), static_cast<int>(XR_APPID_BAD_ARGS));
    expectOnlyErrorCode<appmanAppIdRsp>(session, code, XR_APPID_BAD_ARGS);
    EXPECT_EQ(log().count("Error [" + session.only().errorText + "]"), 1u);
  }
}

// Wider than 32 bits where the record keeps only the low half.
ClientRow storedClient() {
  ClientRow row;
  row.id = 0x10000002a;
  row.name = "build 01";
  row.hostName = "b+1.example";
  row.qualifier = 0x55;
  row.attribute = 0x100000003;
  row.osName = "Linux";
  row.osVersion = "beta gamma";
  return row;
}

TEST_F(LookupTest, EachClientLookupPassesItsKeyAndFillsTheRecordAndPlatformList) {
  Request<appmanClientByIdReq> byId;
  byId.record().clientId = 42;
  std::memset(byId.record().unused, 0xff, sizeof byId.record().unused);
  byId.record().qualifier = 0x1234567890;  // 64 bits at offset 16
  byId.record().context = 0x71;
  Request<appmanClientByNameReq> byName;
  byName.record().clientName = "build 01";
  byName.record().qualifier = 0x90000001;  // 32 bits at offset 8, not sign-extended
  byName.record().unused = 0xffffffff;
  byName.record().context = 0x72;
  Request<appmanClientByHostnameReq> byHost;
  byHost.record().hostName = "b+1.example";
  byHost.record().qualifier = 7;
  byHost.record().context = 0x73;
  const struct {
    unsigned long code;
    xrsDatabuf* buf;
    ClientKey key;
    uint64_t id;
    const char* name;
    const char* host;
    uint64_t qualifier;
    uint64_t context;
  } cases[] = {
      {APPMAN_CLIENT_BY_ID_REQ, byId.buf(), ClientKey::kId, 42, "", "", 0x1234567890, 0x71},
      {APPMAN_CLIENT_BY_NAME_REQ, byName.buf(), ClientKey::kName, 0, "build 01", "", 0x90000001, 0x72},
      {APPMAN_CLIENT_BY_HOSTNAME_REQ, byHost.buf(), ClientKey::kHostName, 0, "", "b+1.example", 7, 0x73},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    RecordingSession session;
    EXPECT_CALL(store(), findClient(c.key,
                                    AllOf(Field(&ClientRow::id, c.id), Field(&ClientRow::name, c.name),
                                          Field(&ClientRow::hostName, c.host),
                                          Field(&ClientRow::qualifier, c.qualifier)),
                                    _, _))
        .WillOnce(fills<2, 3>(storedClient()));
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, c.buf), 0);
    const SentResponse& sent = answer(session, c.code);
    const auto rsp = sent.as<appmanClientRsp>();
    EXPECT_EQ(std::make_tuple(rsp.clientId, rsp.clientIdLong, rsp.qualifier, rsp.clientAttribute, rsp.spare),
              std::make_tuple(0x2au, 0x10000002aul, 0x55u, 3u, 0u));
    EXPECT_EQ(std::make_tuple(rsp.context, rsp.errorCode, rsp.pad0 | rsp.pad1 | rsp.pad2),
              std::make_tuple(c.context, 0u, 0u));
    // Names as stored; only the platform texts are escaped.
    EXPECT_EQ(sent.text(offsetof(appmanClientRsp, clientName)), "build 01");
    EXPECT_EQ(sent.text(offsetof(appmanClientRsp, hostName)), "b+1.example");
    EXPECT_EQ(sent.text(offsetof(appmanClientRsp, platformList)), "1 Linux 2 beta+1gamma 4 ` ");

    // The same request when the store has no such client.
    EXPECT_CALL(store(), findClient(c.key, _, _, _))
        .WillOnce(fills<2, 3>(storedClient(), XR_CLIENT_NOT_FOUND, "no such client"));
    RecordingSession failing;
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(failing, c.code, c.buf), static_cast<int>(XR_CLIENT_NOT_FOUND));
    expectOnlyErrorCode<appmanClientRsp>(failing, c.code, XR_CLIENT_NOT_FOUND);
    EXPECT_EQ(failing.only().errorText, "no such client");
  }
  EXPECT_EQ(log().count("Error [no such client]"), 3u);
}

// getProps of client 12 with header value 5 and scope -3: the header value,
// the client id and the property stream; a missing client answers no text
// and a zero message code.
TEST_F(LookupTest, ClientPropertiesAreWrittenAfterTheHeaderValueAndClientId) {
  const struct {
    std::vector<PropertyRow> rows;
    int result;
    std::optional<std::string> want;
  } cases[] = {
      {{{"Log Level", 1, "2"}, {"`x", 5, "a b"}}, 0, "5 12 2 0 Log+1Level 1 2 0 ``x 5 a+1b "},
      {{}, 0, "5 12 0 "},
      {{}, XR_CLIENT_NOT_FOUND, std::nullopt},
  };
  for (const auto& c : cases) {
    RecordingSession session;
    EXPECT_CALL(store(), findClient(ClientKey::kId, Field(&ClientRow::id, 12u), _, _))
        .WillOnce(fills<2, 3>(ClientRow(), c.result, c.result != 0 ? "client 12 is gone" : ""));
    if (c.result == 0) {
      EXPECT_CALL(store(), listProperties(PropertyOwner::kClient, 12, -3, _, _))
          .WillOnce(fills<3, 4>(c.rows));
    }
    Request<appmanClientGetPropsReq> req;
    req.record().clientId = 12;
    req.record().headerValue = 5;
    req.record().propertyScope = -3;
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, APPMAN_CLIENT_GET_PROPS_REQ, req.buf()), c.result);
    const SentResponse& sent = answer(session, APPMAN_CLIENT_GET_PROPS_REQ);
    const auto rsp = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(rsp.msgCode, c.result == 0 ? APPMAN_PROPERTY_STREAM_RSP : 0u);
    EXPECT_EQ(rsp.context | rsp.reserved, 0u);
    EXPECT_EQ(rsp.errorCode, static_cast<uint32_t>(c.result));
    EXPECT_EQ(sent.text(offsetof(appmanGeneralMsg, data)), c.want);
  }
  EXPECT_EQ(log().count("Error [client 12 is gone]"), 1u);
}

}  // namespace
