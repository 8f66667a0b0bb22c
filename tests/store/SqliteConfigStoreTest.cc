// The SQLite store's own behaviour: files it refuses (left untouched),
// stamping and reopening, all-or-nothing operations, a busy writer (each
// failure with the code its SQLite result maps to), and a query plan
// without table scans for every store operation.
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "SqliteSchema.h"
#include "SqliteStatements.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
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

std::shared_ptr<SqliteConfigStore> openFixture(const std::string& path,
                                               const SqliteConfigStore::Options& options = {}) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  EXPECT_EQ(SqliteConfigStore::open(path, options, store, errorText), 0) << errorText;
  if (store) {
    EXPECT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  return store;
}

TEST(SqliteConfigStore, ANewFileIsStampedAndKeepsItsDataAcrossReopening) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  openFixture(path).reset();
  EXPECT_EQ(rawInteger(path, "PRAGMA application_id"), kSqliteStoreApplicationId);
  EXPECT_EQ(rawInteger(path, "PRAGMA user_version"), sqliteSchemaVersion());
  EXPECT_EQ(rawInteger(path, "SELECT count(*) FROM velmora"), 2);

  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(path, store, errorText), 0) << errorText;
  VelmoraRow row;
  EXPECT_EQ(store->findVelmora(0, "east", row, errorText), 0);
  std::vector<std::string> problems;
  ASSERT_EQ(store->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty());
}

TEST(SqliteConfigStore, MigratesAVersionOneFileKeepingItsData) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  rawExecute(path, std::string("BEGIN;") + sqliteMigrations()[0] +
                       "PRAGMA application_id = " + std::to_string(kSqliteStoreApplicationId) +
                       "; PRAGMA user_version = 1;"
                       "INSERT INTO velmora (id, name) VALUES (2, 'north');"
                       "INSERT INTO client (id, velmora_id, name) VALUES (5, 2, 'build01');"
                       "INSERT INTO property VALUES (1, 5, 1, 'Log Level', 2, '7'); COMMIT;");
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(path, store, errorText), 0) << errorText;
  EXPECT_EQ(rawInteger(path, "PRAGMA user_version"), sqliteSchemaVersion());
  std::vector<PropertyRow> rows;
  ASSERT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].value, "7");
  std::vector<ConfigStore::AdapterListRow> clients;
  ASSERT_EQ(store->listClientsOfType(2, ConfigStore::kClientRoleDataAgent, ConfigStore::ListOrder::kById,
                                     clients, errorText),
            0)
      << errorText;
  EXPECT_TRUE(clients.empty());  // a migrated client has no roles yet
}

TEST(SqliteConfigStore, RefusesFilesItCannotUseAndLeavesThemUntouched) {
  struct Case {
    const char* title;
    void (*prepare)(const std::string& path);  // makes the file at path
    const char* reason;                        // part of the error text
  };
  const Case cases[] = {
      {"newer schema",
       [](const std::string& path) {
         openFixture(path).reset();
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
      {"garbage", [](const std::string& path) { writeFile(path, std::string(4096, 'x') + "not a database"); },
       "file is not a database"},
      {"read-only file",
       [](const std::string& path) {
         openFixture(path).reset();
         chmod(path.c_str(), 0444);
       },
       "the file is read-only"},
      {"a directory", [](const std::string& path) { mkdir(path.c_str(), 0700); }, "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    TempDir dir;
    const std::string path = dir.file("store.db");
    c.prepare(path);
    const std::string before = readFile(path);
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    EXPECT_EQ(SqliteConfigStore::open(path, store, errorText), static_cast<int>(XR_GET_INTERFACE_FAILED));
    EXPECT_NE(errorText.find(c.reason), std::string::npos) << errorText;
    EXPECT_EQ(store, nullptr);
    EXPECT_EQ(readFile(path), before);
  }
}

TEST(SqliteConfigStore, RefusesAPathInAMissingDirectoryWithoutCreatingIt) {
  TempDir dir;
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  EXPECT_EQ(SqliteConfigStore::open(dir.file("missing/store.db"), store, errorText),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_NE(errorText.find("the directory " + dir.file("missing") + " does not exist"), std::string::npos)
      << errorText;
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
  EXPECT_EQ(SqliteConfigStore::open("", store, errorText), static_cast<int>(XR_GET_INTERFACE_FAILED));
}

// A trigger that fails any insert of the property or entry named "poison",
// planted through a connection of the test's own.
void plantPoison(const std::string& path) {
  rawExecute(path,
             "CREATE TRIGGER poison_property BEFORE INSERT ON property WHEN NEW.name = 'poison' "
             "BEGIN SELECT RAISE(ABORT, 'poisoned'); END;"
             "CREATE TRIGGER poison_entry BEFORE INSERT ON subclient_entry WHEN NEW.path = 'poison' "
             "BEGIN SELECT RAISE(ABORT, 'poisoned'); END;");
}

TEST(SqliteConfigStore, AFailingOperationWritesNothingAtAll) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openFixture(path);
  plantPoison(path);
  std::string before, after, errorText;
  ASSERT_EQ(exportConfigTreeJson(*store, before, errorText), 0);

  std::vector<PropertyRow> twenty;
  for (int i = 0; i < 20; ++i) twenty.push_back({i == 14 ? "poison" : "p" + std::to_string(i), 1, "v"});
  twenty.insert(twenty.begin(), {"Streams", 2, "9"});  // a replacement before the failure
  EXPECT_EQ(store->setProperties(PropertyOwner::kSubclient, 8, twenty, errorText),
            static_cast<int>(XR_INVALID_DATA));
  EXPECT_NE(errorText.find("poisoned"), std::string::npos) << errorText;
  EXPECT_EQ(errorText.rfind("setProperties: ", 0), 0u) << errorText;

  EXPECT_EQ(store->updateSubclientEntries(8, 2, {"/a", "poison"}, {"/proc"}, errorText),
            static_cast<int>(XR_INVALID_DATA));

  std::string poisonedTree = before;
  poisonedTree.replace(poisonedTree.find("\"Streams\""), 9, "\"poison\"");
  EXPECT_EQ(importConfigTreeJson(poisonedTree, *store, errorText), static_cast<int>(XR_INVALID_DATA));

  ASSERT_EQ(exportConfigTreeJson(*store, after, errorText), 0);
  EXPECT_EQ(after, before);
}

TEST(SqliteConfigStore, AWriterWaitsOnlyUpToTheBusyTimeoutWhileReadersGoOn) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  SqliteConfigStore::Options options;
  options.busyTimeoutMs = 50;
  std::shared_ptr<SqliteConfigStore> store = openFixture(path, options);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::string errorText;
  EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"a", 1, "b"}}, errorText),
            static_cast<int>(XR_SESSION_LOCK_FAILED));
  EXPECT_NE(errorText.find("database is locked"), std::string::npos) << errorText;
  std::vector<PropertyRow> rows;
  EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), 0);
  std::vector<std::string> entries;
  EXPECT_EQ(store->listSubclientEntries(8, 2, entries, errorText), 0);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"a", 1, "b"}}, errorText), 0) << errorText;
}

