// The PostgreSQL store's own behaviour: the translation of SQLSTATEs,
// schemas it refuses (left untouched) and migrates, texts and ids that
// PostgreSQL treats differently from SQLite, and recovery from dropped
// connections.
// Two hosts updating one subclient through one catalog are tested end to
// end in the appmgrd tests.
// Every test but the first needs the server named by APPMGR_TEST_PG.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "PgConnection.h"
#include "PgSchema.h"
#include "fakes/PgTestDatabase.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

TEST(PgErrorCode, MapsEachFamilyOfFailuresAndSaysWhichAreRetried) {
  const struct {
    const char* state;
    bool lost;
    uint32_t code;
    bool retried;
  } cases[] = {
      {"40001", false, XR_SESSION_LOCK_FAILED, true},    // serialisation failure
      {"55P03", false, XR_SESSION_LOCK_FAILED, false},   // lock not available
      {"23505", false, XR_INVALID_DATA, false},          // unique violation
      {"08006", false, XR_GET_INTERFACE_FAILED, true},   // connection failure
      {"", true, XR_GET_INTERFACE_FAILED, true},         // no connection at all
      {"28P01", false, XR_GET_INTERFACE_FAILED, false},  // wrong password
      {"42P01", false, XR_APPMGR_GENERIC_ERROR, false},  // no such table
  };
  for (const auto& c : cases) {
    const PgFailure failure{c.state, "the message", "findSubclient", c.lost};
    std::string text;
    EXPECT_EQ(pgErrorCode(failure, text), static_cast<int>(c.code)) << c.state;
    EXPECT_EQ(pgRetryable(failure), c.retried) << c.state;
    EXPECT_EQ(text.rfind("findSubclient: the message (", 0), 0u) << text;
    if (*c.state != '\0') {
      EXPECT_NE(text.find(c.state), std::string::npos) << text;
    }
  }
}

class PgStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    conninfo_ = pgTestConnInfo(why);
    if (conninfo_.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override {
    for (const std::string& schema : schemas_) {
      try {
        pgTestDropSchema(conninfo_, schema);
      } catch (const std::exception&) {
      }
    }
  }

  // A schema of this test, dropped at its end, created empty.
  std::string newSchema() {
    schemas_.push_back(pgTestSchemaName());
    pgTestExecute(conninfo_, "SELECT format('CREATE SCHEMA %I', $1::text)", {schemas_.back()}, true);
    return schemas_.back();
  }
  // Runs SQL with the schema as the search path.
  std::string inSchema(const std::string& schema, const std::string& sql) {
    return pgTestExecute(conninfo_, "SELECT format('SET search_path TO %I; ', $1::text) || $2::text",
                         {schema, sql}, true);
  }
  int open(const std::string& schema, std::shared_ptr<PgConfigStore>& store, std::string& errorText,
           PgConfigStore::Options options = {}) {
    options.schema = schema;
    return PgConfigStore::open(conninfo_, options, store, errorText);
  }

  std::string conninfo_;
  std::vector<std::string> schemas_;
};

TEST_F(PgStoreTest, RefusesSchemasItDoesNotOwnAndLeavesThemAsTheyWere) {
  const struct {
    const char* title;
    const char* sql;
    const char* reason;
  } cases[] = {
      {"a table of another application", "CREATE TABLE orders (id int); INSERT INTO orders VALUES (7)",
       "another application"},
      {"a newer version",
       "CREATE TABLE appmgr_schema (singleton boolean PRIMARY KEY, application text, version int); "
       "INSERT INTO appmgr_schema VALUES (true, 'appmgr-config-store', 99)",
       "newer"},
  };
  for (const auto& c : cases) {
    const std::string schema = newSchema();
    inSchema(schema, c.sql);
    const auto relations = [&] {
      return inSchema(schema,
                      "SELECT string_agg(relname, ',' ORDER BY relname) FROM pg_class WHERE relnamespace = "
                      "current_schema()::regnamespace");
    };
    const std::string before = relations();
    std::shared_ptr<PgConfigStore> store;
    std::string errorText;
    EXPECT_EQ(open(schema, store, errorText), static_cast<int>(XR_GET_INTERFACE_FAILED)) << c.title;
    EXPECT_NE(errorText.find(c.reason), std::string::npos) << c.title << ": " << errorText;
    EXPECT_FALSE(store);
    EXPECT_EQ(relations(), before) << c.title;
  }
}

