// The one place that turns a store argument into an open store.
#include "host/StoreOpener.h"

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
    case StoreSpec::Kind::kSqlite:
      error = "cannot open \"" + spec.path + "\": this build has no SQLite store";
      return nullptr;
    case StoreSpec::Kind::kJson:
      error = "cannot load \"" + spec.path + "\": this build has no JSON store loader";
      return nullptr;
  }
  return nullptr;
}

}  // namespace appmgr
