// The learning rule of inline serving.
#include "host/InlinePolicy.h"

namespace appmgr {

void InlinePolicy::record(uint64_t code, std::chrono::nanoseconds took) {
  if (budget_.count() == 0) return;
  std::atomic<uint32_t>& credit = slot(code);
  const uint32_t seen = credit.load(std::memory_order_relaxed);
  if (took > budget_) {
    const uint32_t cost = took > budget_ + kStall ? kLearnCalls : kSlowCost;
    credit.store(seen > cost ? seen - cost : 0, std::memory_order_relaxed);
    return;
  }
  // No write once saturated: the slot's cache line then stays shared
  // between the network threads.
  if (seen < kMaxCredit) credit.store(seen + 1, std::memory_order_relaxed);
}

}  // namespace appmgr
