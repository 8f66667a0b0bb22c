// The configuration store on PostgreSQL: opening and migrating the schema,
// the connection pool, the retry loop, and the store operations, each one
// transaction.
#include "platform/PgConfigStore.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "AppMgr/appMgrErrorCodes.h"

#include "PgConnection.h"
#include "PgIntegrity.h"
#include "PgSchema.h"
#include "SqliteSchema.h"
#include "StoreAccess.h"

namespace {

// A database the store will not use; reported with XR_GET_INTERFACE_FAILED.
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

enum class Row { kCheck, kLock };

// 0 when the owner of a property list exists, else its not-found code.
// With Row::kLock the owner's row stays locked until the transaction ends,
// so that writers of one owner take turns.
int checkOwner(PgConnection& connection, PropertyOwner owner, uint64_t id, Row row, std::string& errorText) {
  Sql sql = Sql::kClientExists;
  PgLock lock = PgLock::kClient;
  uint32_t code = XR_CLIENT_NOT_FOUND;
  const char* what = "Client";
  switch (owner) {
    case PropertyOwner::kClient:
      break;
    case PropertyOwner::kInstance:
      sql = Sql::kInstanceExists, lock = PgLock::kInstance, code = XR_INSTANCE_NOT_FOUND, what = "Instance";
      break;
    case PropertyOwner::kBackupSet:
      sql = Sql::kBackupSetExists, lock = PgLock::kBackupSet, code = XR_BACKUPSET_NOT_FOUND;
      what = "Backup set";
      break;
    case PropertyOwner::kSubclient:
      sql = Sql::kSubclientExists, lock = PgLock::kSubclient, code = XR_SUBCLIENT_NOT_FOUND;
      what = "Subclient";
      break;
  }
  PgQuery query(connection, row == Row::kLock ? pgStatementIndex(lock) : pgStatementIndex(sql));
  query.bind(id);
  if (query.next()) return 0;
  return storeFailure(code, errorText, std::string(what) + " " + std::to_string(id) + " not found");
}

int checkSubclientForEntries(PgConnection& connection, uint64_t subclientId, Row row,
                             std::string& errorText) {
  PgQuery query(connection, row == Row::kLock ? pgStatementIndex(PgLock::kSubclient)
                                              : pgStatementIndex(Sql::kSubclientExists));
  query.bind(subclientId);
  if (query.next()) return 0;
  return storeFailure(XR_CONTENT_INVALID_SUBCLIENT, errorText,
                      "Subclient " + std::to_string(subclientId) + " not found");
}

// ---- Rows from result columns (column order of PgStatements.cc) ----

void readVelmora(const PgQuery& q, VelmoraRow& row) {
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

void readClient(const PgQuery& q, ClientRow& row) {
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

void readInstance(const PgQuery& q, InstanceRow& row) {
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

void readBackupSet(const PgQuery& q, BackupSetRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.instanceId = q.unsignedAt(3);
  row.clientId = q.unsignedAt(4);
  row.appTypeId = q.unsignedAt(5);
  row.description = q.textAt(6);
  row.subclientCount = q.unsignedAt(7);
}

void readSubclient(const PgQuery& q, SubclientRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.backupSetId = q.unsignedAt(3);
  row.instanceId = q.unsignedAt(4);
  row.clientId = q.unsignedAt(5);
  row.description = q.textAt(6);
}

void readApplication(const PgQuery& q, ApplicationRow& row) {
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
std::vector<ConfigStore::AdapterListRow> listRows(PgQuery& query) {
  std::vector<ConfigStore::AdapterListRow> rows;
  while (query.next()) rows.push_back({query.unsignedAt(0), query.textAt(1), query.signedAt(2) != 0});
  return rows;
}

std::vector<ApplicationRow> applicationRows(PgQuery& query) {
  std::vector<ApplicationRow> rows;
  while (query.next()) readApplication(query, rows.emplace_back());
  return rows;
}

int orderValue(ConfigStore::ListOrder order) { return order == ConfigStore::ListOrder::kByName ? 1 : 0; }

// ---- Opening ----

// Parents before children: the order in which writers take their locks.
const char kLockAllTables[] =
    "LOCK TABLE velmora, global_param, application_type, client, instance, instance_content, backup_set, "
    "subclient, application, property, subclient_entry IN EXCLUSIVE MODE";

// The advisory lock that openers of one database take in turn: "AmCf".
constexpr const char* kOpenLockKey = "1097679718";

std::string describeSchema(const std::string& schema) { return "schema \"" + schema + "\""; }

// Checks that the schema is ours (or empty) and brings it to the current
// version in one transaction.
void prepareSchema(PgConnection& c, const std::string& requestedSchema, bool mayCreate) {
  const std::string migrating = "cannot migrate the store";
  c.execute("BEGIN ISOLATION LEVEL READ COMMITTED", migrating);
  try {
    std::string value;
    c.queryValue("SELECT pg_catalog.pg_advisory_xact_lock($1::bigint)", {kOpenLockKey}, value, migrating);
    if (!requestedSchema.empty() && mayCreate) {
      // The server quotes the name (%I); the text never reaches SQL unquoted.
      std::string create;
      c.queryValue("SELECT pg_catalog.format('CREATE SCHEMA IF NOT EXISTS %I', $1::text)", {requestedSchema},
                   create, migrating);
      c.execute(create.c_str(), "cannot create " + describeSchema(requestedSchema));
    }
    std::string schema;
    if (!c.queryValue("SELECT pg_catalog.current_schema()", {}, schema, migrating))
      throw Refusal{"cannot open the store: no schema of the search path exists"};
    std::string objects, marked;
    c.queryValue(
        "SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = $1::text AND c.relkind IN ('r', 'p', 'v', 'm', 'f')",
        {schema}, objects, migrating);
    c.queryValue(
        "SELECT count(*) FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = $1::text AND c.relname = 'appmgr_schema' AND c.relkind = 'r'",
        {schema}, marked, migrating);
    const int current = pgSchemaVersion();
    int from = 0;
    if (marked != "0") {
      std::string application, version;
      if (!c.queryValue("SELECT application FROM appmgr_schema", {}, application, migrating) ||
          !c.queryValue("SELECT version FROM appmgr_schema", {}, version, migrating)) {
        throw Refusal{"cannot open the store: " + describeSchema(schema) + " has an empty marker table"};
      }
      if (application != kPgStoreApplication) {
        throw Refusal{"cannot open the store: " + describeSchema(schema) +
                      " belongs to another application (" + application + ")"};
      }
      from = std::atoi(version.c_str());
      if (from > current) {
        throw Refusal{"cannot open the store: the schema version " + version + " of " +
                      describeSchema(schema) + " is newer than this program's " + std::to_string(current)};
      }
      if (from < 1)
        throw Refusal{"cannot open the store: " + describeSchema(schema) + " has no schema version"};
    } else if (objects != "0") {
      throw Refusal{"cannot open the store: " + describeSchema(schema) + " holds " + objects +
                    " tables of another application"};
    } else if (!mayCreate) {
      throw Refusal{"cannot open the store: " + describeSchema(schema) + " holds no store"};
    } else {
      c.execute(kPgMarkerTable, migrating);
      c.queryValue("INSERT INTO appmgr_schema (application, version) VALUES ($1::text, 0) RETURNING version",
                   {kPgStoreApplication}, value, migrating);
    }
    for (int step = from; step < current; ++step) c.execute(pgMigrations()[step], migrating);
    if (from != current) {
      c.queryValue("UPDATE appmgr_schema SET version = $1::integer RETURNING version",
                   {std::to_string(current)}, value, migrating);
    }
    c.execute("COMMIT", migrating);
  } catch (...) {
    if (PQstatus(c.handle()) == CONNECTION_OK) PQclear(PQexec(c.handle(), "ROLLBACK"));
    throw;
  }
}

// The wait before try `attempt` + 1: doubling from the first wait up to the
// longest, each drawn between half and all of it so that clients that
// failed together do not come back together.
std::chrono::milliseconds backoff(const PgConfigStore::Options& options, int attempt) {
  thread_local std::minstd_rand random(std::random_device{}());
  int64_t wait = std::max(1, options.firstBackoffMs);
  for (int i = 1; i < attempt && wait < options.maxBackoffMs; ++i) wait *= 2;
  wait = std::min<int64_t>(wait, std::max(1, options.maxBackoffMs));
  std::uniform_int_distribution<int64_t> draw(wait / 2, wait);
  return std::chrono::milliseconds(draw(random));
}

}  // namespace

// ---- The pool ----

// Connections handed to one operation at a time; opened on demand up to the
// limit, after which callers wait for one to come back.
class PgConfigStore::Pool {
 public:
  Pool(std::string conninfo, std::string schema, size_t limit, std::unique_ptr<PgConnection> first)
      : conninfo_(std::move(conninfo)), schema_(std::move(schema)), limit_(limit), open_(1) {
    idle_.push_back(std::move(first));
  }

  // Throws PgFailure when a new connection cannot be opened.
  std::unique_ptr<PgConnection> acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    available_.wait(lock, [this] { return !idle_.empty() || open_ < limit_; });
    if (!idle_.empty()) {
      std::unique_ptr<PgConnection> connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    ++open_;
    lock.unlock();
    try {
      return std::make_unique<PgConnection>(conninfo_, schema_);
    } catch (...) {
      discard();
      throw;
    }
  }

  void release(std::unique_ptr<PgConnection> connection) {
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

  // Closes every idle connection: after one connection dropped, the others
  // most likely went with it (a server restart), and each would cost a try.
  void dropIdle() {
    std::vector<std::unique_ptr<PgConnection>> dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dropped.swap(idle_);
      open_ -= dropped.size();
    }
    available_.notify_all();
  }

 private:
  const std::string conninfo_;
  const std::string schema_;
  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable available_;
  std::vector<std::unique_ptr<PgConnection>> idle_;
  size_t open_;
};

namespace {

// One operation's connection: rolls back what is left open and gives the
// connection back, or closes it when it is broken or cannot be brought back
// to a clean state.
template <typename Pool>
class Lease {
 public:
  explicit Lease(Pool& pool) : pool_(pool), connection_(pool.acquire()) {}
  ~Lease() {
    PGconn* conn = connection_->handle();
    if (PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_IDLE)
      PQclear(PQexec(conn, "ROLLBACK"));
    if (connection_->reusable()) {
      pool_.release(std::move(connection_));
    } else {
      connection_.reset();
      pool_.discard();
    }
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;

  PgConnection& connection() { return *connection_; }

 private:
  Pool& pool_;
  std::unique_ptr<PgConnection> connection_;
};

}  // namespace

// ---- The store ----

bool PgConfigStore::isConnectionString(const std::string& text) {
  if (text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0) return true;
  for (const char* key : {"host=", "hostaddr=", "dbname=", "service="}) {
    const size_t at = text.find(key);
    if (at != std::string::npos && (at == 0 || text[at - 1] == ' ')) return true;
  }
  return false;
}

std::string PgConfigStore::describe(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    PQfreemem(error);
    return "PostgreSQL (an unreadable connection string)";
  }
  std::string text = "PostgreSQL";
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    const std::string key = option->keyword;
    if (option->val != nullptr && *option->val != '\0' &&
        (key == "host" || key == "hostaddr" || key == "port" || key == "dbname" || key == "user" ||
         key == "service" || key == "options")) {
      text += " " + key + "=" + option->val;
    }
  }
  PQconninfoFree(options);
  return text;
}

int PgConfigStore::open(const std::string& conninfo, std::shared_ptr<PgConfigStore>& store,
                        std::string& errorText) {
  return open(conninfo, Options(), store, errorText);
}

int PgConfigStore::open(const std::string& conninfo, const Options& options,
                        std::shared_ptr<PgConfigStore>& store, std::string& errorText) {
  if (conninfo.empty())
    return storeFailure(XR_GET_INTERFACE_FAILED, errorText,
                        "cannot open the store: no connection string given");
  for (int attempt = 1;; ++attempt) {
    try {
      auto first = std::make_unique<PgConnection>(conninfo, options.schema);
      prepareSchema(*first, options.schema, options.create);
      const size_t limit = std::max<size_t>(1, options.poolSize);
      store.reset(new PgConfigStore(std::make_unique<Pool>(conninfo, options.schema, limit, std::move(first)),
                                    options));
      return 0;
    } catch (const Refusal& refusal) {
      return storeFailure(XR_GET_INTERFACE_FAILED, errorText, refusal.text);
    } catch (const PgFailure& failure) {
      if (attempt < options.maxAttempts && pgRetryable(failure)) {
        std::this_thread::sleep_for(backoff(options, attempt));
        continue;
      }
      return pgErrorCode(failure, errorText);
    }
  }
}

PgConfigStore::PgConfigStore(std::unique_ptr<Pool> pool, const Options& options)
    : pool_(std::move(pool)), options_(options) {}

PgConfigStore::~PgConfigStore() = default;

template <typename Body>
int PgConfigStore::run(Access access, const char* operation, std::string& errorText, Body&& body) {
  for (int attempt = 1;; ++attempt) {
    try {
      Lease<Pool> lease(*pool_);
      PgConnection& connection = lease.connection();
      if (access == Access::kRead) connection.execute(pgStatement(Sql::kBeginRead).text, "cannot begin");
      if (access == Access::kWrite || access == Access::kReplace)
        connection.execute(pgStatement(Sql::kBeginWrite).text, "cannot begin");
      const int result = body(connection);
      if (result == 0 && access != Access::kSingleRead)
        connection.execute(pgStatement(Sql::kCommit).text, "cannot commit");
      return result;  // the lease rolls back what was not committed
    } catch (const PgFailure& failure) {
      if (failure.connectionLost) pool_->dropIdle();
      if (attempt < options_.maxAttempts && pgRetryable(failure)) {
        std::this_thread::sleep_for(backoff(options_, attempt));
        continue;
      }
      const int code = pgErrorCode(failure, errorText);
      errorText = std::string(operation) + ": " + errorText;
      if (attempt > 1) errorText += " after " + std::to_string(attempt) + " tries";
      return code;
    }
  }
}

int PgConfigStore::checkIntegrity(std::vector<std::string>& problems, std::string& errorText) {
  return run(Access::kRead, "checkIntegrity", errorText, [&](PgConnection& c) {
    problems.clear();  // a retried attempt starts afresh
    pgCheckIntegrity(c, problems);
    return 0;
  });
}

int PgConfigStore::findVelmora(uint64_t id, const std::string& name, VelmoraRow& out,
                               std::string& errorText) {
  return run(Access::kSingleRead, "findVelmora", errorText, [&](PgConnection& c) {
    PgQuery query(c, name.empty() ? Sql::kFindVelmoraById : Sql::kFindVelmoraByName);
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

int PgConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  return run(Access::kSingleRead, "getGlobalParam", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kGetGlobalParam);
    query.bind(name);
    if (!query.next())
      return storeFailure(XR_INVALID_GLOBAL_PROP, errorText, "No global parameter '" + name + "'");
    value = query.textAt(0);
    return 0;
  });
}

int PgConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "findApplication", errorText, [&](PgConnection& c) {
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
    PgQuery query(c, sql);
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

int PgConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findClient", errorText, [&](PgConnection& c) {
    const Sql sql = key == ClientKey::kId     ? Sql::kFindClientById
                    : key == ClientKey::kName ? Sql::kFindClientByName
                                              : Sql::kFindClientByHostName;
    PgQuery query(c, sql);
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

int PgConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findInstance", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kFindInstance);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_INSTANCE_NOT_FOUND, errorText, "Instance " + std::to_string(id) + " not found");
    readInstance(query, out);
    return 0;
  });
}

int PgConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findBackupSet", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kFindBackupSet);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_BACKUPSET_NOT_FOUND, errorText,
                          "Backup set " + std::to_string(id) + " not found");
    readBackupSet(query, out);
    return 0;
  });
}

int PgConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findSubclient", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kFindSubclient);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_SUBCLIENT_NOT_FOUND, errorText,
                          "Subclient " + std::to_string(id) + " not found");
    readSubclient(query, out);
    return 0;
  });
}

int PgConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t /*scope*/,
                                  std::vector<PropertyRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listProperties", errorText, [&](PgConnection& c) {
    std::vector<PropertyRow> rows;
    PgQuery query(c, Sql::kListProperties);
    query.bind(ownerKind(owner)).bind(id);
    while (query.next())
      rows.push_back({query.textAt(0), static_cast<unsigned long>(query.unsignedAt(1)), query.textAt(2)});
    out = std::move(rows);
    return 0;
  });
}

int PgConfigStore::setProperties(PropertyOwner owner, uint64_t id, const std::vector<PropertyRow>& properties,
                                 std::string& errorText) {
  return run(Access::kWrite, "setProperties", errorText, [&](PgConnection& c) {
    const int result = checkOwner(c, owner, id, Row::kLock, errorText);
    if (result != 0) return result;
    for (const PropertyRow& property : properties) {
      PgQuery query(c, Sql::kUpsertProperty);
      query.bind(ownerKind(owner)).bind(id).bind(property.name).bind(static_cast<uint64_t>(property.type));
      query.bind(property.value).run();
    }
    return 0;
  });
}

