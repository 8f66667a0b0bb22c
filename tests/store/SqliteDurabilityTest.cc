// Durability of the SQLite store: a child process applies updates in a
// loop and reports each one after the store acknowledged it; the child is
// killed with SIGKILL at a random moment. Afterwards the file must pass
// PRAGMA integrity_check and hold every update the child reported.
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

// The child: one property and one filter entry per step on subclient 8,
// each step's number written to `ack` once both are acknowledged.
[[noreturn]] void applyUpdatesUntilKilled(const std::string& path, int round, int ack) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  if (SqliteConfigStore::open(path, store, errorText) != 0) _exit(2);
  for (uint32_t step = 0;; ++step) {
    const std::string key = "r" + std::to_string(round) + "-" + std::to_string(step);
    if (store->setProperties(PropertyOwner::kSubclient, 8, {{key, 1, "value of " + key}}, errorText) != 0)
      _exit(3);
    if (store->updateSubclientEntries(8, 3, {"/" + key}, {}, errorText) != 0) _exit(4);
    if (write(ack, &step, sizeof step) != sizeof step) _exit(5);
  }
}

TEST(SqliteDurability, EveryAcknowledgedUpdateSurvivesSigkill) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(path, store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(5, 120);
  constexpr int kRounds = 5;
  size_t acknowledgedInAll = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      applyUpdatesUntilKilled(path, round, pipeFds[1]);
    }
    close(pipeFds[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself with status " << WEXITSTATUS(status);

    // Every number in the pipe was written after its update was acknowledged.
    std::vector<uint32_t> acknowledged;
    uint32_t step = 0;
    while (read(pipeFds[0], &step, sizeof step) == sizeof step) acknowledged.push_back(step);
    close(pipeFds[0]);
    acknowledgedInAll += acknowledged.size();

    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(path, store, errorText), 0) << errorText;
    std::vector<std::string> problems;
    ASSERT_EQ(store->checkIntegrity(problems, errorText), 0) << errorText;
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::vector<PropertyRow> rows;
    ASSERT_EQ(store->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0);
    std::vector<std::string> entries;
    ASSERT_EQ(store->listSubclientEntries(8, 3, entries, errorText), 0);
    std::set<std::string> names, paths(entries.begin(), entries.end());
    for (const PropertyRow& row : rows) names.insert(row.name);
    for (uint32_t done : acknowledged) {
      const std::string key = "r" + std::to_string(round) + "-" + std::to_string(done);
      EXPECT_EQ(names.count(key), 1u) << key;
      EXPECT_EQ(paths.count("/" + key), 1u) << key;
    }
  }
  EXPECT_GT(acknowledgedInAll, 0u) << "no child got as far as one update";
}

}  // namespace
