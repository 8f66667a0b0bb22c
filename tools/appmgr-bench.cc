// appmgr-bench: a closed-loop load generator for appmgrd. Opens N
// connections spread over the hosts given, keeps one request in flight on
// each (or --pipeline of them) for a time or a number of requests, and
// prints requests/s, latency percentiles and errors, as text or JSON. With
// --rate, requests leave on a schedule instead (a fixed offered load); with
// --redis KEY the hosts are redis servers asked GET KEY, the reference
// under the same load.
//
// Example: appmgr-bench --host 127.0.0.1:7410 -c 50 --request subclient --tree examples/sample-tree.json
// Exit codes: 0 every reply was good, 1 a host could not be reached or a
// reply was bad, 2 bad command line.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "bench/BenchRequests.h"
#include "bench/LoadGenerator.h"
#include "host/AppMgrClient.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

double ms(uint64_t ns) { return static_cast<double>(ns) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  using appmgr::bench::RequestKind;
  CLI::App app{
      "appmgr-bench: closed-loop load on appmgrd.\n"
      "Example: appmgr-bench --host 127.0.0.1:7410 -c 50 --request subclient --tree tree.json"};
  appmgr::bench::LoadOptions options;
  std::string kindName = "velmora";
  std::string treeFile;
  double seconds = 5;
  double warmup = 0;
  bool json = false;
  app.add_option("-H,--host", options.hosts, "Host address HOST:PORT or unix:PATH (repeat for several)")
      ->required();
  app.add_option("-c,--connections", options.connections, "Connections, spread over the hosts")
      ->capture_default_str()
      ->check(CLI::Range(1u, 10000u));
  app.add_option("-r,--request", kindName, "velmora (Velmora by id) or subclient (subclient lookup)")
      ->capture_default_str()
      ->check(CLI::IsMember({"velmora", "subclient"}));
  app.add_option("--tree", treeFile,
                 "JSON tree whose ids are asked for in turn; default Velmora 2 or subclient 9 of "
                 "2:1046 (the sample tree)");
  app.add_option("-d,--duration", seconds, "Seconds to run")
      ->capture_default_str()
      ->check(CLI::Range(0.01, 3600.0));
  app.add_option("-n,--requests", options.requests, "Stop after this many requests instead");
  app.add_option("--warmup", warmup, "Seconds at the start not counted")->check(CLI::Range(0.0, 600.0));
  app.add_option("-t,--threads", options.threads, "Client event loops")
      ->capture_default_str()
      ->check(CLI::Range(1u, 64u));
  app.add_option("-P,--pipeline", options.pipeline, "Requests in flight per connection (1: closed loop)")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--rate", options.rate, "Requests per second offered over all connections (0: closed loop)")
      ->check(CLI::Range(0.0, 1e8));
  std::string redisKey;
  app.add_option("--redis", redisKey, "The hosts are redis servers: send GET KEY instead");
  app.add_flag("--json", json, "Print one JSON object");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;
  }
  RequestKind kind = RequestKind::kVelmoraById;
  appmgr::bench::parseRequestKind(kindName, kind);
  options.duration = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  options.warmup = std::chrono::milliseconds(static_cast<long long>(warmup * 1000));

  std::vector<appmgr::bench::BenchRequest> requests;
  try {
    options.redis = !redisKey.empty();
    if (options.redis) {
      requests.push_back(appmgr::bench::redisGetRequest(redisKey));
    } else if (treeFile.empty()) {
      requests.push_back(kind == RequestKind::kVelmoraById ? appmgr::bench::velmoraRequest(2)
                                                           : appmgr::bench::subclientRequest(9, 2, 1046));
    } else {
      std::ifstream in(treeFile);
      if (!in) throw std::runtime_error("cannot read " + treeFile);
      std::stringstream text;
      text << in.rdbuf();
      requests = appmgr::bench::requestsFromTree(kind, text.str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "appmgr-bench: %s\n", e.what());
    return kExitUsage;
  }

  appmgr::bench::LoadResult result;
  try {
    // Every host answers and knows every id before the load starts.
    if (!options.redis) {
      for (const auto& host : options.hosts) appmgr::AppMgrClient::connect(host)->health();
    }
    appmgr::bench::LoadOptions check = options;
    check.connections = static_cast<unsigned>(options.hosts.size());
    check.threads = 1;
    check.pipeline = 1;
    check.warmup = {};
    check.requests = requests.size() * options.hosts.size();
    const appmgr::bench::LoadResult checked = appmgr::bench::runLoad(check, requests);
    if (checked.errors > 0) {
      std::fprintf(stderr, "appmgr-bench: the check before the load failed: %s\n",
                   checked.firstError.c_str());
      return kExitFailed;
    }
    result = appmgr::bench::runLoad(options, requests);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "appmgr-bench: %s\n", e.what());
    return kExitFailed;
  }

  if (json) {
    nlohmann::json out = {
        {"request", options.redis ? "redis GET" : kindName},
        {"ids", requests.size()},
        {"hosts", options.hosts},
        {"connections", options.connections},
        {"pipeline", options.pipeline},
        {"rate", options.rate},
        {"seconds", result.seconds},
        {"requests", result.requests},
        {"errors", result.errors},
        {"requestsPerSecond", result.requestsPerSecond()},
        {"latencyMs",
         {{"p50", ms(result.latency.p50)},
          {"p99", ms(result.latency.p99)},
          {"p999", ms(result.latency.p999)},
          {"max", ms(result.latency.max)}}},
    };
    if (!result.firstError.empty()) out["firstError"] = result.firstError;
    std::printf("%s\n", out.dump().c_str());
  } else {
    std::printf("%s, %zu id%s, %u connections over %zu host%s, pipeline %u, %.2f s\n",
                options.redis ? "redis GET" : appmgr::bench::requestKindName(kind), requests.size(),
                requests.size() == 1 ? "" : "s", options.connections, options.hosts.size(),
                options.hosts.size() == 1 ? "" : "s", options.pipeline, result.seconds);
    std::printf("requests/s %.0f  requests %llu  errors %llu\n", result.requestsPerSecond(),
                static_cast<unsigned long long>(result.requests),
                static_cast<unsigned long long>(result.errors));
    std::printf("latency ms p50 %.3f  p99 %.3f  p99.9 %.3f  max %.3f\n", ms(result.latency.p50),
                ms(result.latency.p99), ms(result.latency.p999), ms(result.latency.max));
    if (!result.firstError.empty()) std::printf("first error: %s\n", result.firstError.c_str());
  }
  return result.errors > 0 ? kExitFailed : 0;
}