TEST_F(PgStoreTest, MigratesAVersionOneSchemaKeepingItsRows) {
  const std::string schema = newSchema();
  inSchema(schema, std::string(kPgMarkerTable) + pgMigrations()[0] +
                       "INSERT INTO appmgr_schema (application, version) VALUES ('appmgr-config-store', 1);"
                       "INSERT INTO velmora (id, name) VALUES (2, 'north');");
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  ASSERT_EQ(open(schema, store, errorText), 0) << errorText;
  EXPECT_EQ(inSchema(schema, "SELECT version FROM appmgr_schema"), std::to_string(pgSchemaVersion()));
  VelmoraRow row;
  EXPECT_EQ(store->findVelmora(2, "", row, errorText), 0) << errorText;
  std::vector<ConfigStore::AdapterListRow> rows;
  EXPECT_EQ(store->listClientsOfType(0, ConfigStore::kClientRoleDataAgent, ConfigStore::ListOrder::kById,
                                     rows, errorText),
            0)
      << errorText;  // the version 2 column is there
  // Opening again changes nothing.
  store.reset();
  ASSERT_EQ(open(schema, store, errorText), 0) << errorText;
  EXPECT_EQ(inSchema(schema, "SELECT version FROM appmgr_schema"), std::to_string(pgSchemaVersion()));
}

// (Other texts and the full 64-bit range round-trip in the contract suite.)
TEST_F(PgStoreTest, TextsThePostgresCannotHoldAreRefusedWritingNothing) {
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  ASSERT_EQ(open(newSchema(), store, errorText), 0) << errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;

  // A NUL byte is refused, not cut short; so is a text that is not UTF-8.
  for (const std::string& bad : {std::string("a\0b", 3), std::string("caf\xe9")}) {
    EXPECT_EQ(
        store->setProperties(PropertyOwner::kSubclient, 8, {{"ok", 1, "1"}, {"bad", 1, bad}}, errorText),
        static_cast<int>(XR_INVALID_DATA));
    EXPECT_NE(errorText.find("SQLSTATE 22"), std::string::npos) << errorText;
    EXPECT_EQ(store->updateSubclientEntries(8, kSubclientContentGroup, {bad}, {}, errorText),
              static_cast<int>(XR_INVALID_DATA));
  }
  std::vector<PropertyRow> rows;
  ASSERT_EQ(store->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0);
  ASSERT_EQ(rows.size(), 1u);  // the refused call wrote nothing
  EXPECT_EQ(rows[0].name, "Streams");
}

// ---- Recovery ----

TEST_F(PgStoreTest, DroppedConnectionsAreReplacedWithoutAnError) {
  const std::string application = "appmgr_" + pgTestSchemaName();
  PgConfigStore::Options options;
  options.schema = newSchema();
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  ASSERT_EQ(PgConfigStore::open(pgTestWithSetting(conninfo_, "application_name", application), options, store,
                                errorText),
            0)
      << errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  // Fill the pool with several idle connections, then end them all, as a
  // server restart would.
  std::vector<std::thread> threads;
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&] {
      std::string text;
      SubclientRow row;
      for (int n = 0; n < 20; ++n) store->findSubclient(8, row, text);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int round = 0; round < 3; ++round) {
    EXPECT_NE(pgTestExecute(conninfo_,
                            "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                            "WHERE application_name = $1::text",
                            {application}),
              "0");
    SubclientRow row;
    EXPECT_EQ(store->findSubclient(8, row, errorText), 0) << errorText;
    EXPECT_EQ(
        store->setProperties(PropertyOwner::kSubclient, 8, {{"round", 1, std::to_string(round)}}, errorText),
        0)
        << errorText;
  }
}

}  // namespace
