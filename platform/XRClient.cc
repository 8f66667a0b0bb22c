// Client attribute queries: not built yet.
#include "platform/XRClient.h"

#include "AppMgr/appMgrErrorCodes.h"

int XRClient::isNASClient(bool& /*flag*/, void* /*context*/) { return static_cast<int>(XR_NOT_IMPLEMENTED); }
int XRClient::isNonNDMPClient(bool& /*flag*/, void* /*context*/) {
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
