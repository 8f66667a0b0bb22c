// Distributed cluster instances: not built yet.
#include "platform/DistributedClusterInstance.h"

#include "AppMgr/appMgrErrorCodes.h"

int DistributedClusterInstance::getClusterType(App::DistributedClusterType& /*type*/, void* /*context*/) {
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
