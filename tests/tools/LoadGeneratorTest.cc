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

using appmgr::bench::BenchRequest;
using appmgr::bench::LoadOptions;
using appmgr::bench::RequestKind;

std::vector<std::string> labels(const std::vector<BenchRequest>& requests) {
  std::vector<std::string> out;
  for (const auto& r : requests) out.push_back(r.label);
  return out;
}

std::string sampleTree() {
  std::ifstream in(std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(BenchRequests, SampleTreeGivesEveryVelmoraAndEverySubclientWithAnApplication) {
  const auto velmoras = appmgr::bench::requestsFromTree(RequestKind::kVelmoraById, sampleTree());
  EXPECT_EQ(labels(velmoras), (std::vector<std::string>{"velmora 2", "velmora 3"}));
  const auto subclients = appmgr::bench::requestsFromTree(RequestKind::kSubclientById, sampleTree());
  ASSERT_FALSE(subclients.empty());
  EXPECT_EQ(subclients[0].label, "subclient 8 (2:1045)");
  EXPECT_EQ(subclients[1].label, "subclient 9 (2:1046)");
  for (const auto& r : subclients) EXPECT_EQ(r.code, APPMAN_SUBCLIENT_BY_ID_REQ);
}

TEST(BenchRequests, TreesWithoutUsableIdsAreRefused) {
  const std::string noSubclients = R"({"velmoras": [{"id": 4, "clients": []}]})";
  const std::string wideId = R"({"velmoras": [{"id": 4294967296}]})";
  const std::string noApplication =
      R"({"velmoras": [{"id": 2, "clients": [{"instances": [{"backupSets": [{"subclients": [{"id": 9}]}]}]}]}]})";
  struct Case {
    std::string tree;
    RequestKind kind;
  };
  const Case cases[] = {{"not json", RequestKind::kVelmoraById},
                        {"[1, 2]", RequestKind::kVelmoraById},
                        {R"({"velmoras": "none"})", RequestKind::kVelmoraById},
                        {R"({"velmoras": [{"id": -1}, {"id": "2"}]})", RequestKind::kVelmoraById},
                        {wideId, RequestKind::kVelmoraById},
                        {noSubclients, RequestKind::kSubclientById},
                        {noApplication, RequestKind::kSubclientById}};
  for (const Case& c : cases) {
    EXPECT_THROW(appmgr::bench::requestsFromTree(c.kind, c.tree), std::runtime_error) << c.tree;
  }
  EXPECT_EQ(appmgr::bench::requestsFromTree(RequestKind::kVelmoraById, noSubclients).size(), 1u);
}

TEST(LatencySummary, NearestRankPercentiles) {
  std::vector<uint64_t> none;
  const auto empty = appmgr::bench::summarize(none);
  EXPECT_EQ(empty.p50, 0u);
  EXPECT_EQ(empty.max, 0u);

  std::vector<uint64_t> one = {7};
  const auto single = appmgr::bench::summarize(one);
  EXPECT_EQ(single.p50, 7u);
  EXPECT_EQ(single.p999, 7u);

  std::vector<uint64_t> thousand;
  for (uint64_t i = 1000; i >= 1; --i) thousand.push_back(i);  // reversed: summarize sorts
  const auto s = appmgr::bench::summarize(thousand);
  EXPECT_EQ(s.p50, 500u);
  EXPECT_EQ(s.p99, 990u);
  EXPECT_EQ(s.p999, 999u);
  EXPECT_EQ(s.max, 1000u);
}

class LoadGeneratorTest : public HostTest {
 protected:
  LoadOptions options(unsigned connections, uint64_t requests) {
    LoadOptions o;
    o.hosts = {server_->listenAddress()};
    o.connections = connections;
    o.requests = requests;
    return o;
  }
};

TEST_F(LoadGeneratorTest, CountRunsAnswerEveryRequestClosedOrPipelined) {
  startHost();
  const std::vector<BenchRequest> requests = {appmgr::bench::velmoraRequest(2),
                                              appmgr::bench::subclientRequest(9, 2, 1046)};
  struct Case {
    unsigned connections, threads, pipeline;
  };
  for (const Case c : {Case{1, 1, 1}, Case{8, 2, 1}, Case{4, 1, 8}}) {
    LoadOptions o = options(c.connections, 300);
    o.threads = c.threads;
    o.pipeline = c.pipeline;
    o.hosts.push_back(o.hosts[0]);  // two addresses, one host: connections alternate
    const auto result = appmgr::bench::runLoad(o, requests);
    EXPECT_EQ(result.requests, 300u) << c.connections << "/" << c.pipeline;
    EXPECT_EQ(result.errors, 0u) << result.firstError;
    EXPECT_GT(result.seconds, 0);
    EXPECT_GT(result.latency.p50, 0u);
    EXPECT_LE(result.latency.p99, result.latency.max);
  }
}

TEST_F(LoadGeneratorTest, DurationRunStopsAndCountsOnlyWhatArrivedInTime) {
  startHost();
  LoadOptions o = options(4, 0);
  o.duration = std::chrono::milliseconds(300);
  o.warmup = std::chrono::milliseconds(100);
  const auto start = std::chrono::steady_clock::now();
  const auto result = appmgr::bench::runLoad(o, {appmgr::bench::velmoraRequest(2)});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_GT(result.requests, 0u);
  EXPECT_EQ(result.errors, 0u) << result.firstError;
  EXPECT_NEAR(result.seconds, 0.2, 1e-6);
}

TEST_F(LoadGeneratorTest, ErrorRepliesAndLostHostsAreCountedOrRefused) {
  startHost();
  // An unknown Velmora is answered with an error text: every reply counts as an error.
  auto result = appmgr::bench::runLoad(options(2, 10), {appmgr::bench::velmoraRequest(77)});
  EXPECT_EQ(result.requests, 0u);
  EXPECT_EQ(result.errors, 10u);
  EXPECT_NE(result.firstError.find("error text"), std::string::npos) << result.firstError;

  LoadOptions bad = options(1, 1);
  bad.hosts = {"127.0.0.1:notaport"};
  EXPECT_THROW(appmgr::bench::runLoad(bad, {appmgr::bench::velmoraRequest(2)}), std::runtime_error);
  const std::string address = server_->listenAddress();
  server_->stop();
  bad.hosts = {address};
  EXPECT_THROW(appmgr::bench::runLoad(bad, {appmgr::bench::velmoraRequest(2)}), std::runtime_error);
}

}  // namespace
