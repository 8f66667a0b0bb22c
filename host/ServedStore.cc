// Opening the served store: existence, SQLite's quick check, the summary.
#include "host/ServedStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include "store/MemoryConfigStore.h"
#include "store/PgSchema.h"

namespace appmgr {

namespace {

// Runs SQLite's quick check on an existing file, read-only; "" when it
// passes, else the reason. Run before the store opens the file, so that a
// damaged file is never migrated or written to.
std::string quickCheck(const std::string& path) {
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

int openServedStore(const StoreSpec& spec, bool create, std::shared_ptr<ConfigStore>& store,
                    StoreSummary& summary, std::string& error) {
  summary = StoreSummary();
  summary.name = spec.path;
  std::string errorText;
  switch (spec.kind) {
    case StoreSpec::Kind::kSqlite: {
      summary.kind = "SQLite";
      struct stat st;
      if (::stat(spec.path.c_str(), &st) != 0) {
        if (!create) {
          error = "no store at " + spec.path + ": create it with \"appmgr store init " + spec.path +
                  "\" (or \"appmgr store import " + spec.path +
                  " TREE.json\"), or start appmgrd with --create-store to start from an empty one";
          return kExitStoreMissing;
        }
      } else {
        const std::string reason = quickCheck(spec.path);
        if (!reason.empty()) {
          error = "refusing to serve " + spec.path + ": it fails SQLite's quick check: " + reason +
                  " (\"appmgr store check " + spec.path + "\" tells more)";
          return kExitStoreUnusable;
        }
      }
      std::shared_ptr<SqliteConfigStore> sqlite;
      if (SqliteConfigStore::open(spec.path, sqlite, errorText) != 0) {
        error = "cannot open the store \"" + spec.path + "\": " + errorText;
        return kExitStoreUnusable;
      }
      summarizeSqlite(spec.path, summary);
      store = sqlite;
      return 0;
    }
    case StoreSpec::Kind::kPostgres: {
      summary.kind = "PostgreSQL";
      summary.name = PgConfigStore::describe(spec.path);
      PgConfigStore::Options options;
      options.poolSize = spec.poolSize;
      options.create = create;
      std::shared_ptr<PgConfigStore> pg;
      if (PgConfigStore::open(spec.path, options, pg, errorText) != 0) {
        // The connection string may hold a password: only its description is repeated.
        if (errorText.find("holds no store") != std::string::npos) {
          error = "no store in " + summary.name + ": " + errorText +
                  "; create it with \"appmgr store init CONNINFO\", or start appmgrd with --create-store";
          return kExitStoreMissing;
        }
        error = "cannot open the PostgreSQL store: " + errorText;
        return kExitStoreUnusable;
      }
      summary.schemaVersion = pgSchemaVersion();  // open migrated it, or refused a newer one
      summarizeTree(*pg, summary);
      store = pg;
      return 0;
    }
    case StoreSpec::Kind::kJson:
    case StoreSpec::Kind::kNone: {
      summary.kind = "JSON";
      store = openStore(spec, error);
      if (!store) return kExitStoreUnusable;
      if (auto* tree = dynamic_cast<ConfigTreeStore*>(store.get())) summarizeTree(*tree, summary);
      return 0;
    }
  }
  return kExitStoreUnusable;
}

std::string describeStore(const StoreSummary& summary) {
  std::string text = summary.name + " (" + summary.kind;
  if (summary.schemaVersion > 0) text += ", schema version " + std::to_string(summary.schemaVersion);
  return text + ": " + std::to_string(summary.velmoras) + " Velmoras, " + std::to_string(summary.clients) +
         " clients, " + std::to_string(summary.subclients) + " subclients)";
}

}  // namespace appmgr
