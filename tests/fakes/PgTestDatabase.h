// The PostgreSQL server of the tests and the store kind that the contract
// suite runs against it. The server is named by the environment variable
// APPMGR_TEST_PG (a libpq connection string; scripts/pg-test-cluster.sh
// starts one and prints it); without it, the PostgreSQL tests are skipped.
// Each store lives in a schema of its own, dropped when the store goes, so
// tests in parallel processes share one database without seeing each other.
#ifndef TESTS_FAKES_PGTESTDATABASE_H_
#define TESTS_FAKES_PGTESTDATABASE_H_

#include <atomic>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <libpq-fe.h>
#include <unistd.h>

#include "fakes/TempDir.h"
#include "store/ConfigStore.h"
#include "store/ConfigTree.h"
#include "store/PgConfigStore.h"

// The test server's connection string; empty, with `why` set, when there is none.
inline std::string pgTestConnInfo(std::string& why) {
  const char* conninfo = std::getenv("APPMGR_TEST_PG");
  if (conninfo == nullptr || *conninfo == '\0') {
    why =
        "APPMGR_TEST_PG is not set: PostgreSQL store tests skipped (start a server with "
        "scripts/pg-test-cluster.sh start)";
    return "";
  }
  return conninfo;
}

// A schema name no other test process uses.
inline std::string pgTestSchemaName() {
  static std::atomic<int> counter{0};
  return "test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Runs SQL on a connection of its own: first `query` with text parameters,
// whose first value (when `thenRun`) is itself run as SQL. Returns the
// first value of the last result ("" without one). Throws with the
// server's message when either fails.
inline std::string pgTestExecute(const std::string& conninfo, const char* query,
                                 const std::vector<std::string>& params = {}, bool thenRun = false) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  std::string error, value;
  if (PQstatus(conn) != CONNECTION_OK) {
    error = PQerrorMessage(conn);
  } else {
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    std::vector<const char*> values;
    for (const std::string& param : params) values.push_back(param.c_str());
    PGresult* result = PQexecParams(conn, query, static_cast<int>(values.size()), nullptr,
                                    values.empty() ? nullptr : values.data(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK) {
      error = PQresultErrorMessage(result);
    } else if (thenRun && PQntuples(result) > 0) {
      PGresult* second = PQexec(conn, PQgetvalue(result, 0, 0));
      if (PQresultStatus(second) != PGRES_COMMAND_OK && PQresultStatus(second) != PGRES_TUPLES_OK)
        error = PQresultErrorMessage(second);
      else if (PQntuples(second) > 0)
        value = PQgetvalue(second, 0, 0);
      PQclear(second);
    } else if (PQntuples(result) > 0) {
      value = PQgetvalue(result, 0, 0);
    }
    PQclear(result);
  }
  PQfinish(conn);
  if (!error.empty()) throw std::runtime_error(std::string(query) + ": " + error);
  return value;
}

// The connection string with another setting added (URI or key=value form).
inline std::string pgTestWithSetting(const std::string& conninfo, const std::string& key,
                                     const std::string& value) {
  if (conninfo.rfind("postgres", 0) == 0 && conninfo.find("://") != std::string::npos)
    return conninfo + (conninfo.find('?') == std::string::npos ? "?" : "&") + key + "=" + value;
  return conninfo + " " + key + "=" + value;
}

// Drops a schema with everything in it (the server quotes the name).
inline void pgTestDropSchema(const std::string& conninfo, const std::string& schema) {
  pgTestExecute(conninfo, "SELECT format('DROP SCHEMA IF EXISTS %I CASCADE', $1::text)", {schema}, true);
}

// A store in a fresh schema; the schema is dropped when the last copy of
// the returned pointer goes.
inline std::shared_ptr<PgConfigStore> openPgTestStore(const std::string& conninfo,
                                                      PgConfigStore::Options options,
                                                      std::string* schemaOut = nullptr) {
  options.schema = pgTestSchemaName();
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  if (PgConfigStore::open(conninfo, options, store, errorText) != 0) throw std::runtime_error(errorText);
  if (schemaOut != nullptr) *schemaOut = options.schema;
  PgConfigStore* raw = store.get();
  return std::shared_ptr<PgConfigStore>(raw,
                                        [store, conninfo, schema = options.schema](PgConfigStore*) mutable {
                                          store.reset();
                                          try {
                                            pgTestDropSchema(conninfo, schema);
                                          } catch (const std::exception&) {
                                            // A schema left behind goes with the throwaway server.
                                          }
                                        });
}

struct PgBackend {
  static constexpr const char* kName = "Postgres";
  static bool available(std::string& why) { return !pgTestConnInfo(why).empty(); }
  static std::shared_ptr<ConfigStore> open(const TempDir&, ConfigTreeStore*& tree) {
    std::string why;
    std::shared_ptr<PgConfigStore> store = openPgTestStore(pgTestConnInfo(why), PgConfigStore::Options());
    tree = store.get();
    return store;
  }
};

#endif  // TESTS_FAKES_PGTESTDATABASE_H_
