// A fault-injecting SQLite VFS for tests: registered as the default VFS over
// the one it finds, it forwards every call and, while armed, fails writes
// (as a full disk or an I/O error would). Connections opened while it is
// installed keep using it. It also simulates power cuts (below).
//
//   FaultyVfs::Scope vfs;                        // installed for this scope
//   FaultyVfs::failWrites(SQLITE_FULL, 3);       // the 4th write on fails
//   ... store operations answer errors ...
//   FaultyVfs::heal();
#ifndef TESTS_FAKES_FAULTYVFS_H_
#define TESTS_FAKES_FAULTYVFS_H_

#include <cstdint>

namespace FaultyVfs {

// Installs the VFS as the default one; uninstalls it (the previous default
// comes back) when the scope ends. Heals on both ends.
class Scope {
 public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

// After `okWrites` more successful writes (or truncations, or syncs), every
// one answers `code` (SQLITE_FULL, SQLITE_IOERR_WRITE, ...) until heal().
void failWrites(int code, int okWrites = 0);
void heal();

// Power cuts, on a disk with a write cache. While a cut is armed, every
// write, truncation and sync of a named file (database, WAL) is an event,
// counted over all files. Writes and truncations reach the file at once,
// logged with what they replaced until any handle syncs that file; a sync
// only clears the log (the log, not a real cache, decides what survives, so
// syncs cost nothing). Event number `at` (from 0) is where the power fails:
// it and every later write, truncation, sync or delete answers an I/O error
// and changes nothing.
enum class PowerCut {
  kLoseUnsynced,    // everything written to a file since its last sync is lost
  kTearLastSector,  // as above, but the first half of the last 512-byte sector
                    // of each file's last unsynced write keeps the new bytes
};
void armPowerCut(int64_t at, PowerCut mode);

struct PowerLog {
  int64_t events = 0;  // events that ran (before the cut, if there was one)
  bool cut = false;    // the power failed
};
// Power comes back: undoes on disk what the cut lost and disarms. Close
// every connection first (a shared-memory WAL index must be rebuilt, as
// after a real power failure).
PowerLog restorePower();

}  // namespace FaultyVfs

#endif  // TESTS_FAKES_FAULTYVFS_H_
