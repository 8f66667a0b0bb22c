// SCInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/SCInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "SCInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

SCInterface::~SCInterface() = default;

int SCInterfaceDB::lookup(unsigned long, std::string&, long&, unsigned long&, unsigned long&, unsigned long&,
                          std::string&, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int SCInterfaceDB::getProperties(unsigned long, long, std::string& errorText, PropCallBack*, void*) {
  return notImplemented(errorText);
}

int SCInterfaceDB::setProperties(unsigned long, PropertyList&, bool, std::string& errorText, void*, int*) {
  return notImplemented(errorText);
}

int SCInterfaceDB::removeProperties(unsigned long, PropertyList&, bool, std::string& errorText, void*, int*) {
  return notImplemented(errorText);
}

int SCInterfaceDB::updateContent(unsigned long, int, EntryList&, EntryList&, bool, bool, bool,
                                 std::string& errorText, void*, int*) {
  return notImplemented(errorText);
}
