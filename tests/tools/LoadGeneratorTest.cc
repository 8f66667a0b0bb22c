// appmgr-bench's pieces: the ids taken from a JSON tree, the latency
// percentiles, and the load loop against an in-process host.
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"
#include "bench/BenchRequests.h"
#include "bench/LoadGenerator.h"

namespace {

using namespace appmgr::bench;

TEST(BenchRequests, SampleTreeGivesEveryVelmoraAndEverySubclientWithAnApplication) {
  std::ifstream in(std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json");
  std::stringstream tree;
  tree << in.rdbuf();
  std::vector<std::string> labels;
  for (const auto& r : requestsFromTree(RequestKind::kVelmoraById, tree.str())) labels.push_back(r.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"velmora 2", "velmora 3"}));
  const auto subclients = requestsFromTree(RequestKind::kSubclientById, tree.str());
  ASSERT_GE(subclients.size(), 2u);
  EXPECT_EQ(subclients[0].label, "subclient 8 (2:1045)");
  EXPECT_EQ(subclients[1].label, "subclient 9 (2:1046)");
  for (const auto& r : subclients) EXPECT_EQ(r.code, APPMAN_SUBCLIENT_BY_ID_REQ);
}

TEST(BenchRequests, TreesWithoutUsableIdsAreRefused) {
  const std::string noSubclients = R"({"velmoras": [{"id": 4, "clients": []}]})";
  const struct {
    std::string tree;
    RequestKind kind;
  } cases[] = {
      {"not json", RequestKind::kVelmoraById},
      {R"({"velmoras": [{"id": -1}, {"id": "2"}]})", RequestKind::kVelmoraById},
      {R"({"velmoras": [{"id": 4294967296}]})", RequestKind::kVelmoraById},
      {noSubclients, RequestKind::kSubclientById},
      {R"({"velmoras": [{"id": 2, "clients": [{"instances": [{"backupSets": [{"subclients": [{"id": 9}]}]}]}]}]})",
       RequestKind::kSubclientById},
  };
  for (const auto& c : cases) EXPECT_THROW(requestsFromTree(c.kind, c.tree), std::runtime_error) << c.tree;
  EXPECT_EQ(requestsFromTree(RequestKind::kVelmoraById, noSubclients).size(), 1u);
}

TEST(LatencySummary, NearestRankPercentiles) {
  std::vector<uint64_t> none, one = {7}, thousand;
  EXPECT_EQ(summarize(none).p50, 0u);
  EXPECT_EQ(summarize(none).max, 0u);
  EXPECT_EQ(summarize(one).p50, 7u);
  EXPECT_EQ(summarize(one).p999, 7u);
  for (uint64_t i = 1000; i >= 1; --i) thousand.push_back(i);  // reversed: summarize sorts
  const auto s = summarize(thousand);
  EXPECT_EQ(s.p50, 500u);
  EXPECT_EQ(s.p99, 990u);
  EXPECT_EQ(s.p999, 999u);
  EXPECT_EQ(s.max, 1000u);
}

class LoadGeneratorTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    startHost();
  }
  LoadOptions options(unsigned connections, uint64_t requests) {
    LoadOptions o;
    o.hosts = {server_->listenAddress()};
    o.connections = connections;
    o.requests = requests;
    return o;
  }
};

TEST_F(LoadGeneratorTest, CountRunsAnswerEveryRequestClosedOrPipelined) {
  for (const auto& [connections, threads, pipeline] : {std::tuple{1u, 1u, 1u}, {8u, 2u, 1u}, {4u, 1u, 8u}}) {
    SCOPED_TRACE(std::to_string(connections) + "/" + std::to_string(pipeline));
    LoadOptions o = options(connections, 300);
    o.threads = threads;
    o.pipeline = pipeline;
    o.hosts.push_back(o.hosts[0]);  // two addresses, one host: connections alternate
    const auto result = runLoad(o, {velmoraRequest(2), subclientRequest(9, 2, 1046)});
    EXPECT_EQ(result.requests, 300u);
    EXPECT_EQ(result.errors, 0u) << result.firstError;
    EXPECT_GT(result.seconds, 0);
    EXPECT_GT(result.latency.p50, 0u);
    EXPECT_LE(result.latency.p99, result.latency.max);
  }
}

TEST_F(LoadGeneratorTest, DurationRunStopsAndCountsOnlyWhatArrivedInTime) {
  LoadOptions o = options(4, 0);
  o.duration = std::chrono::milliseconds(300);
  o.warmup = std::chrono::milliseconds(100);
  const auto start = std::chrono::steady_clock::now();
  const auto result = runLoad(o, {velmoraRequest(2)});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_GT(result.requests, 0u);
  EXPECT_EQ(result.errors, 0u) << result.firstError;
  EXPECT_NEAR(result.seconds, 0.2, 1e-6);
}

TEST_F(LoadGeneratorTest, ErrorRepliesAndLostHostsAreCountedOrRefused) {
  // An unknown Velmora is answered with an error text: every reply counts as an error.
  const auto result = runLoad(options(2, 10), {velmoraRequest(77)});
  EXPECT_EQ(result.requests, 0u);
  EXPECT_EQ(result.errors, 10u);
  EXPECT_NE(result.firstError.find("error text"), std::string::npos) << result.firstError;
  LoadOptions bad = options(1, 1);
  bad.hosts = {"127.0.0.1:notaport"};
  EXPECT_THROW(runLoad(bad, {velmoraRequest(2)}), std::runtime_error);
  bad.hosts = {server_->listenAddress()};
  server_->stop();
  EXPECT_THROW(runLoad(bad, {velmoraRequest(2)}), std::runtime_error);
}

}  // namespace
