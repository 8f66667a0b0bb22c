// In-memory configuration store.
#include "store/MemoryConfigStore.h"

#include <algorithm>
#include <tuple>

#include "AppMgr/appMgrErrorCodes.h"

#include "ClientLookup.h"
#include "store/StoreFailure.h"

namespace {

bool matches(ApplicationKey key, const ApplicationRow& row, const ApplicationRow& m) {
  switch (key) {
    case ApplicationKey::kNumeric:
      return row.velmoraId == m.velmoraId && row.appId == m.appId;
    case ApplicationKey::kNames:
      return row.velmoraId == m.velmoraId && row.clientId == m.clientId && row.appTypeId == m.appTypeId &&
             row.instanceName == m.instanceName && row.backupSetName == m.backupSetName &&
             row.subclientName == m.subclientName;
    case ApplicationKey::kInstanceAndNames:
      return row.velmoraId == m.velmoraId && row.clientId == m.clientId && row.appTypeId == m.appTypeId &&
             row.instanceId == m.instanceId && row.backupSetName == m.backupSetName &&
             row.subclientName == m.subclientName;
    case ApplicationKey::kBackupSetAndName:
      return row.velmoraId == m.velmoraId && row.clientId == m.clientId && row.appTypeId == m.appTypeId &&
             row.instanceId == m.instanceId && row.backupSetId == m.backupSetId &&
             row.subclientName == m.subclientName;
    case ApplicationKey::kIds:
      return row.velmoraId == m.velmoraId && row.clientId == m.clientId && row.appTypeId == m.appTypeId &&
             row.instanceId == m.instanceId && row.backupSetId == m.backupSetId &&
             row.subclientId == m.subclientId;
  }
  return false;
}

}  // namespace

void MemoryConfigStore::addVelmora(const VelmoraRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  velmoras_[row.id] = row;
}

void MemoryConfigStore::addGlobalParam(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  globalParams_[name] = value;
}

void MemoryConfigStore::addApplication(const ApplicationRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  applications_.push_back(row);
}

void MemoryConfigStore::addClient(const ClientRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  clients_[row.id] = row;
}

void MemoryConfigStore::addInstance(const InstanceRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  instances_[row.id] = row;
}

void MemoryConfigStore::addBackupSet(const BackupSetRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  backupSets_[row.id] = row;
}

void MemoryConfigStore::addSubclient(const SubclientRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  subclients_[row.id] = row;
}

void MemoryConfigStore::addInstanceContent(uint64_t instanceId, const ContentRow& row) {
  std::lock_guard<std::mutex> lock(mutex_);
  instanceContent_[instanceId].push_back(row);
}

int MemoryConfigStore::findVelmora(uint64_t id, const std::string& name, VelmoraRow& out,
                                   std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [rowId, row] : velmoras_) {
    if ((name.empty() && rowId == id) || (!name.empty() && row.name == name)) {
      out = row;
      return 0;
    }
  }
  return storeFailure(
      XR_VELMORA_NOT_FOUND, errorText,
      name.empty() ? "Velmora " + std::to_string(id) + " not found" : "Velmora '" + name + "' not found");
}

int MemoryConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = globalParams_.find(name);
  if (it == globalParams_.end())
    return storeFailure(XR_INVALID_GLOBAL_PROP, errorText, "No global parameter '" + name + "'");
  value = it->second;
  return 0;
}

int MemoryConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                       std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ApplicationRow& row : applications_) {
    if (matches(key, row, match)) {
      out = row;
      return 0;
    }
  }
  return storeFailure(XR_APPID_NOT_FOUND, errorText, "Application not found");
}

int MemoryConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out,
                                  std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, row] : clients_) {
    const bool hit = (key == ClientKey::kId && id == match.id) ||
                     (key == ClientKey::kName && row.name == match.name) ||
                     (key == ClientKey::kHostName && sameHostName(row.hostName, match.hostName));
    if (hit) {
      out = row;
      return 0;
    }
  }
  return storeFailure(XR_CLIENT_NOT_FOUND, errorText, clientNotFound(key, match));
}

int MemoryConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = instances_.find(id);
  if (it == instances_.end())
    return storeFailure(XR_INSTANCE_NOT_FOUND, errorText, "Instance " + std::to_string(id) + " not found");
  out = it->second;
  return 0;
}

int MemoryConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = backupSets_.find(id);
  if (it == backupSets_.end()) {
    return storeFailure(XR_BACKUPSET_NOT_FOUND, errorText, "Backup set " + std::to_string(id) + " not found");
  }
  out = it->second;
  return 0;
}

int MemoryConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = subclients_.find(id);
  if (it == subclients_.end()) {
    return storeFailure(XR_SUBCLIENT_NOT_FOUND, errorText, "Subclient " + std::to_string(id) + " not found");
  }
  out = it->second;
  return 0;
}

int MemoryConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t /*scope*/,
                                      std::vector<PropertyRow>& out, std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Assigned, not built and moved in: a caller that reuses `out` keeps the
  // room of its strings.
  const auto it = properties_.find({owner, id});
  if (it == properties_.end()) {
    out.clear();
  } else {
    out = it->second;
  }
  return 0;
}

int MemoryConfigStore::setProperties(PropertyOwner owner, uint64_t id,
                                     const std::vector<PropertyRow>& properties, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int result = checkOwner(owner, id, errorText);
  if (result != 0) return result;
  std::vector<PropertyRow>& list = properties_[{owner, id}];
  AuditChange change(AuditChange::Kind::kSetProperties);
  for (const PropertyRow& property : properties) {
    auto it =
        std::find_if(list.begin(), list.end(), [&](const PropertyRow& p) { return p.name == property.name; });
    if (it == list.end()) {
      change.set(property.name, property.type, false, 0, std::string(), property.value);
      list.push_back(property);
    } else {
      change.set(property.name, property.type, true, it->type, it->value, property.value);
      *it = property;
    }
  }
  if (!properties.empty()) recordLocked(auditObjectKind(owner), id, change);
  return 0;
}

int MemoryConfigStore::removeProperties(PropertyOwner owner, uint64_t id,
                                        const std::vector<std::string>& names, std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int result = checkOwner(owner, id, errorText);
  if (result != 0) return result;
  AuditChange change(AuditChange::Kind::kRemoveProperties);
  auto it = properties_.find({owner, id});
  if (it != properties_.end()) {
    std::vector<PropertyRow>& list = it->second;
    for (const std::string& name : names) {
      const auto found =
          std::find_if(list.begin(), list.end(), [&](const PropertyRow& p) { return p.name == name; });
      if (found == list.end()) continue;
      change.removed(found->name, found->type, found->value);
      list.erase(found);
    }
  }
  if (!names.empty()) recordLocked(auditObjectKind(owner), id, change);
  return 0;
}

int MemoryConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                           std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = instanceContent_.find(instanceId);
  out = it == instanceContent_.end() ? std::vector<ContentRow>{} : it->second;
  return 0;
}

int MemoryConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                            std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (subclients_.count(subclientId) == 0) {
    return storeFailure(XR_CONTENT_INVALID_SUBCLIENT, errorText,
                        "Subclient " + std::to_string(subclientId) + " not found");
  }
  const auto it = subclientEntries_.find({subclientId, group});
  if (it == subclientEntries_.end()) {
    out.clear();
  } else {
    out = it->second;  // assigned, as in listProperties
  }
  return 0;
}

int MemoryConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                              const std::vector<std::string>& add,
                                              const std::vector<std::string>& remove,
                                              std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (subclients_.count(subclientId) == 0) {
    return storeFailure(XR_CONTENT_INVALID_SUBCLIENT, errorText,
                        "Subclient " + std::to_string(subclientId) + " not found");
  }
  if (group != kSubclientContentGroup && (group < kFirstFilterGroup || group > kLastFilterGroup)) {
    return storeFailure(
        XR_BAD_CONTENT_TYPE, errorText,
        "Entry group " + std::to_string(group) + " is neither the content nor a filter group");
  }
  std::vector<std::string>& list = subclientEntries_[{subclientId, group}];
  const std::vector<std::string> before = list;
  for (const std::string& entry : add) {
    if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(entry);
  }
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const std::string& e) {
                              return std::find(remove.begin(), remove.end(), e) != remove.end();
                            }),
             list.end());
  const auto missingFrom = [](const std::vector<std::string>& from, const std::vector<std::string>& in) {
    std::vector<std::string> out;
    for (const std::string& e : from) {
      if (std::find(in.begin(), in.end(), e) == in.end()) out.push_back(e);
    }
    return out;
  };
  // Removed in the order they were asked for, as the SQL stores report them.
  std::vector<std::string> removed;
  for (const std::string& e : remove) {
    if (std::find(before.begin(), before.end(), e) != before.end() &&
        std::find(removed.begin(), removed.end(), e) == removed.end())
      removed.push_back(e);
  }
  AuditChange change(AuditChange::Kind::kEntries);
  change.entries(group, missingFrom(list, before), removed);
  if (!add.empty() || !remove.empty()) recordLocked("subclient", subclientId, change);
  return 0;
}

int MemoryConfigStore::checkOwner(PropertyOwner owner, uint64_t id, std::string& errorText) const {
  switch (owner) {
    case PropertyOwner::kClient:
      if (clients_.count(id) != 0) return 0;
      return storeFailure(XR_CLIENT_NOT_FOUND, errorText, "Client " + std::to_string(id) + " not found");
    case PropertyOwner::kInstance:
      if (instances_.count(id) != 0) return 0;
      return storeFailure(XR_INSTANCE_NOT_FOUND, errorText, "Instance " + std::to_string(id) + " not found");
    case PropertyOwner::kBackupSet:
      if (backupSets_.count(id) != 0) return 0;
      return storeFailure(XR_BACKUPSET_NOT_FOUND, errorText,
                          "Backup set " + std::to_string(id) + " not found");
    case PropertyOwner::kSubclient:
      if (subclients_.count(id) != 0) return 0;
      return storeFailure(XR_SUBCLIENT_NOT_FOUND, errorText,
                          "Subclient " + std::to_string(id) + " not found");
  }
  return storeFailure(XR_BAD_ARGS, errorText, "Unknown property owner kind");
}

