// Serving on the network thread: the learning rule, and that a request
// served there still gets the replies the handler pool would give, the
// deadline's included.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"
#include "fakes/MockConfigStore.h"
#include "host/InlinePolicy.h"

using appmgr::AppMgrReply;
using appmgr::HostOptions;
using appmgr::InlinePolicy;
using namespace std::chrono_literals;
using ::testing::_;
using ::testing::Invoke;

namespace {

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
  auto store = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  std::shared_ptr<MemoryConfigStore> sample = hosttest::sampleStore();
  ON_CALL(*store, findVelmora(_, _, _, _))
      .WillByDefault(Invoke([=](uint64_t id, const std::string& name, VelmoraRow& out, std::string& text) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs->load()));
        return sample->findVelmora(id, name, out, text);
      }));
  HostOptions options;
  options.requestDeadline = 100ms;
  options.networkThreads = 1;
  options.inlineBudget = 20ms;  // quick calls stay quick on a loaded or instrumented build
  startHost(options, store);
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
    EXPECT_EQ(late.error, appmgr::wire::WireError::kDeadlineExceeded);
    EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
    EXPECT_EQ(inTime, i == 2);
  }
  *delayMs = 0;
  std::this_thread::sleep_for(400ms);  // the pooled call finishes; its answer is dropped
  const AppMgrReply next = call(1s, inTime);
  ASSERT_TRUE(next.isResponse()) << next.errorText;
  EXPECT_EQ(next.as<appmanVelmoraRsp>().velmoraId, 2u);
  EXPECT_EQ(client->health().state, appmgr::wire::HealthRecord::kServing);
}

}  // namespace
