// ClientInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/ClientInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "ClientInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

ClientInterface::~ClientInterface() = default;

ClientInterfaceDB::ClientInterfaceDB(int mode, const std::string& context) : mode_(mode), context_(context) {}

int ClientInterfaceDB::lookup(_AppClientInfo&, ClientPlatformInfo*, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int ClientInterfaceDB::getProperties(unsigned long, long, std::string& errorText, PropCallBack*, void*) {
  return notImplemented(errorText);
}

int ClientInterfaceDB::setProperties(unsigned long, PropertyList&, bool, std::string& errorText, void*,
                                     int*) {
  return notImplemented(errorText);
}

int ClientInterfaceDB::removeProperties(unsigned long, PropertyList&, bool, std::string& errorText, void*,
                                        int*) {
  return notImplemented(errorText);
}
