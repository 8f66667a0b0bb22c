// The configuration store on SQLite: opening and migrating the file, the
// connection pool, and the store operations, each one transaction.
#include "platform/SqliteConfigStore.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <utility>

#include <sys/stat.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "SqliteConnection.h"
#include "SqliteSchema.h"
#include "StoreAccess.h"

namespace {

// A file the store will not use; reported with XR_GET_INTERFACE_FAILED.
struct Refusal {
  std::string text;
};

int ownerKind(PropertyOwner owner) {
  switch (owner) {
    case PropertyOwner::kClient:
      return kOwnerKindClient;
    case PropertyOwner::kInstance:
      return kOwnerKindInstance;
    case PropertyOwner::kBackupSet:
      return kOwnerKindBackupSet;
    case PropertyOwner::kSubclient:
      return kOwnerKindSubclient;
  }
  return 0;
}

bool ownerOfKind(int64_t kind, PropertyOwner& owner) {
  switch (kind) {
    case kOwnerKindClient:
      owner = PropertyOwner::kClient;
      return true;
    case kOwnerKindInstance:
      owner = PropertyOwner::kInstance;
      return true;
    case kOwnerKindBackupSet:
      owner = PropertyOwner::kBackupSet;
      return true;
    case kOwnerKindSubclient:
      owner = PropertyOwner::kSubclient;
      return true;
  }
  return false;
}

// 0 when the owner of a property list exists, else its not-found code.
int checkOwner(SqliteConnection& connection, PropertyOwner owner, uint64_t id, std::string& errorText) {
  Sql sql = Sql::kClientExists;
  uint32_t code = XR_CLIENT_NOT_FOUND;
  const char* what = "Client";
  switch (owner) {
    case PropertyOwner::kClient:
      break;
    case PropertyOwner::kInstance:
      sql = Sql::kInstanceExists, code = XR_INSTANCE_NOT_FOUND, what = "Instance";
      break;
    case PropertyOwner::kBackupSet:
      sql = Sql::kBackupSetExists, code = XR_BACKUPSET_NOT_FOUND, what = "Backup set";
      break;
    case PropertyOwner::kSubclient:
      sql = Sql::kSubclientExists, code = XR_SUBCLIENT_NOT_FOUND, what = "Subclient";
      break;
  }
  SqliteQuery query(connection, sql);
  query.bind(id);
  if (query.next()) return 0;
  return storeFailure(code, errorText, std::string(what) + " " + std::to_string(id) + " not found");
}

int checkSubclientForEntries(SqliteConnection& connection, uint64_t subclientId, std::string& errorText) {
  SqliteQuery query(connection, Sql::kSubclientExists);
  query.bind(subclientId);
  if (query.next()) return 0;
  return storeFailure(XR_CONTENT_INVALID_SUBCLIENT, errorText,
                      "Subclient " + std::to_string(subclientId) + " not found");
}

// ---- Rows from result columns (column order of SqliteStatements.cc) ----

void readVelmora(const SqliteQuery& q, VelmoraRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.releaseId = q.unsignedAt(2);
  row.flags = q.unsignedAt(3);
  row.timeZoneId = q.unsignedAt(4);
  row.hostName = q.textAt(5);
  row.description = q.textAt(6);
  row.timeZoneName = q.textAt(7);
  row.installDir = q.textAt(8);
  row.utcOffsetMinutes = static_cast<int32_t>(q.signedAt(9));
}

void readClient(const SqliteQuery& q, ClientRow& row) {
  row.id = q.unsignedAt(0);
  row.velmoraId = q.unsignedAt(1);
  row.name = q.textAt(2);
  row.hostName = q.textAt(3);
  row.qualifier = q.unsignedAt(4);
  row.attribute = q.unsignedAt(5);
  row.osName = q.textAt(6);
  row.osVersion = q.textAt(7);
  row.processor = q.textAt(8);
  row.versionText = q.textAt(9);
  row.isNAS = q.signedAt(10) != 0;
  row.isNonNDMP = q.signedAt(11) != 0;
}

void readInstance(const SqliteQuery& q, InstanceRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.clientId = q.unsignedAt(3);
  row.appTypeId = q.unsignedAt(4);
  row.velmoraId = q.unsignedAt(5);
  row.description = q.textAt(6);
  row.clusterType = static_cast<int32_t>(q.signedAt(7));
  row.cloudAppsType = static_cast<int32_t>(q.signedAt(8));
}

void readBackupSet(const SqliteQuery& q, BackupSetRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.instanceId = q.unsignedAt(3);
  row.clientId = q.unsignedAt(4);
  row.appTypeId = q.unsignedAt(5);
  row.description = q.textAt(6);
  row.subclientCount = q.unsignedAt(7);
}

void readSubclient(const SqliteQuery& q, SubclientRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.backupSetId = q.unsignedAt(3);
  row.instanceId = q.unsignedAt(4);
  row.clientId = q.unsignedAt(5);
  row.description = q.textAt(6);
}

void readApplication(const SqliteQuery& q, ApplicationRow& row) {
  row.appId = q.unsignedAt(0);
  row.aux1 = q.unsignedAt(1);
  row.aux2 = q.unsignedAt(2);
  row.velmoraId = q.unsignedAt(3);
  row.clientId = q.unsignedAt(4);
  row.appTypeId = q.unsignedAt(5);
  row.instanceId = q.unsignedAt(6);
  row.backupSetId = q.unsignedAt(7);
  row.subclientId = q.unsignedAt(8);
  row.instanceName = q.textAt(9);
  row.backupSetName = q.textAt(10);
  row.subclientName = q.textAt(11);
}

// Steps a list query to its end.
std::vector<ConfigStore::AdapterListRow> listRows(SqliteQuery& query) {
  std::vector<ConfigStore::AdapterListRow> rows;
  while (query.next()) rows.push_back({query.unsignedAt(0), query.textAt(1), query.signedAt(2) != 0});
  return rows;
}

std::vector<ApplicationRow> applicationRows(SqliteQuery& query) {
  std::vector<ApplicationRow> rows;
  while (query.next()) readApplication(query, rows.emplace_back());
  return rows;
}

int orderValue(ConfigStore::ListOrder order) { return order == ConfigStore::ListOrder::kByName ? 1 : 0; }

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
// limit, after which callers wait for one to come back.
class SqliteConfigStore::Pool {
 public:
  Pool(std::string path, int flags, const Options& options, size_t limit,
       std::unique_ptr<SqliteConnection> first)
      : path_(std::move(path)), flags_(flags), options_(options), limit_(limit), open_(1) {
    idle_.push_back(std::move(first));
  }

