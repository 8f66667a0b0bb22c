// Distributed cluster instances: the cluster type comes from the
// configuration store's instance row.
#include "platform/DistributedClusterInstance.h"

#include <memory>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

int DistributedClusterInstance::getClusterType(App::DistributedClusterType& type, void* /*context*/) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) return static_cast<int>(XR_GET_INTERFACE_FAILED);
  InstanceRow row;
  std::string errorText;
  const int rc = store->findInstance(instanceId_, row, errorText);
  if (rc == 0) type = static_cast<App::DistributedClusterType>(row.clusterType);
  return rc;
}
