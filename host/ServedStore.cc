// Opening the served store: existence, SQLite's quick check, the summary.
#include "host/ServedStore.h"

#include <sys/stat.h>

namespace appmgr {

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
        const std::string reason = quickCheckSqliteFile(spec.path);
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
      store = sqlite;
      summary = summarizeStore(spec, *store);
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
      store = pg;
      summary = summarizeStore(spec, *store);
      return 0;
    }
    case StoreSpec::Kind::kJson:
    case StoreSpec::Kind::kNone: {
      summary.kind = "JSON";
      store = openStore(spec, error);
      if (!store) return kExitStoreUnusable;
      summary = summarizeStore(spec, *store);
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
