// State the host server shares with its connections: the settings, the pool
// that runs the listener library and the rule for when to skip it, the stop flag, the counters, the metrics
// and the registry of live connections (used to stop them and to bound their number).
#ifndef HOST_HOSTCONTEXT_H_
#define HOST_HOSTCONTEXT_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <asio.hpp>

#include "host/HostMetrics.h"
#include "host/HostOptions.h"
#include "host/InlinePolicy.h"

namespace appmgr {

class HostConnection;

class HostContext {
 public:
  HostContext(const HostOptions& options, asio::thread_pool& handlers)
      : options(options),
        handlers(handlers),
        inlinePolicy(options.inlineBudget),
        startedAt(std::chrono::steady_clock::now()),
        metrics(options.metricsHost.empty() ? nullptr : std::make_shared<HostMetrics>([this] {
          return connectionCount();
        })) {}

  const HostOptions options;
  asio::thread_pool& handlers;
  InlinePolicy inlinePolicy;
  const std::chrono::steady_clock::time_point startedAt;
  std::atomic<bool> stopping{false};
  std::atomic<uint64_t> requestsAnswered{0};
  // Null when the host serves no metrics: nothing is counted then.
  const std::shared_ptr<HostMetrics> metrics;

  // Registers a connection; false when maxConnections are already live
  // (the connection is then not registered).
  bool enter(HostConnection* connection, const std::weak_ptr<HostConnection>& handle);
  void leave(HostConnection* connection);
  unsigned connectionCount() const;
  std::vector<std::weak_ptr<HostConnection>> liveConnections() const;
  // Waits until no connection is live or `timeout` passes; true when none is.
  bool waitUntilDrained(std::chrono::milliseconds timeout);

 private:
  mutable std::mutex mutex_;
  std::condition_variable drained_;
  std::map<HostConnection*, std::weak_ptr<HostConnection>> live_;
};

}  // namespace appmgr

#endif  // HOST_HOSTCONTEXT_H_
