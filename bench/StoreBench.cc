// Point lookups of the configuration stores, per second: a Velmora by id,
// and a subclient read the way the subclient lookup reads it (the row, its
// 20 properties and its 10 content entries). The SQLite store is measured
// in memory and on disk (a file in a temporary directory, warm cache); the
// memory store is the baseline. With APPMGR_TEST_PG naming a PostgreSQL
// server (scripts/pg-test-cluster.sh), the PostgreSQL store is measured
// too, in a schema of its own that is dropped at exit; without it that row
// is skipped. BM_SubclientTwoStores/threads:N runs the subclient read from
// N threads spread over two stores on one schema, as two hosts would.
// BM_SubclientInRequest makes each subclient read one request on the store.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <libpq-fe.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "store/ConfigTreeJson.h"
#include "store/MemoryConfigStore.h"
#include "store/PgConfigStore.h"
#include "store/SqliteConfigStore.h"

namespace {

constexpr uint64_t kSubclientId = 8;

const char kTree[] = R"json({
  "format": "appmgr-config-tree", "version": 1,
  "applicationTypes": [{"id": 7, "name": "File System"}],
  "velmoras": [{"id": 2, "name": "north", "hostName": "north.example.net", "timeZoneName": "Europe/Berlin",
    "clients": [{"id": 5, "name": "build01", "instances": [{"id": 6, "name": "DefaultInstance",
      "applicationType": 7, "backupSets": [{"id": 7, "name": "defaultBackupSet",
        "subclients": [{"id": 8, "name": "default", "application": {"id": 1045}}]}]}]}]}]
})json";

enum class Kind { kMemory, kSqliteMemory, kSqliteDisk, kPostgres };

const char* postgresServer() {
  const char* conninfo = std::getenv("APPMGR_TEST_PG");
  return conninfo != nullptr && *conninfo != '\0' ? conninfo : nullptr;
}

// The schema of the PostgreSQL stores of this run, dropped at exit.
const std::string& benchSchema() {
  static const std::string schema = "bench_" + std::to_string(::getpid());
  return schema;
}

void dropBenchSchema() {
  PGconn* conn = PQconnectdb(postgresServer());
  if (PQstatus(conn) == CONNECTION_OK) {
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    const std::string drop = "DROP SCHEMA IF EXISTS " + benchSchema() + " CASCADE";  // digits only
    PQclear(PQexec(conn, drop.c_str()));
  }
  PQfinish(conn);
}

// A PostgreSQL store on the run's schema; every call opens another one
// (another pool), as another host would.
std::shared_ptr<PgConfigStore> openPostgres() {
  static bool cleanup = (std::atexit(dropBenchSchema), true);
  (void)cleanup;
  PgConfigStore::Options options;
  options.schema = benchSchema();
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  if (PgConfigStore::open(postgresServer(), options, store, errorText) != 0)
    throw std::runtime_error(errorText);
  return store;
}

std::string& benchDirectory() {
  static std::string directory;
  return directory;
}

void removeBenchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(benchDirectory(), ignored);
}

// The benchmark tree with subclient 8 carrying 20 properties and 10
// content entries; files live in a directory removed at exit.
std::shared_ptr<ConfigStore> makeStore(Kind kind) {
  if (benchDirectory().empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "appmgr-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    benchDirectory() = pattern;
    std::atexit(removeBenchDirectory);
  }
  std::shared_ptr<ConfigStore> store;
  ConfigTreeStore* tree = nullptr;
  std::string errorText;
  if (kind == Kind::kMemory) {
    auto memory = std::make_shared<MemoryConfigStore>();
    tree = memory.get();
    store = memory;
  } else if (kind == Kind::kPostgres) {
    std::shared_ptr<PgConfigStore> postgres = openPostgres();
    tree = postgres.get();
    store = postgres;
  } else {
    const std::string path =
        kind == Kind::kSqliteMemory ? SqliteConfigStore::kInMemory : benchDirectory() + "/bench.db";
    std::shared_ptr<SqliteConfigStore> sqlite;
    if (SqliteConfigStore::open(path, sqlite, errorText) != 0) throw std::runtime_error(errorText);
    tree = sqlite.get();
    store = sqlite;
  }
  if (importConfigTreeJson(kTree, *tree, errorText) != 0) throw std::runtime_error(errorText);
  std::vector<PropertyRow> properties;
  std::vector<std::string> content;
  for (int i = 0; i < 20; ++i)
    properties.push_back({"Property " + std::to_string(i), 1, "value " + std::to_string(i)});
  for (int i = 0; i < 10; ++i) content.push_back("/data/dir " + std::to_string(i));
  if (store->setProperties(PropertyOwner::kSubclient, kSubclientId, properties, errorText) != 0 ||
      store->updateSubclientEntries(kSubclientId, kSubclientContentGroup, content, {}, errorText) != 0) {
    throw std::runtime_error(errorText);
  }
  return store;
}

// Skips a PostgreSQL row when no server is named; true when it may run.
bool haveStore(benchmark::State& state) {
  if (static_cast<Kind>(state.range(0)) != Kind::kPostgres || postgresServer() != nullptr) return true;
  state.SkipWithError("APPMGR_TEST_PG is not set: no PostgreSQL server to measure");
  return false;
}

