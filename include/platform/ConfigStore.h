// The configuration store: the one seam between the database classes and
// the storage behind them. The database classes are default-constructed on
// a handler's stack, so they reach the data through the store that the
// process (a host, a tool or a test) installs once with ConfigStore::install.
//
// Contract of every operation: plain values in and out; returns 0 on success,
// otherwise an error code of appMgrErrorCodes.h with a text in errorText
// (outputs are then unspecified). Implementations must be safe to call from
// several threads at once.
#ifndef PLATFORM_CONFIGSTORE_H_
#define PLATFORM_CONFIGSTORE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct VelmoraRow {
  uint64_t id = 0;
  std::string name;
  uint64_t releaseId = 0;
  uint64_t flags = 0;
  uint64_t timeZoneId = 0;
  std::string hostName;
  std::string description;
  std::string timeZoneName;
  std::string installDir;
  int32_t utcOffsetMinutes = 0;
};

// One application: a subclient with the chain of ids above it.
struct ApplicationRow {
  uint64_t appId = 0;
  uint64_t aux1 = 0;
  uint64_t aux2 = 0;
  uint64_t velmoraId = 0;
  uint64_t clientId = 0;
  uint64_t appTypeId = 0;
  uint64_t instanceId = 0;
  uint64_t backupSetId = 0;
  uint64_t subclientId = 0;
  std::string instanceName;
  std::string backupSetName;
  std::string subclientName;
};

// Which fields of an ApplicationRow identify the application to find.
enum class ApplicationKey {
  kNumeric,           // velmoraId, appId
  kNames,             // velmoraId, clientId, appTypeId, the three names
  kInstanceAndNames,  // velmoraId .. instanceId, backupSetName, subclientName
  kBackupSetAndName,  // velmoraId .. backupSetId, subclientName
  kIds,               // velmoraId .. subclientId
};

struct ClientRow {
  uint64_t id = 0;
  uint64_t velmoraId = 0;
  std::string name;
  std::string hostName;
  uint64_t qualifier = 0;
  uint64_t attribute = 0;
  std::string osName;       // platform attribute type 1
  std::string osVersion;    // platform attribute type 2
  std::string processor;    // platform attribute type 4
  std::string versionText;  // installed release, for example "11.0.0 SP22 HPK5"
  bool isNAS = false;
  bool isNonNDMP = false;
};

enum class ClientKey { kId, kName, kHostName };

struct InstanceRow {
  uint64_t id = 0;
  std::string name;
  int64_t flags = 0;
  uint64_t clientId = 0;
  uint64_t appTypeId = 0;
  uint64_t velmoraId = 0;
  std::string description;
  int32_t clusterType = 0;    // distributed cluster instances
  int32_t cloudAppsType = 0;  // cloud application instances
};

struct BackupSetRow {
  uint64_t id = 0;
  std::string name;
  int64_t flags = 0;
  uint64_t instanceId = 0;
  uint64_t clientId = 0;
  uint64_t appTypeId = 0;
  std::string description;
  uint64_t subclientCount = 0;
};

struct SubclientRow {
  uint64_t id = 0;
  std::string name;
  int64_t flags = 0;
  uint64_t backupSetId = 0;
  uint64_t instanceId = 0;
  uint64_t clientId = 0;
  std::string description;
};

// Objects that carry property lists.
enum class PropertyOwner { kClient, kInstance, kBackupSet, kSubclient };

struct PropertyRow {
  std::string name;
  unsigned long type = 0;
  std::string value;
};

struct ContentRow {
  unsigned long type = 0;
  std::string path;
};

// Entry groups of a subclient: its backup content and its filter groups.
constexpr int kSubclientContentGroup = 1;
constexpr int kFirstFilterGroup = 2;
constexpr int kLastFilterGroup = 8;

class ConfigStore {
 public:
  virtual ~ConfigStore();

  // Installs the process-wide store (null uninstalls). Thread-safe.
  static void install(std::shared_ptr<ConfigStore> store);
  // The installed store, or null.
  static std::shared_ptr<ConfigStore> current();

  virtual int findVelmora(uint64_t id, const std::string& name, VelmoraRow& out, std::string& errorText) = 0;
  virtual int getGlobalParam(const std::string& name, std::string& value, std::string& errorText) = 0;

  // Finds the application whose `key` fields equal those of `match`.
  virtual int findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                              std::string& errorText) = 0;

  virtual int findClient(ClientKey key, const ClientRow& match, ClientRow& out, std::string& errorText) = 0;
  virtual int findInstance(uint64_t id, InstanceRow& out, std::string& errorText) = 0;
  virtual int findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) = 0;
  virtual int findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) = 0;

  // Properties of one object, in the store's order. `scope` is the caller's
  // pass-through value; a store may ignore it.
  virtual int listProperties(PropertyOwner owner, uint64_t id, int64_t scope, std::vector<PropertyRow>& out,
                             std::string& errorText) = 0;
  // Sets (adds or replaces by name) every property of `properties`.
  virtual int setProperties(PropertyOwner owner, uint64_t id, const std::vector<PropertyRow>& properties,
                            std::string& errorText) = 0;
  // Removes the properties named; names that are not set are ignored.
  virtual int removeProperties(PropertyOwner owner, uint64_t id, const std::vector<std::string>& names,
                               std::string& errorText) = 0;

  virtual int listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                  std::string& errorText) = 0;

  // Entries of one group of a subclient (kSubclientContentGroup, or a
  // filter group kFirstFilterGroup..kLastFilterGroup), in the store's order.
  virtual int listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                   std::string& errorText) = 0;
  // Changes one group of a subclient as one unit: every check comes before
  // any change, so on failure the group is as it was.
  //   subclientId  the subclient; one that does not exist is refused with
  //                XR_CONTENT_INVALID_SUBCLIENT
  //   group        kSubclientContentGroup or kFirstFilterGroup..kLastFilterGroup;
  //                any other value is refused with XR_BAD_CONTENT_TYPE
  //   add          entries to add, appended in order; an entry already in the
  //                group (or earlier in `add`) is left as it is
  //   remove       entries to remove; an entry not in the group is ignored.
  //                Removals follow the additions, so an entry named in both
  //                lists ends up absent
  //   errorText    the failure's text
  virtual int updateSubclientEntries(uint64_t subclientId, int group, const std::vector<std::string>& add,
                                     const std::vector<std::string>& remove, std::string& errorText) = 0;
};

#endif  // PLATFORM_CONFIGSTORE_H_
