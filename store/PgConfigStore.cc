// The configuration store on PostgreSQL: opening and migrating the schema,
// the connection pool, the retry loop, and the store operations, each one
// transaction around a body shared with the SQLite store
// (SqlStoreOperations.h).
#include "store/PgConfigStore.h"

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
#include "SqlStoreOperations.h"
#include "store/StoreFailure.h"

namespace {

// A database the store will not use; reported with XR_GET_INTERFACE_FAILED.
struct Refusal {
  std::string text;
};

// Parents before children: the order in which writers take their locks.
const char kLockAllTables[] =
    "LOCK TABLE velmora, global_param, application_type, client, instance, instance_content, backup_set, "
    "subclient, application, property, subclient_entry IN EXCLUSIVE MODE";

// The PostgreSQL side of the shared operations: a writer locks the row of
// the owner it changes, so that writers of one owner take turns; an import
// locks every table first.
struct PgEngine {
  using Connection = PgConnection;
  using Query = PgQuery;

  static PgQuery ownerQuery(PgConnection& c, Sql exists, sqlstore::Row row) {
    if (row == sqlstore::Row::kCheck) return PgQuery(c, exists);
    switch (exists) {
      case Sql::kInstanceExists:
        return PgQuery(c, PgLock::kInstance);
      case Sql::kBackupSetExists:
        return PgQuery(c, PgLock::kBackupSet);
      case Sql::kSubclientExists:
        return PgQuery(c, PgLock::kSubclient);
      default:
        return PgQuery(c, PgLock::kClient);
    }
  }
  // Writers and other imports wait; readers go on and see the old tree
  // until the commit.
  static void beforeReplace(PgConnection& c) { c.execute(kLockAllTables, "cannot lock the store's tables"); }
  static bool audits(const PgConnection&) { return true; }
};

using Ops = sqlstore::Operations<PgEngine>;

// ---- Opening ----

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
      if (access == Access::kRead)
        connection.execute(pgStatementText(pgStatementIndex(Sql::kBeginRead)), "cannot begin");
      if (access == Access::kWrite || access == Access::kReplace)
        connection.execute(pgStatementText(pgStatementIndex(Sql::kBeginWrite)), "cannot begin");
      const int result = body(connection);
      if (result == 0 && access != Access::kSingleRead)
        connection.execute(pgStatementText(pgStatementIndex(Sql::kCommit)), "cannot commit");
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
  return run(Access::kSingleRead, "findVelmora", errorText,
             [&](PgConnection& c) { return Ops::findVelmora(c, id, name, out, errorText); });
}

int PgConfigStore::getGlobalParam(const std::string& name, std::string& value, std::string& errorText) {
  return run(Access::kSingleRead, "getGlobalParam", errorText,
             [&](PgConnection& c) { return Ops::getGlobalParam(c, name, value, errorText); });
}

int PgConfigStore::findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                                   std::string& errorText) {
  return run(Access::kSingleRead, "findApplication", errorText,
             [&](PgConnection& c) { return Ops::findApplication(c, key, match, out, errorText); });
}

int PgConfigStore::findClient(ClientKey key, const ClientRow& match, ClientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findClient", errorText,
             [&](PgConnection& c) { return Ops::findClient(c, key, match, out, errorText); });
}

int PgConfigStore::findInstance(uint64_t id, InstanceRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findInstance", errorText,
             [&](PgConnection& c) { return Ops::findInstance(c, id, out, errorText); });
}

int PgConfigStore::findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findBackupSet", errorText,
             [&](PgConnection& c) { return Ops::findBackupSet(c, id, out, errorText); });
}

int PgConfigStore::findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) {
  return run(Access::kSingleRead, "findSubclient", errorText,
             [&](PgConnection& c) { return Ops::findSubclient(c, id, out, errorText); });
}

int PgConfigStore::listProperties(PropertyOwner owner, uint64_t id, int64_t /*scope*/,
                                  std::vector<PropertyRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listProperties", errorText,
             [&](PgConnection& c) { return Ops::listProperties(c, owner, id, out); });
}

int PgConfigStore::setProperties(PropertyOwner owner, uint64_t id, const std::vector<PropertyRow>& properties,
                                 std::string& errorText) {
  return run(Access::kWrite, "setProperties", errorText,
             [&](PgConnection& c) { return Ops::setProperties(c, owner, id, properties, errorText); });
}

int PgConfigStore::removeProperties(PropertyOwner owner, uint64_t id, const std::vector<std::string>& names,
                                    std::string& errorText) {
  return run(Access::kWrite, "removeProperties", errorText,
             [&](PgConnection& c) { return Ops::removeProperties(c, owner, id, names, errorText); });
}

