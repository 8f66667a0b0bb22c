// Every store operation: timed, counted, passed on.
#include "host/MeteredConfigStore.h"

namespace appmgr {

int MeteredConfigStore::findVelmora(uint64_t id, const std::string& name, VelmoraRow& out,
                                    std::string& errorText) {
  return timed(StoreOperation::kFindVelmora, [&] { return inner_->findVelmora(id, name, out, errorText); });
}

int MeteredConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  return timed(StoreOperation::kGetGlobalParam,
               [&] { return inner_->getGlobalParam(name, value, errorText); });
}

int MeteredConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                        std::string& errorText) {
  return timed(StoreOperation::kFindApplication,
               [&] { return inner_->findApplication(key, match, out, errorText); });
}

int MeteredConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out,
                                   std::string& errorText) {
  return timed(StoreOperation::kFindClient, [&] { return inner_->findClient(key, match, out, errorText); });
}

int MeteredConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  return timed(StoreOperation::kFindInstance, [&] { return inner_->findInstance(id, out, errorText); });
}

int MeteredConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  return timed(StoreOperation::kFindBackupSet, [&] { return inner_->findBackupSet(id, out, errorText); });
}

int MeteredConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  return timed(StoreOperation::kFindSubclient, [&] { return inner_->findSubclient(id, out, errorText); });
}

int MeteredConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t scope,
                                       std::vector<PropertyRow>& out, std::string& errorText) {
  return timed(StoreOperation::kListProperties,
               [&] { return inner_->listProperties(owner, id, scope, out, errorText); });
}

int MeteredConfigStore::setProperties(PropertyOwner owner, uint64_t id,
                                      const std::vector<PropertyRow>& properties, std::string& errorText) {
  return timed(StoreOperation::kSetProperties,
               [&] { return inner_->setProperties(owner, id, properties, errorText); });
}

int MeteredConfigStore::removeProperties(PropertyOwner owner, uint64_t id,
                                         const std::vector<std::string>& names, std::string& errorText) {
  return timed(StoreOperation::kRemoveProperties,
               [&] { return inner_->removeProperties(owner, id, names, errorText); });
}

int MeteredConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                            std::string& errorText) {
  return timed(StoreOperation::kListInstanceContent,
               [&] { return inner_->listInstanceContent(instanceId, out, errorText); });
}

int MeteredConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                             std::string& errorText) {
  return timed(StoreOperation::kListSubclientEntries,
               [&] { return inner_->listSubclientEntries(subclientId, group, out, errorText); });
}

int MeteredConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                               const std::vector<std::string>& add,
                                               const std::vector<std::string>& remove,
                                               std::string& errorText) {
  return timed(StoreOperation::kUpdateSubclientEntries,
               [&] { return inner_->updateSubclientEntries(subclientId, group, add, remove, errorText); });
}

int MeteredConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                     std::string& errorText) {
  return timed(StoreOperation::kListVelmoras,
               [&] { return inner_->listVelmoras(velmoraId, order, out, errorText); });
}

int MeteredConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                                    std::string& errorText) {
  return timed(StoreOperation::kListClients,
               [&] { return inner_->listClients(velmoraId, scope, out, errorText); });
}

int MeteredConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                          std::vector<AdapterListRow>& out, std::string& errorText) {
  return timed(StoreOperation::kListClientsOfType,
               [&] { return inner_->listClientsOfType(velmoraId, roles, order, out, errorText); });
}

int MeteredConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                         uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                         std::vector<ApplicationRow>& out, std::string& errorText) {
  return timed(StoreOperation::kListApplications, [&] {
    return inner_->listApplications(velmoraId, clientId, appTypeId, instanceId, backupSetId, order, out,
                                    errorText);
  });
}

int MeteredConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                             std::string& errorText) {
  return timed(StoreOperation::kListApplicationTypes,
               [&] { return inner_->listApplicationTypes(clientId, scope, out, errorText); });
}

int MeteredConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                      ListOrder order, std::vector<AdapterListRow>& out,
                                      std::string& errorText) {
  return timed(StoreOperation::kListInstances,
               [&] { return inner_->listInstances(velmoraId, clientId, appTypeId, order, out, errorText); });
}

int MeteredConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                                       ListOrder order, std::vector<AdapterListRow>& out,
                                       std::string& errorText) {
  return timed(StoreOperation::kListBackupSets, [&] {
    return inner_->listBackupSets(clientId, appTypeId, instanceId, order, out, errorText);
  });
}

int MeteredConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                       std::vector<AdapterListRow>& out, std::string& errorText) {
  return timed(StoreOperation::kListSubclients,
               [&] { return inner_->listSubclients(clientId, backupSetId, order, out, errorText); });
}

int MeteredConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                     std::vector<ApplicationRow>& out,
                                                     std::string& errorText) {
  return timed(StoreOperation::kListArchiveGroupApplications, [&] {
    return inner_->listArchiveGroupApplications(velmoraId, archiveGroupId, out, errorText);
  });
}

int MeteredConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name,
                                                std::string& errorText) {
  return timed(StoreOperation::kFindApplicationTypeName,
               [&] { return inner_->findApplicationTypeName(appTypeId, name, errorText); });
}

int MeteredConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                                   std::string& errorText) {
  return timed(StoreOperation::kFindApplicationBySubclient,
               [&] { return inner_->findApplicationBySubclient(subclientId, out, errorText); });
}

}  // namespace appmgr
