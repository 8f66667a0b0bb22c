// Opens the configuration store that appmgrd serves, from its command-line
// argument or from the platform registry.
#ifndef HOST_STOREOPENER_H_
#define HOST_STOREOPENER_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/ConfigStore.h"

namespace appmgr {

struct StoreSpec {
  enum class Kind {
    kNone,      // not given: take it from the registry
    kSqlite,    // --store FILE.db
    kJson,      // --store-json FILE: an in-memory store loaded from JSON
    kPostgres,  // --store CONNINFO: a libpq connection string (postgresql://... or host=...)
  };
  Kind kind = Kind::kNone;
  std::string path;     // the file, or the connection string
  size_t poolSize = 8;  // PostgreSQL connections at most (--store-pool)
};

// The store named by a --store argument (or by the registry's sStoreFile): a libpq
// connection string names a PostgreSQL store, anything else an SQLite file.
StoreSpec storeSpecForArgument(const std::string& argument, size_t poolSize = 8);

// Registry keys naming the store when the command line does not:
// [AppMgr] sStoreFile (SQLite) or sStoreJsonFile (JSON).
constexpr char kStoreRegistrySection[] = "AppMgr";
constexpr char kStoreRegistryFileKey[] = "sStoreFile";
constexpr char kStoreRegistryJsonKey[] = "sStoreJsonFile";

// The store to open once the registry is consulted for a kNone spec; kNone again when
// the registry names no store either.
StoreSpec resolveStoreSpec(const StoreSpec& spec);

// Opens the store `spec` names; null with a message when it cannot.
std::shared_ptr<ConfigStore> openStore(const StoreSpec& spec, std::string& error);

}  // namespace appmgr

#endif  // HOST_STOREOPENER_H_
