// Decides, per request code, whether a network thread calls the listener
// library itself or hands the request to the handler pool.
//
// A hand-off costs two thread wake-ups per request, more than a quick
// library call itself. So a code is served on the network thread once its
// last kLearnCalls calls each finished within the inline budget.
//
// Calls over the budget come in two sorts. A thread losing its core for a
// while on a busy machine makes a few calls in a hundred slow by up to a few
// milliseconds, and sending a quick code back to the pool for that would
// only add hand-offs to a machine already short of cores. So such a call
// costs kSlowCost of credit: a code stays inline as long as fewer than
// about one call in nine overruns. A stall (a call over the budget by more
// than kStall: a slow store, a lock held elsewhere, a big answer) costs
// kLearnCalls: a code with a long quick run behind it shrugs off one, a
// second before the credit is rebuilt sends it back to the pool, where the
// request deadline is enforced while the call runs, until it has proven
// quick again. Codes share slots by hash, which only makes them more
// cautious together.
//
// Thread-safe and lock-free; the counters are hints, so relaxed atomics do.
#ifndef HOST_INLINEPOLICY_H_
#define HOST_INLINEPOLICY_H_

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace appmgr {

class InlinePolicy {
 public:
  static constexpr uint32_t kLearnCalls = 32;
  static constexpr uint32_t kMaxCredit = 2 * kLearnCalls;
  static constexpr uint32_t kSlowCost = 8;
  static constexpr std::chrono::milliseconds kStall{10};

  // A zero budget never serves inline.
  explicit InlinePolicy(std::chrono::microseconds budget) : budget_(budget) {}

  bool serveInline(uint64_t code) const {
    return budget_.count() > 0 && slot(code).load(std::memory_order_relaxed) >= kLearnCalls;
  }
  // Reports how long one library call of `code` took, inline or pooled.
  void record(uint64_t code, std::chrono::nanoseconds took);

 private:
  std::atomic<uint32_t>& slot(uint64_t code) const {
    return credit_[(code * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
  }

  static constexpr unsigned kSlotBits = 7;
  const std::chrono::microseconds budget_;
  // Credit: +1 per call within the budget up to kMaxCredit, -kSlowCost per
  // slower call, -kLearnCalls per stall (down to 0); inline from kLearnCalls
  // on.
  mutable std::array<std::atomic<uint32_t>, 1u << kSlotBits> credit_{};
};

}  // namespace appmgr

#endif  // HOST_INLINEPOLICY_H_
