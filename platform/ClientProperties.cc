// A client's version text, read from the configuration store's client row.
#include "platform/ClientProperties.h"

#include <memory>

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

int ClientProperties::getVersionInfo(std::string& text, void* /*context*/) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) return static_cast<int>(XR_GET_INTERFACE_FAILED);
  ClientRow match;
  match.id = clientId_;
  ClientRow row;
  std::string errorText;
  const int rc = store->findClient(ClientKey::kId, match, row, errorText);
  if (rc == 0) text = row.versionText;
  return rc;
}
