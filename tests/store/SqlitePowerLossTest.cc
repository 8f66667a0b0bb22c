// Power failures under the SQLite store. A workload of property, content and
// filter updates, checkpoints of every kind and store restarts (each one a
// checkpoint on close) runs once to count its writes and syncs and to
// export the tree after each step. Then, for every one of those events and
// both ways a disk loses unsynced data, it runs again with the power failing
// there; the store reopened on what survived, as appmgrd opens it, must
// pass the integrity check and hold every change acknowledged before the
// cut, and all or nothing of the change in flight.
//
// APPMGR_POWER_CUT_WORKLOADS=N runs N different workloads (default 3).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "fakes/FaultyVfs.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"
#include "store/StoreOpener.h"

namespace FaultyVfs {

// Names the modes in test names and messages.
void PrintTo(PowerCut mode, std::ostream* out) {
  *out << (mode == PowerCut::kLoseUnsynced ? "LoseUnsynced" : "TearLastSector");
}

}  // namespace FaultyVfs

namespace {

struct Step {
  enum Kind { kSetProperties, kRemoveProperties, kEntries, kCheckpoint, kRestart } kind;
  PropertyOwner owner = PropertyOwner::kClient;
  uint64_t id = 0;
  int group = 0;  // the entry group; for a checkpoint, its kind
  std::vector<PropertyRow> properties;
  std::vector<std::string> add, remove;  // entries, or property names to remove
};

// `count` steps drawn from `seed`: mostly updates of a few properties or
// entries (some values spanning several pages; removals mostly of what was
// set last), a checkpoint every fifth step (passive, full, restart and
// truncate in turn over the workloads) and a restart every eleventh.
std::vector<Step> workload(unsigned seed, int count) {
  static const std::pair<PropertyOwner, uint64_t> kOwners[] = {
      {PropertyOwner::kClient, 5},    {PropertyOwner::kClient, 10},    {PropertyOwner::kInstance, 6},
      {PropertyOwner::kInstance, 11}, {PropertyOwner::kBackupSet, 7},  {PropertyOwner::kBackupSet, 12},
      {PropertyOwner::kSubclient, 8}, {PropertyOwner::kSubclient, 13}, {PropertyOwner::kSubclient, 9}};
  std::mt19937 random(seed);
  std::vector<Step> steps;
  int lastSet = -1;
  for (int i = 1; i <= count; ++i) {
    Step step;
    step.kind = i % 11 == 0 ? Step::kRestart : i % 5 == 0 ? Step::kCheckpoint : Step::Kind(random() % 3);
    std::tie(step.owner, step.id) = kOwners[step.kind == Step::kEntries ? 6 + random() % 3 : random() % 9];
    step.group = step.kind == Step::kCheckpoint ? (seed + i / 5) % 4 : 1 + static_cast<int>(random() % 8);
    for (unsigned n = 1 + random() % 3; n > 0; --n) {
      const std::string name = "p" + std::to_string(random() % 6);
      const size_t size = random() % 4 == 0 ? 1000 + random() % 6000 : 1 + random() % 60;
      step.properties.push_back(
          {name, 1 + random() % 2, std::to_string(i) + std::string(size, 'a' + i % 26)});
      step.add.push_back("/data/" + std::to_string(random() % 8) + std::string(random() % 4 ? 0 : 300, 'x'));
      step.remove.push_back(random() % 2 ? name : "/data/" + std::to_string(random() % 8));
    }
    if (step.kind == Step::kRemoveProperties && lastSet >= 0) {  // some of what was set last
      step.owner = steps[lastSet].owner;
      step.id = steps[lastSet].id;
      step.remove.push_back(steps[lastSet].properties[0].name);
    }
    if (step.kind == Step::kSetProperties) lastSet = static_cast<int>(steps.size());
    steps.push_back(std::move(step));
  }
  return steps;
}

int checkpoint(const std::string& path, int kind) {
  static const char* const kModes[] = {"PASSIVE", "FULL", "RESTART", "TRUNCATE"};
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) {
    const std::string sql = std::string("PRAGMA wal_checkpoint(") + kModes[kind] + ")";
    rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  sqlite3_close(db);
  return rc;
}

std::string exportTree(ConfigTreeStore& store) {
  std::string json, errorText;
  return exportConfigTreeJson(store, json, errorText) == 0 ? json : "export failed: " + errorText;
}

// Runs the steps on the store at path until one fails; the number that
// succeeded. With `trees`, appends the tree after each step.
size_t runSteps(const std::string& path, const std::vector<Step>& steps, std::vector<std::string>* trees) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  if (SqliteConfigStore::open(path, store, errorText) != 0) return 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& s = steps[i];
    int result = 0;
    switch (s.kind) {
      case Step::kSetProperties:
        result = store->setProperties(s.owner, s.id, s.properties, errorText);
        break;
      case Step::kRemoveProperties:
        result = store->removeProperties(s.owner, s.id, s.remove, errorText);
        break;
      case Step::kEntries:
        result = store->updateSubclientEntries(s.id, s.group, s.add, s.remove, errorText);
        break;
      case Step::kCheckpoint:
        result = checkpoint(path, s.group);
        break;
      case Step::kRestart:
        store.reset();
        result = SqliteConfigStore::open(path, store, errorText);
        break;
    }
    if (result != 0) return i;
    if (trees) trees->push_back(exportTree(*store));
  }
  return steps.size();
}

