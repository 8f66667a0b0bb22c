// The configuration store: the one seam between the database classes and
// the storage behind them. The database classes are default-constructed on
// a handler's stack, so they reach the data through the store that the
// process (a host, a tool or a test) installs once with ConfigStore::install.
//
// Contract of every operation: plain values in and out; returns 0 on success,
// otherwise an error code of appMgrErrorCodes.h with a text in errorText
// (outputs are then unspecified). Implementations must be safe to call from
// several threads at once.
#ifndef STORE_CONFIGSTORE_H_
#define STORE_CONFIGSTORE_H_

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

// One entry of the audit trail: one change of the store, who made it and
// what it changed (AuditTrail.h has the text forms).
struct AuditEntry {
  uint64_t seq = 0;          // grows with every entry of a store, never reused
  int64_t timeUs = 0;        // UTC, microseconds since 1970-01-01
  std::string who;           // the peer of a host, "library", or the tool and user
  uint64_t requestCode = 0;  // the request that made the change; 0 when none
  std::string requestName;   // its name, when the one who asked knew it
  std::string objectKind;    // "client", "instance", "backupSet", "subclient" or "tree"
  uint64_t objectId = 0;     // 0 for the tree
  std::string change;        // a JSON object: what changed (docs/store-format.md)
};

// Which entries readAudit returns: all of them with the defaults.
struct AuditFilter {
  std::string objectKind;  // empty: every object
  uint64_t objectId = 0;
  int64_t sinceUs = INT64_MIN;  // timeUs >= sinceUs
  int64_t untilUs = INT64_MAX;  // timeUs <= untilUs
  uint64_t limit = 0;           // 0: no limit
};

// Who asks for the changes made on the calling thread: set by a host for
// the length of one request (its peer, the request's code and name), by the
// dispatcher (the code) and by tools (their name and user). The texts must
// outlive the scope that names them.
struct AuditActor {
  const char* who = nullptr;  // null: "library"
  uint64_t requestCode = 0;
  const char* requestName = nullptr;
};

class ConfigStore {
 public:
  virtual ~ConfigStore();

  // Installs the process-wide store (null uninstalls). Thread-safe.
  static void install(std::shared_ptr<ConfigStore> store);
  // The installed store, or null.
  static std::shared_ptr<ConfigStore> current();

  // One request runs on the calling thread from beginRequest until the
  // matching endRequest: a store may then serve that thread's operations
  // together (one connection, one consistent view for the reads) instead of
  // each on its own. Results and error codes are those of the operations
  // outside a request; a write is seen by the reads after it. Calls nest
  // (the outermost pair counts) and are made on the same thread. The
  // default does nothing; use RequestScope rather than the pair.
  virtual void beginRequest() noexcept {}
  virtual void endRequest() noexcept {}

  // Between holdReads and releaseReads, the requests run on the calling
  // thread may share one view for their reads across requests: a store that
  // can tell that nothing was written since a request's view was taken (by
  // this process or another) keeps it for the next request, and takes a new
  // one as soon as something was. Results are those of a view per request;
  // only the cost of setting one up is saved. A store that cannot tell does
  // nothing. Made on one thread, not nested; a thread that holds reads
  // releases them soon after it stops serving requests, as a held view can
  // keep a store from reclaiming space.
  virtual void holdReads() noexcept {}
  virtual void releaseReads() noexcept {}

  // Begins a request on `store` (null: none) and ends it when destroyed,
  // also when the request ends with an exception. Keeps the store alive
  // meanwhile. Lives on the stack of the thread that runs the request.
  class RequestScope final {
   public:
    explicit RequestScope(std::shared_ptr<ConfigStore> store) noexcept;
    ~RequestScope();
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

   private:
    std::shared_ptr<ConfigStore> store_;
  };

  // Sets the calling thread's actor until destroyed, then restores the one
  // before. Lives on the stack of the thread that makes the changes.
  class ActorScope final {
   public:
    explicit ActorScope(const AuditActor& actor) noexcept;
    ~ActorScope();
    ActorScope(const ActorScope&) = delete;
    ActorScope& operator=(const ActorScope&) = delete;

