// InstInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/InstInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "InstInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

InstInterface::~InstInterface() = default;

int InstInterfaceDB::lookup(unsigned long, std::string&, long&, unsigned long&, unsigned long&,
                            unsigned long&, std::string&, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int InstInterfaceDB::getProperties(unsigned long, long, std::string& errorText, PropCallBack*, void*) {
  return notImplemented(errorText);
}

int InstInterfaceDB::initContent(unsigned long, long, std::string& errorText, ContentCallBack*, void*) {
  return notImplemented(errorText);
}
