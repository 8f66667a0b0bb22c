// `appmgr store` against a PostgreSQL catalog: the same commands as for an
// SQLite file, the same tree in and out, a connection string whose password
// never shows in a message, and the integrity check finding what an
// operator or a partial restore can break. Needs APPMGR_TEST_PG.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CliApp.h"
#include "fakes/PgTestDatabase.h"
#include "fakes/TempDir.h"

namespace {

using appmgr::cli::kExitOk;

const std::string kSampleTree = std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json";

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun runCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = appmgr::cli::runCli(args, out, err, "");
  return {code, out.str(), err.str()};
}

// An empty schema of its own, dropped at the end; conninfo() selects it.
class CliPgStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    server_ = pgTestConnInfo(why);
    if (server_.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override {
    for (const std::string& schema : schemas_) {
      try {
        pgTestDropSchema(server_, schema);
      } catch (const std::exception&) {
        // Left for the throwaway server to take away.
      }
    }
  }

  // A fresh empty schema; the connection string that uses it, with a
  // password (ignored by the test server) that no message may repeat.
  std::string newSchema() {
    const std::string schema = pgTestSchemaName();
    pgTestExecute(server_, "SELECT format('CREATE SCHEMA %I', $1::text)", {schema}, true);
    schemas_.push_back(schema);
    return pgTestWithSetting(pgTestWithSetting(server_, "options", "-csearch_path=" + schema), "password",
                             "sekrit");
  }
  std::string tablesIn(const std::string& conninfo) {
    return pgTestExecute(conninfo,
                         "SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                         "WHERE n.nspname = current_schema()");
  }

  std::string server_;
  std::vector<std::string> schemas_;
};

TEST_F(CliPgStore, ImportExportCheckRoundTripAndRefuseToOverwrite) {
  const std::string pg = newSchema();
  // Export and check do not make a store of an empty schema.
  for (const char* command : {"check", "export"}) {
    const CliRun r = runCli({"store", command, pg});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_NE(r.err.find("holds no store"), std::string::npos) << r.err;
  }
  EXPECT_EQ(tablesIn(pg), "0");

  CliRun r = runCli({"store", "import", pg, kSampleTree});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  std::string all = r.out + r.err;
  r = runCli({"store", "import", pg, kSampleTree});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  all += r.out + r.err;
  r = runCli({"store", "import", "--force", pg, kSampleTree});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  r = runCli({"store", "check", pg});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find(": ok (schema, integrity, tree: "), std::string::npos) << r.out;
  all += r.out + r.err;

  // The same tree comes out of PostgreSQL as out of SQLite.
  TempDir dir;
  const std::string db = dir.file("s.db"), file = dir.file("tree.json");
  ASSERT_EQ(runCli({"store", "import", db, kSampleTree}).code, kExitOk);
  const CliRun fromPg = runCli({"store", "export", pg});
  ASSERT_EQ(fromPg.code, kExitOk) << fromPg.err;
  EXPECT_EQ(fromPg.out, runCli({"store", "export", db}).out);
  r = runCli({"store", "export", pg, file});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  all += r.out + r.err;
  EXPECT_EQ(runCli({"store", "export", pg, file}).code, 1);

  EXPECT_EQ(runCli({"store", "init", pg}).code, 1);
  r = runCli({"store", "init", "--force", pg});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  all += r.out + r.err;
  EXPECT_EQ(runCli({"store", "export", pg}).out.find("north"), std::string::npos);
  // An empty store may be filled without --force.
  EXPECT_EQ(runCli({"store", "import", pg, kSampleTree}).code, kExitOk);

  EXPECT_EQ(all.find("sekrit"), std::string::npos) << all;
  EXPECT_NE(all.find("PostgreSQL"), std::string::npos) << all;
}

TEST_F(CliPgStore, CheckReportsWhatWasBrokenAndEveryCommandRefusesAForeignMarker) {
  const struct {
    const char* what;
    std::vector<const char*> damage;
    std::vector<const char*> findings;
  } cases[] = {
      {"a dropped index", {"DROP INDEX client_by_velmora"}, {"index client_by_velmora is missing"}},
      {"a property of a missing owner",
       {"INSERT INTO property VALUES (2, 999999, 1, 'Lost', 1, 'x')"},
       {"1 properties of a missing instance"}},
      {"a dropped foreign key and an orphan entry",
       {"ALTER TABLE subclient_entry DROP CONSTRAINT subclient_entry_subclient_id_fkey",
        "INSERT INTO subclient_entry VALUES (999999, 1, 1, '/lost')"},
       {"table subclient_entry has 0 of its 1 validated foreign keys",
        "1 subclient entries of a missing subclient"}},
      {"foreign keys not enforced",
       {"ALTER TABLE instance DISABLE TRIGGER ALL"},
       {"triggers disabled", "instance"}},
      {"a dropped column", {"ALTER TABLE client DROP COLUMN roles"}, {"column client.roles is missing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string pg = newSchema();
    ASSERT_EQ(runCli({"store", "import", pg, kSampleTree}).code, kExitOk);
    for (const char* sql : c.damage) pgTestExecute(pg, sql);
    const CliRun r = runCli({"store", "check", pg});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    for (const char* finding : c.findings) EXPECT_NE(r.err.find(finding), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("appmgr: integrity: ", 0), 0u) << r.err;
  }

  // A marker the store does not accept: refused by every command, forced
  // or not, and the schema is left as it was.
  const struct {
    const char* marker;
    const char* message;
  } refusals[] = {
      {"UPDATE appmgr_schema SET application = 'someone-else'", "belongs to another application"},
      {"UPDATE appmgr_schema SET version = 99", "is newer than"},
  };
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.marker);
    const std::string pg = newSchema();
    ASSERT_EQ(runCli({"store", "import", pg, kSampleTree}).code, kExitOk);
    pgTestExecute(pg, c.marker);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"store", "check", pg}, {"store", "init", "--force", pg}}) {
      const CliRun r = runCli(args);
      EXPECT_EQ(r.code, 1);
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_NE(pgTestExecute(pg, "SELECT count(*) FROM client"), "0");
  }
}

}  // namespace
