// Storage that one thread lends to itself from request to request: a
// request borrows the thread's spare object (a vector of rows, a string),
// fills it through the usual assignments, which reuse the room its elements
// already have, and hands it back when done, so that a request of the usual
// size allocates nothing for it. A borrower that runs while another on the
// same thread holds the spare (a nested request) gets an empty object of its
// own. Nothing a request leaves there is read by the next one: every read
// replaces the content first.
#ifndef PLATFORM_THREADSCRATCH_H_
#define PLATFORM_THREADSCRATCH_H_

#include <cstddef>

// An object of more than kMaxKeptSize elements (rows, or bytes of a string)
// is not kept for the next request: a rare large read does not pin its
// memory to the thread.
template <typename T, size_t kMaxKeptSize = 1024>
class ScratchLoan {
 public:
  ScratchLoan() { value_.swap(spare()); }
  ~ScratchLoan() {
    if (value_.size() <= kMaxKeptSize) spare().swap(value_);
  }
  ScratchLoan(const ScratchLoan&) = delete;
  ScratchLoan& operator=(const ScratchLoan&) = delete;

  T& get() { return value_; }
  const T& get() const { return value_; }

 private:
  static T& spare() {
    thread_local T value;
    return value;
  }
  T value_;
};

#endif  // PLATFORM_THREADSCRATCH_H_
