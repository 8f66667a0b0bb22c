// The host's metrics, for a Prometheus scraper. Every thread that counts
// writes to a shard of its own (plain single-writer counters, no lock and no
// shared cache line), and a scrape merges the shards: counting costs a few
// additions on the request path, the scrape pays for the rest.
#ifndef HOST_HOSTMETRICS_H_
#define HOST_HOSTMETRICS_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include "host/WireFormat.h"

namespace appmgr {

// Operations of the configuration store, as the metrics name them.
enum class StoreOperation {
  kFindVelmora,
  kGetGlobalParam,
  kFindApplication,
  kFindClient,
  kFindInstance,
  kFindBackupSet,
  kFindSubclient,
  kListProperties,
  kSetProperties,
  kRemoveProperties,
  kListInstanceContent,
  kListSubclientEntries,
  kUpdateSubclientEntries,
  kListVelmoras,
  kListClients,
  kListClientsOfType,
  kListApplications,
  kListApplicationTypes,
  kListInstances,
  kListBackupSets,
  kListSubclients,
  kListArchiveGroupApplications,
  kFindApplicationTypeName,
  kFindApplicationBySubclient,
  kCount
};

class HostMetrics final : public prometheus::Collectable {
 public:
  // How a request was answered: a response without an error code, a
  // response with one or an error frame, or no response at all.
  enum class Result { kOk, kError, kNoResponse };

  // `connections` reads the number of live connections at scrape time.
  explicit HostMetrics(std::function<unsigned()> connections);
  ~HostMetrics() override;

  // One answered request: its code, how it ended, the time of the library
  // call (zero when the library was not called) and the whole time from
  // its header to its reply.
  void countRequest(uint64_t code, Result result, std::chrono::nanoseconds library,
                    std::chrono::nanoseconds total);
  void countFrameError(wire::WireError error);
  // Whether a request ran on the network thread or went to the handler pool.
  void countServed(bool inlineCall);
  void countStoreOperation(StoreOperation operation, bool ok, std::chrono::nanoseconds took);
  void countConnectionAccepted() { connectionsAccepted_.fetch_add(1, std::memory_order_relaxed); }
  void countTlsHandshakeFailure() { tlsHandshakeFailures_.fetch_add(1, std::memory_order_relaxed); }

  std::vector<prometheus::MetricFamily> Collect() const override;

  struct Shard;

 private:
  Shard& shard();

  const uint64_t id_;  // tells this instance from an earlier one at the same address
  const std::function<unsigned()> connections_;
  const double startTime_;  // seconds since the epoch
  std::atomic<uint64_t> connectionsAccepted_{0};
  std::atomic<uint64_t> tlsHandshakeFailures_{0};
  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<Shard>> shards_;  // one per counting thread, kept until destruction
};

}  // namespace appmgr

#endif  // HOST_HOSTMETRICS_H_
