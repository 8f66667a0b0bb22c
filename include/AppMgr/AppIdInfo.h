// The application-id record: a numeric application id, the chain of ids
// from the Velmora down to the subclient, the three names, and the access
// mode that tells the database which of these identify the application.
#ifndef APPMGR_APPIDINFO_H_
#define APPMGR_APPIDINFO_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

class APPMGR_EXPORT AppIdInfo {
 public:
  AppIdInfo() = default;
  ~AppIdInfo() = default;

  // Chooses accessMode by the first rule that holds ("set" is non-zero for
  // an id, non-empty for a name):
  //   2  velmoraId and appId set
  //   3  velmoraId, clientId, appTypeId and the three names set
  //   4  velmoraId .. instanceId, backupSetName and subclientName set
  //   5  velmoraId .. backupSetId and subclientName set
  //   6  velmoraId .. subclientId set
  //   0  otherwise
  void setAccessMode();

  unsigned long appId = 0;
  unsigned long aux1 = 0;
  unsigned long aux2 = 0;
  unsigned long velmoraId = 0;
  unsigned long clientId = 0;
  unsigned long appTypeId = 0;
  unsigned long instanceId = 0;
  unsigned long backupSetId = 0;
  unsigned long subclientId = 0;
  std::string instanceName;
  std::string backupSetName;
  std::string subclientName;
  int accessMode = 0;
};

#endif  // APPMGR_APPIDINFO_H_
