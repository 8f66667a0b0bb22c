// The one place that turns a store argument into an open store, for the
// host and for store administration.
#include "store/StoreOpener.h"

#include <sys/stat.h>

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

ConfigTreeStore& AdminStore::tree() {
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
