// Cloud application instances: not built yet.
#include "platform/CloudAppsInstance.h"

#include "AppMgr/appMgrErrorCodes.h"

int CloudAppsInstance::getInstanceType(App::CloudAppsInstanceType& /*type*/, void* /*context*/) {
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