  // Throws SqliteFailure when a new connection cannot be opened.
  //
  // A connection whose file was removed or replaced would write into a file
  // nobody opens again: it is closed and a new one opened on the path. The
  // path is never created again, so a removed store answers errors until
  // its file is put back, and is then served again.
  std::unique_ptr<SqliteConnection> acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return !idle_.empty() || open_ < limit_; });
    std::unique_ptr<SqliteConnection> connection;
    if (!idle_.empty()) {
      connection = std::move(idle_.back());
      idle_.pop_back();
    } else {
      ++open_;
    }
    lock.unlock();
    if (connection && !connection->hasMoved()) return connection;
    const bool moved = connection != nullptr;
    connection.reset();
    try {
      return std::make_unique<SqliteConnection>(path_, flags_, options_.busyTimeoutMs);
    } catch (SqliteFailure& failure) {
      discard();
      if (moved) failure.context = "the store file " + path_ + " was removed or replaced; " + failure.context;
      throw;
    } catch (...) {
      discard();
      throw;
    }
  }

  void release(std::unique_ptr<SqliteConnection> connection) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      idle_.push_back(std::move(connection));
    }
    available_.notify_one();
  }

  // A connection that was closed instead of released.
  void discard() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --open_;
    }
    available_.notify_one();
  }

 private:
  const std::string path_;
  const int flags_;
  const Options options_;
  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable available_;
  std::vector<std::unique_ptr<SqliteConnection>> idle_;
  size_t open_;
};

