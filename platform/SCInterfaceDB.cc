// SCInterfaceDB: subclients and their properties, read through the
// configuration store. The writing operations are not built yet and report
// that they are not implemented.
#include "platform/SCInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ConfigStore.h"

#include "StoreAccess.h"

namespace {

int notImplemented(std::string& errorText) {
  return storeFailure(XR_NOT_IMPLEMENTED, errorText, "SCInterfaceDB: operation not implemented");
}

}  // namespace

SCInterface::~SCInterface() = default;

int SCInterfaceDB::lookup(unsigned long subclientId, std::string& name, long& flags,
                          unsigned long& backupSetId, unsigned long& instanceId, unsigned long& clientId,
                          std::string& description, std::string& errorText, void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore("SCInterfaceDB", result, errorText);
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
  return deliverProperties("SCInterfaceDB", PropertyOwner::kSubclient, subclientId, passThrough, callback,
                           errorText);
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
