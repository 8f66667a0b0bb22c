// ClientInterfaceDB: clients and their properties through the configuration
// store.
#include "platform/ClientInterfaceDB.h"

#include <memory>

#include "AppMgr/appMgrErrorCodes.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

namespace {

constexpr char kComponent[] = "ClientInterfaceDB";

// The client's text for platform attribute `type`.
std::string platformText(const ClientRow& row, uint64_t type) {
  switch (type) {
    case 1:
      return row.osName;
    case 2:
      return row.osVersion;
    case 4:
      return row.processor;
    default:
      return std::string();
  }
}

// The store, after checking that client `id` exists; null with result and
// errorText set otherwise.
std::shared_ptr<ConfigStore> storeWithClient(unsigned long id, int& result, std::string& errorText) {
  std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
  if (!store) return nullptr;
  ClientRow match;
  match.id = id;
  ClientRow row;
  result = store->findClient(ClientKey::kId, match, row, errorText);
  return result == 0 ? store : nullptr;
}

int writeClientProperties(unsigned long id, const ClientInterface::PropertyList& properties,
                          PropertyWrite what, std::string& errorText) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = storeWithClient(id, result, errorText);
  if (!store) return result;
  return writeProperties(kComponent, *store, PropertyOwner::kClient, id, properties, what, errorText);
}

}  // namespace

ClientInterface::~ClientInterface() = default;

ClientInterfaceDB::ClientInterfaceDB(int mode, const std::string& context) : mode_(mode), context_(context) {}

int ClientInterfaceDB::lookup(_AppClientInfo& info, ClientPlatformInfo* platform, std::string& errorText,
                              void* /*reserved*/) {
  ClientRow match;
  ClientKey key = ClientKey::kId;
  if (info.clientId != 0) {
    match.id = info.clientId;
  } else if (!info.clientName.empty()) {
    key = ClientKey::kName;
    match.name = info.clientName;
  } else if (!info.hostName.empty()) {
    key = ClientKey::kHostName;
    match.hostName = info.hostName;
  } else {
    return storeFailure(XR_CLIENT_NOT_FOUND, errorText,
                        std::string(kComponent) + ": no client id, name or host name to look up");
  }
  match.qualifier = info.qualifier;

  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
  if (!store) return result;
  ClientRow row;
  result = store->findClient(key, match, row, errorText);
  if (result != 0) return result;
  info.clientId = row.id;
  info.qualifier = row.qualifier;
  info.clientAttribute = row.attribute;
  info.clientName = row.name;
  info.hostName = row.hostName;
  info.versionText = row.versionText;
  if (platform != nullptr) {
    for (int i = 0; i < 3; ++i) platform[i].value = platformText(row, platform[i].type);
  }
  return 0;
}

int ClientInterfaceDB::getProperties(unsigned long clientId, long scope, std::string& errorText,
                                     PropCallBack* callback, void* /*reserved*/) {
  if (callback == nullptr) {
    return storeFailure(XR_BAD_ARGS, errorText, std::string(kComponent) + ": no property callback given");
  }
  int result = 0;
  if (!storeWithClient(clientId, result, errorText)) return result;
  return deliverProperties(kComponent, PropertyOwner::kClient, clientId, scope, callback, errorText);
}

int ClientInterfaceDB::setProperties(unsigned long id, PropertyList& properties, bool /*flag*/,
                                     std::string& errorText, void* /*reserved*/, int* /*reserved2*/) {
  return writeClientProperties(id, properties, PropertyWrite::kSet, errorText);
}

int ClientInterfaceDB::removeProperties(unsigned long id, PropertyList& properties, bool /*flag*/,
                                        std::string& errorText, void* /*reserved*/, int* /*reserved2*/) {
  return writeClientProperties(id, properties, PropertyWrite::kRemove, errorText);
}
