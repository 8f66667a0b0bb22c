// A fault-injecting SQLite VFS for tests: registered as the default VFS over
// the one it finds, it forwards every call and, while armed, fails writes
// (as a full disk or an I/O error would). Connections opened while it is
// installed keep using it.
//
//   FaultyVfs::Scope vfs;                        // installed for this scope
//   FaultyVfs::failWrites(SQLITE_FULL, 3);       // the 4th write on fails
//   ... store operations answer errors ...
//   FaultyVfs::heal();
#ifndef TESTS_FAKES_FAULTYVFS_H_
#define TESTS_FAKES_FAULTYVFS_H_

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

}  // namespace FaultyVfs

#endif  // TESTS_FAKES_FAULTYVFS_H_