namespace {

// One operation's connection: rolls back what is left open and gives the
// connection back (or closes it when it cannot be brought back to a clean
// state).
template <typename Pool>
class Lease {
 public:
  Lease(Pool& pool, std::unique_ptr<SqliteConnection> connection)
      : pool_(pool), connection_(std::move(connection)) {}
  ~Lease() {
    sqlite3* db = connection_->handle();
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (sqlite3_get_autocommit(db) != 0) {
      pool_.release(std::move(connection_));
    } else {
      connection_.reset();
      pool_.discard();
    }
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  SqliteConnection& connection() { return *connection_; }

 private:
  Pool& pool_;
  std::unique_ptr<SqliteConnection> connection_;
};

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
    auto first = std::make_unique<SqliteConnection>(path, flags, options.busyTimeoutMs);
    prepareFile(*first, path);
    // A private in-memory database exists in one connection only.
    const size_t limit = inMemory ? 1 : std::max<size_t>(1, options.maxConnections);
    // Only the first connection may create the file: a later one that
    // finds it gone must fail rather than start an empty store.
    const int laterFlags = inMemory ? flags : flags & ~SQLITE_OPEN_CREATE;
    store.reset(
        new SqliteConfigStore(std::make_unique<Pool>(path, laterFlags, options, limit, std::move(first))));
  } catch (const Refusal& refusal) {
    return storeFailure(XR_GET_INTERFACE_FAILED, errorText, refusal.text);
  } catch (const SqliteFailure& failure) {
    return sqliteErrorCode(failure, errorText);
  }
  return 0;
}

SqliteConfigStore::SqliteConfigStore(std::unique_ptr<Pool> pool) : pool_(std::move(pool)) {}

SqliteConfigStore::~SqliteConfigStore() = default;

template <typename Body>
int SqliteConfigStore::run(Access access, const char* operation, std::string& errorText, Body&& body) {
  try {
    Lease<Pool> lease(*pool_, pool_->acquire());
    SqliteConnection& connection = lease.connection();
    if (access != Access::kSingleRead) {
      SqliteQuery(connection, access == Access::kWrite ? Sql::kBeginWrite : Sql::kBeginRead).run();
    }
    const int result = body(connection);
    if (result == 0 && access != Access::kSingleRead) SqliteQuery(connection, Sql::kCommit).run();
    return result;  // the lease rolls back what was not committed
  } catch (const SqliteFailure& failure) {
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
    return 0;
  });
}

int SqliteConfigStore::findVelmora(uint64_t id, const std::string& name, VelmoraRow& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "findVelmora", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, name.empty() ? Sql::kFindVelmoraById : Sql::kFindVelmoraByName);
    name.empty() ? query.bind(id) : query.bind(name);
    if (!query.next()) {
      return storeFailure(
          XR_VELMORA_NOT_FOUND, errorText,
          name.empty() ? "Velmora " + std::to_string(id) + " not found" : "Velmora '" + name + "' not found");
    }
    readVelmora(query, out);
    return 0;
  });
}

int SqliteConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  return run(Access::kSingleRead, "getGlobalParam", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kGetGlobalParam);
    query.bind(name);
    if (!query.next())
      return storeFailure(XR_INVALID_GLOBAL_PROP, errorText, "No global parameter '" + name + "'");
    value = query.textAt(0);
    return 0;
  });
}

int SqliteConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                       std::string& errorText) {
  return run(Access::kSingleRead, "findApplication", errorText, [&](SqliteConnection& c) {
    Sql sql = Sql::kFindApplicationNumeric;
    switch (key) {
      case ApplicationKey::kNumeric:
        break;
      case ApplicationKey::kNames:
        sql = Sql::kFindApplicationNames;
        break;
      case ApplicationKey::kInstanceAndNames:
        sql = Sql::kFindApplicationInstanceAndNames;
        break;
      case ApplicationKey::kBackupSetAndName:
        sql = Sql::kFindApplicationBackupSetAndName;
        break;
      case ApplicationKey::kIds:
        sql = Sql::kFindApplicationIds;
        break;
    }
    SqliteQuery query(c, sql);
    query.bind(match.velmoraId);
    switch (key) {
      case ApplicationKey::kNumeric:
        query.bind(match.appId);
        break;
      case ApplicationKey::kNames:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceName).bind(match.backupSetName);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kInstanceAndNames:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetName);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kBackupSetAndName:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetId);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kIds:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetId);
        query.bind(match.subclientId);
        break;
    }
    if (!query.next()) return storeFailure(XR_APPID_NOT_FOUND, errorText, "Application not found");
    readApplication(query, out);
    return 0;
  });
}

int SqliteConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out,
                                  std::string& errorText) {
  return run(Access::kSingleRead, "findClient", errorText, [&](SqliteConnection& c) {
    const Sql sql = key == ClientKey::kId     ? Sql::kFindClientById
                    : key == ClientKey::kName ? Sql::kFindClientByName
                                              : Sql::kFindClientByHostName;
    SqliteQuery query(c, sql);
    if (key == ClientKey::kId) {
      query.bind(match.id);
    } else {
      query.bind(key == ClientKey::kName ? match.name : match.hostName);
    }
    if (!query.next()) return storeFailure(XR_CLIENT_NOT_FOUND, errorText, "Client not found");
    readClient(query, out);
    return 0;
  });
}

int SqliteConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findInstance", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kFindInstance);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_INSTANCE_NOT_FOUND, errorText, "Instance " + std::to_string(id) + " not found");
    readInstance(query, out);
    return 0;
  });
}

int SqliteConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findBackupSet", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kFindBackupSet);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_BACKUPSET_NOT_FOUND, errorText,
                          "Backup set " + std::to_string(id) + " not found");
    readBackupSet(query, out);
    return 0;
  });
}

int SqliteConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findSubclient", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kFindSubclient);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_SUBCLIENT_NOT_FOUND, errorText,
                          "Subclient " + std::to_string(id) + " not found");
    readSubclient(query, out);
    return 0;
  });
}

int SqliteConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t /*scope*/,
                                      std::vector<PropertyRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listProperties", errorText, [&](SqliteConnection& c) {
    std::vector<PropertyRow> rows;
    SqliteQuery query(c, Sql::kListProperties);
    query.bind(ownerKind(owner)).bind(id);
    while (query.next())
      rows.push_back({query.textAt(0), static_cast<unsigned long>(query.unsignedAt(1)), query.textAt(2)});
    out = std::move(rows);
    return 0;
  });
}

int SqliteConfigStore::setProperties(PropertyOwner owner, uint64_t id,
                                     const std::vector<PropertyRow>& properties, std::string& errorText) {
  return run(Access::kWrite, "setProperties", errorText, [&](SqliteConnection& c) {
    const int result = checkOwner(c, owner, id, errorText);
    if (result != 0) return result;
    for (const PropertyRow& property : properties) {
      SqliteQuery query(c, Sql::kUpsertProperty);
      query.bind(ownerKind(owner)).bind(id).bind(property.name).bind(static_cast<uint64_t>(property.type));
      query.bind(property.value).run();
    }
    return 0;
  });
}

int SqliteConfigStore::removeProperties(PropertyOwner owner, uint64_t id,
                                        const std::vector<std::string>& names, std::string& errorText) {
  return run(Access::kWrite, "removeProperties", errorText, [&](SqliteConnection& c) {
    const int result = checkOwner(c, owner, id, errorText);
    if (result != 0) return result;
    for (const std::string& name : names) {
      SqliteQuery query(c, Sql::kDeleteProperty);
      query.bind(ownerKind(owner)).bind(id).bind(name).run();
    }
    return 0;
  });
}

int SqliteConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                           std::string& errorText) {
  return run(Access::kSingleRead, "listInstanceContent", errorText, [&](SqliteConnection& c) {
    std::vector<ContentRow> rows;
    SqliteQuery query(c, Sql::kListInstanceContent);
    query.bind(instanceId);
    while (query.next()) rows.push_back({static_cast<unsigned long>(query.unsignedAt(0)), query.textAt(1)});
    out = std::move(rows);
    return 0;
  });
}

int SqliteConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                            std::string& errorText) {
  return run(Access::kRead, "listSubclientEntries", errorText, [&](SqliteConnection& c) {
    const int result = checkSubclientForEntries(c, subclientId, errorText);
    if (result != 0) return result;
    std::vector<std::string> rows;
    SqliteQuery query(c, Sql::kListSubclientEntries);
    query.bind(subclientId).bind(group);
    while (query.next()) rows.push_back(query.textAt(0));
    out = std::move(rows);
    return 0;
  });
}

int SqliteConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                              const std::vector<std::string>& add,
                                              const std::vector<std::string>& remove,
                                              std::string& errorText) {
  return run(Access::kWrite, "updateSubclientEntries", errorText, [&](SqliteConnection& c) {
    const int result = checkSubclientForEntries(c, subclientId, errorText);
    if (result != 0) return result;
    if (group != kSubclientContentGroup && (group < kFirstFilterGroup || group > kLastFilterGroup)) {
      return storeFailure(
          XR_BAD_CONTENT_TYPE, errorText,
          "Entry group " + std::to_string(group) + " is neither the content nor a filter group");
    }
    for (const std::string& entry : add)
      SqliteQuery(c, Sql::kAddSubclientEntry).bind(subclientId).bind(group).bind(entry).run();
    for (const std::string& entry : remove) {
      SqliteQuery(c, Sql::kDeleteSubclientEntry).bind(subclientId).bind(group).bind(entry).run();
    }
    return 0;
  });
}

int SqliteConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                    std::string& errorText) {
  return run(Access::kSingleRead, "listVelmoras", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, velmoraId != 0 ? Sql::kListVelmorasById : Sql::kListVelmorasAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "listClients", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, velmoraId != 0 ? Sql::kListClientsOfVelmora : Sql::kListClientsAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(scope);
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                         std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listClientsOfType", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, velmoraId != 0 ? Sql::kListClientsOfTypeOfVelmora : Sql::kListClientsOfTypeAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(static_cast<int64_t>(roles)).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                        uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                        std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listApplications", errorText, [&](SqliteConnection& c) {
    const Sql sql = backupSetId != 0  ? Sql::kListApplicationsOfBackupSet
                    : instanceId != 0 ? Sql::kListApplicationsOfInstance
                    : clientId != 0   ? Sql::kListApplicationsOfClient
                    : velmoraId != 0  ? Sql::kListApplicationsOfVelmora
                    : appTypeId != 0  ? Sql::kListApplicationsOfType
                                      : Sql::kListApplicationsAll;
    SqliteQuery query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(instanceId).bind(backupSetId);
    query.bind(orderValue(order));
    out = applicationRows(query);
    return 0;
  });
}

int SqliteConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                            std::string& errorText) {
  return run(Access::kSingleRead, "listApplicationTypes", errorText, [&](SqliteConnection& c) {
    const Sql sql = scope == 0      ? Sql::kListApplicationTypesAll
                    : clientId != 0 ? Sql::kListApplicationTypesOfClient
                                    : Sql::kListApplicationTypesInUse;
    SqliteQuery query(c, sql);
    if (sql == Sql::kListApplicationTypesOfClient) query.bind(clientId);
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                     ListOrder order, std::vector<AdapterListRow>& out,
                                     std::string& errorText) {
  return run(Access::kSingleRead, "listInstances", errorText, [&](SqliteConnection& c) {
    const Sql sql = clientId != 0    ? Sql::kListInstancesOfClient
                    : appTypeId != 0 ? Sql::kListInstancesOfType
                    : velmoraId != 0 ? Sql::kListInstancesOfVelmora
                                     : Sql::kListInstancesAll;
    SqliteQuery query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                                      ListOrder order, std::vector<AdapterListRow>& out,
                                      std::string& errorText) {
  return run(Access::kSingleRead, "listBackupSets", errorText, [&](SqliteConnection& c) {
    const Sql sql = instanceId != 0  ? Sql::kListBackupSetsOfInstance
                    : clientId != 0  ? Sql::kListBackupSetsOfClient
                    : appTypeId != 0 ? Sql::kListBackupSetsOfType
                                     : Sql::kListBackupSetsAll;
    SqliteQuery query(c, sql);
    query.bind(clientId).bind(appTypeId).bind(instanceId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                      std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listSubclients", errorText, [&](SqliteConnection& c) {
    const Sql sql = backupSetId != 0 ? Sql::kListSubclientsOfBackupSet
                    : clientId != 0  ? Sql::kListSubclientsOfClient
                                     : Sql::kListSubclientsAll;
    SqliteQuery query(c, sql);
    query.bind(clientId).bind(backupSetId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int SqliteConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                    std::vector<ApplicationRow>& out,
                                                    std::string& errorText) {
  return run(Access::kSingleRead, "listArchiveGroupApplications", errorText, [&](SqliteConnection& c) {
    const Sql sql = archiveGroupId != 0 ? Sql::kListArchiveGroupApplicationsOfGroup
                    : velmoraId != 0    ? Sql::kListArchiveGroupApplicationsOfVelmora
                                        : Sql::kListArchiveGroupApplicationsAll;
    SqliteQuery query(c, sql);
    query.bind(velmoraId).bind(archiveGroupId);
    out = applicationRows(query);
    return 0;
  });
}

int SqliteConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name,
                                               std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationTypeName", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kFindApplicationTypeName);
    query.bind(appTypeId);
    if (!query.next()) {
      return storeFailure(XR_APPTYPE_NOT_FOUND, errorText,
                          "Application type " + std::to_string(appTypeId) + " not found");
    }
    name = query.textAt(0);
    return 0;
  });
}

int SqliteConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                                  std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationBySubclient", errorText, [&](SqliteConnection& c) {
    SqliteQuery query(c, Sql::kFindApplicationBySubclient);
    query.bind(subclientId);
    if (!query.next()) {
      return storeFailure(XR_APPID_NOT_FOUND, errorText,
                          "No application with subclient " + std::to_string(subclientId));
    }
    readApplication(query, out);
    return 0;
  });
}

int SqliteConfigStore::replaceTree(const ConfigTree& tree, std::string& errorText) {
  return run(Access::kWrite, "replaceTree", errorText, [&](SqliteConnection& c) {
    for (Sql sql : {Sql::kDeleteAllSubclientEntries, Sql::kDeleteAllProperties, Sql::kDeleteAllApplications,
                    Sql::kDeleteAllSubclients, Sql::kDeleteAllBackupSets, Sql::kDeleteAllInstanceContent,
                    Sql::kDeleteAllInstances, Sql::kDeleteAllClients, Sql::kDeleteAllApplicationTypes,
                    Sql::kDeleteAllGlobalParams, Sql::kDeleteAllVelmoras}) {
      SqliteQuery(c, sql).run();
    }
    for (const auto& [name, value] : tree.globalParams)
      SqliteQuery(c, Sql::kInsertGlobalParam).bind(name).bind(value).run();
    for (const ApplicationTypeRow& row : tree.applicationTypes) {
      SqliteQuery(c, Sql::kInsertApplicationType).bind(row.id).bind(row.name).run();
    }
    for (const VelmoraRow& row : tree.velmoras) {
      SqliteQuery q(c, Sql::kInsertVelmora);
      q.bind(row.id)
          .bind(row.name)
          .bind(row.releaseId)
          .bind(row.flags)
          .bind(row.timeZoneId)
          .bind(row.hostName);
      q.bind(row.description).bind(row.timeZoneName).bind(row.installDir).bind(row.utcOffsetMinutes).run();
    }
    for (const ClientRow& row : tree.clients) {
      SqliteQuery q(c, Sql::kInsertClient);
      q.bind(row.id)
          .bind(row.velmoraId)
          .bind(row.name)
          .bind(row.hostName)
          .bind(row.qualifier)
          .bind(row.attribute);
      q.bind(row.osName).bind(row.osVersion).bind(row.processor).bind(row.versionText).bind(row.isNAS);
      q.bind(row.isNonNDMP).run();
    }
    for (const InstanceRow& row : tree.instances) {
      SqliteQuery q(c, Sql::kInsertInstance);
      q.bind(row.id)
          .bind(row.clientId)
          .bind(row.appTypeId)
          .bind(row.name)
          .bind(row.flags)
          .bind(row.description);
      q.bind(row.clusterType).bind(row.cloudAppsType).run();
    }
    for (const InstanceContent& content : tree.instanceContent) {
      int64_t seq = 0;
      for (const ContentRow& row : content.content) {
        SqliteQuery q(c, Sql::kInsertInstanceContent);
        q.bind(content.instanceId).bind(++seq).bind(static_cast<uint64_t>(row.type)).bind(row.path).run();
      }
    }
    for (const BackupSetRow& row : tree.backupSets) {
      SqliteQuery q(c, Sql::kInsertBackupSet);
      q.bind(row.id).bind(row.instanceId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const SubclientRow& row : tree.subclients) {
      SqliteQuery q(c, Sql::kInsertSubclient);
      q.bind(row.id).bind(row.backupSetId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const ApplicationRow& row : tree.applications) {
      SqliteQuery q(c, Sql::kInsertApplication);
      if (q.bind(row.appId).bind(row.aux1).bind(row.aux2).bind(row.subclientId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: application " + std::to_string(row.appId) + " names subclient " +
                                std::to_string(row.subclientId) + ", which is not in the tree");
      }
    }
    for (const ClientRoles& row : tree.clientRoles) {
      if (SqliteQuery(c, Sql::kSetClientRoles)
              .bind(row.clientId)
              .bind(static_cast<int64_t>(row.roles))
              .run() == 0) {
        return storeFailure(
            XR_INVALID_DATA, errorText,
            "replaceTree: roles for client " + std::to_string(row.clientId) + ", which is not in the tree");
      }
    }
    for (const ArchiveGroupAssignment& row : tree.archiveGroups) {
      SqliteQuery q(c, Sql::kSetArchiveGroup);
      if (q.bind(row.velmoraId).bind(row.appId).bind(row.archiveGroupId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: archive group for application " + std::to_string(row.appId) +
                                ", which is not in the tree");
      }
    }
    for (const OwnedProperties& owned : tree.properties) {
      if (owned.properties.empty()) continue;
      const int result = checkOwner(c, owned.owner, owned.ownerId, errorText);
      if (result != 0) return result;
      int64_t seq = 0;
      for (const PropertyRow& row : owned.properties) {
        SqliteQuery q(c, Sql::kInsertProperty);
        q.bind(ownerKind(owned.owner)).bind(owned.ownerId).bind(++seq).bind(row.name);
        q.bind(static_cast<uint64_t>(row.type)).bind(row.value).run();
      }
    }
    for (const SubclientEntries& entries : tree.subclientEntries) {
      int64_t seq = 0;
      for (const std::string& entry : entries.entries) {
        SqliteQuery q(c, Sql::kInsertSubclientEntry);
        q.bind(entries.subclientId).bind(entries.group).bind(++seq).bind(entry).run();
      }
    }
    return 0;
  });
}

int SqliteConfigStore::readTree(ConfigTree& tree, std::string& errorText) {
  ConfigTree read;
  const int result = run(Access::kRead, "readTree", errorText, [&](SqliteConnection& c) {
    {
      SqliteQuery q(c, Sql::kReadGlobalParams);
      while (q.next()) read.globalParams.emplace_back(q.textAt(0), q.textAt(1));
    }
    {
      SqliteQuery q(c, Sql::kReadApplicationTypes);
      while (q.next()) read.applicationTypes.push_back({q.unsignedAt(0), q.textAt(1)});
    }
    {
      SqliteQuery q(c, Sql::kReadVelmoras);
      while (q.next()) readVelmora(q, read.velmoras.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadClients);
      while (q.next()) readClient(q, read.clients.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadInstances);
      while (q.next()) readInstance(q, read.instances.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadInstanceContent);
      while (q.next()) {
        const uint64_t instanceId = q.unsignedAt(0);
        if (read.instanceContent.empty() || read.instanceContent.back().instanceId != instanceId)
          read.instanceContent.push_back({instanceId, {}});
        read.instanceContent.back().content.push_back(
            {static_cast<unsigned long>(q.unsignedAt(1)), q.textAt(2)});
      }
    }
    {
      SqliteQuery q(c, Sql::kReadBackupSets);
      while (q.next()) readBackupSet(q, read.backupSets.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadSubclients);
      while (q.next()) readSubclient(q, read.subclients.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadApplications);
      while (q.next()) readApplication(q, read.applications.emplace_back());
    }
    {
      SqliteQuery q(c, Sql::kReadClientRoles);
      while (q.next()) read.clientRoles.push_back({q.unsignedAt(0), static_cast<uint32_t>(q.unsignedAt(1))});
    }
    {
      SqliteQuery q(c, Sql::kReadArchiveGroups);
      while (q.next()) read.archiveGroups.push_back({q.unsignedAt(0), q.unsignedAt(1), q.unsignedAt(2)});
    }
    {
      SqliteQuery q(c, Sql::kReadProperties);
      while (q.next()) {
        PropertyOwner owner = PropertyOwner::kClient;
        if (!ownerOfKind(q.signedAt(0), owner)) continue;  // the schema's CHECK keeps this from happening
        const uint64_t ownerId = q.unsignedAt(1);
        if (read.properties.empty() || read.properties.back().owner != owner ||
            read.properties.back().ownerId != ownerId) {
          read.properties.push_back({owner, ownerId, {}});
        }
        read.properties.back().properties.push_back(
            {q.textAt(2), static_cast<unsigned long>(q.unsignedAt(3)), q.textAt(4)});
      }
    }
    {
      SqliteQuery q(c, Sql::kReadSubclientEntries);
      while (q.next()) {
        const uint64_t subclientId = q.unsignedAt(0);
        const int group = static_cast<int>(q.signedAt(1));
        if (read.subclientEntries.empty() || read.subclientEntries.back().subclientId != subclientId ||
            read.subclientEntries.back().group != group) {
          read.subclientEntries.push_back({subclientId, group, {}});
        }
        read.subclientEntries.back().entries.push_back(q.textAt(2));
      }
    }
    return 0;
  });
  if (result == 0) tree = std::move(read);
  return result;
}
