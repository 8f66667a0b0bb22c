// Client attribute queries, answered from the configuration store's client row.
#include "platform/XRClient.h"

#include <memory>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

namespace {
// 0 and the client's row, or the store's error (XR_GET_INTERFACE_FAILED
// when no store is installed).
int findClientRow(unsigned long clientId, ClientRow& row) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) return static_cast<int>(XR_GET_INTERFACE_FAILED);
  ClientRow match;
  match.id = clientId;
  std::string errorText;
  return store->findClient(ClientKey::kId, match, row, errorText);
}
}  // namespace

int XRClient::isNASClient(bool& flag, void* /*context*/) {
  ClientRow row;
  const int rc = findClientRow(clientId_, row);
  if (rc == 0) flag = row.isNAS;
  return rc;
}

int XRClient::isNonNDMPClient(bool& flag, void* /*context*/) {
  ClientRow row;
  const int rc = findClientRow(clientId_, row);
  if (rc == 0) flag = row.isNonNDMP;
  return rc;
}
