// A process-wide, immutable snapshot of what one file holds (the parsed
// registry, the derived password keys), shared by every thread and taken
// anew only when the file changes.
//
// Reload rule: a snapshot is for one path. Asking for another path loads at
// once. For the same path the file is checked with one stat() at most once
// per check interval (default one second); it is loaded again when its
// identity (device, inode, size, modification and change times) differs,
// when the snapshot was taken while the file was still within the clock's
// granularity of its last write (a later write could keep the same
// identity), or after FileReload::requestReload(). Loading happens without
// any lock held; the new snapshot replaces the old one in a single pointer
// swap, so a reader sees either the whole old or the whole new contents.
// When the load fails the loader returns what stands for "nothing usable"
// (for the key: null); that is published like any other snapshot, so the
// failure is not hidden by an older value and a good file is picked up at
// the next check.
#ifndef PLATFORM_FILESNAPSHOT_H_
#define PLATFORM_FILESNAPSHOT_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <sys/types.h>

// What stat() says about a file, enough to notice that it was replaced or
// rewritten.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNanos = 0;
  int64_t changedNanos = 0;

  static FileStamp of(const std::string& path);
  // True when the last write lies far enough in the past that another write
  // would change the stamp: file times advance in clock ticks, so two writes
  // within one tick can leave the same times and size.
  bool settled() const;
  bool operator==(const FileStamp& other) const;
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

namespace FileReload {
// Makes every snapshot load its file again at its next use. Only an atomic
// increment: safe from a signal handler.
void requestReload();
uint64_t generation();
void setCheckInterval(std::chrono::milliseconds interval);
std::chrono::steady_clock::duration checkInterval();
}  // namespace FileReload

template <typename T>
class FileSnapshot final {
 public:
  using Loader = std::shared_ptr<const T> (*)(const std::string& path);

  explicit FileSnapshot(Loader loader) : loader_(loader) {}
  FileSnapshot(const FileSnapshot&) = delete;
  FileSnapshot& operator=(const FileSnapshot&) = delete;

  // The snapshot of the file at path, loaded or checked first when due.
  std::shared_ptr<const T> get(const std::string& path) {
    const uint64_t generation = FileReload::generation();
    const auto now = std::chrono::steady_clock::now();
    std::shared_ptr<const State> state = current();
    if (state != nullptr && state->path == path && state->generation == generation) {
      if (now - state->checkedAt < FileReload::checkInterval()) return state->value;
      // One thread checks; the others go on with the snapshot they have.
      if (checking_.exchange(true, std::memory_order_acquire)) return state->value;
      const CheckDone done(checking_);
      return refresh(state, path, generation, now);
    }
    return refresh(state, path, generation, now);
  }

 private:
  struct State {
    std::string path;
    uint64_t generation = 0;
    FileStamp stamp;
    bool settled = false;
    std::chrono::steady_clock::time_point checkedAt;
    std::shared_ptr<const T> value;
  };

  // Clears the checking flag however the check ends.
  class CheckDone {
   public:
    explicit CheckDone(std::atomic<bool>& flag) : flag_(flag) {}
    ~CheckDone() { flag_.store(false, std::memory_order_release); }
    CheckDone(const CheckDone&) = delete;
    CheckDone& operator=(const CheckDone&) = delete;

   private:
    std::atomic<bool>& flag_;
  };

  std::shared_ptr<const State> current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
  }

  // Stats the file and loads it unless the old snapshot is still its
  // contents, then publishes the result, unless meanwhile another thread
  // published one for the same path taken at the same or a later reload
  // request: that one is used instead, so an older load never replaces it.
  std::shared_ptr<const T> refresh(const std::shared_ptr<const State>& old, const std::string& path,
                                   uint64_t generation, std::chrono::steady_clock::time_point now) {
    auto next = std::make_shared<State>();
    next->path = path;
    next->generation = generation;
    next->stamp = FileStamp::of(path);
    next->settled = next->stamp.settled();
    next->checkedAt = now;
    const bool unchanged = old != nullptr && old->path == path && old->generation == generation &&
                           old->settled && old->stamp == next->stamp;
    next->value = unchanged ? old->value : loader_(path);

    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != old && state_ != nullptr && state_->path == path && state_->generation >= generation) {
      return state_->value;
    }
    state_ = next;
    return next->value;
  }

  const Loader loader_;
  std::mutex mutex_;  // guards state_ only; never held while loading
  std::shared_ptr<const State> state_;
  std::atomic<bool> checking_{false};
};

#endif  // PLATFORM_FILESNAPSHOT_H_
