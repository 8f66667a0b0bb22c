// The host end to end: every request code answered over the network exactly
// as the in-process entry point answers it, the limits (connections,
// request deadline, frame size), the failures the host reports itself, the
// client's pipelining and the graceful stop.
#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/xrsDatabuf.h"

#include "HostFixture.h"
#include "fakes/MockConfigStore.h"
#include "fakes/RecordingSession.h"
#include "host/HostSession.h"

using namespace appmgr;
using namespace std::chrono_literals;
using ::testing::_;
using ::testing::Invoke;

namespace {

// One request of the walk: the record with real pointers, kept as bytes.
struct WalkCase {
  const char* what;
  unsigned long code;
  std::vector<unsigned char> record;
};

template <typename R>
WalkCase walkCase(const char* what, unsigned long code, const R& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  return {what, code, std::vector<unsigned char>(bytes, bytes + sizeof record)};
}

std::vector<WalkCase> walkCases() {
  appmanVelmoraByIdReq velmoraById;
  velmoraById.velmoraId = 2;
  velmoraById.context = 0x101;
  appmanVelmoraByNameReq velmoraByName;
  velmoraByName.velmoraName = "north";
  velmoraByName.context = 0x102;
  appmanGlobalParamReq param;
  param.paramName = "sAuditPath";
  appmanClientByIdReq clientById;
  clientById.clientId = 5;
  appmanClientByNameReq clientByName;
  clientByName.clientName = "nobody";  // not found: an error code and text, no client texts
  appmanClientByHostnameReq clientByHost;
  clientByHost.hostName = "oradb.example.net";
  appmanAppIdNumReq numeric;
  numeric.velmoraId = 2;
  numeric.appId = 1047;
  numeric.context = 0x103;
  appmanAppIdSymReq symbolic;
  symbolic.velmoraId = 2;
  symbolic.clientId = 5;
  symbolic.appTypeId = symbolic.backupSetId = 7;
  symbolic.instanceId = 6;
  symbolic.subclientId = 9;
  appmanClientGetPropsReq clientProps;
  clientProps.clientId = 5;
  clientProps.headerValue = 3;
  appmanObjectReq object;
  object.objectId = 9;
  object.appIdText = "2:1046";
  appmanObjectReq files = object, filters = object, props = object;
  files.firstList = "1 /srv/new+1files ";
  files.secondList = "1 /home ";
  filters.firstList = "1 /tmp ";
  filters.secondList = "0 ";
  props.firstList = "1 0 Streams 2 4 ";
  appmanClientSetPropsReq setByAppId, setProps;
  setByAppId.appId = 1045;
  setByAppId.setList = "1 0 Owner 1 ops+1team ";
  setByAppId.removeList = "0 ";
  setProps.clientId = 5;
  setProps.setList = "0 ";
  setProps.removeList = "1 0 Owner 1 ` ";
  appmanGeneralMsg query, lookup;
  query.data = "69649 2 0";  // velmoraVelmorasQuery
  query.context = 0x104;
  lookup.data = "135169 7";  // ApplicationTypeNameLookup
  lookup.context = 0x105;
  std::vector<WalkCase> cases = {
      walkCase("Velmora by id", APPMAN_VELMORA_BY_ID_REQ, velmoraById),
      walkCase("Velmora by name", APPMAN_VELMORA_BY_NAME_REQ, velmoraByName),
      walkCase("global parameter", APPMAN_GLOBAL_PARAM_REQ, param),
      walkCase("client by id", APPMAN_CLIENT_BY_ID_REQ, clientById),
      walkCase("client by name", APPMAN_CLIENT_BY_NAME_REQ, clientByName),
      walkCase("client by host name", APPMAN_CLIENT_BY_HOSTNAME_REQ, clientByHost),
      walkCase("numeric application id", APPMAN_NUM_APPID_REQ, numeric),
      walkCase("symbolic application id", APPMAN_SYM_APPID_REQ, symbolic),
      walkCase("client properties", APPMAN_CLIENT_GET_PROPS_REQ, clientProps),
      walkCase("subclient files", APPMAN_SUBCLIENT_UPDATE_FILES_REQ, files),
      walkCase("subclient filters", APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, filters),
      walkCase("subclient properties", APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, props),
      walkCase("client properties by application id", APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, setByAppId),
      walkCase("client properties set", APPMAN_CLIENT_SET_PROPS_REQ, setProps),
      walkCase("adapter query", APPMAN_DOQUERY_REQ, query),
      walkCase("adapter lookup", APPMAN_DOLOOKUP_REQ, lookup),
      walkCase("a response code sent as a request", APPMAN_APPID_RSP, numeric),
  };
  for (const auto& [what, code, id] : {std::tuple{"instance", APPMAN_INSTANCE_BY_ID_REQ, 6},
                                       {"backup set", APPMAN_BACKUPSET_BY_ID_REQ, 7},
                                       {"subclient", APPMAN_SUBCLIENT_BY_ID_REQ, 9}}) {
    object.objectId = id;
    cases.push_back(walkCase(what, code, object));
  }
  return cases;
}

// `bytes` with the text fields at `fields` cleared, to compare the rest.
std::vector<unsigned char> withoutTexts(std::vector<unsigned char> bytes, const appmanTextFields& fields) {
  for (size_t i = 0; i < fields.count; ++i)
    if (fields.offsets[i] + 8 <= bytes.size()) std::memset(bytes.data() + fields.offsets[i], 0, 8);
  return bytes;
}

// A store whose Velmora lookups wait, then answer from the sample tree.
// `entered` (when given) counts the lookups that started.
std::shared_ptr<::testing::NiceMock<MockConfigStore>> slowStore(
    std::chrono::milliseconds delay, std::shared_ptr<std::atomic<int>> entered = nullptr) {
  auto store = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  std::shared_ptr<MemoryConfigStore> sample = hosttest::sampleStore();
  ON_CALL(*store, findVelmora(_, _, _, _))
      .WillByDefault(Invoke([=](uint64_t id, const std::string& name, VelmoraRow& out, std::string& text) {
        if (entered) ++*entered;
        std::this_thread::sleep_for(delay);
        return sample->findVelmora(id, name, out, text);
      }));
  ON_CALL(*store, getGlobalParam(_, _, _))
      .WillByDefault(Invoke([sample](const std::string& name, std::string& value, std::string& text) {
        return sample->getGlobalParam(name, value, text);
      }));
  return store;
}

appmanVelmoraByIdReq velmoraRequest(uint32_t id = 2) {
  appmanVelmoraByIdReq req;
  req.velmoraId = id;
  return req;
}

appmanGlobalParamReq paramRequest(const char* name) {
  appmanGlobalParamReq req;
  req.paramName = name;
  return req;
}

std::optional<std::string> paramValue(const AppMgrReply& reply) {
  return reply.text(offsetof(appmanGlobalParamRsp, paramValue));
}

// Two identical stores evolve side by side: the in-process call runs on one,
// the network call on the other, so updates compare like for like. In both
// thread modes: the library called on a handler thread, or (handler threads
// 0) on the network thread itself.
TEST_F(HostTest, EveryRequestCodeIsAnsweredAsTheInProcessEntryPointAnswersIt) {
  for (const unsigned handlerThreads : {4u, 0u}) {
    SCOPED_TRACE("handler threads " + std::to_string(handlerThreads));
    auto local = hosttest::sampleStore();
    auto remote = hosttest::sampleStore();
    HostOptions options;
    options.handlerThreads = handlerThreads;
    startHost(options, remote);
    auto client = connect();
    std::set<unsigned long> walked;
    int answered = 0;
    for (const WalkCase& c : walkCases()) {
      SCOPED_TRACE(c.what);
      walked.insert(c.code);
      ConfigStore::install(local);
      RecordingSession session;
      std::vector<uint64_t> aligned((c.record.size() + 7) / 8);
      std::memcpy(aligned.data(), c.record.data(), c.record.size());
      xrsDatabuf buffer;
      buffer.data = aligned.data();
      BCLsnMsgHandler::handleMessage(session, c.code, &buffer);

      ConfigStore::install(remote);
      const AppMgrReply reply = client->call(c.code, c.record.data(), c.record.size());
      EXPECT_NE(reply.correlationId, 0u);
      if (session.sent().empty()) {
        EXPECT_EQ(reply.type, wire::FrameType::kNoResponse);
        EXPECT_EQ(reply.code, c.code);
        continue;
      }
      ++answered;
      const SentResponse& sent = session.only();
      ASSERT_EQ(reply.type, wire::FrameType::kResponse) << reply.errorText;
      EXPECT_EQ(reply.code, sent.responseCode);
      EXPECT_EQ(reply.errorText, sent.errorText);
      const appmanTextFields fields = appmanResponseTextFields(sent.responseCode);
      EXPECT_EQ(withoutTexts(reply.record, fields), withoutTexts(sent.bytes, fields));
      for (size_t i = 0; i < fields.count; ++i)
        EXPECT_EQ(reply.text(fields.offsets[i]), sent.texts.at(fields.offsets[i])) << fields.offsets[i];
    }
    // The 19 served codes and one near miss, each walked once; every served
    // code is answered by the library, so the walk compared a response for each.
    EXPECT_EQ(walked.size(), 20u);
    EXPECT_EQ(answered, 19);
  }
}

// A reply that arrives for a sent request while call() waits for its own
// is kept for receive(), in order; a second call finds its reply in turn.
TEST_F(HostTest, ClientKeepsPipelinedRepliesThatArriveWhileACallWaits) {
  startHost();
  auto client = connect();
  const appmanVelmoraByIdReq unknown = velmoraRequest(77), known = velmoraRequest();
  const appmanGlobalParamReq param = paramRequest("sAuditPath");
  const uint64_t first = client->send(APPMAN_VELMORA_BY_ID_REQ, &unknown, sizeof unknown);
  const uint64_t second = client->send(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
  const AppMgrReply called = client->call(APPMAN_VELMORA_BY_ID_REQ, &known, sizeof known);
  ASSERT_TRUE(called.isResponse());
  EXPECT_EQ(called.as<appmanVelmoraRsp>().velmoraId, 2u);
  EXPECT_EQ(called.as<appmanVelmoraRsp>().errorCode, 0u);
  const AppMgrReply firstReply = client->receive();
  EXPECT_EQ(firstReply.correlationId, first);
  EXPECT_NE(firstReply.as<appmanVelmoraRsp>().errorCode, 0u) << "Velmora 77 does not exist";
  const AppMgrReply secondReply = client->receive();
  EXPECT_EQ(secondReply.correlationId, second);
  EXPECT_EQ(paramValue(secondReply), "/var/log/velmora audit");
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing) << "no reply is left over";
  EXPECT_EQ(paramValue(client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param)),
            "/var/log/velmora audit");
}

