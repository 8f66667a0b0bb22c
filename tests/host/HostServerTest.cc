// The host end to end: each request record layout answered over the network
// exactly as the in-process entry point answers it, the limits (connections,
// request deadline, frame size), the failures the host reports itself, the
// client's pipelining, serving on the network thread, many pipelining
// connections at once and the graceful stop.
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
#include "host/InlinePolicy.h"

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
  appmanObjectReq files = object;
  files.firstList = "1 /srv/new+1files ";
  files.secondList = "1 /home ";
  appmanClientSetPropsReq setByAppId;
  setByAppId.appId = 1045;
  setByAppId.setList = "1 0 Owner 1 ops+1team ";
  setByAppId.removeList = "0 ";
  appmanGeneralMsg query;
  query.data = "69649 2 0";  // velmoraVelmorasQuery
  query.context = 0x104;
  return {
      walkCase("subclient", APPMAN_SUBCLIENT_BY_ID_REQ, object),
      walkCase("Velmora by id", APPMAN_VELMORA_BY_ID_REQ, velmoraById),
      walkCase("Velmora by name", APPMAN_VELMORA_BY_NAME_REQ, velmoraByName),
      walkCase("global parameter", APPMAN_GLOBAL_PARAM_REQ, param),
      walkCase("client by name", APPMAN_CLIENT_BY_NAME_REQ, clientByName),
      walkCase("client by host name", APPMAN_CLIENT_BY_HOSTNAME_REQ, clientByHost),
      walkCase("numeric application id", APPMAN_NUM_APPID_REQ, numeric),
      walkCase("symbolic application id", APPMAN_SYM_APPID_REQ, symbolic),
      walkCase("client properties", APPMAN_CLIENT_GET_PROPS_REQ, clientProps),
      walkCase("subclient files", APPMAN_SUBCLIENT_UPDATE_FILES_REQ, files),
      walkCase("client properties by application id", APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, setByAppId),
      walkCase("adapter query", APPMAN_DOQUERY_REQ, query),
      walkCase("a response code sent as a request", APPMAN_APPID_RSP, numeric),
  };
}

// `bytes` with the text fields at `fields` cleared, to compare the rest.
std::vector<unsigned char> withoutTexts(std::vector<unsigned char> bytes, const appmanTextFields& fields) {
  for (size_t i = 0; i < fields.count; ++i)
    if (fields.offsets[i] + 8 <= bytes.size()) std::memset(bytes.data() + fields.offsets[i], 0, 8);
  return bytes;
}

// A store whose Velmora lookups wait `*delayMs`, then answer from the
// sample tree. `entered` (when given) counts the lookups that started.
std::shared_ptr<::testing::NiceMock<MockConfigStore>> slowStore(
    std::shared_ptr<std::atomic<int>> delayMs, std::shared_ptr<std::atomic<int>> entered = nullptr) {
  auto store = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  std::shared_ptr<MemoryConfigStore> sample = hosttest::sampleStore();
  ON_CALL(*store, findVelmora(_, _, _, _))
      .WillByDefault(Invoke([=](uint64_t id, const std::string& name, VelmoraRow& out, std::string& text) {
        if (entered) ++*entered;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs->load()));
        return sample->findVelmora(id, name, out, text);
      }));
  ON_CALL(*store, getGlobalParam(_, _, _))
      .WillByDefault(Invoke([sample](const std::string& name, std::string& value, std::string& text) {
        return sample->getGlobalParam(name, value, text);
      }));
  return store;
}

std::shared_ptr<::testing::NiceMock<MockConfigStore>> slowStore(
    int delayMs, std::shared_ptr<std::atomic<int>> entered = nullptr) {
  return slowStore(std::make_shared<std::atomic<int>>(delayMs), std::move(entered));
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

// One request of each record layout (the command line's tests send every
// code). Two identical stores evolve side by side: the in-process call runs on one,
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
    // Each request and response record layout, and one near miss; every
    // served code is answered by the library, so the walk compared a response for each.
    EXPECT_EQ(walked.size(), 13u);
    EXPECT_EQ(answered, 12);
  }
}

