// The fault-injecting VFS. A file opened through it is the underlying VFS's
// own file object with its method table swapped for a copy whose write,
// truncate, sync and close entries check the fault state first; every other
// method runs unchanged on the same object.
#include "fakes/FaultyVfs.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace FaultyVfs {

namespace {

std::atomic<int> writeFault{0};  // 0: writes go through
std::atomic<int> writesLeft{0};  // writes still allowed before writeFault applies

sqlite3_vfs* real = nullptr;
sqlite3_vfs faulty;

// One patched copy per method table of the underlying VFS (it has a few).
constexpr size_t kMaxTables = 16;
std::mutex tablesMutex;
std::pair<const sqlite3_io_methods*, sqlite3_io_methods> tables[kMaxTables];
size_t tableCount = 0;

const sqlite3_io_methods* original(sqlite3_file* file);

int writeFailure() {
  const int code = writeFault.load();
  if (code == 0) return SQLITE_OK;
  return writesLeft.fetch_sub(1) > 0 ? SQLITE_OK : code;
}

// ---- Power cuts ----

// What one unsynced write or truncation replaced, and what a write wrote.
struct Change {
  sqlite3_int64 offset;
  std::string before;
  std::string written;
};
// The unsynced changes of one file since its last sync.
struct FileLog {
  sqlite3_int64 syncedSize = 0;
  std::vector<Change> changes;
};

std::mutex powerMutex;
std::map<const sqlite3_file*, std::string> openNames;  // named files open through the VFS
std::map<std::string, FileLog> logs;                   // by path; only while armed
bool armed = false;
bool powerOut = false;
int64_t cutAt = 0;
int64_t events = 0;
PowerCut cutMode = PowerCut::kLoseUnsynced;

// Counts an event of `file` when a cut is armed and the file is named. Sets
// `log` to its log (null: not logged), or answers false once the power is out.
bool powered(sqlite3_file* file, FileLog*& log) {
  log = nullptr;
  if (!armed) return true;
  const auto name = openNames.find(file);
  if (name == openNames.end()) return true;
  if (events == cutAt) powerOut = true;
  if (powerOut) return false;
  ++events;
  const bool fresh = logs.count(name->second) == 0;
  log = &logs[name->second];
  if (fresh) original(file)->xFileSize(file, &log->syncedSize);
  return true;
}

// Logs the bytes [offset, end) that a change is about to replace.
void logBefore(sqlite3_file* file, FileLog& log, sqlite3_int64 offset, sqlite3_int64 end,
               std::string written) {
  sqlite3_int64 size = 0;
  original(file)->xFileSize(file, &size);
  std::string before(offset < std::min(end, size) ? std::min(end, size) - offset : 0, '\0');
  if (!before.empty()) original(file)->xRead(file, before.data(), static_cast<int>(before.size()), offset);
  log.changes.push_back({offset, std::move(before), std::move(written)});
}

int faultyWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  if (const int code = writeFailure()) return code;
  {
    std::lock_guard<std::mutex> lock(powerMutex);
    FileLog* log = nullptr;
    if (!powered(file, log)) return SQLITE_IOERR_WRITE;
    if (log)
      logBefore(file, *log, offset, offset + amount, std::string(static_cast<const char*>(data), amount));
  }
  return original(file)->xWrite(file, data, amount, offset);
}

int faultyTruncate(sqlite3_file* file, sqlite3_int64 size) {
  if (const int code = writeFailure()) return code == SQLITE_IOERR_WRITE ? SQLITE_IOERR_TRUNCATE : code;
  {
    std::lock_guard<std::mutex> lock(powerMutex);
    FileLog* log = nullptr;
    if (!powered(file, log)) return SQLITE_IOERR_TRUNCATE;
    if (log) logBefore(file, *log, size, INT64_MAX, std::string());
  }
  return original(file)->xTruncate(file, size);
}

int faultySync(sqlite3_file* file, int flags) {
  if (const int code = writeFailure()) return code == SQLITE_IOERR_WRITE ? SQLITE_IOERR_FSYNC : code;
  {
    std::lock_guard<std::mutex> lock(powerMutex);
    FileLog* log = nullptr;
    if (!powered(file, log)) return SQLITE_IOERR_FSYNC;
    if (log) {
      logs.erase(openNames[file]);
      return SQLITE_OK;
    }
  }
  return original(file)->xSync(file, flags);
}