int MemoryConfigStore::replaceTree(const ConfigTree& tree, std::string& /*errorText*/) {
  // Built aside and swapped in, so that readers see the old tree or the new one.
  MemoryConfigStore fresh;
  for (const ApplicationTypeRow& row : tree.applicationTypes) fresh.applicationTypes_[row.id] = row.name;
  for (const VelmoraRow& row : tree.velmoras) fresh.velmoras_[row.id] = row;
  for (const auto& [name, value] : tree.globalParams) fresh.globalParams_[name] = value;
  for (const ClientRow& row : tree.clients) fresh.clients_[row.id] = row;
  for (const ClientRoles& row : tree.clientRoles) fresh.clientRoles_[row.clientId] = row.roles;
  for (InstanceRow row : tree.instances) {
    const auto client = fresh.clients_.find(row.clientId);
    if (client != fresh.clients_.end()) row.velmoraId = client->second.velmoraId;
    fresh.instances_[row.id] = row;
  }
  for (BackupSetRow row : tree.backupSets) {
    const auto instance = fresh.instances_.find(row.instanceId);
    if (instance != fresh.instances_.end()) {
      row.clientId = instance->second.clientId;
      row.appTypeId = instance->second.appTypeId;
    }
    row.subclientCount = 0;
    fresh.backupSets_[row.id] = row;
  }
  for (SubclientRow row : tree.subclients) {
    const auto set = fresh.backupSets_.find(row.backupSetId);
    if (set != fresh.backupSets_.end()) {
      row.instanceId = set->second.instanceId;
      row.clientId = set->second.clientId;
      ++set->second.subclientCount;
    }
    fresh.subclients_[row.id] = row;
  }
  for (ApplicationRow row : tree.applications) {
    const auto subclient = fresh.subclients_.find(row.subclientId);
    if (subclient != fresh.subclients_.end()) {
      const BackupSetRow& set = fresh.backupSets_[subclient->second.backupSetId];
      const InstanceRow& instance = fresh.instances_[set.instanceId];
      row.velmoraId = instance.velmoraId;
      row.clientId = instance.clientId;
      row.appTypeId = instance.appTypeId;
      row.instanceId = instance.id;
      row.backupSetId = set.id;
      row.instanceName = instance.name;
      row.backupSetName = set.name;
      row.subclientName = subclient->second.name;
    }
    fresh.applications_.push_back(row);
  }
  for (const ArchiveGroupAssignment& row : tree.archiveGroups)
    fresh.archiveGroups_[{row.velmoraId, row.appId}] = row.archiveGroupId;
  for (const OwnedProperties& owned : tree.properties) {
    if (!owned.properties.empty()) fresh.properties_[{owned.owner, owned.ownerId}] = owned.properties;
  }
  for (const InstanceContent& content : tree.instanceContent) {
    if (!content.content.empty()) fresh.instanceContent_[content.instanceId] = content.content;
  }
  for (const SubclientEntries& entries : tree.subclientEntries) {
    if (!entries.entries.empty())
      fresh.subclientEntries_[{entries.subclientId, entries.group}] = entries.entries;
  }

  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t properties = 0, entries = 0;
  for (const auto& [owner, list] : properties_) properties += list.size();
  for (const auto& [group, list] : subclientEntries_) entries += list.size();
  AuditChange change(AuditChange::Kind::kTree);
  change.replaced({{"velmoras", velmoras_.size()},
                   {"clients", clients_.size()},
                   {"instances", instances_.size()},
                   {"backupSets", backupSets_.size()},
                   {"subclients", subclients_.size()},
                   {"properties", properties},
                   {"subclientEntries", entries},
                   {"globalParams", globalParams_.size()}});
  recordLocked("tree", 0, change);
  applicationTypes_.swap(fresh.applicationTypes_);
  velmoras_.swap(fresh.velmoras_);
  globalParams_.swap(fresh.globalParams_);
  applications_.swap(fresh.applications_);
  clients_.swap(fresh.clients_);
  instances_.swap(fresh.instances_);
  backupSets_.swap(fresh.backupSets_);
  subclients_.swap(fresh.subclients_);
  properties_.swap(fresh.properties_);
  instanceContent_.swap(fresh.instanceContent_);
  subclientEntries_.swap(fresh.subclientEntries_);
  clientRoles_.swap(fresh.clientRoles_);
  archiveGroups_.swap(fresh.archiveGroups_);
  return 0;
}

int MemoryConfigStore::readTree(ConfigTree& tree, std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  tree = ConfigTree();
  tree.globalParams.assign(globalParams_.begin(), globalParams_.end());
  for (const auto& [id, name] : applicationTypes_) tree.applicationTypes.push_back({id, name});
  for (const auto& [id, row] : velmoras_) tree.velmoras.push_back(row);
  for (const auto& [id, row] : clients_) tree.clients.push_back(row);
  for (const auto& [id, roles] : clientRoles_) tree.clientRoles.push_back({id, roles});
  for (const auto& [id, row] : instances_) tree.instances.push_back(row);
  for (const auto& [id, row] : backupSets_) tree.backupSets.push_back(row);
  for (const auto& [id, row] : subclients_) tree.subclients.push_back(row);
  tree.applications = applications_;
  std::sort(tree.applications.begin(), tree.applications.end(),
            [](const ApplicationRow& a, const ApplicationRow& b) {
              return std::tie(a.velmoraId, a.appId) < std::tie(b.velmoraId, b.appId);
            });
  for (const auto& [key, group] : archiveGroups_)
    tree.archiveGroups.push_back({key.first, key.second, group});
  for (const auto& [key, rows] : properties_) {
    if (!rows.empty()) tree.properties.push_back({key.first, key.second, rows});
  }
  for (const auto& [id, rows] : instanceContent_) {
    if (!rows.empty()) tree.instanceContent.push_back({id, rows});
  }
  for (const auto& [key, entries] : subclientEntries_) {
    if (!entries.empty()) tree.subclientEntries.push_back({key.first, key.second, entries});
  }
  return 0;
}

