// The background pruning of the audit trail.
#include "host/AuditRetention.h"

#include <utility>

#include "platform/EvDebug.h"

#include "store/AuditTrail.h"

namespace appmgr {

namespace {
constexpr const char* kTag = "AuditRetention";
constexpr std::chrono::milliseconds kPause{20};  // between two batches
}  // namespace

int64_t AuditRetention::pruneOnce(ConfigStore& store, unsigned days) {
  const int64_t before = auditNowUs() - int64_t{days} * 24 * 3600 * 1000000;
  int64_t total = 0;
  for (;;) {
    uint64_t deleted = 0;
    std::string errorText;
    if (store.pruneAudit(before, kBatch, deleted, errorText) != 0) {
      EvEvent ev;
      ev.Error(kTag, "Cannot delete old audit entries: %s", errorText.c_str());
      return -1;
    }
    total += static_cast<int64_t>(deleted);
    if (deleted < kBatch) return total;
    std::this_thread::sleep_for(kPause);
  }
}

void AuditRetention::start(std::shared_ptr<ConfigStore> store, unsigned days,
                           std::chrono::milliseconds interval) {
  if (days == 0 || !store || thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this, store = std::move(store), days, interval] {
    std::unique_lock<std::mutex> lock(mutex_);
    // The first round a moment after start, so that start-up is not slowed.
    auto next = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
      lock.unlock();
      const int64_t deleted = pruneOnce(*store, days);
      if (deleted > 0) {
        EvEvent ev;
        ev.Debug(kTag, "Deleted %lld audit entries older than %u days", static_cast<long long>(deleted),
                 days);
      }
      lock.lock();
      next = std::chrono::steady_clock::now() + interval;
    }
  });
}

void AuditRetention::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace appmgr
