// Tells the SQLite store, without a path lookup per operation, whether its
// file may have been removed, renamed or replaced since it last looked.
//
// An inotify watch on the file's inode queues an event when the file loses
// a link (removed, or replaced by a rename over its path), is renamed or is
// deleted. The events stay queued until a caller sees them, so a change
// made before a call (by this process or another one) is always seen by
// that call. While no watch can be armed (no inotify, the path is empty or
// a symbolic link), every call reports a change, and the store compares
// the path with its file before each operation as it would without a watch.
//
// Writes count as changes too: a write to the file or to its WAL file (the
// path with "-wal"), by any process, queues an event in the write call
// itself, before the writer's commit can be answered. So while both files
// are watched (watchesWrites), an unchanged number also means that nothing
// was written.
#ifndef STORE_SQLITEFILEWATCH_H_
#define STORE_SQLITEFILEWATCH_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class SqliteFileWatch final {
 public:
  explicit SqliteFileWatch(std::string path);
  ~SqliteFileWatch();
  SqliteFileWatch(const SqliteFileWatch&) = delete;
  SqliteFileWatch& operator=(const SqliteFileWatch&) = delete;

  // A number that changes whenever the file at the path may have changed:
  // a caller that checked its file at the value returned now need not
  // check it again while later calls return the same value. Thread-safe;
  // one ioctl when nothing happened.
  uint64_t generation();
  // Whether writes are reported: both the file and its WAL file are watched.
  bool watchesWrites() const { return writesWatched_.load(); }

 private:
  // Takes the queued events and watches the file now at the path. Called
  // with mutex_ held.
  void rearm();

  const std::string path_;
  const int fd_;  // the inotify instance, -1 without one
  std::mutex mutex_;
  int watch_ = -1;     // the watch descriptor, -1 while none is armed
  int walWatch_ = -1;  // the WAL file's, -1 while none is armed
  std::atomic<bool> armed_{false};
  std::atomic<bool> writesWatched_{false};
  std::atomic<uint64_t> generation_{0};
};

#endif  // STORE_SQLITEFILEWATCH_H_
