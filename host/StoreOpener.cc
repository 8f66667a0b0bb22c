// The one place that turns a store argument into an open store.
#include "host/StoreOpener.h"

#include "platform/ConfigTreeJson.h"
#include "platform/MemoryConfigStore.h"
#include "platform/SqliteConfigStore.h"
#include "platform/XRPlatformInfo.h"

namespace appmgr {

StoreSpec resolveStoreSpec(const StoreSpec& spec) {
  if (spec.kind != StoreSpec::Kind::kNone) return spec;
  XRPlatformInfo registry;
  StoreSpec fromRegistry;
  if (registry.getString(kStoreRegistrySection, kStoreRegistryFileKey, &fromRegistry.path) != 0 &&
      !fromRegistry.path.empty()) {
    fromRegistry.kind = StoreSpec::Kind::kSqlite;
  } else if (registry.getString(kStoreRegistrySection, kStoreRegistryJsonKey, &fromRegistry.path) != 0 &&
             !fromRegistry.path.empty()) {
    fromRegistry.kind = StoreSpec::Kind::kJson;
  }
  return fromRegistry;
}

std::shared_ptr<ConfigStore> openStore(const StoreSpec& spec, std::string& error) {
  switch (spec.kind) {
    case StoreSpec::Kind::kNone:
      error = "no store given: use --store FILE.db or --store-json FILE, or set [" +
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
