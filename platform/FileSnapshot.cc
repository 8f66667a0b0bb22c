// File stamps and the process-wide reload settings of the file snapshots.
#include "FileSnapshot.h"

#include <ctime>

#include <sys/stat.h>

namespace {

// Longer than the coarsest file time granularity met in practice (one or
// two seconds on older file systems; a clock tick elsewhere).
constexpr int64_t kSettleNanos = 2'000'000'000;
constexpr auto kDefaultCheckInterval = std::chrono::seconds(1);

// requestReload() is called from signal handlers: the counter must not lock.
static_assert(std::atomic<uint64_t>::is_always_lock_free);
std::atomic<uint64_t> reloadGeneration{0};
std::atomic<int64_t> checkIntervalNanos{
    std::chrono::duration_cast<std::chrono::nanoseconds>(kDefaultCheckInterval).count()};

int64_t nanos(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

}  // namespace

FileStamp FileStamp::of(const std::string& path) {
  FileStamp stamp;
  struct stat st = {};
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedNanos = nanos(st.st_mtim);
  stamp.changedNanos = nanos(st.st_ctim);
  return stamp;
}

bool FileStamp::settled() const {
  if (!exists) return true;  // creating the file changes the stamp
  timespec now = {};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  const int64_t lastWrite = modifiedNanos > changedNanos ? modifiedNanos : changedNanos;
  return nanos(now) - lastWrite >= kSettleNanos;
}

bool FileStamp::operator==(const FileStamp& other) const {
  return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
         modifiedNanos == other.modifiedNanos && changedNanos == other.changedNanos;
}

namespace FileReload {

void requestReload() { reloadGeneration.fetch_add(1, std::memory_order_relaxed); }

uint64_t generation() { return reloadGeneration.load(std::memory_order_relaxed); }

void setCheckInterval(std::chrono::milliseconds interval) {
  checkIntervalNanos.store(std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count(),
                           std::memory_order_relaxed);
}

std::chrono::steady_clock::duration checkInterval() {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::nanoseconds(checkIntervalNanos.load(std::memory_order_relaxed)));
}

}  // namespace FileReload
