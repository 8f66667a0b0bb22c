// AppIdInterfaceDB: resolves an application id through the configuration
// store. The access mode names the fields of the AppIdInfo that identify the
// application; the store's row then fills in all the others.
#include "platform/AppIdInterfaceDB.h"

#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ThreadScratch.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

namespace {

// The store key of an access mode; false when the mode names no key.
bool keyOf(const AppIdInfo& info, ApplicationKey& key) {
  switch (info.accessMode) {
    case 0:
      // Callers that only know the numeric id (the instance and subclient
      // lookups) leave the mode 0 when setAccessMode found nothing better.
      if (info.velmoraId == 0 || info.appId == 0) return false;
      key = ApplicationKey::kNumeric;
      return true;
    case 2:
      key = ApplicationKey::kNumeric;
      return true;
    case 3:
      key = ApplicationKey::kNames;
      return true;
    case 4:
      key = ApplicationKey::kInstanceAndNames;
      return true;
    case 5:
      key = ApplicationKey::kBackupSetAndName;
      return true;
    case 6:
      key = ApplicationKey::kIds;
      return true;
    default:
      return false;
  }
}

}  // namespace

AppIdInterface::~AppIdInterface() = default;

int AppIdInterfaceDB::getApplicationId(AppIdInfo& info, std::string& errorText, void* /*reserved*/) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) {
    return storeFailure(XR_GET_INTERFACE_FAILED, errorText,
                        "AppIdInterfaceDB: no configuration store is installed");
  }
  ApplicationKey key = ApplicationKey::kNumeric;
  if (!keyOf(info, key)) {
    return storeFailure(XR_APPID_BAD_ARGS, errorText,
                        info.accessMode == 0
                            ? "AppIdInterfaceDB: the application id does not name an application"
                            : "AppIdInterfaceDB: unknown access mode " + std::to_string(info.accessMode));
  }

  // The key row and the found row live in storage the thread reuses, so
  // that their names are assigned into strings that have the room already.
  ScratchLoan<std::vector<ApplicationRow>> rows;
  rows.get().resize(2);
  ApplicationRow& match = rows.get()[0];
  ApplicationRow& row = rows.get()[1];
  match.appId = info.appId;
  match.aux1 = 0;  // every field is set: the row may hold an earlier key
  match.aux2 = 0;
  match.velmoraId = info.velmoraId;
  match.clientId = info.clientId;
  match.appTypeId = info.appTypeId;
  match.instanceId = info.instanceId;
  match.backupSetId = info.backupSetId;
  match.subclientId = info.subclientId;
  match.instanceName = info.instanceName;
  match.backupSetName = info.backupSetName;
  match.subclientName = info.subclientName;

  const int rc = store->findApplication(key, match, row, errorText);
  if (rc != 0) return rc;
  info.appId = row.appId;
  info.aux1 = row.aux1;
  info.aux2 = row.aux2;
  info.velmoraId = row.velmoraId;
  info.clientId = row.clientId;
  info.appTypeId = row.appTypeId;
  info.instanceId = row.instanceId;
  info.backupSetId = row.backupSetId;
  info.subclientId = row.subclientId;
  info.instanceName = row.instanceName;
  info.backupSetName = row.backupSetName;
  info.subclientName = row.subclientName;
  return 0;
}
