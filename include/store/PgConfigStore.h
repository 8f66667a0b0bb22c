// The configuration store in a PostgreSQL database: the engine for a
// catalog shared by several hosts. Same tables, versions and behaviour as
// the SQLite store; several threads and processes may use one database.
//
// Opening: the store lives in one PostgreSQL schema (Options::schema, or
// the first existing schema of the connection's search path, usually
// "public"). An empty schema gets the current tables and the marker table
// appmgr_schema (application and schema version); a schema of an older
// version is migrated in one transaction, and openers of one database take
// turns (an advisory lock) so that two hosts starting at once migrate once.
// A schema marked by another application, one of a newer version, or one
// that holds tables but no marker is refused with XR_GET_INTERFACE_FAILED
// and a text saying why; it is left as it was.
//
// Concurrency: every store operation is one transaction on a connection of
// a pool (Options::poolSize connections at most, opened on demand). Single
// lookups are one statement; multi-statement reads run in one REPEATABLE
// READ READ ONLY snapshot; writes run at READ COMMITTED and first lock the
// row of the object they change (SELECT ... FOR NO KEY UPDATE), so writers
// of one object take turns and none loses another's update; a whole-tree
// import locks every table against writers. Statements are prepared once
// per connection and take their values only as bound parameters.
//
// Failures: a serialisation failure or deadlock (SQLSTATE 40001, 40P01), a
// dropped connection or a server that is shutting down or starting up is
// retried from the start of the operation, up to Options::maxAttempts tries
// with exponential backoff and jitter; every operation may be repeated
// safely (a write that may have committed before its connection dropped
// gives the same state when run again). Then, and for every other failure,
// the operation answers an error code (XR_GET_INTERFACE_FAILED when the
// server cannot be reached, XR_SESSION_LOCK_FAILED after concurrent
// writers, XR_INVALID_DATA for values the schema refuses, such as a text
// that is not UTF-8 or holds a NUL byte) with a text that names the
// operation and the SQLSTATE. A dropped connection empties the pool's idle
// connections, so a restarted server is used again without reopening the
// store.
#ifndef STORE_PGCONFIGSTORE_H_
#define STORE_PGCONFIGSTORE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "store/ConfigStore.h"
#include "store/ConfigTree.h"

class PgConfigStore final : public ConfigStore, public ConfigTreeStore {
 public:
  struct Options {
    size_t poolSize = 8;      // connections at most (at least 1)
    int maxAttempts = 5;      // tries of one operation when the failure is retryable (at least 1)
    int firstBackoffMs = 20;  // wait before the second try; doubles for each further one
    int maxBackoffMs = 1000;  // longest wait between two tries
    std::string schema;       // schema of the store, created when missing; empty: the search path's
    bool create = true;       // false: a schema without the store is refused instead of made one
  };

  // True for a libpq connection string: a postgresql:// or postgres:// URI,
  // or key=value pairs naming a host, hostaddr, dbname or service.
  static bool isConnectionString(const std::string& text);

  // The connection string without its password, for messages.
  static std::string describe(const std::string& conninfo);

  // Connects, checks and migrates the schema. 0 and store set, or an error
  // code with errorText (store untouched).
  static int open(const std::string& conninfo, const Options& options, std::shared_ptr<PgConfigStore>& store,
                  std::string& errorText);
  static int open(const std::string& conninfo, std::shared_ptr<PgConfigStore>& store, std::string& errorText);

  ~PgConfigStore() override;
  PgConfigStore(const PgConfigStore&) = delete;
  PgConfigStore& operator=(const PgConfigStore&) = delete;

  // Checks the marker row, the tables, columns, indexes and foreign keys
  // that the migrations made, and that no row has lost its parent, in one
  // snapshot: 0 with problems empty when the store is sound, else 0 with
  // one line per finding in problems; non-zero when it cannot run.
  int checkIntegrity(std::vector<std::string>& problems, std::string& errorText);

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

  // In one transaction; derived fields are taken from the parents.
  int replaceTree(const ConfigTree& tree, std::string& errorText) override;
  int readTree(ConfigTree& tree, std::string& errorText) override;

 private:
  class Pool;
  enum class Access { kSingleRead, kRead, kWrite, kReplace };

  PgConfigStore(std::unique_ptr<Pool> pool, const Options& options);

  // Runs body(connection) as one transaction of the given access; commits
  // when it returns 0, rolls back otherwise; retries retryable failures and
  // turns the rest into error codes here.
  template <typename Body>
  int run(Access access, const char* operation, std::string& errorText, Body&& body);

  std::unique_ptr<Pool> pool_;
  const Options options_;
};

#endif  // STORE_PGCONFIGSTORE_H_
