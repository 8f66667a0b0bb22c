// InstInterfaceDB: instances, their properties and their content, read
// through the configuration store.
#include "platform/InstInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

InstInterface::~InstInterface() = default;

int InstInterfaceDB::lookup(unsigned long instanceId, std::string& name, long& flags, unsigned long& clientId,
                            unsigned long& appTypeId, unsigned long& velmoraId, std::string& description,
                            std::string& errorText, void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore("InstInterfaceDB", result, errorText);
  if (!store) return result;
  InstanceRow row;
  result = store->findInstance(instanceId, row, errorText);
  if (result != 0) return result;
  name = row.name;
  flags = row.flags;
  clientId = row.clientId;
  appTypeId = row.appTypeId;
  velmoraId = row.velmoraId;
  description = row.description;
  return 0;
}

int InstInterfaceDB::getProperties(unsigned long instanceId, long passThrough, std::string& errorText,
                                   PropCallBack* callback, void* /*reserved*/) {
  return deliverProperties("InstInterfaceDB", PropertyOwner::kInstance, instanceId, passThrough, callback,
                           errorText);
}

int InstInterfaceDB::initContent(unsigned long instanceId, long /*passThrough*/, std::string& errorText,
                                 ContentCallBack* callback, void* /*reserved*/) {
  if (callback == nullptr)
    return storeFailure(XR_BAD_ARGS, errorText, "InstInterfaceDB: no content callback given");
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore("InstInterfaceDB", result, errorText);
  if (!store) return result;
  std::vector<ContentRow> rows;
  result = store->listInstanceContent(instanceId, rows, errorText);
  if (result != 0) return result;
  for (const ContentRow& row : rows) callback->initContentCallback(row.type, row.path);
  return 0;
}
