// An in-memory configuration store: the whole tree in maps, guarded by one
// mutex. Used by the integration tests and by hosts that serve a tree loaded
// from JSON (importConfigTreeJson); it is filled through the add* operations
// or replaced whole with replaceTree.
#ifndef STORE_MEMORYCONFIGSTORE_H_
#define STORE_MEMORYCONFIGSTORE_H_

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "store/AuditTrail.h"
#include "store/ConfigStore.h"
#include "store/ConfigTree.h"

class MemoryConfigStore final : public ConfigStore, public ConfigTreeStore {
 public:
  void addVelmora(const VelmoraRow& row);
  void addGlobalParam(const std::string& name, const std::string& value);
  void addApplication(const ApplicationRow& row);
  void addClient(const ClientRow& row);
  void addInstance(const InstanceRow& row);
  void addBackupSet(const BackupSetRow& row);
  void addSubclient(const SubclientRow& row);
  void addInstanceContent(uint64_t instanceId, const ContentRow& row);

  int readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out, std::string& errorText) override;
  int pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted, std::string& errorText) override;
  int findVelmora(uint64_t id, const std::string& name, VelmoraRow& out, std::string& errorText) override;
  int getGlobalParam(const std::string& name, std::string& value, std::string& errorText) override;
  int findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                      std::string& errorText) override;
  int findClient(ClientKey key, const ClientRow& match, ClientRow& out, std::string& errorText) override;
  int findInstance(uint64_t id, InstanceRow& out, std::string& errorText) override;
  int findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) override;
  int findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) override;
  int listProperties(PropertyOwner owner, uint64_t id, int64_t scope, std::vector<PropertyRow>& out,
                     std::string& errorText) override;
  int setProperties(PropertyOwner owner, uint64_t id, const std::vector<PropertyRow>& properties,
                    std::string& errorText) override;
  int removeProperties(PropertyOwner owner, uint64_t id, const std::vector<std::string>& names,
                       std::string& errorText) override;
  int listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out, std::string& errorText) override;
  int listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                           std::string& errorText) override;
  int updateSubclientEntries(uint64_t subclientId, int group, const std::vector<std::string>& add,
                             const std::vector<std::string>& remove, std::string& errorText) override;

  // The rows are taken as they stand; derived fields (instance Velmora,
  // backup set client and subclient count, application ids and names) are
  // filled from the parents.
  int replaceTree(const ConfigTree& tree, std::string& errorText) override;
  int readTree(ConfigTree& tree, std::string& errorText) override;

 private:
  // 0 when the owner exists, else its not-found code and text. Locked by the caller.
  int checkOwner(PropertyOwner owner, uint64_t id, std::string& errorText) const;

  std::mutex mutex_;
  std::map<uint64_t, VelmoraRow> velmoras_;
  std::map<std::string, std::string> globalParams_;
  std::vector<ApplicationRow> applications_;
  std::map<uint64_t, ClientRow> clients_;
  std::map<uint64_t, InstanceRow> instances_;
  std::map<uint64_t, BackupSetRow> backupSets_;
  std::map<uint64_t, SubclientRow> subclients_;
  // Properties in insertion order per object.
  std::map<std::pair<PropertyOwner, uint64_t>, std::vector<PropertyRow>> properties_;
  std::map<uint64_t, std::vector<ContentRow>> instanceContent_;
  std::map<std::pair<uint64_t, int>, std::vector<std::string>> subclientEntries_;
  // The audit trail in seq order; replaceTree keeps it.
  std::vector<AuditEntry> audit_;
  uint64_t lastAuditSeq_ = 0;
  // Appends the entry of a change made under the lock.
  void recordLocked(const std::string& objectKind, uint64_t objectId, const AuditChange& change);

  // Adapter list queries and lookups
 public:
  void addApplicationType(uint64_t appTypeId, const std::string& name);
  // Replaces the role mask (ConfigStore::kClientRole* bits) of a client.
  void setClientRoles(uint64_t clientId, uint32_t roles);
  // Assigns the application (velmoraId, appId) to one archive group,
  // replacing an earlier assignment.
  void assignArchiveGroup(uint64_t velmoraId, uint64_t appId, uint64_t archiveGroupId);

  int listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                   std::string& errorText) override;
  int listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                  std::string& errorText) override;
  int listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order, std::vector<AdapterListRow>& out,
                        std::string& errorText) override;
  int listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                       uint64_t backupSetId, ListOrder order, std::vector<ApplicationRow>& out,
                       std::string& errorText) override;
  int listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                           std::string& errorText) override;
  int listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, ListOrder order,
                    std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId, ListOrder order,
                     std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                     std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                   std::vector<ApplicationRow>& out, std::string& errorText) override;
  int findApplicationTypeName(uint64_t appTypeId, std::string& name, std::string& errorText) override;
  int findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out, std::string& errorText) override;

 private:
  std::map<uint64_t, std::string> applicationTypes_;
  std::map<uint64_t, uint32_t> clientRoles_;
  // Archive group of each assigned application, keyed by (velmoraId, appId).
  std::map<std::pair<uint64_t, uint64_t>, uint64_t> archiveGroups_;
};

#endif  // STORE_MEMORYCONFIGSTORE_H_
