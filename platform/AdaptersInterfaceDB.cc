// AdaptersInterfaceDB: the adapters' lists and lookups, read through the
// configuration store. Mode arguments are checked here, so the store sees
// only the values it documents.
#include "platform/AdaptersInterfaceDB.h"

#include <memory>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"

#include "StoreAccess.h"
#include "store/ConfigStore.h"

namespace {

constexpr const char* kComponent = "AdaptersInterfaceDB";
using Row = ConfigStore::AdapterListRow;
using Order = ConfigStore::ListOrder;

int badMode(std::string& errorText, const char* what, long value) {
  return storeFailure(XR_BAD_ARGS, errorText,
                      std::string(kComponent) + ": unknown " + what + " " + std::to_string(value));
}

// The order of an int order argument: 0 by id, 1 by name.
bool orderOf(int order, Order& out) {
  if (order != 0 && order != 1) return false;
  out = order == 0 ? Order::kById : Order::kByName;
  return true;
}

Order orderOf(bool byName) { return byName ? Order::kByName : Order::kById; }

// Runs query(store) on the installed store, or fails when there is none.
template <typename Query>
int withStore(std::string& errorText, Query query) {
  int result = 0;
  const std::shared_ptr<ConfigStore> store = requireStore(kComponent, result, errorText);
  if (!store) return result;
  return query(*store);
}

void split(const std::vector<Row>& rows, AdaptersInterface::IdList& ids, AdaptersInterface::NameList& names) {
  ids.clear();
  names.clear();
  for (const Row& row : rows) {
    ids.push_back(row.id);
    names.push_back(row.name);
  }
}

void split(const std::vector<Row>& rows, AdaptersInterface::IdList& ids, AdaptersInterface::NameList& names,
           AdaptersInterface::FlagList& flags) {
  split(rows, ids, names);
  flags.clear();
  for (const Row& row : rows) flags.push_back(row.flag);
}

std::string appIdText(const ApplicationRow& app) {
  return std::to_string(app.velmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + std::to_string(app.appId);
}

void appIdTexts(const std::vector<ApplicationRow>& apps, AdaptersInterface::NameList& names) {
  names.clear();
  for (const ApplicationRow& app : apps) names.push_back(appIdText(app));
}

}  // namespace

AdaptersInterface::~AdaptersInterface() = default;

int AdaptersInterfaceDB::getVelmoraList(IdList& ids, NameList& names, std::string& errorText,
                                        unsigned long velmoraId, void* /*reserved*/, bool byName) {
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listVelmoras(velmoraId, orderOf(byName), rows, errorText);
  });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getClientList(IdList& ids, NameList& names, std::string& errorText,
                                       unsigned long velmoraId, void* /*reserved*/, int scope) {
  if (scope != 1 && scope != 2) return badMode(errorText, "client list scope", scope);
  std::vector<Row> rows;
  const int result = withStore(
      errorText, [&](ConfigStore& store) { return store.listClients(velmoraId, scope, rows, errorText); });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getClientListOfType(IdList& ids, NameList& names, std::string& errorText,
                                             unsigned long velmoraId, int roles, void* /*reserved*/,
                                             bool byName) {
  constexpr int kKnownRoles = ConfigStore::kClientRoleDataAgent | ConfigStore::kClientRoleMediaAgent;
  if (roles <= 0 || (roles & ~kKnownRoles) != 0) return badMode(errorText, "client role mask", roles);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listClientsOfType(velmoraId, static_cast<uint32_t>(roles), orderOf(byName), rows, errorText);
  });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getAppIdList(NameList& names, std::string& errorText, unsigned long clientId,
                                      unsigned long velmoraId, unsigned long appTypeId,
                                      unsigned long instanceId, unsigned long backupSetId, void* /*reserved*/,
                                      bool byName) {
  std::vector<ApplicationRow> apps;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listApplications(velmoraId, clientId, appTypeId, instanceId, backupSetId, orderOf(byName),
                                  apps, errorText);
  });
  if (result == 0) appIdTexts(apps, names);
  return result;
}

