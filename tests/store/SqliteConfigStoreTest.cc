// The SQLite store's own behaviour: files it refuses (left untouched),
// migrating and checking a file, all-or-nothing writes when the disk fails
// at any point, request snapshots, a store file removed or replaced under a
// running store (never re-created empty), and a query plan without table
// scans for every operation.
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "SqliteSchema.h"
#include "SqliteStatements.h"
#include "fakes/FaultyVfs.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs SQL on a file through a plain SQLite connection of the test's own.
void rawExecute(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

int64_t rawInteger(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* statement = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW)
    value = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

// The store at path, holding the fixture tree when `import`.
std::shared_ptr<SqliteConfigStore> openStore(const std::string& path, bool import = true,
                                             const SqliteConfigStore::Options& options = {}) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  EXPECT_EQ(SqliteConfigStore::open(path, options, store, errorText), 0) << errorText;
  if (store && import) {
    EXPECT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  return store;
}

std::string exportTree(SqliteConfigStore& store) {
  std::string json, errorText;
  EXPECT_EQ(exportConfigTreeJson(store, json, errorText), 0) << errorText;
  return json;
}

std::vector<std::string> problemsOf(SqliteConfigStore& store) {
  std::vector<std::string> problems;
  std::string errorText;
  EXPECT_EQ(store.checkIntegrity(problems, errorText), 0) << errorText;
  return problems;
}

// The value of property `name` of client 5: "-" when it is not set, "!"
// when the read fails.
std::string clientProperty(ConfigStore& store, const std::string& name = "mark") {
  std::vector<PropertyRow> rows;
  std::string errorText;
  if (store.listProperties(PropertyOwner::kClient, 5, 0, rows, errorText) != 0) return "!";
  for (const PropertyRow& row : rows) {
    if (row.name == name) return row.value;
  }
  return "-";
}

int setMark(ConfigStore& store, const std::string& value, std::string& errorText) {
  return store.setProperties(PropertyOwner::kClient, 5, {{"mark", 1, value}}, errorText);
}

TEST(SqliteConfigStore, MigratesAVersionOneFileKeepingItsData) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  rawExecute(path, std::string("BEGIN;") + sqliteMigrations()[0] +
                       "PRAGMA application_id = " + std::to_string(kSqliteStoreApplicationId) +
                       "; PRAGMA user_version = 1;"
                       "INSERT INTO velmora (id, name) VALUES (2, 'north');"
                       "INSERT INTO client (id, velmora_id, name) VALUES (5, 2, 'build01');"
                       "INSERT INTO property VALUES (1, 5, 1, 'mark', 2, '7'); COMMIT;");
  std::shared_ptr<SqliteConfigStore> store = openStore(path, false);
  ASSERT_TRUE(store);
  EXPECT_EQ(rawInteger(path, "PRAGMA user_version"), sqliteSchemaVersion());
  EXPECT_EQ(clientProperty(*store), "7");
  std::vector<ConfigStore::AdapterListRow> clients;
  std::string errorText;
  ASSERT_EQ(store->listClientsOfType(2, ConfigStore::kClientRoleDataAgent, ConfigStore::ListOrder::kById,
                                     clients, errorText),
            0)
      << errorText;
  EXPECT_TRUE(clients.empty());  // a migrated client has no roles yet
}

TEST(SqliteConfigStore, RefusesFilesItCannotUseAndLeavesThemUntouched) {
  const struct {
    const char* title;
    void (*prepare)(const std::string& path);  // makes the file at path
    const char* reason;                        // part of the error text
  } cases[] = {
      {"newer schema",
       [](const std::string& path) {
         openStore(path).reset();
         rawExecute(path, "PRAGMA user_version = 99");
       },
       "its schema version 99 is newer than this program's"},
      {"another application",
       [](const std::string& path) {
         rawExecute(path, "PRAGMA application_id = 1234; CREATE TABLE t (x); INSERT INTO t VALUES (1)");
       },
       "belongs to another application (application_id 1234)"},
      {"a database without an application id",
       [](const std::string& path) { rawExecute(path, "CREATE TABLE velmora (x)"); },
       "belongs to another application (application_id 0)"},
      {"ours without a version",
       [](const std::string& path) {
         rawExecute(path, "PRAGMA application_id = " + std::to_string(kSqliteStoreApplicationId));
       },
       "has no schema version"},
      {"read-only file",
       [](const std::string& path) {
         openStore(path).reset();
         chmod(path.c_str(), 0444);
       },
       "the file is read-only"},
      {"a missing directory", [](const std::string&) {}, "/missing does not exist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    TempDir dir;
    const bool missingDir = std::string(c.title) == "a missing directory";
    const std::string path = dir.file(missingDir ? "missing/store.db" : "store.db");
    c.prepare(path);
    const std::string before = readFile(path);
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    EXPECT_EQ(SqliteConfigStore::open(path, store, errorText), static_cast<int>(XR_GET_INTERFACE_FAILED));
    EXPECT_NE(errorText.find(c.reason), std::string::npos) << errorText;
    EXPECT_EQ(store, nullptr);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(std::filesystem::exists(dir.file("missing")), false);
  }
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  EXPECT_EQ(SqliteConfigStore::open("", store, errorText), static_cast<int>(XR_GET_INTERFACE_FAILED));
}

// A row whose parent is gone, written by another program with foreign keys
// off, is a finding of the integrity check.
TEST(SqliteConfigStore, TheIntegrityCheckNamesARowWhoseParentIsMissing) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openStore(path);
  ASSERT_TRUE(problemsOf(*store).empty());
  rawExecute(path,
             "PRAGMA foreign_keys = OFF; INSERT INTO client (id, velmora_id, name) VALUES (44, 99, 'lost')");
  const std::vector<std::string> problems = problemsOf(*store);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("client"), std::string::npos) << problems[0];
  EXPECT_NE(problems[0].find("velmora"), std::string::npos) << problems[0];
}

