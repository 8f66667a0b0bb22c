// The one place that turns a store argument into an open store.
#include "host/StoreOpener.h"

#include "platform/ConfigTreeJson.h"
#include "platform/MemoryConfigStore.h"
#include "platform/PgConfigStore.h"
#include "platform/SqliteConfigStore.h"
#include "platform/XRPlatformInfo.h"

namespace appmgr {

StoreSpec storeSpecForArgument(const std::string& argument, size_t poolSize) {
  StoreSpec spec;
  spec.kind =
      PgConfigStore::isConnectionString(argument) ? StoreSpec::Kind::kPostgres : StoreSpec::Kind::kSqlite;
  spec.path = argument;
  spec.poolSize = poolSize;
  return spec;
}

StoreSpec resolveStoreSpec(const StoreSpec& spec) {
  if (spec.kind != StoreSpec::Kind::kNone) return spec;
  XRPlatformInfo registry;
  StoreSpec fromRegistry;
  if (registry.getString(kStoreRegistrySection, kStoreRegistryFileKey, &fromRegistry.path) != 0 &&
      !fromRegistry.path.empty()) {
    fromRegistry = storeSpecForArgument(fromRegistry.path, spec.poolSize);
  } else if (registry.getString(kStoreRegistrySection, kStoreRegistryJsonKey, &fromRegistry.path) != 0 &&
             !fromRegistry.path.empty()) {
    fromRegistry.kind = StoreSpec::Kind::kJson;
  }
  return fromRegistry;
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

}  // namespace appmgr