// ---- Adapter list queries and lookups ----

namespace {

// An id filter: 0 matches any value.
bool idMatches(uint64_t filter, uint64_t value) { return filter == 0 || filter == value; }

constexpr int64_t kListFlagBit = 0x8;

void sortRows(std::vector<ConfigStore::AdapterListRow>& rows, ConfigStore::ListOrder order) {
  std::sort(rows.begin(), rows.end(),
            [order](const ConfigStore::AdapterListRow& a, const ConfigStore::AdapterListRow& b) {
              if (order == ConfigStore::ListOrder::kByName && a.name != b.name) return a.name < b.name;
              return a.id < b.id;
            });
}

}  // namespace

void MemoryConfigStore::addApplicationType(uint64_t appTypeId, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  applicationTypes_[appTypeId] = name;
}

void MemoryConfigStore::setClientRoles(uint64_t clientId, uint32_t roles) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientRoles_[clientId] = roles;
}

void MemoryConfigStore::assignArchiveGroup(uint64_t velmoraId, uint64_t appId, uint64_t archiveGroupId) {
  std::lock_guard<std::mutex> lock(mutex_);
  archiveGroups_[{velmoraId, appId}] = archiveGroupId;
}

int MemoryConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                    std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : velmoras_) {
    if (idMatches(velmoraId, id)) out.push_back({id, row.name, false});
  }
  sortRows(out, order);
  return 0;
}

int MemoryConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                                   std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : clients_) {
    if (!idMatches(velmoraId, row.velmoraId)) continue;
    const bool hasInstance = std::any_of(instances_.begin(), instances_.end(), [id = id](const auto& entry) {
      return entry.second.clientId == id;
    });
    if (scope == 2 || hasInstance) out.push_back({id, row.name, false});
  }
  return 0;
}

int MemoryConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                         std::vector<AdapterListRow>& out, std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : clients_) {
    const auto it = clientRoles_.find(id);
    const uint32_t mask = it == clientRoles_.end() ? 0 : it->second;
    if (idMatches(velmoraId, row.velmoraId) && (mask & roles) != 0) out.push_back({id, row.name, false});
  }
  sortRows(out, order);
  return 0;
}

int MemoryConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                        uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                        std::vector<ApplicationRow>& out, std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const ApplicationRow& row : applications_) {
    if (idMatches(velmoraId, row.velmoraId) && idMatches(clientId, row.clientId) &&
        idMatches(appTypeId, row.appTypeId) && idMatches(instanceId, row.instanceId) &&
        idMatches(backupSetId, row.backupSetId)) {
      out.push_back(row);
    }
  }
  std::sort(out.begin(), out.end(), [order](const ApplicationRow& a, const ApplicationRow& b) {
    if (order == ListOrder::kByName) {
      const auto names = [](const ApplicationRow& r) {
        return std::tie(r.instanceName, r.backupSetName, r.subclientName);
      };
      if (names(a) != names(b)) return names(a) < names(b);
      return a.appId < b.appId;
    }
    return std::tie(a.appId, a.velmoraId) < std::tie(b.appId, b.velmoraId);
  });
  return 0;
}

int MemoryConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                            std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, name] : applicationTypes_) {
    const bool onClient =
        std::any_of(instances_.begin(), instances_.end(), [&, typeId = id](const auto& entry) {
          return entry.second.appTypeId == typeId && idMatches(clientId, entry.second.clientId);
        });
    if (scope == 0 || onClient) out.push_back({id, name, false});
  }
  return 0;
}

int MemoryConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                     ListOrder order, std::vector<AdapterListRow>& out,
                                     std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : instances_) {
    if (idMatches(velmoraId, row.velmoraId) && idMatches(clientId, row.clientId) &&
        idMatches(appTypeId, row.appTypeId)) {
      out.push_back({id, row.name, false});
    }
  }
  sortRows(out, order);
  return 0;
}

int MemoryConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                                      ListOrder order, std::vector<AdapterListRow>& out,
                                      std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : backupSets_) {
    if (idMatches(clientId, row.clientId) && idMatches(appTypeId, row.appTypeId) &&
        idMatches(instanceId, row.instanceId)) {
      out.push_back({id, row.name, (row.flags & kListFlagBit) != 0});
    }
  }
  sortRows(out, order);
  return 0;
}

int MemoryConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                      std::vector<AdapterListRow>& out, std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const auto& [id, row] : subclients_) {
    if (idMatches(clientId, row.clientId) && idMatches(backupSetId, row.backupSetId)) {
      out.push_back({id, row.name, (row.flags & kListFlagBit) != 0});
    }
  }
  sortRows(out, order);
  return 0;
}

int MemoryConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                    std::vector<ApplicationRow>& out,
                                                    std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  out.clear();
  for (const ApplicationRow& row : applications_) {
    const auto it = archiveGroups_.find({row.velmoraId, row.appId});
    if (it != archiveGroups_.end() && idMatches(velmoraId, row.velmoraId) &&
        idMatches(archiveGroupId, it->second)) {
      out.push_back(row);
    }
  }
  std::sort(out.begin(), out.end(), [](const ApplicationRow& a, const ApplicationRow& b) {
    return std::tie(a.appId, a.velmoraId) < std::tie(b.appId, b.velmoraId);
  });
  return 0;
}

int MemoryConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name,
                                               std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = applicationTypes_.find(appTypeId);
  if (it == applicationTypes_.end()) {
    return storeFailure(XR_APPTYPE_NOT_FOUND, errorText,
                        "Application type " + std::to_string(appTypeId) + " not found");
  }
  name = it->second;
  return 0;
}

int MemoryConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                                  std::string& errorText) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const ApplicationRow& row : applications_) {
    if (row.subclientId == subclientId) {
      out = row;
      return 0;
    }
  }
  return storeFailure(XR_APPID_NOT_FOUND, errorText,
                      "No application with subclient " + std::to_string(subclientId));
}

void MemoryConfigStore::recordLocked(const std::string& objectKind, uint64_t objectId,
                                     const AuditChange& change) {
  AuditEntry entry = auditEntryNow(objectKind, objectId, change);
  entry.seq = ++lastAuditSeq_;
  audit_.push_back(std::move(entry));
}

int MemoryConfigStore::readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out,
                                 std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<AuditEntry> rows;
  for (auto it = audit_.rbegin(); it != audit_.rend() && (filter.limit == 0 || rows.size() < filter.limit);
       ++it) {
    if (it->timeUs < filter.sinceUs || it->timeUs > filter.untilUs) continue;
    if (!filter.objectKind.empty() &&
        (it->objectKind != filter.objectKind || it->objectId != filter.objectId))
      continue;
    rows.push_back(*it);
  }
  out = std::move(rows);
  return 0;
}

int MemoryConfigStore::pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted,
                                  std::string& /*errorText*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  deleted = 0;
  audit_.erase(std::remove_if(audit_.begin(), audit_.end(),
                              [&](const AuditEntry& e) {
                                if (deleted >= limit || e.timeUs >= beforeUs) return false;
                                ++deleted;
                                return true;
                              }),
               audit_.end());
  return 0;
}
