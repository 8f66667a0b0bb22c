// The one place that turns a store argument into an open store, for the
// host and for store administration.
#include "store/StoreOpener.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "PgSchema.h"
#include "store/ConfigTreeJson.h"
#include "store/MemoryConfigStore.h"
#include "store/PgConfigStore.h"
#include "store/SqliteConfigStore.h"

namespace appmgr {

StoreSpec storeSpecForArgument(const std::string& argument, size_t poolSize) {
  StoreSpec spec;
  spec.kind =
      PgConfigStore::isConnectionString(argument) ? StoreSpec::Kind::kPostgres : StoreSpec::Kind::kSqlite;
  spec.path = argument;
  spec.poolSize = poolSize;
  return spec;
}

std::shared_ptr<ConfigStore> openStore(const StoreSpec& spec, std::string& error) {
  switch (spec.kind) {
    case StoreSpec::Kind::kNone:
      error = "no store given: use --store FILE.db, --store CONNINFO or --store-json FILE, or set [" +
              std::string(kStoreRegistrySection) + "] " + kStoreRegistryFileKey + " in the registry";
      return nullptr;
    case StoreSpec::Kind::kSqlite: {
      std::shared_ptr<SqliteConfigStore> store;
      std::string errorText;
      if (SqliteConfigStore::open(spec.path, store, errorText) != 0) {
        error = "cannot open the store \"" + spec.path + "\": " + errorText;
        return nullptr;
      }
      return store;
    }
    case StoreSpec::Kind::kPostgres: {
      PgConfigStore::Options options;
      options.poolSize = spec.poolSize;
      std::shared_ptr<PgConfigStore> store;
      std::string errorText;
      if (PgConfigStore::open(spec.path, options, store, errorText) != 0) {
        // The connection string may hold a password: it is not repeated here.
        error = "cannot open the PostgreSQL store: " + errorText;
        return nullptr;
      }
      return store;
    }
    case StoreSpec::Kind::kJson: {
      auto store = std::make_shared<MemoryConfigStore>();
      std::string errorText;
      if (importConfigTreeFile(spec.path, *store, errorText) != 0) {
        error = "cannot load the store \"" + spec.path + "\": " + errorText;
        return nullptr;
      }
      return store;
    }
  }
  return nullptr;
}

std::string quickCheckSqliteFile(const std::string& path) {
  sqlite3* db = nullptr;
  std::string reason;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    reason = db != nullptr ? sqlite3_errmsg(db) : "cannot open it";
  } else {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &statement, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const auto* line = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      const std::string text = line != nullptr ? line : "";
      if (text != "ok") reason += (reason.empty() ? "" : "; ") + text;
      rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE && reason.empty()) reason = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return reason;
}

namespace {

// The schema version and counts of an open SQLite store, read through a
// connection of its own (the counts are cheap on SQLite's b-trees).
void summarizeSqlite(const std::string& path, StoreSummary& summary) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT user_version, (SELECT count(*) FROM velmora), (SELECT count(*) FROM client), "
                       "(SELECT count(*) FROM subclient) FROM pragma_user_version",
                       -1, &statement, nullptr);
    if (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      summary.schemaVersion = sqlite3_column_int(statement, 0);
      summary.velmoras = static_cast<size_t>(sqlite3_column_int64(statement, 1));
      summary.clients = static_cast<size_t>(sqlite3_column_int64(statement, 2));
      summary.subclients = static_cast<size_t>(sqlite3_column_int64(statement, 3));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
}

// Counts of a store read as a whole tree (PostgreSQL, JSON): start-up only.
void summarizeTree(ConfigTreeStore& store, StoreSummary& summary) {
  ConfigTree tree;
  std::string ignored;
  if (store.readTree(tree, ignored) != 0) return;
  summary.velmoras = tree.velmoras.size();
  summary.clients = tree.clients.size();
  summary.subclients = tree.subclients.size();
}

}  // namespace

StoreSummary summarizeStore(const StoreSpec& spec, ConfigStore& store) {
  StoreSummary summary;
  summary.name = spec.path;
  switch (spec.kind) {
    case StoreSpec::Kind::kSqlite:
      summary.kind = "SQLite";
      summarizeSqlite(spec.path, summary);
      break;
    case StoreSpec::Kind::kPostgres:
      summary.kind = "PostgreSQL";
      summary.name = PgConfigStore::describe(spec.path);
      summary.schemaVersion = pgSchemaVersion();  // opening migrated it, or refused a newer one
      if (auto* tree = dynamic_cast<ConfigTreeStore*>(&store)) summarizeTree(*tree, summary);
      break;
    case StoreSpec::Kind::kJson:
    case StoreSpec::Kind::kNone:
      summary.kind = "JSON";
      if (auto* tree = dynamic_cast<ConfigTreeStore*>(&store)) summarizeTree(*tree, summary);
      break;
  }
  return summary;
}

ConfigTreeStore& AdminStore::tree() {
  if (sqlite) return *sqlite;
  return *postgres;
}

ConfigStore& AdminStore::config() {
  if (sqlite) return *sqlite;
  return *postgres;
}

int AdminStore::checkIntegrity(std::vector<std::string>& problems, std::string& errorText) {
  return sqlite ? sqlite->checkIntegrity(problems, errorText) : postgres->checkIntegrity(problems, errorText);
}

namespace {

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isPostgres(const std::string& argument) {
  return storeSpecForArgument(argument).kind == StoreSpec::Kind::kPostgres;
}

// Opens the PostgreSQL store; with `create`, an empty schema becomes one.
bool openPostgres(const std::string& conninfo, bool create, AdminStore& store, std::string& error) {
  PgConfigStore::Options options;
  options.poolSize = 1;
  options.create = create;
  store.name = PgConfigStore::describe(conninfo);
  std::string errorText;
  if (PgConfigStore::open(conninfo, options, store.postgres, errorText) != 0) {
    error = store.name + ": " + errorText;
    return false;
  }
  return true;
}

bool holdsConfiguration(const ConfigTree& tree) {
  return !tree.globalParams.empty() || !tree.applicationTypes.empty() || !tree.velmoras.empty() ||
         !tree.clients.empty();
}

}  // namespace

bool openExistingStore(const std::string& argument, AdminStore& store, std::string& error) {
  if (isPostgres(argument)) return openPostgres(argument, false, store, error);
  store.name = argument;
  if (!fileExists(argument)) {
    error = "no store at " + argument;
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(argument, store.sqlite, errorText) != 0) {
    error = argument + ": " + errorText;
    return false;
  }
  return true;
}

bool openStoreForWrite(const std::string& argument, bool force, AdminStore& store, std::string& error) {
  if (isPostgres(argument)) {
    if (!openPostgres(argument, true, store, error)) return false;
    if (force) return true;
    ConfigTree tree;
    std::string errorText;
    if (store.postgres->readTree(tree, errorText) != 0) {
      error = store.name + ": " + errorText;
      return false;
    }
    if (holdsConfiguration(tree)) {
      error = store.name + " holds a configuration; use --force to replace its contents";
      return false;
    }
    return true;
  }
  store.name = argument;
  if (fileExists(argument) && !force) {
    error = argument + " exists; use --force to replace its contents";
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(argument, store.sqlite, errorText) != 0) {
    error = argument + ": " + errorText;
    return false;
  }
  return true;
}

}  // namespace appmgr
