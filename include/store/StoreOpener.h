// The one place that turns a store argument (an SQLite file, a libpq
// connection string, a JSON tree) into an open store: for the host that
// serves it and for the administration commands that create, load, export
// and check it.
#ifndef STORE_STOREOPENER_H_
#define STORE_STOREOPENER_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "store/ConfigStore.h"
#include "store/ConfigTree.h"
#include "store/PgConfigStore.h"
#include "store/SqliteConfigStore.h"

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
// [AppMgr] sStoreFile (SQLite) or sStoreJsonFile (JSON). The host reads
// them (host/StoreRegistry); the store names them in its "no store" message.
constexpr char kStoreRegistrySection[] = "AppMgr";
constexpr char kStoreRegistryFileKey[] = "sStoreFile";
constexpr char kStoreRegistryJsonKey[] = "sStoreJsonFile";

// Opens the store `spec` names; null with a message when it cannot.
std::shared_ptr<ConfigStore> openStore(const StoreSpec& spec, std::string& error);

// SQLite's quick check of an existing file, opened read-only, so that a
// damaged file can be refused before anything migrates or writes to it:
// "" when it passes, else the reason.
std::string quickCheckSqliteFile(const std::string& path);

// What a host's start-up line says about the store it serves.
struct StoreSummary {
  std::string name;       // the file, the connection string without its password, or the JSON file
  std::string kind;       // "SQLite", "PostgreSQL" or "JSON"
  int schemaVersion = 0;  // 0 for a JSON tree (no schema)
  size_t velmoras = 0, clients = 0, subclients = 0;
};

// The summary of `store`, opened from `spec`. SQLite counts its rows in
// SQL; PostgreSQL and JSON read the whole tree once (start-up only).
StoreSummary summarizeStore(const StoreSpec& spec, ConfigStore& store);

// A store opened for administration: an SQLite file or a PostgreSQL
// catalog, as storeSpecForArgument tells them apart.
struct AdminStore {
  std::shared_ptr<SqliteConfigStore> sqlite;
  std::shared_ptr<PgConfigStore> postgres;
  std::string name;  // for messages: the file, or the connection string without its password

  ConfigTreeStore& tree();
  ConfigStore& config();
  int checkIntegrity(std::vector<std::string>& problems, std::string& errorText);
};

// Opens an existing store, never creating one (a missing file, a foreign or
// newer store is refused). false with the reason in `error`, which starts
// with the store's name.
bool openExistingStore(const std::string& argument, AdminStore& store, std::string& error);

// Opens a store for replacing its contents, creating it when it does not
// exist: refused when the file exists (a PostgreSQL store: when it holds
// any configuration) and `force` is not set. Opening checks that an
// existing file or schema is one of our stores, so `force` cannot clobber
// anything else.
bool openStoreForWrite(const std::string& argument, bool force, AdminStore& store, std::string& error);

}  // namespace appmgr

#endif  // STORE_STOREOPENER_H_
