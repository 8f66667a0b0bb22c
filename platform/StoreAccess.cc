// Access to the installed configuration store for the database classes.
#include "StoreAccess.h"

#include <utility>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ThreadScratch.h"

std::shared_ptr<ConfigStore> requireStore(const char* component, int& result, std::string& errorText) {
  std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) {
    result = storeFailure(XR_GET_INTERFACE_FAILED, errorText,
                          std::string(component) + ": no configuration store is installed");
  }
  return store;
}

int deliverProperties(const char* component, PropertyOwner owner, unsigned long id, long scope,
                      PropCallBack* callback, std::string& errorText) {
  if (callback == nullptr) {
    return storeFailure(XR_BAD_ARGS, errorText, std::string(component) + ": no property callback given");
  }
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(component, result, errorText);
  if (!store) return result;
  std::vector<PropertyRow> rows;
  result = store->listProperties(owner, id, scope, rows, errorText);
  if (result != 0) return result;
  // The rows are this call's own copies: hand their texts over instead of
  // copying them once more into the callback's arguments.
  for (PropertyRow& row : rows) {
    callback->getPropertiesCallback(std::move(row.name), row.type, std::move(row.value), 0);
  }
  return 0;
}

int visitProperties(const char* component, PropertyOwner owner, unsigned long id, long scope,
                    PropertyVisitor& visitor, std::string& errorText) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(component, result, errorText);
  if (!store) return result;
  ScratchLoan<std::vector<PropertyRow>> rows;
  result = store->listProperties(owner, id, scope, rows.get(), errorText);
  if (result != 0) return result;
  for (const PropertyRow& row : rows.get()) visitor.property(row.name, row.type, row.value);
  return 0;
}

int writeProperties(const char* component, ConfigStore& store, PropertyOwner owner, unsigned long id,
                    const std::list<const ApplProperty*>& list, PropertyWrite what, std::string& errorText) {
  std::vector<PropertyRow> rows;
  std::vector<std::string> names;
  for (const ApplProperty* property : list) {
    if (property == nullptr) {
      return storeFailure(XR_BAD_ARGS, errorText,
                          std::string(component) + ": the property list holds a null property");
    }
    if (what == PropertyWrite::kSet) {
      // Types travel as 32-bit numbers; keep the stored type in 32 bits too.
      rows.push_back({property->getName(), static_cast<uint32_t>(property->getType()), property->getValue()});
    } else {
      names.emplace_back(property->getName());
    }
  }
  return what == PropertyWrite::kSet ? store.setProperties(owner, id, rows, errorText)
                                     : store.removeProperties(owner, id, names, errorText);
}
