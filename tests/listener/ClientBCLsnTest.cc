// Client lookups by id, name and host name, and the client property read:
// the 80-byte record on success and failure, the platform list, the
// qualifier widths, the property text byte for byte and missing request
// data.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::AllOf;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr size_t kClientName = offsetof(appmanClientRsp, clientName);
constexpr size_t kHostName = offsetof(appmanClientRsp, hostName);
constexpr size_t kPlatformList = offsetof(appmanClientRsp, platformList);
constexpr size_t kText = offsetof(appmanGeneralMsg, data);

std::string escaped(std::string text) {
  return transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol);
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

using ClientLookupTest = ListenerTest;

TEST_F(ClientLookupTest, EachLookupPassesItsKeyAndFillsTheRecordAndPlatformList) {
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
        .WillOnce(DoAll(SetArgReferee<2>(storedClient()), Return(0)));

    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, c.buf), 0);

    const SentResponse& sent = answer(session, c.code);
    const auto rsp = sent.as<appmanClientRsp>();
    EXPECT_EQ(rsp.clientId, 0x2au);
    EXPECT_EQ(rsp.clientIdLong, 0x10000002au);
    EXPECT_EQ(rsp.qualifier, 0x55u);
    EXPECT_EQ(rsp.clientAttribute, 3u);
    EXPECT_EQ(rsp.spare, 0u);
    EXPECT_EQ(rsp.context, c.context);
    EXPECT_EQ(rsp.errorCode, 0u);
    EXPECT_EQ(rsp.pad0 | rsp.pad1 | rsp.pad2, 0u);
    // Names as stored; only the platform texts are escaped.
    EXPECT_EQ(sent.text(kClientName), "build 01");
    EXPECT_EQ(sent.text(kHostName), "b+1.example");
    EXPECT_EQ(sent.text(kPlatformList), "1 Linux 2 beta+1gamma 4 ` ");
  }
}

TEST_F(ClientLookupTest, FailedOrUnreadableLookupLeavesEveryFieldButTheErrorCodeZero) {
  Request<appmanClientByIdReq> byId;
  byId.record().clientId = 9;
  byId.record().context = 0x71;
  Request<appmanClientByNameReq> byName;
  byName.record().clientName = "nobody";
  byName.record().context = 0x72;
  Request<appmanClientByNameReq> nullName;
  nullName.record().context = 0x73;
  Request<appmanClientByHostnameReq> nullHost;
  xrsDatabuf noData;
  EXPECT_CALL(store(), findClient(_, _, _, _))
      .Times(2)
      .WillRepeatedly(DoAll(SetArgReferee<3>("no such client"), Return(XR_CLIENT_NOT_FOUND)));

  const struct {
    unsigned long code;
    xrsDatabuf* buf;
    uint32_t errorCode;
  } cases[] = {
      {APPMAN_CLIENT_BY_ID_REQ, byId.buf(), XR_CLIENT_NOT_FOUND},
      {APPMAN_CLIENT_BY_NAME_REQ, byName.buf(), XR_CLIENT_NOT_FOUND},
      {APPMAN_CLIENT_BY_NAME_REQ, nullName.buf(), XR_BAD_ARGS},
      {APPMAN_CLIENT_BY_HOSTNAME_REQ, nullHost.buf(), XR_BAD_ARGS},
      {APPMAN_CLIENT_BY_ID_REQ, nullptr, XR_BAD_ARGS},
      {APPMAN_CLIENT_BY_HOSTNAME_REQ, &noData, XR_BAD_ARGS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    RecordingSession session;
    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, c.buf), static_cast<int>(c.errorCode));
    const SentResponse& sent = answer(session, c.code);
    appmanClientRsp want;
    want.errorCode = c.errorCode;
    EXPECT_EQ(std::memcmp(sent.bytes.data(), &want, sizeof want), 0);
    EXPECT_FALSE(sent.errorText.empty());
  }
  EXPECT_EQ(log().count("Error [no such client]"), 2u);
}

// getProps of client 12 with header value 5 and scope -3.
class GetPropsTest : public ListenerTest {
 protected:
  int run(RecordingSession& session) {
    Request<appmanClientGetPropsReq> req;
    req.record().clientId = 12;
    req.record().headerValue = 5;
    req.record().propertyScope = -3;
    return BCLsnMsgHandler::handleMessage(session, APPMAN_CLIENT_GET_PROPS_REQ, req.buf());
  }
  void expectClient(int result) {
    EXPECT_CALL(store(), findClient(ClientKey::kId, Field(&ClientRow::id, 12u), _, _))
        .WillOnce(DoAll(SetArgReferee<3>(result != 0 ? "client 12 is gone" : ""), Return(result)));
  }
};

TEST_F(GetPropsTest, WritesHeaderValueClientIdAndThePropertyStream) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("pw");
  const struct {
    std::vector<PropertyRow> rows;
    unsigned int version;
    std::string want;
  } cases[] = {
      {{{"Log Level", 1, "2"}}, 7, "5 12 1 0 Log+1Level 1 2 "},
      {{}, 7, "5 12 0 "},
      {{{"AD User Password", 5, stored}}, 7, "5 12 1 0 AD+1User+1Password 5 " + escaped(stored) + " "},
      {{{"AD User Password", 5, stored}}, 6, "v1"},
  };
  for (const auto& c : cases) {
    RecordingSession session;
    session.setProtocolVersion(c.version);
    expectClient(0);
    EXPECT_CALL(store(), listProperties(PropertyOwner::kClient, 12, -3, _, _))
        .WillOnce(DoAll(SetArgReferee<3>(c.rows), Return(0)));

    EXPECT_EQ(run(session), 0);
    const SentResponse& sent = answer(session, APPMAN_CLIENT_GET_PROPS_REQ);
    const auto rsp = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(rsp.msgCode, APPMAN_PROPERTY_STREAM_RSP);
    EXPECT_EQ(rsp.context | rsp.errorCode | rsp.reserved, 0u);
    const std::string text = sent.text(kText).value_or("");
    if (c.want != "v1") {
      EXPECT_EQ(text, c.want);
    } else {
      // A version 6 peer gets the password in version 1.
      const std::string prefix = "5 12 1 0 AD+1User+1Password 5 ";
      ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
      std::string value = text.substr(prefix.size(), text.size() - prefix.size() - 1);
      transform_string_decode(value, TransformStringFromSymbol, TransformStringToSymbol);
      EXPECT_EQ(value.rfind("XRPW1:", 0), 0u) << value;
      EXPECT_EQ(key.decrypt(value), "pw");
    }
  }
}

TEST_F(GetPropsTest, FailureSendsNoTextAndZeroMessageCode) {
  expectClient(XR_CLIENT_NOT_FOUND);
  EXPECT_EQ(run(session_), static_cast<int>(XR_CLIENT_NOT_FOUND));
  const SentResponse& sent = answer(session_, APPMAN_CLIENT_GET_PROPS_REQ);
  appmanGeneralMsg want;
  want.errorCode = XR_CLIENT_NOT_FOUND;
  EXPECT_EQ(std::memcmp(sent.bytes.data(), &want, sizeof want), 0);
  EXPECT_EQ(sent.errorText, "client 12 is gone");
  EXPECT_EQ(log().count("Error [client 12 is gone]"), 1u);
}

}  // namespace
