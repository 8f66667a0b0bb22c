// BSInterfaceDB: backup sets and their properties, read through the
// configuration store.
#include "platform/BSInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ConfigStore.h"

namespace {

int fail(uint32_t code, std::string& errorText, const std::string& text) {
  errorText = text;
  return static_cast<int>(code);
}

// The installed store; null with XR_GET_INTERFACE_FAILED's text when there is none.
std::shared_ptr<ConfigStore> storeOrFail(int& result, std::string& errorText) {
  std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store)
    result = fail(XR_GET_INTERFACE_FAILED, errorText, "BSInterfaceDB: no configuration store is installed");
  return store;
}

}  // namespace

BSInterface::~BSInterface() = default;

int BSInterfaceDB::lookup(unsigned long backupSetId, std::string& name, long& flags,
                          unsigned long& instanceId, unsigned long& clientId, unsigned long& appTypeId,
                          std::string& description, unsigned long& subclientCount, std::string& errorText,
                          void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = storeOrFail(result, errorText);
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
  if (callback == nullptr) return fail(XR_BAD_ARGS, errorText, "BSInterfaceDB: no property callback given");
  int result = 0;
  const std::shared_ptr<ConfigStore> store = storeOrFail(result, errorText);
  if (!store) return result;
  std::vector<PropertyRow> rows;
  result = store->listProperties(PropertyOwner::kBackupSet, backupSetId, passThrough, rows, errorText);
  if (result != 0) return result;
  for (const PropertyRow& row : rows) callback->getPropertiesCallback(row.name, row.type, row.value, 0);
  return 0;
}
