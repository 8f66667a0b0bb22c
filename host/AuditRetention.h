// Deletes audit entries older than the retention period, in the background:
// a thread that, once soon after start and then every interval, deletes the
// oldest entries in small batches (a short pause between batches, so that
// the changes of the requests are never held up for long) until none older
// is left. Failures are logged and tried again at the next round.
#ifndef HOST_AUDITRETENTION_H_
#define HOST_AUDITRETENTION_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "store/ConfigStore.h"

namespace appmgr {

class AuditRetention {
 public:
  static constexpr uint64_t kBatch = 500;

  AuditRetention() = default;
  ~AuditRetention() { stop(); }
  AuditRetention(const AuditRetention&) = delete;
  AuditRetention& operator=(const AuditRetention&) = delete;

  // Starts pruning `store`, keeping `days` days of entries (0: does nothing).
  void start(std::shared_ptr<ConfigStore> store, unsigned days,
             std::chrono::milliseconds interval = std::chrono::minutes(10));
  // Ends the thread; a batch under way finishes first. Idempotent.
  void stop();

  // One round: deletes every entry older than `days` days, batch by batch;
  // the number deleted, or -1 when the store failed.
  static int64_t pruneOnce(ConfigStore& store, unsigned days);

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace appmgr

#endif  // HOST_AUDITRETENTION_H_
