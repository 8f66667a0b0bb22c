// The registry's say in which store the host serves.
#include "host/StoreRegistry.h"

#include "platform/XRPlatformInfo.h"

namespace appmgr {

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

}  // namespace appmgr