int PgConfigStore::listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out,
                                       std::string& errorText) {
  return run(Access::kSingleRead, "listInstanceContent", errorText,
             [&](PgConnection& c) { return Ops::listInstanceContent(c, instanceId, out); });
}

int PgConfigStore::listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                                        std::string& errorText) {
  return run(Access::kRead, "listSubclientEntries", errorText, [&](PgConnection& c) {
    return Ops::listSubclientEntries(c, subclientId, group, out, errorText);
  });
}

int PgConfigStore::updateSubclientEntries(uint64_t subclientId, int group,
                                          const std::vector<std::string>& add,
                                          const std::vector<std::string>& remove, std::string& errorText) {
  return run(Access::kWrite, "updateSubclientEntries", errorText, [&](PgConnection& c) {
    return Ops::updateSubclientEntries(c, subclientId, group, add, remove, errorText);
  });
}

int PgConfigStore::listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                                std::string& errorText) {
  return run(Access::kSingleRead, "listVelmoras", errorText,
             [&](PgConnection& c) { return Ops::listVelmoras(c, velmoraId, order, out); });
}

int PgConfigStore::listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                               std::string& errorText) {
  return run(Access::kSingleRead, "listClients", errorText,
             [&](PgConnection& c) { return Ops::listClients(c, velmoraId, scope, out); });
}

int PgConfigStore::listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order,
                                     std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listClientsOfType", errorText,
             [&](PgConnection& c) { return Ops::listClientsOfType(c, velmoraId, roles, order, out); });
}

int PgConfigStore::listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                                    uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                                    std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listApplications", errorText, [&](PgConnection& c) {
    return Ops::listApplications(c, velmoraId, clientId, appTypeId, instanceId, backupSetId, order, out);
  });
}

int PgConfigStore::listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                                        std::string& errorText) {
  return run(Access::kSingleRead, "listApplicationTypes", errorText,
             [&](PgConnection& c) { return Ops::listApplicationTypes(c, clientId, scope, out); });
}

int PgConfigStore::listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, ListOrder order,
                                 std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listInstances", errorText, [&](PgConnection& c) {
    return Ops::listInstances(c, velmoraId, clientId, appTypeId, order, out);
  });
}

int PgConfigStore::listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId, ListOrder order,
                                  std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listBackupSets", errorText, [&](PgConnection& c) {
    return Ops::listBackupSets(c, clientId, appTypeId, instanceId, order, out);
  });
}

int PgConfigStore::listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                                  std::vector<AdapterListRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listSubclients", errorText,
             [&](PgConnection& c) { return Ops::listSubclients(c, clientId, backupSetId, order, out); });
}

int PgConfigStore::listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                                std::vector<ApplicationRow>& out, std::string& errorText) {
  return run(Access::kSingleRead, "listArchiveGroupApplications", errorText, [&](PgConnection& c) {
    return Ops::listArchiveGroupApplications(c, velmoraId, archiveGroupId, out);
  });
}

int PgConfigStore::findApplicationTypeName(uint64_t appTypeId, std::string& name, std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationTypeName", errorText,
             [&](PgConnection& c) { return Ops::findApplicationTypeName(c, appTypeId, name, errorText); });
}

int PgConfigStore::findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out,
                                              std::string& errorText) {
  return run(Access::kSingleRead, "findApplicationBySubclient", errorText, [&](PgConnection& c) {
    return Ops::findApplicationBySubclient(c, subclientId, out, errorText);
  });
}

int PgConfigStore::replaceTree(const ConfigTree& tree, std::string& errorText) {
  return run(Access::kReplace, "replaceTree", errorText,
             [&](PgConnection& c) { return Ops::replaceTree(c, tree, errorText); });
}

int PgConfigStore::readTree(ConfigTree& tree, std::string& errorText) {
  ConfigTree read;
  const int result =
      run(Access::kRead, "readTree", errorText, [&](PgConnection& c) { return Ops::readTree(c, read); });
  if (result == 0) tree = std::move(read);
  return result;
}

int PgConfigStore::readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out,
                             std::string& errorText) {
  return run(Access::kSingleRead, "readAudit", errorText,
             [&](PgConnection& c) { return Ops::readAudit(c, filter, out); });
}

int PgConfigStore::pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted, std::string& errorText) {
  deleted = 0;
  return run(Access::kWrite, "pruneAudit", errorText,
             [&](PgConnection& c) { return Ops::pruneAudit(c, beforeUs, limit, deleted); });
}