TEST_F(HostTest, ServesAUnixSocketAndRemovesItOnStop) {
  HostOptions options;
  options.unixSocketPath = ::testing::TempDir() + "appmgrd-test-" + std::to_string(::getpid()) + ".sock";
  startHost(options);
  const appmanVelmoraByIdReq req = velmoraRequest();
  EXPECT_EQ(AppMgrClient::connect("unix:" + options.unixSocketPath)
                ->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req)
                .as<appmanVelmoraRsp>()
                .velmoraId,
            2u);
  server_->stop();
  EXPECT_NE(::access(options.unixSocketPath.c_str(), F_OK), 0) << "the socket file is removed on stop";
}

TEST_F(HostTest, RefusesConnectionsBeyondTheLimit) {
  HostOptions options;
  options.maxConnections = 2;
  startHost(options);
  auto first = connect();
  auto second = connect();
  hosttest::RawPeer third(server_->port());
  hosttest::RawFrame frame;
  ASSERT_TRUE(third.readFrame(frame));
  EXPECT_EQ(frame.header.type, wire::FrameType::kError);
  EXPECT_EQ(frame.error(), wire::WireError::kTooManyConnections);
  EXPECT_TRUE(third.closedByHost());
  first.reset();
  awaitConnections(1);
  expectServing();
}

