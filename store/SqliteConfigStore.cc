// The configuration store on SQLite: opening and migrating the file, the
// connection pool, and the store operations, each one transaction around a
// body shared with the PostgreSQL store (SqlStoreOperations.h).
#include "store/SqliteConfigStore.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <utility>

#include <sys/stat.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "SqlStoreOperations.h"
#include "SqliteConnection.h"
#include "SqliteFileWatch.h"
#include "SqliteSchema.h"
#include "store/StoreFailure.h"

namespace {

// A file the store will not use; reported with XR_GET_INTERFACE_FAILED.
struct Refusal {
  std::string text;
};

// The SQLite side of the shared operations: SQLite lets one writer in at a
// time, so a write needs no row lock and an import no table lock.
struct SqliteEngine {
  using Connection = SqliteConnection;
  using Query = SqliteQuery;

  static SqliteQuery ownerQuery(SqliteConnection& c, Sql exists, sqlstore::Row) {
    return SqliteQuery(c, exists);
  }
  static void beforeReplace(SqliteConnection&) {}
  static bool audits(const SqliteConnection& c) { return c.auditTrail(); }
};

using Ops = sqlstore::Operations<SqliteEngine>;

// ---- Opening ----

// Refusals that need no SQLite: a missing directory, a read-only file,
// something that is not a file. Nothing is created on the way.
void checkPath(const std::string& path) {
  std::filesystem::path file(path);
  std::filesystem::path directory = file.parent_path();
  if (directory.empty()) directory = ".";
  std::error_code error;
  if (!std::filesystem::is_directory(directory, error))
    throw Refusal{"cannot open " + path + ": the directory " + directory.string() + " does not exist"};
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return;  // a new file
  if (!S_ISREG(status.st_mode)) throw Refusal{"cannot open " + path + ": not a regular file"};
  // Checked on the mode bits as well as by SQLite, so that a file marked
  // read-only is refused even for a user (root) who could write it anyway.
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    throw Refusal{"cannot open " + path + ": the file is read-only"};
}

// Checks that the file is ours (or empty), switches it to WAL and brings its
// schema to the current version in one transaction.
void prepareFile(SqliteConnection& connection, const std::string& path) {
  if (sqlite3_db_readonly(connection.handle(), "main") == 1)
    throw Refusal{"cannot open " + path + ": the file is read-only"};
  const std::string reading = "cannot read " + path;
  // These reads touch nothing; a file that is not a database fails here.
  const int64_t applicationId = connection.queryInteger("PRAGMA application_id", reading);
  const int64_t version = connection.queryInteger("PRAGMA user_version", reading);
  const int64_t objects = connection.queryInteger("SELECT count(*) FROM sqlite_schema", reading);
  const int current = sqliteSchemaVersion();
  if (applicationId != kSqliteStoreApplicationId) {
    if (applicationId != 0 || version != 0 || objects != 0) {
      throw Refusal{"cannot open " + path + ": the file belongs to another application (application_id " +
                    std::to_string(applicationId) + ")"};
    }
  } else if (version > current) {
    throw Refusal{"cannot open " + path + ": its schema version " + std::to_string(version) +
                  " is newer than this program's " + std::to_string(current)};
  } else if (version < 1) {
    throw Refusal{"cannot open " + path + ": the file has no schema version"};
  }

  connection.execute("PRAGMA journal_mode = WAL", "cannot switch " + path + " to WAL");
  const std::string migrating = "cannot migrate " + path;
  connection.execute("BEGIN IMMEDIATE", migrating);
  try {
    // Read again under the write lock: another process may have got there first.
    const int64_t from = connection.queryInteger("PRAGMA user_version", migrating);
    if (from > current)
      throw Refusal{"cannot open " + path + ": another program migrated it to a newer schema"};
    for (int64_t step = from; step < current; ++step) connection.execute(sqliteMigrations()[step], migrating);
    if (from != current) {
      const std::string stamp = "PRAGMA application_id = " + std::to_string(kSqliteStoreApplicationId) +
                                "; PRAGMA user_version = " + std::to_string(current);
      connection.execute(stamp.c_str(), migrating);
    }
    connection.execute("COMMIT", migrating);
  } catch (...) {
    sqlite3_exec(connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace

// ---- The pool ----

// Connections handed to one operation at a time; opened on demand up to the
// limit, after which callers wait for one to come back. Idle connections sit
// in slots taken and filled with atomic exchanges, so handing one over takes
// no lock; the mutex is only for callers that have to wait.
class SqliteConfigStore::Pool {
 public:
  Pool(std::string path, int flags, const Options& options, size_t limit,
       std::unique_ptr<SqliteConnection> first, std::unique_ptr<SqliteFileWatch> watch)
      : path_(std::move(path)),
        flags_(flags),
        options_(options),
        limit_(limit),
        watch_(std::move(watch)),
        idle_(new std::atomic<SqliteConnection*>[limit]),
        open_(1) {
    for (size_t i = 0; i < limit_; ++i) idle_[i].store(nullptr);
    if (watch_) first->setCheckedGeneration(watch_->generation());
    idle_[0].store(first.release());
  }

  ~Pool() {
    for (size_t i = 0; i < limit_; ++i) delete idle_[i].exchange(nullptr);
  }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Throws SqliteFailure when a new connection cannot be opened.
  //
  // A connection whose file was removed or replaced would write into a file
  // nobody opens again: it is closed and a new one opened on the path. The
  // path is never created again, so a removed store answers errors until
  // its file is put back, and is then served again. The file watch tells
  // when the path has to be compared with the connection's file; without a
  // watch (an in-memory store has no file) nothing can move.
  std::unique_ptr<SqliteConnection> acquire() {
    std::unique_ptr<SqliteConnection> connection(takeIdle());
    if (!connection) connection.reset(waitForSlot());
    const uint64_t generation = watch_ ? watch_->generation() : 0;
    if (connection) {
      if (!watch_ || connection->checkedGeneration() == generation) return connection;
      if (!connection->hasMoved()) {
        connection->setCheckedGeneration(generation);
        return connection;
      }
    }
    const bool moved = connection != nullptr;
    connection.reset();
    try {
      connection =
          std::make_unique<SqliteConnection>(path_, flags_, options_.busyTimeoutMs, options_.durableCommits);
      connection->setAuditTrail(options_.auditTrail);
      connection->setCheckedGeneration(generation);
      return connection;
    } catch (SqliteFailure& failure) {
      discard();
      if (moved) failure.context = "the store file " + path_ + " was removed or replaced; " + failure.context;
      throw;
    } catch (...) {
      discard();
      throw;
    }
  }

  void release(std::unique_ptr<SqliteConnection> connection) noexcept {
    SqliteConnection* back = connection.release();
    // At most limit_ connections are open, so a slot is always free.
    for (size_t i = 0;; i = (i + 1) % limit_) {
      SqliteConnection* empty = nullptr;
      if (idle_[i].load() == nullptr && idle_[i].compare_exchange_strong(empty, back)) break;
    }
    wakeWaiter();
  }

  // Rolls back what is left open on a connection and releases it, or
  // closes it when it cannot be brought back to a clean state.
  void giveBack(std::unique_ptr<SqliteConnection> connection) noexcept {
    sqlite3* db = connection->handle();
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (sqlite3_get_autocommit(db) != 0) {
      release(std::move(connection));
    } else {
      connection.reset();
      discard();
    }
  }

  // Whether a read transaction begun when the watch said `generation` may
  // serve on: nothing was written since, and nobody waits for a connection.
  bool mayKeepReading(uint64_t generation) {
    return watch_ && watch_->watchesWrites() && waiters_.load() == 0 && watch_->generation() == generation;
  }

  // A connection that was closed instead of released.
  void discard() noexcept {
    open_.fetch_sub(1);
    wakeWaiter();
  }

 private:
  SqliteConnection* takeIdle() {
    for (size_t i = 0; i < limit_; ++i) {
      if (idle_[i].load() != nullptr) {
        if (SqliteConnection* connection = idle_[i].exchange(nullptr)) return connection;
      }
    }
    return nullptr;
  }

  bool hasIdle() const {
    for (size_t i = 0; i < limit_; ++i) {
      if (idle_[i].load() != nullptr) return true;
    }
    return false;
  }

  // An idle connection, or null with a place for a new one counted in
  // open_; waits while every connection is in use.
  SqliteConnection* waitForSlot() {
    for (;;) {
      size_t open = open_.load();
      while (open < limit_) {
        if (open_.compare_exchange_weak(open, open + 1)) return nullptr;
      }
      {
        // A releaser that put its connection back before waiters_ counts
        // this caller is seen by the predicate; one after it notifies under
        // the mutex, which this caller holds until it waits.
        std::unique_lock<std::mutex> lock(mutex_);
        waiters_.fetch_add(1);
        available_.wait(lock, [this] { return hasIdle() || open_.load() < limit_; });
        waiters_.fetch_sub(1);
      }
      if (SqliteConnection* connection = takeIdle()) return connection;
    }
  }

  void wakeWaiter() noexcept {
    if (waiters_.load() == 0) return;
    { std::lock_guard<std::mutex> lock(mutex_); }
    available_.notify_one();
  }

  const std::string path_;
  const int flags_;
  const Options options_;
  const size_t limit_;
  const std::unique_ptr<SqliteFileWatch> watch_;  // null for an in-memory store
  const std::unique_ptr<std::atomic<SqliteConnection*>[]> idle_;
  std::atomic<size_t> open_;
  std::atomic<size_t> waiters_{0};
  std::mutex mutex_;
  std::condition_variable available_;
};

namespace {

// One operation's connection, given back to the pool at the end.
template <typename Pool>
class Lease {
 public:
  Lease(Pool& pool, std::unique_ptr<SqliteConnection> connection)
      : pool_(pool), connection_(std::move(connection)) {}
  ~Lease() { pool_.giveBack(std::move(connection_)); }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  SqliteConnection& connection() { return *connection_; }

 private:
  Pool& pool_;
  std::unique_ptr<SqliteConnection> connection_;
};

// The request running on this thread, of at most one store at a time (a
// request begun on another store meanwhile is not counted, and that
// store's operations run as outside a request).
struct ThreadRequest {
  const void* store = nullptr;                   // the store whose request this is; null: none
  unsigned depth = 0;                            // nested beginRequest calls on it
  std::unique_ptr<SqliteConnection> connection;  // taken at the first read
  bool reading = false;                          // a read transaction is open on it
  uint64_t generation = 0;                       // the file watch's number when it was taken
  bool held = false;                             // the outermost pair is holdReads/releaseReads
};

thread_local ThreadRequest threadRequest;

}  // namespace

// ---- The store ----

int SqliteConfigStore::open(const std::string& path, std::shared_ptr<SqliteConfigStore>& store,
                            std::string& errorText) {
  return open(path, Options(), store, errorText);
}

int SqliteConfigStore::open(const std::string& path, const Options& options,
                            std::shared_ptr<SqliteConfigStore>& store, std::string& errorText) {
  const bool inMemory = path == kInMemory;
  // One connection per operation at a time; the connections are never
  // shared by two threads at once, so SQLite's own mutexes are not needed.
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  try {
    if (path.empty()) throw Refusal{"cannot open the store: no path given"};
    if (!inMemory) checkPath(path);
    auto first =
        std::make_unique<SqliteConnection>(path, flags, options.busyTimeoutMs, options.durableCommits);
    first->setAuditTrail(options.auditTrail);
    prepareFile(*first, path);
    // A private in-memory database exists in one connection only.
    const size_t limit = inMemory ? 1 : std::max<size_t>(1, options.maxConnections);
    // Only the first connection may create the file: a later one that
    // finds it gone must fail rather than start an empty store.
    const int laterFlags = inMemory ? flags : flags & ~SQLITE_OPEN_CREATE;
    std::unique_ptr<SqliteFileWatch> watch = inMemory ? nullptr : std::make_unique<SqliteFileWatch>(path);
    store.reset(new SqliteConfigStore(
        std::make_unique<Pool>(path, laterFlags, options, limit, std::move(first), std::move(watch))));
  } catch (const Refusal& refusal) {
    return storeFailure(XR_GET_INTERFACE_FAILED, errorText, refusal.text);
  } catch (const SqliteFailure& failure) {
    return sqliteErrorCode(failure, errorText);
  }
  return 0;
}

SqliteConfigStore::SqliteConfigStore(std::unique_ptr<Pool> pool) : pool_(std::move(pool)) {}

SqliteConfigStore::~SqliteConfigStore() = default;

void SqliteConfigStore::beginRequest() noexcept {
  ThreadRequest& request = threadRequest;
  if (request.store == nullptr) {
    request.store = this;
    request.depth = 1;
  } else if (request.store == this) {
    ++request.depth;
    // A request right inside held reads reads in the transaction already
    // open only while nothing was written since it began.
    if (request.held && request.depth == 2 && request.reading && !pool_->mayKeepReading(request.generation))
      releaseRequestConnection();
  }
}

void SqliteConfigStore::holdReads() noexcept {
  ThreadRequest& request = threadRequest;
  if (request.store != nullptr) return;  // inside a request: it decides
  beginRequest();
  request.held = true;
}

void SqliteConfigStore::releaseReads() noexcept {
  ThreadRequest& request = threadRequest;
  if (request.store == this && request.held && request.depth == 1) endRequest();
}

void SqliteConfigStore::endRequest() noexcept {
  ThreadRequest& request = threadRequest;
  if (request.store != this || --request.depth > 0) return;
  releaseRequestConnection();
  request.store = nullptr;
  request.held = false;
}

void SqliteConfigStore::releaseRequestConnection() noexcept {
  ThreadRequest& request = threadRequest;
  if (request.reading && request.connection) {
    // Ends the read transaction with the cached statement; giveBack rolls
    // back whatever this leaves open.
    try {
      SqliteQuery(*request.connection, Sql::kCommit).run();
    } catch (...) {
    }
  }
  request.reading = false;
  if (request.connection) pool_->giveBack(std::move(request.connection));
}

template <typename Body>
int SqliteConfigStore::run(Access access, const char* operation, std::string& errorText, Body&& body) {
  ThreadRequest& request = threadRequest;
  const bool inRequest = request.store == this;
  // A write runs as outside a request: on a connection checked just before
  // it (a write must never land in a file removed since the request began),
  // in its own write transaction, after which reads take a new snapshot.
  if (inRequest && access == Access::kWrite) releaseRequestConnection();
  try {
    if (inRequest && access != Access::kWrite) {
      if (!request.connection) request.connection = pool_->acquire();
      SqliteConnection& connection = *request.connection;
      if (!request.reading) {
        // The watch's number as the connection was checked, before the
        // snapshot: a write after it changes the number.
        request.generation = connection.checkedGeneration();
        SqliteQuery(connection, Sql::kBeginRead).run();
        request.reading = true;
      }
      try {
        return body(connection);
      } catch (...) {
        releaseRequestConnection();  // a failed read ends the request's transaction
        throw;
      }
    }
    Lease<Pool> lease(*pool_, pool_->acquire());
    SqliteConnection& connection = lease.connection();
    if (access != Access::kSingleRead) {
      SqliteQuery(connection, access == Access::kWrite ? Sql::kBeginWrite : Sql::kBeginRead).run();
    }
    const int result = body(connection);
    if (result == 0 && access != Access::kSingleRead) SqliteQuery(connection, Sql::kCommit).run();
    return result;  // the lease rolls back what was not committed
  } catch (const SqliteFailure& failure) {
    if (inRequest) releaseRequestConnection();
    const int code = sqliteErrorCode(failure, errorText);
    errorText = std::string(operation) + ": " + errorText;
    return code;
  }
}

int SqliteConfigStore::checkIntegrity(std::vector<std::string>& problems, std::string& errorText) {
  problems.clear();
  return run(Access::kSingleRead, "checkIntegrity", errorText, [&](SqliteConnection& c) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(c.handle(), "PRAGMA integrity_check", -1, &statement, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const unsigned char* line = sqlite3_column_text(statement, 0);
      const std::string text = line == nullptr ? std::string() : reinterpret_cast<const char*>(line);
      if (text != "ok") problems.push_back(text);
      rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) c.fail(rc, "integrity check");
    // A row whose parent is gone (written with foreign keys off, by another
    // program) passes integrity_check; foreign_key_check names it.
    rc = sqlite3_prepare_v2(c.handle(), "PRAGMA foreign_key_check", -1, &statement, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
      const auto text = [&](int column) {
        const unsigned char* value = sqlite3_column_text(statement, column);
        return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value));
      };
      problems.push_back("row " + text(1) + " of table " + text(0) + " refers to a missing row of table " +
                         text(2));
      rc = SQLITE_OK;
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) c.fail(rc, "foreign key check");
    return 0;
  });
}

int SqliteConfigStore::findVelmora(uint64_t id, const std::string& name, VelmoraRow& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "findVelmora", errorText,
             [&](SqliteConnection& c) { return Ops::findVelmora(c, id, name, out, errorText); });
}

int SqliteConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  return run(Access::kSingleRead, "getGlobalParam", errorText,
             [&](SqliteConnection& c) { return Ops::getGlobalParam(c, name, value, errorText); });
}

int SqliteConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                       std::string& errorText) {
  return run(Access::kSingleRead, "findApplication", errorText,
             [&](SqliteConnection& c) { return Ops::findApplication(c, key, match, out, errorText); });
}

int SqliteConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out,
                                  std::string& errorText) {
  return run(Access::kSingleRead, "findClient", errorText,
             [&](SqliteConnection& c) { return Ops::findClient(c, key, match, out, errorText); });
}

int SqliteConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findInstance", errorText,
             [&](SqliteConnection& c) { return Ops::findInstance(c, id, out, errorText); });
}

int SqliteConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findBackupSet", errorText,
             [&](SqliteConnection& c) { return Ops::findBackupSet(c, id, out, errorText); });
}

int SqliteConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findSubclient", errorText,
             [&](SqliteConnection& c) { return Ops::findSubclient(c, id, out, errorText); });
}

int SqliteConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t /*scope*/,
                                      std::vector<PropertyRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listProperties", errorText,
             [&](SqliteConnection& c) { return Ops::listProperties(c, owner, id, out); });
}

int SqliteConfigStore::setProperties(PropertyOwner owner, uint64_t id,
                                     const std::vector<PropertyRow>& properties, std::string& errorText) {
  return run(Access::kWrite, "setProperties", errorText,
             [&](SqliteConnection& c) { return Ops::setProperties(c, owner, id, properties, errorText); });
}

