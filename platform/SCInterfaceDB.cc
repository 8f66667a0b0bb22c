// SCInterfaceDB: subclients and their properties, read through the
// configuration store. The writing operations are not built yet and report
// that they are not implemented.
#include "platform/SCInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ConfigStore.h"

namespace {

int fail(uint32_t code, std::string& errorText, const std::string& text) {
  errorText = text;
  return static_cast<int>(code);
}

int notImplemented(std::string& errorText) {
  return fail(XR_NOT_IMPLEMENTED, errorText, "SCInterfaceDB: operation not implemented");
}

// The installed store; null with XR_GET_INTERFACE_FAILED's text when there is none.
std::shared_ptr<ConfigStore> storeOrFail(int& result, std::string& errorText) {
  std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store)
    result = fail(XR_GET_INTERFACE_FAILED, errorText, "SCInterfaceDB: no configuration store is installed");
  return store;
}

}  // namespace

SCInterface::~SCInterface() = default;

int SCInterfaceDB::lookup(unsigned long subclientId, std::string& name, long& flags,
                          unsigned long& backupSetId, unsigned long& instanceId, unsigned long& clientId,
                          std::string& description, std::string& errorText, void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = storeOrFail(result, errorText);
  if (!store) return result;
  SubclientRow row;
  result = store->findSubclient(subclientId, row, errorText);
  if (result != 0) return result;
  name = row.name;
  flags = row.flags;
  backupSetId = row.backupSetId;
  instanceId = row.instanceId;
  clientId = row.clientId;
  description = row.description;
  return 0;
}

int SCInterfaceDB::getProperties(unsigned long subclientId, long passThrough, std::string& errorText,
                                 PropCallBack* callback, void* /*reserved*/) {
  if (callback == nullptr) return fail(XR_BAD_ARGS, errorText, "SCInterfaceDB: no property callback given");
  int result = 0;
  const std::shared_ptr<ConfigStore> store = storeOrFail(result, errorText);
  if (!store) return result;
  std::vector<PropertyRow> rows;
  result = store->listProperties(PropertyOwner::kSubclient, subclientId, passThrough, rows, errorText);
  if (result != 0) return result;
  for (const PropertyRow& row : rows) callback->getPropertiesCallback(row.name, row.type, row.value, 0);
  return 0;
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