TEST_F(HostTest, AnswersADeadlineErrorOnceAndGoesOnWithTheNextRequest) {
  HostOptions options;
  options.requestDeadline = 100ms;
  startHost(options, slowStore(600ms));
  auto client = connect();
  const appmanVelmoraByIdReq req = velmoraRequest();
  const AppMgrReply late = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(late.isError());
  EXPECT_EQ(late.error, wire::WireError::kDeadlineExceeded);
  EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);
  // The late answer of the library is dropped, never delivered as a second reply.
  std::this_thread::sleep_for(700ms);
  const appmanGlobalParamReq param = paramRequest("sAuditPath");
  EXPECT_EQ(paramValue(client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param)),
            "/var/log/velmora audit");
}

TEST_F(HostTest, ReportsFailuresOfTheHostItselfAsErrorFrames) {
  auto throwing = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  ON_CALL(*throwing, findVelmora(_, _, _, _)).WillByDefault(Invoke([](auto, auto&, auto&, auto&) -> int {
    throw std::runtime_error("disk on fire");
  }));
  startHost(HostOptions(), throwing);
  auto client = connect();
  const appmanVelmoraByIdReq req = velmoraRequest();
  AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kHandlerFailed);
  EXPECT_THAT(reply.errorText, ::testing::HasSubstr("disk on fire"));

  ConfigStore::install(nullptr);
  reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kStoreUnavailable);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);  // health needs no store
}