int faultyClose(sqlite3_file* file) {
  const sqlite3_io_methods* methods = original(file);
  {
    std::lock_guard<std::mutex> lock(powerMutex);
    openNames.erase(file);
  }
  return methods->xClose(file);
}

int faultyDelete(sqlite3_vfs*, const char* name, int syncDirectory) {
  {
    std::lock_guard<std::mutex> lock(powerMutex);
    if (armed && powerOut) return SQLITE_IOERR_DELETE;
    logs.erase(name);
  }
  return real->xDelete(real, name, syncDirectory);
}

// Puts back on disk what `log` says the file held at its last sync.
void undo(const std::string& path, const FileLog& log) {
  const int fd = ::open(path.c_str(), O_RDWR);
  if (fd < 0) return;
  bool ok = true;
  for (auto change = log.changes.rbegin(); change != log.changes.rend(); ++change) {
    const std::string& before = change->before;
    ok &= ::pwrite(fd, before.data(), before.size(), change->offset) == static_cast<ssize_t>(before.size());
  }
  ok &= ::ftruncate(fd, log.syncedSize) == 0;
  if (cutMode == PowerCut::kTearLastSector) {
    for (auto change = log.changes.rbegin(); change != log.changes.rend(); ++change) {
      if (change->written.empty()) continue;
      const sqlite3_int64 end = change->offset + change->written.size();
      const sqlite3_int64 sector = (end - 1) / 512 * 512;
      const sqlite3_int64 from = std::max(sector, change->offset), to = std::min(sector + 256, end);
      if (to > from)  // else the write lies in the sector's second half, all of it lost
        ok &= ::pwrite(fd, change->written.data() + (from - change->offset), to - from, from) == to - from;
      break;
    }
  }
  ::close(fd);
  if (!ok) ::abort();  // the files could not be restored: no later check would mean anything
}

const sqlite3_io_methods* original(sqlite3_file* file) {
  std::lock_guard<std::mutex> lock(tablesMutex);
  for (size_t i = 0; i < tableCount; ++i) {
    if (&tables[i].second == file->pMethods) return tables[i].first;
  }
  return file->pMethods;  // not reached: every open file has a patched table
}

// The patched copy of `from`, or `from` itself when the tables are full.
const sqlite3_io_methods* patched(const sqlite3_io_methods* from) {
  std::lock_guard<std::mutex> lock(tablesMutex);
  for (size_t i = 0; i < tableCount; ++i) {
    if (tables[i].first == from) return &tables[i].second;
  }
  if (tableCount == kMaxTables) return from;
  auto& [known, to] = tables[tableCount++];
  known = from;
  to = *from;
  to.xWrite = faultyWrite;
  to.xTruncate = faultyTruncate;
  to.xSync = faultySync;
  to.xClose = faultyClose;
  return &to;
}

int faultyOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  const int rc = real->xOpen(real, name, file, flags, outFlags);
  if (rc == SQLITE_OK && file->pMethods != nullptr) {
    file->pMethods = patched(file->pMethods);
    std::lock_guard<std::mutex> lock(powerMutex);
    if (name != nullptr) openNames[file] = name;
  }
  return rc;
}

}  // namespace

Scope::Scope() {
  heal();
  real = sqlite3_vfs_find(nullptr);
  faulty = *real;
  faulty.zName = "faulty";
  faulty.pNext = nullptr;
  faulty.xOpen = faultyOpen;
  faulty.xDelete = faultyDelete;
  sqlite3_vfs_register(&faulty, 1);
}

Scope::~Scope() {
  heal();
  restorePower();
  sqlite3_vfs_unregister(&faulty);
  sqlite3_vfs_register(real, 1);
}

void failWrites(int code, int okWrites) {
  writesLeft = okWrites;
  writeFault = code;
}

void heal() { writeFault = 0; }

void armPowerCut(int64_t at, PowerCut mode) {
  std::lock_guard<std::mutex> lock(powerMutex);
  logs.clear();
  armed = true;
  powerOut = false;
  cutAt = at;
  events = 0;
  cutMode = mode;
}

PowerLog restorePower() {
  std::lock_guard<std::mutex> lock(powerMutex);
  if (powerOut) {
    for (const auto& [path, log] : logs) undo(path, log);
  }
  const PowerLog result{events, powerOut};
  logs.clear();
  armed = powerOut = false;
  return result;
}

}  // namespace FaultyVfs
