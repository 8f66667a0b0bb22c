// The fault-injecting VFS. A file opened through it is the underlying VFS's
// own file object with its method table swapped for a copy whose write,
// truncate and sync entries check the fault state first; every other
// method runs unchanged on the same object.
#include "fakes/FaultyVfs.h"

#include <atomic>
#include <mutex>
#include <utility>

#include <sqlite3.h>

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

int faultyWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  if (const int code = writeFailure()) return code;
  return original(file)->xWrite(file, data, amount, offset);
}

int faultyTruncate(sqlite3_file* file, sqlite3_int64 size) {
  if (const int code = writeFailure()) return code == SQLITE_IOERR_WRITE ? SQLITE_IOERR_TRUNCATE : code;
  return original(file)->xTruncate(file, size);
}

int faultySync(sqlite3_file* file, int flags) {
  if (const int code = writeFailure()) return code == SQLITE_IOERR_WRITE ? SQLITE_IOERR_FSYNC : code;
  return original(file)->xSync(file, flags);
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
  return &to;
}

int faultyOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  const int rc = real->xOpen(real, name, file, flags, outFlags);
  if (rc == SQLITE_OK && file->pMethods != nullptr) file->pMethods = patched(file->pMethods);
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
  sqlite3_vfs_register(&faulty, 1);
}

Scope::~Scope() {
  heal();
  sqlite3_vfs_unregister(&faulty);
  sqlite3_vfs_register(real, 1);
}

void failWrites(int code, int okWrites) {
  writesLeft = okWrites;
  writeFault = code;
}

void heal() { writeFault = 0; }

}  // namespace FaultyVfs
