// Global parameters, read from the configuration store.
#include "platform/XRGlobalParam.h"

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

int XRGlobalParam::get(const std::string& name, std::string& value, void* /*reserved*/) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) return static_cast<int>(XR_GET_INTERFACE_FAILED);
  // The read reports only a code; the store's text is dropped.
  std::string errorText;
  return store->getGlobalParam(name, value, errorText);
}