int PgConfigStore::removeProperties(PropertyOwner owner, uint64_t id, const std::vector<std::string>& names,
                                    std::string& errorText) {
  return run(Access::kWrite, "removeProperties", errorText, [&](PgConnection& c) {
    const int result = checkOwner(c, owner, id, Row::kLock, errorText);
    if (result != 0) return result;
    for (const std::string& name : names) {
      PgQuery query(c, Sql::kDeleteProperty);
      query.bind(ownerKind(owner)).bind(id).bind(name).run();
    }
    return 0;
  });
}

int PgConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                       std::string& errorText) {
  return run(Access::kSingleRead, "listInstanceContent", errorText, [&](PgConnection& c) {
    std::vector<ContentRow> rows;
    PgQuery query(c, Sql::kListInstanceContent);
    query.bind(instanceId);
    while (query.next()) rows.push_back({static_cast<unsigned long>(query.unsignedAt(0)), query.textAt(1)});
    out = std::move(rows);
    return 0;
  });
}

int PgConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                        std::string& errorText) {
  return run(Access::kRead, "listSubclientEntries", errorText, [&](PgConnection& c) {
    const int result = checkSubclientForEntries(c, subclientId, Row::kCheck, errorText);
    if (result != 0) return result;
    std::vector<std::string> rows;
    PgQuery query(c, Sql::kListSubclientEntries);
    query.bind(subclientId).bind(group);
    while (query.next()) rows.push_back(query.textAt(0));
    out = std::move(rows);
    return 0;
  });
}

int PgConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                          const std::vector<std::string>& add,
                                          const std::vector<std::string>& remove, std::string& errorText) {
  return run(Access::kWrite, "updateSubclientEntries", errorText, [&](PgConnection& c) {
    const int result = checkSubclientForEntries(c, subclientId, Row::kLock, errorText);
    if (result != 0) return result;
    if (group != kSubclientContentGroup && (group < kFirstFilterGroup || group > kLastFilterGroup)) {
      return storeFailure(
          XR_BAD_CONTENT_TYPE, errorText,
          "Entry group " + std::to_string(group) + " is neither the content nor a filter group");
    }
    for (const std::string& entry : add)
      PgQuery(c, Sql::kAddSubclientEntry).bind(subclientId).bind(group).bind(entry).run();
    for (const std::string& entry : remove) {
      PgQuery(c, Sql::kDeleteSubclientEntry).bind(subclientId).bind(group).bind(entry).run();
    }
    return 0;
  });
}

int PgConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                std::string& errorText) {
  return run(Access::kSingleRead, "listVelmoras", errorText, [&](PgConnection& c) {
    PgQuery query(c, velmoraId != 0 ? Sql::kListVelmorasById : Sql::kListVelmorasAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                               std::string& errorText) {
  return run(Access::kSingleRead, "listClients", errorText, [&](PgConnection& c) {
    PgQuery query(c, velmoraId != 0 ? Sql::kListClientsOfVelmora : Sql::kListClientsAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(scope);
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                     std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listClientsOfType", errorText, [&](PgConnection& c) {
    PgQuery query(c, velmoraId != 0 ? Sql::kListClientsOfTypeOfVelmora : Sql::kListClientsOfTypeAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(static_cast<int64_t>(roles)).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                    uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                    std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listApplications", errorText, [&](PgConnection& c) {
    const Sql sql = backupSetId != 0  ? Sql::kListApplicationsOfBackupSet
                    : instanceId != 0 ? Sql::kListApplicationsOfInstance
                    : clientId != 0   ? Sql::kListApplicationsOfClient
                    : velmoraId != 0  ? Sql::kListApplicationsOfVelmora
                    : appTypeId != 0  ? Sql::kListApplicationsOfType
                                      : Sql::kListApplicationsAll;
    PgQuery query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(instanceId).bind(backupSetId);
    query.bind(orderValue(order));
    out = applicationRows(query);
    return 0;
  });
}

int PgConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                        std::string& errorText) {
  return run(Access::kSingleRead, "listApplicationTypes", errorText, [&](PgConnection& c) {
    const Sql sql = scope == 0      ? Sql::kListApplicationTypesAll
                    : clientId != 0 ? Sql::kListApplicationTypesOfClient
                                    : Sql::kListApplicationTypesInUse;
    PgQuery query(c, sql);
    if (sql == Sql::kListApplicationTypesOfClient) query.bind(clientId);
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, ListOrder order,
                                 std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listInstances", errorText, [&](PgConnection& c) {
    const Sql sql = clientId != 0    ? Sql::kListInstancesOfClient
                    : appTypeId != 0 ? Sql::kListInstancesOfType
                    : velmoraId != 0 ? Sql::kListInstancesOfVelmora
                                     : Sql::kListInstancesAll;
    PgQuery query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId, ListOrder order,
                                  std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listBackupSets", errorText, [&](PgConnection& c) {
    const Sql sql = instanceId != 0  ? Sql::kListBackupSetsOfInstance
                    : clientId != 0  ? Sql::kListBackupSetsOfClient
                    : appTypeId != 0 ? Sql::kListBackupSetsOfType
                                     : Sql::kListBackupSetsAll;
    PgQuery query(c, sql);
    query.bind(clientId).bind(appTypeId).bind(instanceId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                  std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listSubclients", errorText, [&](PgConnection& c) {
    const Sql sql = backupSetId != 0 ? Sql::kListSubclientsOfBackupSet
                    : clientId != 0  ? Sql::kListSubclientsOfClient
                                     : Sql::kListSubclientsAll;
    PgQuery query(c, sql);
    query.bind(clientId).bind(backupSetId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  });
}

int PgConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listArchiveGroupApplications", errorText, [&](PgConnection& c) {
    const Sql sql = archiveGroupId != 0 ? Sql::kListArchiveGroupApplicationsOfGroup
                    : velmoraId != 0    ? Sql::kListArchiveGroupApplicationsOfVelmora
                                        : Sql::kListArchiveGroupApplicationsAll;
    PgQuery query(c, sql);
    query.bind(velmoraId).bind(archiveGroupId);
    out = applicationRows(query);
    return 0;
  });
}

int PgConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name, std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationTypeName", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kFindApplicationTypeName);
    query.bind(appTypeId);
    if (!query.next()) {
      return storeFailure(XR_APPTYPE_NOT_FOUND, errorText,
                          "Application type " + std::to_string(appTypeId) + " not found");
    }
    name = query.textAt(0);
    return 0;
  });
}

int PgConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                              std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationBySubclient", errorText, [&](PgConnection& c) {
    PgQuery query(c, Sql::kFindApplicationBySubclient);
    query.bind(subclientId);
    if (!query.next()) {
      return storeFailure(XR_APPID_NOT_FOUND, errorText,
                          "No application with subclient " + std::to_string(subclientId));
    }
    readApplication(query, out);
    return 0;
  });
}

int PgConfigStore::replaceTree(const ConfigTree& tree, std::string& errorText) {
  return run(Access::kReplace, "replaceTree", errorText, [&](PgConnection& c) {
    // Writers and other imports wait; readers go on and see the old tree
    // until the commit. Parents before children, the order in which the
    // writers take their locks.
    c.execute(kLockAllTables, "cannot lock the store's tables");
    for (Sql sql : {Sql::kDeleteAllSubclientEntries, Sql::kDeleteAllProperties, Sql::kDeleteAllApplications,
                    Sql::kDeleteAllSubclients, Sql::kDeleteAllBackupSets, Sql::kDeleteAllInstanceContent,
                    Sql::kDeleteAllInstances, Sql::kDeleteAllClients, Sql::kDeleteAllApplicationTypes,
                    Sql::kDeleteAllGlobalParams, Sql::kDeleteAllVelmoras}) {
      PgQuery(c, sql).run();
    }
    for (const auto& [name, value] : tree.globalParams)
      PgQuery(c, Sql::kInsertGlobalParam).bind(name).bind(value).run();
    for (const ApplicationTypeRow& row : tree.applicationTypes) {
      PgQuery(c, Sql::kInsertApplicationType).bind(row.id).bind(row.name).run();
    }
    for (const VelmoraRow& row : tree.velmoras) {
      PgQuery q(c, Sql::kInsertVelmora);
      q.bind(row.id)
          .bind(row.name)
          .bind(row.releaseId)
          .bind(row.flags)
          .bind(row.timeZoneId)
          .bind(row.hostName);
      q.bind(row.description).bind(row.timeZoneName).bind(row.installDir).bind(row.utcOffsetMinutes).run();
    }
    for (const ClientRow& row : tree.clients) {
      PgQuery q(c, Sql::kInsertClient);
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
      PgQuery q(c, Sql::kInsertInstance);
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
        PgQuery q(c, Sql::kInsertInstanceContent);
        q.bind(content.instanceId).bind(++seq).bind(static_cast<uint64_t>(row.type)).bind(row.path).run();
      }
    }
    for (const BackupSetRow& row : tree.backupSets) {
      PgQuery q(c, Sql::kInsertBackupSet);
      q.bind(row.id).bind(row.instanceId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const SubclientRow& row : tree.subclients) {
      PgQuery q(c, Sql::kInsertSubclient);
      q.bind(row.id).bind(row.backupSetId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const ApplicationRow& row : tree.applications) {
      PgQuery q(c, Sql::kInsertApplication);
      if (q.bind(row.appId).bind(row.aux1).bind(row.aux2).bind(row.subclientId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: application " + std::to_string(row.appId) + " names subclient " +
                                std::to_string(row.subclientId) + ", which is not in the tree");
      }
    }
    for (const ClientRoles& row : tree.clientRoles) {
      if (PgQuery(c, Sql::kSetClientRoles).bind(row.clientId).bind(static_cast<int64_t>(row.roles)).run() ==
          0) {
        return storeFailure(
            XR_INVALID_DATA, errorText,
            "replaceTree: roles for client " + std::to_string(row.clientId) + ", which is not in the tree");
      }
    }
    for (const ArchiveGroupAssignment& row : tree.archiveGroups) {
      PgQuery q(c, Sql::kSetArchiveGroup);
      if (q.bind(row.velmoraId).bind(row.appId).bind(row.archiveGroupId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: archive group for application " + std::to_string(row.appId) +
                                ", which is not in the tree");
      }
    }
    for (const OwnedProperties& owned : tree.properties) {
      if (owned.properties.empty()) continue;
      const int result = checkOwner(c, owned.owner, owned.ownerId, Row::kCheck, errorText);
      if (result != 0) return result;
      int64_t seq = 0;
      for (const PropertyRow& row : owned.properties) {
        PgQuery q(c, Sql::kInsertProperty);
        q.bind(ownerKind(owned.owner)).bind(owned.ownerId).bind(++seq).bind(row.name);
        q.bind(static_cast<uint64_t>(row.type)).bind(row.value).run();
      }
    }
    for (const SubclientEntries& entries : tree.subclientEntries) {
      int64_t seq = 0;
      for (const std::string& entry : entries.entries) {
        PgQuery q(c, Sql::kInsertSubclientEntry);
        q.bind(entries.subclientId).bind(entries.group).bind(++seq).bind(entry).run();
      }
    }
    return 0;
  });
}

int PgConfigStore::readTree(ConfigTree& tree, std::string& errorText) {
  ConfigTree read;
  const int result = run(Access::kRead, "readTree", errorText, [&](PgConnection& c) {
    read = ConfigTree();  // a retried attempt starts afresh
    {
      PgQuery q(c, Sql::kReadGlobalParams);
      while (q.next()) read.globalParams.emplace_back(q.textAt(0), q.textAt(1));
    }
    {
      PgQuery q(c, Sql::kReadApplicationTypes);
      while (q.next()) read.applicationTypes.push_back({q.unsignedAt(0), q.textAt(1)});
    }
    {
      PgQuery q(c, Sql::kReadVelmoras);
      while (q.next()) readVelmora(q, read.velmoras.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadClients);
      while (q.next()) readClient(q, read.clients.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadInstances);
      while (q.next()) readInstance(q, read.instances.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadInstanceContent);
      while (q.next()) {
        const uint64_t instanceId = q.unsignedAt(0);
        if (read.instanceContent.empty() || read.instanceContent.back().instanceId != instanceId)
          read.instanceContent.push_back({instanceId, {}});
        read.instanceContent.back().content.push_back(
            {static_cast<unsigned long>(q.unsignedAt(1)), q.textAt(2)});
      }
    }
    {
      PgQuery q(c, Sql::kReadBackupSets);
      while (q.next()) readBackupSet(q, read.backupSets.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadSubclients);
      while (q.next()) readSubclient(q, read.subclients.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadApplications);
      while (q.next()) readApplication(q, read.applications.emplace_back());
    }
    {
      PgQuery q(c, Sql::kReadClientRoles);
      while (q.next()) read.clientRoles.push_back({q.unsignedAt(0), static_cast<uint32_t>(q.unsignedAt(1))});
    }
    {
      PgQuery q(c, Sql::kReadArchiveGroups);
      while (q.next()) read.archiveGroups.push_back({q.unsignedAt(0), q.unsignedAt(1), q.unsignedAt(2)});
    }
    {
      PgQuery q(c, Sql::kReadProperties);
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
      PgQuery q(c, Sql::kReadSubclientEntries);
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