// The value of property `name` of client 5; "-" when it is not set or the
// read fails.
std::string clientProperty(ConfigStore& store, const std::string& name) {
  std::vector<PropertyRow> rows;
  std::string errorText;
  if (store.listProperties(PropertyOwner::kClient, 5, 0, rows, errorText) != 0) return "-";
  for (const PropertyRow& row : rows) {
    if (row.name == name) return row.value;
  }
  return "-";
}

std::vector<std::string> filterEntries(ConfigStore& store) {
  std::vector<std::string> out;
  std::string errorText;
  EXPECT_EQ(store.listSubclientEntries(8, 2, out, errorText), 0) << errorText;
  return out;
}

// The reads of a request see the store as it was at its first read, while
// another connection writes without waiting for the request; a write of the
// request itself is seen by its next reads (with what others wrote before
// it), and after the request the latest state is read again.
TEST(SqliteConfigStore, ARequestReadsOneSnapshotAndSeesItsOwnWrites) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openFixture(path);
  SqliteConfigStore::Options quick;
  quick.busyTimeoutMs = 100;
  std::shared_ptr<SqliteConfigStore> other;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(path, quick, other, errorText), 0) << errorText;
  const std::vector<std::string> entriesBefore = filterEntries(*store);
  {
    const ConfigStore::RequestScope request(store);
    EXPECT_EQ(clientProperty(*store, "mark"), "-");
    ASSERT_EQ(other->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, "first"}}, errorText), 0)
        << errorText;
    ASSERT_EQ(other->updateSubclientEntries(8, 2, {"/other"}, {}, errorText), 0) << errorText;
    {
      const ConfigStore::RequestScope nested(store);
      EXPECT_EQ(clientProperty(*store, "mark"), "-");
    }
    EXPECT_EQ(clientProperty(*store, "mark"), "-") << "the nested request ended the snapshot";
    EXPECT_EQ(filterEntries(*store), entriesBefore);

    ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"own", 1, "mine"}}, errorText), 0)
        << errorText;
    EXPECT_EQ(clientProperty(*store, "own"), "mine");
    EXPECT_EQ(clientProperty(*store, "mark"), "first");
    ASSERT_EQ(other->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, "second"}}, errorText), 0)
        << errorText;
    EXPECT_EQ(clientProperty(*store, "mark"), "first");
    EXPECT_EQ(clientProperty(*other, "mark"), "second");
  }
  EXPECT_EQ(clientProperty(*store, "mark"), "second");
  ASSERT_EQ(other->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, "third"}}, errorText), 0);
  EXPECT_EQ(clientProperty(*store, "mark"), "third");
}

// A request keeps one connection of the pool while it runs and gives it
// back when it ends, also by an exception; with a pool of one, its own
// writes do not wait for it and other threads get it afterwards.
TEST(SqliteConfigStore, ARequestGivesItsConnectionBackWhenItEnds) {
  TempDir dir;
  SqliteConfigStore::Options options;
  options.maxConnections = 1;
  std::shared_ptr<SqliteConfigStore> store = openFixture(dir.file("store.db"), options);
  std::string errorText;
  try {
    const ConfigStore::RequestScope request(store);
    ASSERT_EQ(clientProperty(*store, "mark"), "-");
    ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, "set"}}, errorText), 0)
        << errorText;
    ASSERT_EQ(clientProperty(*store, "mark"), "set");
    throw std::runtime_error("the handler failed");
  } catch (const std::runtime_error&) {
  }
  std::string seen;
  std::thread reader([&] {
    seen = clientProperty(*store, "mark");
    const ConfigStore::RequestScope request(store);
    seen += "," + clientProperty(*store, "mark");
  });
  reader.join();
  EXPECT_EQ(seen, "set,set");
}

TEST(SqliteConfigStore, NoStoreOperationScansATable) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  openFixture(path).reset();
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