// A reply that arrives for a sent request while call() waits for its own
// is kept for receive(), in order; a second call finds its reply in turn.
TEST_F(HostTest, ClientKeepsPipelinedRepliesThatArriveWhileACallWaits) {
  startHost();
  AppMgrClientOptions quick;
  quick.replyTimeout = 5s;
  auto client = connect(quick);
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
  startHost(options, slowStore(600));
  auto client = connect();
  const appmanVelmoraByIdReq req = velmoraRequest();
  const AppMgrReply late = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(late.isError());
  EXPECT_EQ(late.error, wire::WireError::kDeadlineExceeded);
  EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);
  // The late answer of the library is dropped, never delivered as a second reply.
  std::this_thread::sleep_for(700ms);
  // receive() would hand out a second reply before the next one.
  const appmanGlobalParamReq param = paramRequest("sAuditPath");
  const uint64_t id = client->send(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
  const AppMgrReply next = client->receive();
  EXPECT_EQ(next.correlationId, id);
  EXPECT_EQ(paramValue(next), "/var/log/velmora audit");
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
  auto store = slowStore(150, entered);
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

// ---- Serving on the network thread: the learning rule, and the deadline error of a call served there ----

constexpr uint64_t kCode = APPMAN_VELMORA_BY_ID_REQ;

std::string repeat(const std::string& part, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += part;
  return out;
}

// Each case feeds its calls in order: 'q' a quick call, 's' a slow one,
// 'S' a stall.
TEST(InlinePolicy, ServesInlineAfterARunOfQuickCallsAndToleratesOccasionalSlowCalls) {
  const std::string learn(InlinePolicy::kLearnCalls, 'q');
  const std::string full(InlinePolicy::kMaxCredit, 'q');
  const struct {
    const char* what;
    std::chrono::microseconds budget;
    std::string calls;
    bool inlineAtEnd;
  } cases[] = {
      {"nothing learnt yet", 500us, "", false},
      {"one call short of the run", 500us, learn.substr(1), false},
      {"a full run", 500us, learn, true},
      {"a slow call right after learning", 500us, learn + "s", false},
      {"a slow call interrupts the learning", 500us, learn.substr(1) + "s" + "q", false},
      {"four slow calls after a long run are tolerated", 500us, full + "ssss", true},
      {"a fifth is not", 500us, full + "sssss", false},
      {"one slow call in nine, for ever", 500us, full + repeat("qqqqqqqqs", 100), true},
      {"one slow call in four", 500us, full + repeat("qqqs", 100), false},
      {"one stall after a long run is forgiven", 500us, full + "S", true},
      {"a second is not", 500us, full + "SS", false},
      {"the credit rebuilds", 500us, full + "S" + learn + "S", true},
      {"learning again from zero", 500us, full + "SS" + learn.substr(1), false},
      {"and serving again after a run", 500us, full + "SS" + learn, true},
      {"a zero budget never serves inline", 0us, full + full, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InlinePolicy policy(c.budget);
    // The budget itself still counts as quick, and the stall's bound as slow.
    for (const char call : c.calls) {
      policy.record(kCode, call == 'q'   ? c.budget
                           : call == 's' ? c.budget + InlinePolicy::kStall
                                         : c.budget + InlinePolicy::kStall + 1us);
    }
    EXPECT_EQ(policy.serveInline(kCode), c.inlineAtEnd);
  }
}

// The store turns slow after the host has learnt to serve the lookup on
// its network thread: the calls served there overrun the deadline and are
// answered with the deadline error once they return; after the second such
// stall, the lookup goes to the handler pool again, where the deadline error
// comes on time, and the library's late answer is never delivered.
TEST_F(HostTest, AQuickRequestKindThatTurnsSlowStillGetsTheDeadlineError) {
  auto delayMs = std::make_shared<std::atomic<int>>(0);
  HostOptions options;
  options.requestDeadline = 100ms;
  options.networkThreads = 1;
  options.inlineBudget = 20ms;  // quick calls stay quick on a loaded or instrumented build
  startHost(options, slowStore(delayMs));
  auto client = connect();
  appmanVelmoraByIdReq req;
  req.velmoraId = 2;
  // The reply of one call, and whether it came within `within`.
  const auto call = [&](std::chrono::milliseconds within, bool& inTime) {
    const auto before = std::chrono::steady_clock::now();
    const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    inTime = std::chrono::steady_clock::now() - before < within;
    return reply;
  };
  bool inTime = false;
  for (uint32_t i = 0; i < InlinePolicy::kMaxCredit; ++i) {
    const AppMgrReply reply = call(1s, inTime);
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
    ASSERT_EQ(reply.as<appmanVelmoraRsp>().velmoraId, 2u);
  }
  *delayMs = 300;
  // A long quick run forgives one stall: the first two are served inline,
  // answered when the call returns; the third goes back to the pool,
  // answered at the deadline.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const AppMgrReply late = call(290ms, inTime);
    ASSERT_TRUE(late.isError());
    EXPECT_EQ(late.error, wire::WireError::kDeadlineExceeded);
    EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
    EXPECT_EQ(inTime, i == 2);
  }
  *delayMs = 0;
  std::this_thread::sleep_for(400ms);  // the pooled call finishes; its answer is dropped
  const uint64_t id = client->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  const AppMgrReply next = client->receive();  // not a second reply of an earlier request
  EXPECT_EQ(next.correlationId, id);
  ASSERT_TRUE(next.isResponse()) << next.errorText;
  EXPECT_EQ(next.as<appmanVelmoraRsp>().velmoraId, 2u);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);
}

