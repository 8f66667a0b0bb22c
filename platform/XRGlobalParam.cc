// Global parameters, read from the configuration store.
#include "platform/XRGlobalParam.h"

#include "AppMgr/appMgrErrorCodes.h"

int XRGlobalParam::get(const std::string& /*name*/, std::string& /*value*/, void* /*reserved*/) {
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
