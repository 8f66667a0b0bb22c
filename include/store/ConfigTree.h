// A whole configuration tree as plain rows, and the interface of the stores
// that can be loaded from one and read back into one. The JSON codec
// (ConfigTreeJson.h) turns a tree into text and back; a store turns it into
// its own storage. Fields that follow from the tree's shape (an instance's
// Velmora, a backup set's client and subclient count, an application's ids
// and names) are derived by the store from the parent rows: the copies in
// the rows below are ignored on load and filled on read.
#ifndef STORE_CONFIGTREE_H_
#define STORE_CONFIGTREE_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/ConfigStore.h"

struct ApplicationTypeRow {
  uint64_t id = 0;
  std::string name;
};

// A client's role mask (ConfigStore::kClientRole* bits).
struct ClientRoles {
  uint64_t clientId = 0;
  uint32_t roles = 0;
};

// The archive group an application (Velmora id, application id) belongs to.
struct ArchiveGroupAssignment {
  uint64_t velmoraId = 0;
  uint64_t appId = 0;
  uint64_t archiveGroupId = 0;
};

struct OwnedProperties {
  PropertyOwner owner = PropertyOwner::kClient;
  uint64_t ownerId = 0;
  std::vector<PropertyRow> properties;  // in list order
};

struct InstanceContent {
  uint64_t instanceId = 0;
  std::vector<ContentRow> content;  // in list order
};

struct SubclientEntries {
  uint64_t subclientId = 0;
  int group = kSubclientContentGroup;
  std::vector<std::string> entries;  // in list order
};

// Rows of each kind in ascending id order when read from a store; any order
// when loaded. Parents are referenced by id (ClientRow::velmoraId,
// InstanceRow::clientId, BackupSetRow::instanceId, SubclientRow::backupSetId,
// ApplicationRow::subclientId with ApplicationRow::appId and aux1/aux2).
struct ConfigTree {
  std::vector<std::pair<std::string, std::string>> globalParams;  // by name
  std::vector<ApplicationTypeRow> applicationTypes;
  std::vector<VelmoraRow> velmoras;
  std::vector<ClientRow> clients;
  std::vector<InstanceRow> instances;
  std::vector<BackupSetRow> backupSets;
  std::vector<SubclientRow> subclients;
  std::vector<ApplicationRow> applications;           // at most one per subclient
  std::vector<ClientRoles> clientRoles;               // clients that have a role mask
  std::vector<ArchiveGroupAssignment> archiveGroups;  // applications that belong to one
  std::vector<OwnedProperties> properties;            // owners with at least one property
  std::vector<InstanceContent> instanceContent;
  std::vector<SubclientEntries> subclientEntries;  // groups with at least one entry
};

// A store that can be replaced by a whole tree and read back as one.
class ConfigTreeStore {
 public:
  virtual ~ConfigTreeStore();

  // Replaces everything the store holds by `tree`, all or nothing: on
  // failure the store is unchanged. 0 or an error code with errorText.
  virtual int replaceTree(const ConfigTree& tree, std::string& errorText) = 0;
  // Reads everything the store holds, rows in ascending id order.
  virtual int readTree(ConfigTree& tree, std::string& errorText) = 0;
};

#endif  // STORE_CONFIGTREE_H_
