// AdaptersInterfaceDB: not built yet; every operation reports that it is not implemented.
#include "platform/AdaptersInterfaceDB.h"

#include "AppMgr/appMgrErrorCodes.h"

namespace {
int notImplemented(std::string& errorText) {
  errorText = "AdaptersInterfaceDB: operation not implemented";
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
}  // namespace

AdaptersInterface::~AdaptersInterface() = default;

int AdaptersInterfaceDB::getVelmoraList(IdList&, NameList&, std::string& errorText, unsigned long, void*,
                                        bool) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getClientList(IdList&, NameList&, std::string& errorText, unsigned long, void*,
                                       int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getClientListOfType(IdList&, NameList&, std::string& errorText, unsigned long, int,
                                             void*, bool) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getAppIdList(NameList&, std::string& errorText, unsigned long, unsigned long,
                                      unsigned long, unsigned long, unsigned long, void*, bool) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getApplicationTypes(IdList&, NameList&, std::string& errorText, unsigned long, void*,
                                             int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getInstanceList(IdList&, NameList&, std::string& errorText, unsigned long,
                                         unsigned long, unsigned long, void*, int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getInstanceList(IdList&, NameList&, std::string& errorText, unsigned long,
                                         unsigned long, void*, int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getBackupSetList(IdList&, NameList&, FlagList&, std::string& errorText,
                                          unsigned long, unsigned long, unsigned long, void*, int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getSubclientList(IdList&, NameList&, FlagList&, std::string& errorText,
                                          unsigned long, unsigned long, void*, int) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getApplications(NameList&, unsigned long, unsigned long, bool&,
                                         std::string& errorText, void*) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getApplicationTypeName(unsigned long, std::string&, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getAppIdString(unsigned long, std::string&, std::string& errorText, void*) {
  return notImplemented(errorText);
}

int AdaptersInterfaceDB::getClientId(unsigned long, unsigned long&, unsigned long&, std::string& errorText,
                                     void*) {
  return notImplemented(errorText);
}
