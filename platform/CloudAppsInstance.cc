// Cloud application instances: the instance type comes from the
// configuration store's instance row.
#include "platform/CloudAppsInstance.h"

#include <memory>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

int CloudAppsInstance::getInstanceType(App::CloudAppsInstanceType& type, void* /*context*/) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) return static_cast<int>(XR_GET_INTERFACE_FAILED);
  InstanceRow row;
  std::string errorText;
  const int rc = store->findInstance(instanceId_, row, errorText);
  if (rc == 0) type = static_cast<App::CloudAppsInstanceType>(row.cloudAppsType);
  return rc;
}
