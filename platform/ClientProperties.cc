// Client version text: not built yet.
#include "platform/ClientProperties.h"

#include "AppMgr/appMgrErrorCodes.h"

int ClientProperties::getVersionInfo(std::string& /*text*/, void* /*context*/) {
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
