// The host end to end: the client's pipelining, the Unix socket, the limits
// (connections, request deadline, frame size), the failures the host
// reports itself, serving on the network thread, many pipelining
// connections at once and the graceful stop.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"
#include "fakes/MockConfigStore.h"
#include "host/InlinePolicy.h"

using namespace appmgr;
using namespace std::chrono_literals;
using ::testing::_;
using ::testing::Invoke;

namespace {

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
  return store;
}

appmanVelmoraByIdReq velmoraRequest(uint32_t id = 2, uint64_t context = 0) {
  appmanVelmoraByIdReq req;
  req.velmoraId = id;
  req.context = context;
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

// Requests inside the library when the stop comes are answered before the
// connections close; nothing hangs and the store is released.
TEST_F(HostTest, GracefulStopFinishesRequestsInFlight) {
  constexpr int kClients = 4;
  auto entered = std::make_shared<std::atomic<int>>(0);
  auto store = slowStore(std::make_shared<std::atomic<int>>(150), entered);
  std::weak_ptr<ConfigStore> weakStore = store;
  HostOptions options;
  options.handlerThreads = kClients;
  startHost(options, std::move(store));
  std::vector<std::unique_ptr<AppMgrClient>> clients;
  const appmanVelmoraByIdReq req = velmoraRequest();
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(connect());
    clients.back()->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  }
  for (int i = 0; i < 500 && *entered < kClients; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_GE(*entered, kClients);
  const auto before = std::chrono::steady_clock::now();
  server_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  for (auto& client : clients) {
    const AppMgrReply reply = client->receive();
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
    EXPECT_EQ(reply.as<appmanVelmoraRsp>().velmoraId, 2u);
  }
  EXPECT_EQ(ConfigStore::current(), nullptr);
  EXPECT_TRUE(weakStore.expired()) << "the host released the store";
  EXPECT_THROW(connect(), AppMgrClientError);
}

// ---- Serving on the network thread: the learning rule, and the deadline error of a call served there ----

// Each case feeds its calls in order: 'q' a quick call, 's' a slow one,
// 'S' a stall.
TEST(InlinePolicy, ServesInlineAfterARunOfQuickCallsAndToleratesOccasionalSlowCalls) {
  const std::string learn(InlinePolicy::kLearnCalls, 'q');
  const std::string full(InlinePolicy::kMaxCredit, 'q');
  const auto repeat = [](const std::string& part, int times) {
    std::string out;
    while (times-- > 0) out += part;
    return out;
  };
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
      policy.record(APPMAN_VELMORA_BY_ID_REQ, call == 'q'   ? c.budget
                                              : call == 's' ? c.budget + InlinePolicy::kStall
                                                            : c.budget + InlinePolicy::kStall + 1us);
    }
    EXPECT_EQ(policy.serveInline(APPMAN_VELMORA_BY_ID_REQ), c.inlineAtEnd);
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
  const appmanVelmoraByIdReq req = velmoraRequest();
  for (uint32_t i = 0; i < InlinePolicy::kMaxCredit; ++i) {
    const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  }
  *delayMs = 300;
  // A long quick run forgives one stall: the first two are served inline,
  // answered when the call returns; the third goes back to the pool,
  // answered at the deadline.
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto before = std::chrono::steady_clock::now();
    const AppMgrReply late = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    ASSERT_TRUE(late.isError());
    EXPECT_EQ(late.error, wire::WireError::kDeadlineExceeded);
    EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
    EXPECT_EQ(std::chrono::steady_clock::now() - before < 290ms, i == 2);
  }
  *delayMs = 0;
  std::this_thread::sleep_for(400ms);  // the pooled call finishes; its answer is dropped
  const uint64_t id = client->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  const AppMgrReply next = client->receive();  // not a second reply of an earlier request
  EXPECT_EQ(next.correlationId, id);
  ASSERT_TRUE(next.isResponse()) << next.errorText;
  EXPECT_EQ(next.as<appmanVelmoraRsp>().velmoraId, 2u);
}

// Many connections, each pipelining requests whose context tells the
// connection and the request apart: every reply comes back on its own
// connection, once, in order, with its own request's answer.
TEST_F(HostTest, ManyConnectionsWithPipelinedRequestsGetTheirOwnReplies) {
  constexpr int kConnections = 16, kRequests = 300, kWindow = 8;
  startHost();
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < kConnections; ++c) {
    threads.emplace_back([&, c] {
      const auto request = [c](int i) { return velmoraRequest(2, (uint64_t{1} + c) << 32 | i); };
      try {
        auto client = connect();
        std::vector<uint64_t> ids;
        for (int received = 0; received < kRequests;) {
          if (ids.size() < size_t{kRequests} && ids.size() - received < kWindow) {
            const appmanVelmoraByIdReq req = request(static_cast<int>(ids.size()));
            ids.push_back(client->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req));
            continue;
          }
          const AppMgrReply reply = client->receive();
          if (!reply.isResponse() || reply.correlationId != ids[received] ||
              reply.as<appmanVelmoraRsp>().context != request(received).context)
            ++mismatches;
          ++received;
        }
      } catch (const std::exception& e) {
        ADD_FAILURE() << "connection " << c << ": " << e.what();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(server_->requestsAnswered(), uint64_t{kConnections * kRequests});
}

}  // namespace
