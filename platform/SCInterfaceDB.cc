// SCInterfaceDB: subclients, their properties and their entry groups
// (backup content and filters) through the configuration store.
#include "platform/SCInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

namespace {

constexpr char kComponent[] = "SCInterfaceDB";

int writeSubclientProperties(unsigned long subclientId, const SCInterface::PropertyList& properties,
                             PropertyWrite what, std::string& errorText) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
  if (!store) return result;
  SubclientRow row;
  result = store->findSubclient(subclientId, row, errorText);
  if (result != 0) return result;
  return writeProperties(kComponent, *store, PropertyOwner::kSubclient, subclientId, properties, what,
                         errorText);
}

// Copies the entries of `list`; false when it holds a null entry.
bool copyEntries(const SCInterface::EntryList& list, std::vector<std::string>& out) {
  for (const std::string* entry : list) {
    if (entry == nullptr) return false;
    out.push_back(*entry);
  }
  return true;
}

}  // namespace

SCInterface::~SCInterface() = default;

int SCInterfaceDB::lookup(unsigned long subclientId, std::string& name, long& flags,
                          unsigned long& backupSetId, unsigned long& instanceId, unsigned long& clientId,
                          std::string& description, std::string& errorText, void* /*reserved*/) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
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
  return deliverProperties(kComponent, PropertyOwner::kSubclient, subclientId, passThrough, callback,
                           errorText);
}

int SCInterfaceDB::visitProperties(unsigned long subclientId, long passThrough, std::string& errorText,
                                   PropertyVisitor& visitor) {
  return ::visitProperties(kComponent, PropertyOwner::kSubclient, subclientId, passThrough, visitor,
                           errorText);
}

int SCInterfaceDB::setProperties(unsigned long subclientId, PropertyList& properties, bool /*flag*/,
                                 std::string& errorText, void* /*reserved*/, int* /*reserved2*/) {
  return writeSubclientProperties(subclientId, properties, PropertyWrite::kSet, errorText);
}

int SCInterfaceDB::removeProperties(unsigned long subclientId, PropertyList& properties, bool /*flag*/,
                                    std::string& errorText, void* /*reserved*/, int* /*reserved2*/) {
  return writeSubclientProperties(subclientId, properties, PropertyWrite::kRemove, errorText);
}

int SCInterfaceDB::updateContent(unsigned long subclientId, int contentType, EntryList& first,
                                 EntryList& second, bool isContent, bool /*flag2*/, bool /*flag3*/,
                                 std::string& errorText, void* /*reserved*/, int* /*reserved2*/) {
  const bool filterGroup = contentType >= kFirstFilterGroup && contentType <= kLastFilterGroup;
  if (isContent && contentType != kSubclientContentGroup) {
    return storeFailure(XR_BAD_CONTENT_TYPE, errorText,
                        std::string(kComponent) + ": backup content takes content type 1, not " +
                            std::to_string(contentType));
  }
  if (!isContent && !filterGroup) {
    return storeFailure(
        XR_BAD_CONTENT_TYPE, errorText,
        std::string(kComponent) + ": filter group " + std::to_string(contentType) + " is not one of 2 to 8");
  }
  std::vector<std::string> add;
  std::vector<std::string> remove;
  if (!copyEntries(first, add) || !copyEntries(second, remove)) {
    return storeFailure(XR_BAD_ARGS, errorText,
                        std::string(kComponent) + ": an entry list holds a null entry");
  }
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
  if (!store) return result;
  return store->updateSubclientEntries(subclientId, contentType, add, remove, errorText);
}