// Load: many connections, each pipelining mixed requests; every reply must
// come back on its own connection, once, in order, under its request's
// correlation id and with that request's answer.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kConnections = 32, kRequestsPerConnection = 300;
#else
constexpr int kConnections = 64, kRequestsPerConnection = 1000;
#endif
constexpr int kWindow = 8;  // requests in flight per connection

TEST_F(HostTest, ManyConnectionsWithPipelinedMixedRequestsGetTheirOwnReplies) {
  HostOptions options;
  options.maxConnections = kConnections + 8;
  startHost(options);
  std::atomic<int> mismatches{0}, replies{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < kConnections; ++c) {
    threads.emplace_back([&, c] {
      // Request i: a Velmora by id whose context tells (c, i) apart, a
      // parameter, a Velmora by name, a client name that is no parameter
      // (an error response without text).
      const auto context = [c](int i) { return (static_cast<uint64_t>(c) << 32) | static_cast<uint32_t>(i); };
      const char* const names[] = {"build01", "oradb"};
      const auto send = [&](AppMgrClient& client, int i) {
        appmanVelmoraByIdReq byId;
        byId.velmoraId = 2;
        byId.context = context(i);
        appmanGlobalParamReq param;
        param.paramName = i % 4 == 1 ? "sAuditPath" : names[(c + i) % 2];
        appmanVelmoraByNameReq byName;
        byName.velmoraName = "north";
        if (i % 4 == 0) return client.send(APPMAN_VELMORA_BY_ID_REQ, &byId, sizeof byId);
        if (i % 4 == 2) return client.send(APPMAN_VELMORA_BY_NAME_REQ, &byName, sizeof byName);
        return client.send(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
      };
      const auto expected = [&](const AppMgrReply& reply, int i) {
        switch (i % 4) {
          case 0:
            return reply.as<appmanVelmoraRsp>().context == context(i) &&
                   reply.text(offsetof(appmanVelmoraRsp, velmoraName)) == "north";
          case 2:
            return reply.code == APPMAN_VELMORA_BY_NAME_RSP &&
                   reply.text(offsetof(appmanVelmoraRsp, velmoraName)) == "north";
          default:
            return reply.text(offsetof(appmanGlobalParamRsp, paramValue)).value_or("") ==
                   (i % 4 == 1 ? "/var/log/velmora audit" : "");
        }
      };
      try {
        auto client = connect();
        std::vector<uint64_t> ids;
        for (int received = 0; received < kRequestsPerConnection;) {
          if (ids.size() < static_cast<size_t>(kRequestsPerConnection) && ids.size() - received < kWindow) {
            ids.push_back(send(*client, static_cast<int>(ids.size())));
            continue;
          }
          const AppMgrReply reply = client->receive();
          if (!reply.isResponse() || reply.correlationId != ids[received] || !expected(reply, received))
            ++mismatches;
          ++replies;
          ++received;
        }
      } catch (const std::exception& e) {
        ADD_FAILURE() << "connection " << c << ": " << e.what();
        ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(replies.load(), kConnections * kRequestsPerConnection);
  EXPECT_EQ(server_->requestsAnswered(), static_cast<uint64_t>(kConnections * kRequestsPerConnection));
}

}  // namespace
