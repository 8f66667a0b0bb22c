// BSInterfaceDB: backup sets and their properties, read through the
// configuration store.
#include "platform/BSInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

BSInterface::~BSInterface() = default;

int BSInterfaceDB::lookup(unsigned long backupSetId, std::string& name, long& flags,
                          unsigned long& instanceId, unsigned long& clientId, unsigned long& appTypeId,
                          std::string& description, unsigned long& subclientCount, std::string& errorText,
                          void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore("BSInterfaceDB", result, errorText);
  if (!store) return result;
  BackupSetRow row;
  result = store->findBackupSet(backupSetId, row, errorText);
  if (result != 0) return result;
  name = row.name;
  flags = row.flags;
  instanceId = row.instanceId;
  clientId = row.clientId;
  appTypeId = row.appTypeId;
  description = row.description;
  subclientCount = row.subclientCount;
  return 0;
}

int BSInterfaceDB::getProperties(unsigned long backupSetId, long passThrough, std::string& errorText,
                                 PropCallBack* callback, void* /*reserved*/) {
  return deliverProperties("BSInterfaceDB", PropertyOwner::kBackupSet, backupSetId, passThrough, callback,
                           errorText);
}
