// Listener of the backup set lookup: name, flag token and properties as one
// text stream.
#ifndef APPMGR_BACKUPSETBCLSN_H_
#define APPMGR_BACKUPSETBCLSN_H_

#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/AppMgrProps.h"
#include "AppMgr/PropCallBack.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT BackupSetBCLsn : public virtual PropCallBack {
 public:
  void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                             unsigned long reserved) override;
  virtual int lookupBackupSetById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual ~BackupSetBCLsn();
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);

  void clearPropList();

  AppMgrPropsList propList;
};

#endif  // APPMGR_BACKUPSETBCLSN_H_