// The answer's frame may be as large as the limit, not one byte more.
TEST_F(HostTest, AnswerAboveTheFrameLimitBecomesAnErrorFrame) {
  HostOptions options;
  options.maxFrameSize = 4096;
  auto store = hosttest::sampleStore();
  // A response frame is the header, the 16-byte record and a text area of
  // "" + value + NUL: a value of 4046 bytes fills exactly 4096.
  store->addGlobalParam("sFits", std::string(4096 - 32 - 16 - 2, 'x'));
  store->addGlobalParam("sHuge", std::string(4096 - 32 - 16 - 1, 'x'));
  startHost(options, store);
  auto client = connect();
  EXPECT_EQ(client->hostHello().maxFrameSize, 4096u);
  appmanGlobalParamReq param = paramRequest("sHuge");
  const AppMgrReply reply = client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kResponseTooLarge);
  param.paramName = "sFits";
  EXPECT_EQ(paramValue(client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param))->size(), 4046u);
}

// Passwords are re-encrypted for old peers only; the library learns the
// version through the session, so a version-0 hello makes it fall back.
TEST_F(HostTest, ReportsThePeerProtocolVersionOfTheHello) {
  HostSession unknown(0), known(0x1003);
  unsigned int version = 5;
  EXPECT_TRUE(unknown.getProtocolVersion(version).IsError());
  EXPECT_EQ(version, 5u);
  EXPECT_FALSE(known.getProtocolVersion(version).IsError());
  EXPECT_EQ(version, 0x1003u);
}

// Requests in flight when the stop comes are answered, or their client sees
// the connection close; nothing hangs and the store is released.
TEST_F(HostTest, GracefulStopFinishesRequestsInFlight) {
  constexpr int kClients = 6;
  constexpr int kPerClient = 4;
  auto entered = std::make_shared<std::atomic<int>>(0);
  auto store = slowStore(150ms, entered);
  std::weak_ptr<ConfigStore> weakStore = store;
  HostOptions options;
  options.handlerThreads = kClients;
  startHost(options, std::move(store));
  std::vector<std::unique_ptr<AppMgrClient>> clients;
  const appmanVelmoraByIdReq req = velmoraRequest();
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(connect());
    for (int r = 0; r < kPerClient; ++r) clients.back()->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  }
  // Stop while the first request of each client is inside the library.
  for (int i = 0; i < 500 && *entered < kClients; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_GE(*entered, kClients);
  const auto before = std::chrono::steady_clock::now();
  server_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  for (auto& client : clients) {
    int mine = 0;
    try {
      for (; mine < kPerClient; ++mine) {
        const AppMgrReply reply = client->receive();
        ASSERT_TRUE(reply.isResponse()) << reply.errorText;
        EXPECT_EQ(reply.as<appmanVelmoraRsp>().velmoraId, 2u);
      }
    } catch (const AppMgrClientError&) {
      EXPECT_FALSE(client->isOpen());
    }
    EXPECT_GE(mine, 1) << "the request in flight is answered before the close";
  }
  EXPECT_EQ(ConfigStore::current(), nullptr);
  EXPECT_TRUE(weakStore.expired()) << "the host released the store";
  EXPECT_THROW(connect(), AppMgrClientError);
}

}  // namespace