int AdaptersInterfaceDB::getApplicationTypes(IdList& ids, NameList& names, std::string& errorText,
                                             unsigned long clientId, void* /*reserved*/, int scope) {
  if (scope != 0 && scope != 1) return badMode(errorText, "application type scope", scope);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listApplicationTypes(clientId, scope, rows, errorText);
  });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getInstanceList(IdList& ids, NameList& names, std::string& errorText,
                                         unsigned long clientId, unsigned long velmoraId,
                                         unsigned long appTypeId, void* /*reserved*/, int order) {
  Order listOrder;
  if (!orderOf(order, listOrder)) return badMode(errorText, "list order", order);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listInstances(velmoraId, clientId, appTypeId, listOrder, rows, errorText);
  });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getInstanceList(IdList& ids, NameList& names, std::string& errorText,
                                         unsigned long velmoraId, unsigned long appTypeId, void* /*reserved*/,
                                         int order) {
  Order listOrder;
  if (!orderOf(order, listOrder)) return badMode(errorText, "list order", order);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listInstances(velmoraId, 0, appTypeId, listOrder, rows, errorText);
  });
  if (result == 0) split(rows, ids, names);
  return result;
}

int AdaptersInterfaceDB::getBackupSetList(IdList& ids, NameList& names, FlagList& flags,
                                          std::string& errorText, unsigned long clientId,
                                          unsigned long appTypeId, unsigned long instanceId,
                                          void* /*reserved*/, int order) {
  Order listOrder;
  if (!orderOf(order, listOrder)) return badMode(errorText, "list order", order);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listBackupSets(clientId, appTypeId, instanceId, listOrder, rows, errorText);
  });
  if (result == 0) split(rows, ids, names, flags);
  return result;
}

int AdaptersInterfaceDB::getSubclientList(IdList& ids, NameList& names, FlagList& flags,
                                          std::string& errorText, unsigned long clientId,
                                          unsigned long backupSetId, void* /*reserved*/, int order) {
  Order listOrder;
  if (!orderOf(order, listOrder)) return badMode(errorText, "list order", order);
  std::vector<Row> rows;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listSubclients(clientId, backupSetId, listOrder, rows, errorText);
  });
  if (result == 0) split(rows, ids, names, flags);
  return result;
}

int AdaptersInterfaceDB::getApplications(NameList& names, unsigned long velmoraId,
                                         unsigned long archiveGroupId, bool& nonEmpty, std::string& errorText,
                                         void* /*reserved*/) {
  std::vector<ApplicationRow> apps;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.listArchiveGroupApplications(velmoraId, archiveGroupId, apps, errorText);
  });
  if (result != 0) return result;
  appIdTexts(apps, names);
  nonEmpty = !apps.empty();
  return 0;
}

int AdaptersInterfaceDB::getApplicationTypeName(unsigned long appTypeId, std::string& name,
                                                std::string& errorText, void* /*reserved*/) {
  return withStore(errorText, [&](ConfigStore& store) {
    return store.findApplicationTypeName(appTypeId, name, errorText);
  });
}

int AdaptersInterfaceDB::getAppIdString(unsigned long subclientId, std::string& text, std::string& errorText,
                                        void* /*reserved*/) {
  ApplicationRow app;
  const int result = withStore(errorText, [&](ConfigStore& store) {
    return store.findApplicationBySubclient(subclientId, app, errorText);
  });
  if (result == 0) text = appIdText(app);
  return result;
}

int AdaptersInterfaceDB::getClientId(unsigned long instanceId, unsigned long& clientId,
                                     unsigned long& velmoraId, std::string& errorText, void* /*reserved*/) {
  InstanceRow instance;
  const int result = withStore(
      errorText, [&](ConfigStore& store) { return store.findInstance(instanceId, instance, errorText); });
  if (result != 0) return result;
  clientId = instance.clientId;
  velmoraId = instance.velmoraId;
  return 0;
}