   private:
    AuditActor previous_;
  };
  // The calling thread's actor (who null when none was set).
  static AuditActor currentActor() noexcept;

  // The audit trail. Every change (setProperties, removeProperties,
  // updateSubclientEntries, a whole-tree replacement) writes one entry in
  // the same transaction as the change: a change that fails writes none,
  // and an entry that cannot be written fails the change. A call that
  // names nothing to set, remove or add is no change and writes none. readAudit lists
  // the entries matching `filter`, newest (highest seq) first. pruneAudit
  // deletes up to `limit` of the oldest entries with timeUs < beforeUs and
  // says how many in `deleted`. A store without a trail keeps the defaults
  // (nothing recorded, an empty list).
  virtual int readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out, std::string& errorText);
  virtual int pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted, std::string& errorText);

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

  // Adapter list queries and lookups.
  //
  // Every list operation answers one indexed query. Each of its id arguments
  // is a filter in which 0 matches any value, so with all ids 0 it lists
  // every object of its kind. Nothing matching is an empty list, not an
  // error. AdaptersInterfaceDB checks the mode arguments before it calls, so
  // a store receives only the values documented here.

  // One entry of an adapter list: the object's id, its name and one flag
  // (false where the operation names no flag).
  struct AdapterListRow {
    uint64_t id = 0;
    std::string name;
    bool flag = false;
  };

  // Order of a list. kById: ascending id. kByName: ascending name (byte
  // order), equal names by ascending id.
  enum class ListOrder { kById = 0, kByName = 1 };

  // Client roles, as bits of a client's role mask (a client without a mask
  // has none).
  static constexpr uint32_t kClientRoleDataAgent = 1;   // runs application agents
  static constexpr uint32_t kClientRoleMediaAgent = 2;  // writes backup media

  // Velmoras with id `velmoraId`.
  virtual int listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                           std::string& errorText) = 0;

  // Clients of Velmora `velmoraId`, by id. `scope` 1: only clients that have
  // at least one instance; 2: every client.
  virtual int listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                          std::string& errorText) = 0;

  // Clients of Velmora `velmoraId` whose role mask shares a bit with
  // `roles` (kClientRole* bits, never 0).
  virtual int listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                std::vector<AdapterListRow>& out, std::string& errorText) = 0;

  // Applications (subclients with their chain of ids) matching the five
  // ids. kById orders by application id, then Velmora id; kByName by
  // instance, backup set and subclient name, then application id.
  virtual int listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                               uint64_t backupSetId, ListOrder order, std::vector<ApplicationRow>& out,
                               std::string& errorText) = 0;

  // Application types that have a name, by id. `scope` 0: every type
  // (clientId is not used); 1: only the types of which client `clientId` has
  // an instance.
  virtual int listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                   std::string& errorText) = 0;

  // Instances matching the Velmora, client and application type ids.
  virtual int listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, ListOrder order,
                            std::vector<AdapterListRow>& out, std::string& errorText) = 0;

  // Backup sets matching the client, application type and instance ids. The
  // flag is bit 3 (value 8) of the backup set's flags, the bit the backup
  // set lookup reports as its flag token.
  virtual int listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId, ListOrder order,
                             std::vector<AdapterListRow>& out, std::string& errorText) = 0;

  // Subclients matching the client and backup set ids. The flag is bit 3
  // (value 8) of the subclient's flags.
  virtual int listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                             std::vector<AdapterListRow>& out, std::string& errorText) = 0;

  // Applications assigned to an archive group matching `archiveGroupId`, in
  // Velmora `velmoraId`, by application id. An application belongs to at
  // most one archive group.
  virtual int listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                           std::vector<ApplicationRow>& out, std::string& errorText) = 0;

  // The name of application type `appTypeId` (an exact id);
  // XR_APPTYPE_NOT_FOUND when the type has no name.
  virtual int findApplicationTypeName(uint64_t appTypeId, std::string& name, std::string& errorText) = 0;

  // The application whose subclient is `subclientId` (an exact id);
  // XR_APPID_NOT_FOUND when there is none.
  virtual int findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                         std::string& errorText) = 0;
};

#endif  // STORE_CONFIGSTORE_H_
