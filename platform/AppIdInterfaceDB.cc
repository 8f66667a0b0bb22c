// AppIdInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/AppIdInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "AppIdInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

AppIdInterface::~AppIdInterface() = default;

int AppIdInterfaceDB::getApplicationId(AppIdInfo&, std::string& errorText, void*) {
  return notImplemented(errorText);
}