class SqlitePowerLoss : public ::testing::TestWithParam<FaultyVfs::PowerCut> {};

TEST_P(SqlitePowerLoss, EveryAcknowledgedChangeSurvivesACutAtAnyWriteOrSync) {
  const char* workloads = std::getenv("APPMGR_POWER_CUT_WORKLOADS");
  const unsigned count = workloads != nullptr ? static_cast<unsigned>(std::atoi(workloads)) : 3;
  TempDir dir;
  FaultyVfs::Scope vfs;
  const std::string base = dir.file("base.db"), path = dir.file("store.db");
  std::string baseTree;
  {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(base, store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
    baseTree = exportTree(*store);
  }
  const auto fresh = [&] {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    std::filesystem::copy_file(base, path);
  };
  int64_t cuts = 0;
  for (unsigned seed = 1; seed <= count; ++seed) {
    const std::vector<Step> steps = workload(seed, 16);
    fresh();
    std::vector<std::string> trees{baseTree};
    FaultyVfs::armPowerCut(INT64_MAX, GetParam());
    ASSERT_EQ(runSteps(path, steps, &trees), steps.size());
    const int64_t events = FaultyVfs::restorePower().events;
    for (int64_t at = 0; at < events; ++at, ++cuts) {
      SCOPED_TRACE("workload " + std::to_string(seed) + ", power cut at event " + std::to_string(at));
      fresh();
      FaultyVfs::armPowerCut(at, GetParam());
      const size_t acknowledged = runSteps(path, steps, nullptr);
      ASSERT_TRUE(FaultyVfs::restorePower().cut) << "the workload writes the same way every time";
      FaultyVfs::armPowerCut(INT64_MAX, GetParam());  // no cut; spares the disk the syncs
      ASSERT_EQ(appmgr::quickCheckSqliteFile(path), "");
      std::string error;
      std::shared_ptr<ConfigStore> opened =
          appmgr::openStore({appmgr::StoreSpec::Kind::kSqlite, path}, error);
      auto store = std::dynamic_pointer_cast<SqliteConfigStore>(opened);
      ASSERT_TRUE(store) << error;
      std::vector<std::string> problems;
      ASSERT_EQ(store->checkIntegrity(problems, error), 0) << error;
      ASSERT_EQ(problems, std::vector<std::string>());
      const std::string tree = exportTree(*store);
      const auto found = std::find(trees.begin(), trees.end(), tree);
      // The cut may also fall in the checkpoint when the store closes after the last step.
      const std::string& inFlight = trees[std::min(acknowledged + 1, steps.size())];
      ASSERT_TRUE(tree == trees[acknowledged] || tree == inFlight)
          << acknowledged << " steps were acknowledged; the tree is "
          << (found == trees.end() ? "none of the workload's"
                                   : "that after step " + std::to_string(found - trees.begin()));
      ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"after", 1, "the cut"}}, error), 0)
          << error;
    }
  }
  std::printf("%lld power cuts over %u workloads\n", static_cast<long long>(cuts), count);
}

INSTANTIATE_TEST_SUITE_P(Modes, SqlitePowerLoss,
                         ::testing::Values(FaultyVfs::PowerCut::kLoseUnsynced,
                                           FaultyVfs::PowerCut::kTearLastSector),
                         ::testing::PrintToStringParamName());

}  // namespace
