// The store file's inotify watch.
#include "SqliteFileWatch.h"

#include <utility>

#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lost link (unlink, or a rename over the path) shows as a change of
// the link count; a rename away or a deletion have events of their own; a
// write shows as a modification.
constexpr uint32_t kEvents = IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_MODIFY;

// Watches `path` when it is a regular file (not through a symbolic link) and
// drops the watch `old` when that is another one; returns the new watch or -1.
int watchFile(int fd, const std::string& path, int old) {
  struct stat status {};
  int watch = -1;
  if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode))
    watch = inotify_add_watch(fd, path.c_str(), kEvents | IN_DONT_FOLLOW);
  if (old >= 0 && watch != old) inotify_rm_watch(fd, old);
  return watch;
}

}  // namespace

SqliteFileWatch::SqliteFileWatch(std::string path)
    : path_(std::move(path)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  std::lock_guard<std::mutex> lock(mutex_);
  rearm();
}

SqliteFileWatch::~SqliteFileWatch() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t SqliteFileWatch::generation() {
  if (armed_.load()) {
    int pending = 0;
    if (::ioctl(fd_, FIONREAD, &pending) == 0 && pending == 0) return generation_.load();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // Counted before the queue is emptied: a caller that finds it empty
  // afterwards also finds the new number.
  generation_.fetch_add(1);
  rearm();
  return generation_.load();
}

void SqliteFileWatch::rearm() {
  if (fd_ < 0) return;
  alignas(struct inotify_event) char events[4096];
  while (::read(fd_, events, sizeof events) > 0) {
  }
  // A symbolic link can be pointed elsewhere without an event on the file
  // it named: such a path is compared before every operation instead.
  watch_ = watchFile(fd_, path_, watch_);
  walWatch_ = watchFile(fd_, watch_ >= 0 ? path_ + "-wal" : std::string(), walWatch_);
  armed_.store(watch_ >= 0);
  writesWatched_.store(watch_ >= 0 && walWatch_ >= 0);
}