void BM_VelmoraById(benchmark::State& state) {
  if (!haveStore(state)) return;
  const std::shared_ptr<ConfigStore> store = makeStore(static_cast<Kind>(state.range(0)));
  VelmoraRow row;
  std::string errorText;
  for (auto _ : state) {
    if (store->findVelmora(2, "", row, errorText) != 0) state.SkipWithError(errorText.c_str());
    benchmark::DoNotOptimize(row);
  }
  state.SetItemsProcessed(state.iterations());
}

// The subclient lookup's reads, repeated for every iteration of `state`;
// with `inRequest`, each iteration is one request on the store, as appmgrd
// serves a message.
void readSubclients(benchmark::State& state, const std::shared_ptr<ConfigStore>& shared,
                    bool inRequest = false) {
  ConfigStore& store = *shared;
  SubclientRow row;
  std::vector<PropertyRow> properties;
  std::vector<std::string> content;
  std::string errorText;
  const std::shared_ptr<ConfigStore> requestStore = inRequest ? shared : nullptr;  // null: no request
  for (auto _ : state) {
    const ConfigStore::RequestScope request(requestStore);
    if (store.findSubclient(kSubclientId, row, errorText) != 0 ||
        store.listProperties(PropertyOwner::kSubclient, kSubclientId, 0, properties, errorText) != 0 ||
        store.listSubclientEntries(kSubclientId, kSubclientContentGroup, content, errorText) != 0) {
      state.SkipWithError(errorText.c_str());
      break;
    }
    benchmark::DoNotOptimize(properties);
  }
  if (properties.size() != 20 || content.size() != 10) state.SkipWithError("unexpected list sizes");
  state.SetItemsProcessed(state.iterations());
}

void BM_SubclientWithPropertiesAndContent(benchmark::State& state) {
  if (!haveStore(state)) return;
  readSubclients(state, makeStore(static_cast<Kind>(state.range(0))));
}

void BM_SubclientInRequest(benchmark::State& state) {
  if (!haveStore(state)) return;
  readSubclients(state, makeStore(static_cast<Kind>(state.range(0))), true);
}

// Two PostgreSQL stores (two hosts' pools) on one schema, the threads of
// the benchmark split over both; items per second add up over threads.
void BM_SubclientTwoStores(benchmark::State& state) {
  static std::shared_ptr<ConfigStore> stores[2];
  static std::atomic<bool> ready{false};
  if (postgresServer() == nullptr) {
    state.SkipWithError("APPMGR_TEST_PG is not set: no PostgreSQL server to measure");
    return;
  }
  if (state.thread_index() == 0 && !ready.load()) {
    stores[0] = makeStore(Kind::kPostgres);
    stores[1] = openPostgres();
    ready.store(true);
  }
  // The timing of all threads starts together, at the loop, after this.
  while (!ready.load()) std::this_thread::yield();
  readSubclients(state, stores[state.thread_index() % 2]);
}

// One property write per iteration (alternating values, so every write
// changes the row) on an SQLite file, with commits synced (FULL, the
// store's default) or not (NORMAL).
// With `audit` off the writes leave no audit entries: what the trail costs.
void sqlitePropertyWrites(benchmark::State& state, bool durable, bool audit) {
  makeStore(Kind::kSqliteDisk);  // makes the bench directory and the file's tree
  const std::string path = benchDirectory() + (durable ? "/write-full" : "/write-normal") +
                           (audit ? std::string() : "-unaudited") + ".db";
  SqliteConfigStore::Options options;
  options.durableCommits = durable;
  options.auditTrail = audit;
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  if (SqliteConfigStore::open(path, options, store, errorText) != 0 ||
      importConfigTreeJson(kTree, *store, errorText) != 0) {
    state.SkipWithError(errorText.c_str());
    return;
  }
  std::vector<PropertyRow> row{{"Owner", 1, ""}};
  int64_t n = 0;
  for (auto _ : state) {
    row[0].value = (n++ % 2 == 0) ? "QA team" : "Ops team";
    if (store->setProperties(PropertyOwner::kSubclient, kSubclientId, row, errorText) != 0) {
      state.SkipWithError(errorText.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SqlitePropertyWrite(benchmark::State& state) {
  sqlitePropertyWrites(state, state.range(0) != 0, true);
}

// The same write with and without its audit entry.
void BM_SqlitePropertyWriteAudit(benchmark::State& state) {
  sqlitePropertyWrites(state, state.range(0) != 0, state.range(1) != 0);
}

void storeKinds(benchmark::internal::Benchmark* b) {
  b->ArgName("store");  // 0 memory, 1 SQLite in memory, 2 SQLite on disk, 3 PostgreSQL
  for (Kind kind : {Kind::kMemory, Kind::kSqliteMemory, Kind::kSqliteDisk, Kind::kPostgres})
    b->Arg(static_cast<int>(kind));
}

BENCHMARK(BM_VelmoraById)->Apply(storeKinds);
BENCHMARK(BM_SubclientWithPropertiesAndContent)->Apply(storeKinds);
BENCHMARK(BM_SubclientInRequest)->Apply(storeKinds);
BENCHMARK(BM_SubclientTwoStores)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();
BENCHMARK(BM_SqlitePropertyWrite)->ArgName("durable")->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_SqlitePropertyWriteAudit)
    ->ArgNames({"durable", "audit"})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({0, 0})
    ->UseRealTime();

}  // namespace
