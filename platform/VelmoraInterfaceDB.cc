// VelmoraInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/VelmoraInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "VelmoraInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

VelmoraInterface::~VelmoraInterface() = default;

int VelmoraInterfaceDB::lookup(unsigned long&, unsigned long&, unsigned long&, unsigned long&, std::string&,
                               std::string&, std::string&, std::string&, std::string&, int&,
                               const std::string&, std::string& errorText, void*) {
  return notImplemented(errorText);
}