// The disk failing (full, or an I/O error, from a VFS shim) at every point
// of a write of many pages, one point after the other: the write answers an
// error code, the file stays sound and as it was; once the fault passes the
// write lands and is read back from a fresh store.
TEST(SqliteConfigStore, ADiskFailingAtAnyPointOfAWriteLeavesTheStoreAsItWas) {
  const struct {
    int sqliteCode;
    const char* text;
  } faults[] = {{SQLITE_FULL, "disk is full"}, {SQLITE_IOERR_WRITE, "I/O error"}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.text);
    TempDir dir;
    FaultyVfs::Scope vfs;
    std::shared_ptr<SqliteConfigStore> store = openStore(dir.file("store.db"));
    const std::string before = exportTree(*store);
    std::vector<PropertyRow> properties;
    for (int i = 0; i < 20; ++i)
      properties.push_back({"w" + std::to_string(i), 1, std::string(900, 'a' + i)});
    int failurePoints = 0;
    for (int okWrites = 0; okWrites < 500; ++okWrites) {
      std::string errorText;
      FaultyVfs::failWrites(fault.sqliteCode, okWrites);
      const int result = store->setProperties(PropertyOwner::kSubclient, 8, properties, errorText);
      FaultyVfs::heal();
      if (result == 0) break;
      ++failurePoints;
      EXPECT_EQ(result, static_cast<int>(XR_APPMGR_GENERIC_ERROR)) << okWrites;
      EXPECT_NE(errorText.find(fault.text), std::string::npos) << errorText;
      EXPECT_TRUE(problemsOf(*store).empty()) << okWrites;
      EXPECT_EQ(exportTree(*store), before) << okWrites;
      if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(failurePoints, 3) << "the sweep hit several points of the transaction";
    store.reset();
    std::shared_ptr<SqliteConfigStore> reopened = openStore(dir.file("store.db"), false);
    EXPECT_TRUE(problemsOf(*reopened).empty());
    std::vector<PropertyRow> rows;
    std::string errorText;
    ASSERT_EQ(reopened->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0);
    EXPECT_EQ(rows.size(), 21u);  // the fixture's one and the twenty written
  }
}

// The reads of a request see the store as it was at its first read, while
// another connection writes without waiting for the request; a write of the
// request itself is seen by its next reads (with what others wrote before
// it), and after the request the latest state is read again.
TEST(SqliteConfigStore, ARequestReadsOneSnapshotAndSeesItsOwnWrites) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openStore(path);
  SqliteConfigStore::Options quick;
  quick.busyTimeoutMs = 100;
  std::shared_ptr<SqliteConfigStore> other = openStore(path, false, quick);
  std::string errorText;
  {
    const ConfigStore::RequestScope request(store);
    EXPECT_EQ(clientProperty(*store), "-");
    ASSERT_EQ(setMark(*other, "first", errorText), 0) << errorText;
    {
      const ConfigStore::RequestScope nested(store);
      EXPECT_EQ(clientProperty(*store), "-");
    }
    EXPECT_EQ(clientProperty(*store), "-") << "the nested request ended the snapshot";
    ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"own", 1, "mine"}}, errorText), 0)
        << errorText;
    EXPECT_EQ(clientProperty(*store, "own"), "mine");
    EXPECT_EQ(clientProperty(*store), "first");
    ASSERT_EQ(setMark(*other, "second", errorText), 0) << errorText;
    EXPECT_EQ(clientProperty(*store), "first");
    EXPECT_EQ(clientProperty(*other), "second");
  }
  EXPECT_EQ(clientProperty(*store), "second");
  ASSERT_EQ(setMark(*other, "third", errorText), 0);
  EXPECT_EQ(clientProperty(*store), "third");
}

