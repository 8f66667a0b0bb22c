// The configuration store in an SQLite database file: the embedded default
// of the platform. Several threads (and processes) may use one file at once.
//
// Opening: a missing file is created with the current schema; a file of an
// older schema version is migrated in one transaction. A file of a newer
// version, of another application (PRAGMA application_id), a file that is
// not a database, a read-only file or a path in a missing directory is
// refused with XR_GET_INTERFACE_FAILED and a text saying why; the file is
// left as it was.
//
// Durability: the file runs in WAL mode with synchronous=FULL. A store
// operation that returned 0 is on stable storage: it survives the death of
// the process, an operating-system crash and a power failure at any moment
// after it returned (each commit syncs the WAL before it returns; reads
// never sync). Options::durableCommits = false trades that for speed
// (synchronous=NORMAL: the last commits before a power failure may be lost,
// the file stays consistent); it exists to measure what durability costs.
//
// Concurrency: every store operation is one SQLite transaction on a
// connection taken from a small pool (readers never wait for the writer;
// writers wait for each other up to the busy timeout, then fail with
// XR_SESSION_LOCK_FAILED). Statements are prepared once per connection and
// take their values only as bound parameters.
//
// Requests (beginRequest/endRequest): the first operation of a request on a
// thread takes a connection from the pool (checking there, once, that the
// file is still at its path) and keeps it until the request ends. The
// request's reads share one read transaction, opened at its first read, so
// they see one snapshot of the store and pay for one lock instead of one
// each. A write ends that transaction first and then runs exactly as
// outside a request (its own connection, checks and transaction); the next
// read opens a new one that sees it. A failing operation ends the
// transaction and gives the connection back, answering as it would outside
// a request. Other writers are never held up by an open request (WAL).
//
// Held reads (holdReads/releaseReads) are one request around the thread's
// requests: a read transaction outlives the request that opened it, and
// each request that begins checks the file watch, which also reports every
// write to the file or its WAL by any process; after a write, or when
// another thread waits for a connection, the transaction ends and the next
// read opens a new one. Without a watch on both files (an in-memory store,
// a symbolic link, no WAL file) every request opens its own.
#ifndef STORE_SQLITECONFIGSTORE_H_
#define STORE_SQLITECONFIGSTORE_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "store/ConfigStore.h"
#include "store/ConfigTree.h"

class SqliteConfigStore final : public ConfigStore, public ConfigTreeStore {
 public:
  // The path of a private store that lives in memory only.
  static constexpr const char* kInMemory = ":memory:";

  struct Options {
    int busyTimeoutMs = 5000;    // how long a writer waits for another one
    size_t maxConnections = 8;   // the pool's size (1 for kInMemory)
    bool durableCommits = true;  // false: synchronous=NORMAL (see Durability above)
    bool auditTrail = true;      // false: changes write no audit entries (for measuring their cost only)
  };

  // Opens or creates the store at path. 0 and store set, or an error code
  // with errorText (store untouched).
  static int open(const std::string& path, const Options& options, std::shared_ptr<SqliteConfigStore>& store,
                  std::string& errorText);
  static int open(const std::string& path, std::shared_ptr<SqliteConfigStore>& store, std::string& errorText);

  ~SqliteConfigStore() override;
  SqliteConfigStore(const SqliteConfigStore&) = delete;
  SqliteConfigStore& operator=(const SqliteConfigStore&) = delete;

  // PRAGMA integrity_check and PRAGMA foreign_key_check: 0 with problems
  // empty when the file is sound, else 0 with one line per finding in
  // problems (SQLite's, and each row whose parent is missing); non-zero when
  // it cannot run.
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

  void beginRequest() noexcept override;
  void endRequest() noexcept override;
  void holdReads() noexcept override;
  void releaseReads() noexcept override;

  // In one transaction; derived fields are taken from the parents.
  int replaceTree(const ConfigTree& tree, std::string& errorText) override;
  int readTree(ConfigTree& tree, std::string& errorText) override;

 private:
  class Pool;
  enum class Access { kSingleRead, kRead, kWrite };

  explicit SqliteConfigStore(std::unique_ptr<Pool> pool);

  // Runs body(connection) as one transaction of the given access; commits
  // when it returns 0, rolls back otherwise; SQLite failures become error
  // codes here. Inside a request, reads run in the request's transaction.
  template <typename Body>
  int run(Access access, const char* operation, std::string& errorText, Body&& body);

  // Ends the calling thread's request transaction, if any, and gives its
  // connection back to the pool.
  void releaseRequestConnection() noexcept;

  std::unique_ptr<Pool> pool_;
};

#endif  // STORE_SQLITECONFIGSTORE_H_