int SqliteConfigStore::removeProperties(PropertyOwner owner, uint64_t id,
                                        const std::vector<std::string>& names, std::string& errorText) {
  return run(Access::kWrite, "removeProperties", errorText,
             [&](SqliteConnection& c) { return Ops::removeProperties(c, owner, id, names, errorText); });
}

int SqliteConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                           std::string& errorText) {
  return run(Access::kSingleRead, "listInstanceContent", errorText,
             [&](SqliteConnection& c) { return Ops::listInstanceContent(c, instanceId, out); });
}

int SqliteConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                            std::string& errorText) {
  return run(Access::kSingleRead, "listSubclientEntries", errorText, [&](SqliteConnection& c) {
    return Ops::listSubclientEntries(c, subclientId, group, out, errorText);
  });
}

int SqliteConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                              const std::vector<std::string>& add,
                                              const std::vector<std::string>& remove,
                                              std::string& errorText) {
  return run(Access::kWrite, "updateSubclientEntries", errorText, [&](SqliteConnection& c) {
    return Ops::updateSubclientEntries(c, subclientId, group, add, remove, errorText);
  });
}

int SqliteConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                    std::string& errorText) {
  return run(Access::kSingleRead, "listVelmoras", errorText,
             [&](SqliteConnection& c) { return Ops::listVelmoras(c, velmoraId, order, out); });
}

int SqliteConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "listClients", errorText,
             [&](SqliteConnection& c) { return Ops::listClients(c, velmoraId, scope, out); });
}

int SqliteConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                         std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listClientsOfType", errorText,
             [&](SqliteConnection& c) { return Ops::listClientsOfType(c, velmoraId, roles, order, out); });
}

int SqliteConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                        uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                        std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listApplications", errorText, [&](SqliteConnection& c) {
    return Ops::listApplications(c, velmoraId, clientId, appTypeId, instanceId, backupSetId, order, out);
  });
}

int SqliteConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                            std::string& errorText) {
  return run(Access::kSingleRead, "listApplicationTypes", errorText,
             [&](SqliteConnection& c) { return Ops::listApplicationTypes(c, clientId, scope, out); });
}

int SqliteConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                     ListOrder order, std::vector<AdapterListRow>& out,
                                     std::string& errorText) {
  return run(Access::kSingleRead, "listInstances", errorText, [&](SqliteConnection& c) {
    return Ops::listInstances(c, velmoraId, clientId, appTypeId, order, out);
  });
}

int SqliteConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                                      ListOrder order, std::vector<AdapterListRow>& out,
                                      std::string& errorText) {
  return run(Access::kSingleRead, "listBackupSets", errorText, [&](SqliteConnection& c) {
    return Ops::listBackupSets(c, clientId, appTypeId, instanceId, order, out);
  });
}

int SqliteConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                      std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listSubclients", errorText,
             [&](SqliteConnection& c) { return Ops::listSubclients(c, clientId, backupSetId, order, out); });
}

int SqliteConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                    std::vector<ApplicationRow>& out,
                                                    std::string& errorText) {
  return run(Access::kSingleRead, "listArchiveGroupApplications", errorText, [&](SqliteConnection& c) {
    return Ops::listArchiveGroupApplications(c, velmoraId, archiveGroupId, out);
  });
}

int SqliteConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name,
                                               std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationTypeName", errorText, [&](SqliteConnection& c) {
    return Ops::findApplicationTypeName(c, appTypeId, name, errorText);
  });
}

int SqliteConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                                  std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationBySubclient", errorText, [&](SqliteConnection& c) {
    return Ops::findApplicationBySubclient(c, subclientId, out, errorText);
  });
}

int SqliteConfigStore::replaceTree(const ConfigTree& tree, std::string& errorText) {
  return run(Access::kWrite, "replaceTree", errorText,
             [&](SqliteConnection& c) { return Ops::replaceTree(c, tree, errorText); });
}

int SqliteConfigStore::readTree(ConfigTree& tree, std::string& errorText) {
  ConfigTree read;
  const int result =
      run(Access::kRead, "readTree", errorText, [&](SqliteConnection& c) { return Ops::readTree(c, read); });
  if (result == 0) tree = std::move(read);
  return result;
}

int SqliteConfigStore::readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out,
                                 std::string& errorText) {
  return run(Access::kSingleRead, "readAudit", errorText,
             [&](SqliteConnection& c) { return Ops::readAudit(c, filter, out); });
}

int SqliteConfigStore::pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted,
                                  std::string& errorText) {
  deleted = 0;
  return run(Access::kWrite, "pruneAudit", errorText,
             [&](SqliteConnection& c) { return Ops::pruneAudit(c, beforeUs, limit, deleted); });
}