// Held reads let a thread's requests share a read transaction, but a
// request never reads a state older than a write finished before it began,
// whoever wrote: another program, another store on the file (another
// process), this store on another thread, or the thread itself.
TEST(SqliteConfigStore, HeldReadsSeeEveryWriteFinishedBeforeARequestBegins) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openStore(path);
  std::shared_ptr<SqliteConfigStore> other = openStore(path, false);
  std::string errorText;
  const auto request = [&] {
    const ConfigStore::RequestScope scope(store);
    return clientProperty(*store);
  };
  const struct {
    const char* what;
    std::function<void()> write;
  } writers[] = {
      {"another store", [&] { EXPECT_EQ(setMark(*other, "other", errorText), 0) << errorText; }},
      {"another program", [&] { rawExecute(path, "UPDATE property SET value = 'raw' WHERE name = 'mark'"); }},
      {"another thread",
       [&] { std::thread([&] { EXPECT_EQ(setMark(*store, "thread", errorText), 0) << errorText; }).join(); }},
      {"the thread, between requests", [&] { EXPECT_EQ(setMark(*store, "own", errorText), 0) << errorText; }},
  };
  store->holdReads();
  for (const auto& writer : writers) {
    SCOPED_TRACE(writer.what);
    const std::string before = request();
    writer.write();
    const std::string after = request();
    EXPECT_NE(after, before) << "the write is seen";
    EXPECT_EQ(request(), after);
    store->releaseReads();
    EXPECT_EQ(request(), after) << "the same without held reads";
    store->holdReads();
  }
  store->releaseReads();
}

// The file at the path removed (with its WAL and shared memory), put back,
// replaced by another store file (renamed over it), renamed away and back:
// every operation after a change works on the file now at the path or,
// while there is none, answers XR_GET_INTERFACE_FAILED naming the path and
// never creates an empty file there.
TEST(SqliteConfigStore, AStoreFileRemovedOrReplacedIsNoticedAtTheNextOperation) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  SqliteConfigStore::Options options;
  options.maxConnections = 3;
  std::shared_ptr<SqliteConfigStore> store = openStore(path, true, options);
  std::string errorText;
  ASSERT_EQ(setMark(*store, "original", errorText), 0);
  const auto copyTo = [&](const std::string& copy) { rawExecute(path, "VACUUM INTO '" + copy + "'"); };
  const auto removeFiles = [&] {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  };
  const auto replaceWith = [&](const std::string& mark) {
    const std::string copy = dir.file(mark + ".db");
    {
      std::shared_ptr<SqliteConfigStore> other = openStore(copy);
      ASSERT_EQ(setMark(*other, mark, errorText), 0);
    }
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(path + suffix);
    std::filesystem::rename(copy, path);
  };
  const struct {
    const char* what;
    std::function<void()> change;
    const char* mark;  // expected afterwards; "!": the store answers errors
  } steps[] = {
      {"removed",
       [&] {
         copyTo(dir.file("copy.db"));
         removeFiles();
       },
       "!"},
      {"put back", [&] { std::filesystem::rename(dir.file("copy.db"), path); }, "original"},
      {"replaced", [&] { replaceWith("first"); }, "first"},
      {"renamed away", [&] { std::filesystem::rename(path, dir.file("aside.db")); }, "!"},
      {"renamed back", [&] { std::filesystem::rename(dir.file("aside.db"), path); }, "first"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    for (int attempt = 0; attempt < 2; ++attempt) EXPECT_EQ(clientProperty(*store), step.mark);
    if (std::string(step.mark) == "!") {
      EXPECT_EQ(setMark(*store, "lost", errorText), static_cast<int>(XR_GET_INTERFACE_FAILED));
      EXPECT_NE(errorText.find(path), std::string::npos) << errorText;
      EXPECT_FALSE(std::filesystem::exists(path)) << "the store created an empty file in its place";
    }
  }
  ASSERT_EQ(setMark(*store, "third", errorText), 0) << errorText;
  EXPECT_TRUE(problemsOf(*store).empty());
  store.reset();
  EXPECT_EQ(clientProperty(*openStore(path, false)), "third") << "the write went to the file at the path";
}

TEST(SqliteConfigStore, NoStoreOperationScansATable) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  openStore(path).reset();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (size_t i = 0; i < kSqlCount; ++i) {
    const SqlStatement& statement = sqlStatement(static_cast<Sql>(i));
    ASSERT_EQ(static_cast<size_t>(statement.id), i) << "statement table out of order at " << i;
    if (statement.reach == SqlReach::kWholeTable) continue;
    sqlite3_stmt* plan = nullptr;
    const std::string sql = std::string("EXPLAIN QUERY PLAN ") + statement.text;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &plan, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    while (sqlite3_step(plan) == SQLITE_ROW) {
      const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
      EXPECT_EQ(detail.rfind("SCAN ", 0), std::string::npos) << statement.text << "\n  plan: " << detail;
      if (statement.reach == SqlReach::kRows) {
        EXPECT_EQ(detail.find("TEMP B-TREE"), std::string::npos) << statement.text << "\n  plan: " << detail;
      }
    }
    sqlite3_finalize(plan);
  }
  sqlite3_close(db);
}

}  // namespace
