// Point lookups of the configuration stores, per second: a Velmora by id,
// and a subclient read the way the subclient lookup reads it (the row, its
// 20 properties and its 10 content entries). The SQLite store is measured
// in memory and on disk (a file in a temporary directory, warm cache); the
// memory store is the baseline.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "platform/ConfigTreeJson.h"
#include "platform/MemoryConfigStore.h"
#include "platform/SqliteConfigStore.h"

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

enum class Kind { kMemory, kSqliteMemory, kSqliteDisk };

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

void BM_VelmoraById(benchmark::State& state) {
  const std::shared_ptr<ConfigStore> store = makeStore(static_cast<Kind>(state.range(0)));
  VelmoraRow row;
  std::string errorText;
  for (auto _ : state) {
    if (store->findVelmora(2, "", row, errorText) != 0) state.SkipWithError(errorText.c_str());
    benchmark::DoNotOptimize(row);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SubclientWithPropertiesAndContent(benchmark::State& state) {
  const std::shared_ptr<ConfigStore> store = makeStore(static_cast<Kind>(state.range(0)));
  SubclientRow row;
  std::vector<PropertyRow> properties;
  std::vector<std::string> content;
  std::string errorText;
  for (auto _ : state) {
    if (store->findSubclient(kSubclientId, row, errorText) != 0 ||
        store->listProperties(PropertyOwner::kSubclient, kSubclientId, 0, properties, errorText) != 0 ||
        store->listSubclientEntries(kSubclientId, kSubclientContentGroup, content, errorText) != 0) {
      state.SkipWithError(errorText.c_str());
    }
    benchmark::DoNotOptimize(properties);
  }
  if (properties.size() != 20 || content.size() != 10) state.SkipWithError("unexpected list sizes");
  state.SetItemsProcessed(state.iterations());
}

void storeKinds(benchmark::internal::Benchmark* b) {
  b->ArgName("store");  // 0 memory, 1 SQLite in memory, 2 SQLite on disk
  for (Kind kind : {Kind::kMemory, Kind::kSqliteMemory, Kind::kSqliteDisk}) b->Arg(static_cast<int>(kind));
}

BENCHMARK(BM_VelmoraById)->Apply(storeKinds);
BENCHMARK(BM_SubclientWithPropertiesAndContent)->Apply(storeKinds);

}  // namespace
