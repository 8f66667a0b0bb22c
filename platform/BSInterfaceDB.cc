// BSInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/BSInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "BSInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

BSInterface::~BSInterface() = default;

int BSInterfaceDB::lookup(unsigned long, std::string&, long&, unsigned long&, unsigned long&, unsigned long&,
                          std::string&, unsigned long&, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int BSInterfaceDB::getProperties(unsigned long, long, std::string& errorText, PropCallBack*, void*) {
  return notImplemented(errorText);
}
