// The closed-loop load of appmgr-bench: N connections spread over one or
// more hosts, each sending a request and waiting for its reply before it
// sends the next (or keeping `pipeline` requests in flight), for a time or a
// number of requests. Connections are served by a few threads, each running
// one epoll loop, so the generator costs little next to the host.
//
// A reply counts as an error unless it is a response frame with the
// correlation id of the oldest request in flight and an empty error text; a
// connection the host closes counts one error and leaves the run. With a
// rate, the load is open: requests leave on a schedule, not on replies.
#ifndef TOOLS_BENCH_LOADGENERATOR_H_
#define TOOLS_BENCH_LOADGENERATOR_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchRequests.h"

namespace appmgr {
namespace bench {

struct LoadOptions {
  std::vector<std::string> hosts;  // "HOST:PORT" or "unix:PATH"; connection i goes to hosts[i % n]
  unsigned connections = 50;
  unsigned threads = 1;   // event loops serving the connections
  unsigned pipeline = 1;  // requests in flight per connection; 1 is a closed loop
  // The run lasts `duration`, or until `requests` replies arrived when that is not 0.
  std::chrono::milliseconds duration{std::chrono::seconds(5)};
  uint64_t requests = 0;
  // Replies that arrive this long after the start are not counted.
  std::chrono::milliseconds warmup{0};
  uint32_t peerProtocolVersion = 0x1003;  // told to the host in the hello
  // Requests per second offered over all connections: each goes out at its
  // time on a connection with room (late, when none has). 0: a connection
  // sends as soon as a reply makes room.
  double rate = 0;
  // The hosts are redis servers, for a reference under the same load: no
  // hello, the requests are RESP commands (redisGetRequest), and a reply is
  // good unless it is an error reply.
  bool redis = false;
};

// Latency percentiles, nearest rank, in nanoseconds; 0 without samples.
struct LatencySummary {
  uint64_t p50 = 0;
  uint64_t p99 = 0;
  uint64_t p999 = 0;
  uint64_t max = 0;
};
// Reorders `samples`.
LatencySummary summarize(std::vector<uint64_t>& samples);

struct LoadResult {
  uint64_t requests = 0;  // good replies counted
  uint64_t errors = 0;    // bad replies and lost connections
  double seconds = 0;     // the measured time
  LatencySummary latency;
  std::string firstError;  // what the first error was, for the report
  double requestsPerSecond() const { return seconds > 0 ? static_cast<double>(requests) / seconds : 0; }
};

// Connects every connection (hello included), then runs the load. Throws
// std::runtime_error when a connection cannot be set up.
LoadResult runLoad(const LoadOptions& options, const std::vector<BenchRequest>& requests);

}  // namespace bench
}  // namespace appmgr

#endif  // TOOLS_BENCH_LOADGENERATOR_H_
