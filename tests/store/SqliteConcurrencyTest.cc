// Eight threads share one SQLite store for about a second and a half,
// mixing lookups and updates, with a connection each and with two
// connections between them (threads then queue for a connection). No
// operation may fail or hang, and the final state must equal a serial
// replay of the same updates on the memory store (each thread writes names
// and paths of its own, so the interleaving does not change the outcome,
// only the list order).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

constexpr int kThreads = 8;

// Step `step` of thread `thread`: an update, or lookups that must succeed.
int applyStep(ConfigStore& store, int thread, int step, std::string& errorText) {
  const std::string me = "t" + std::to_string(thread) + "-";
  switch (step % 4) {
    case 0:
      return store.setProperties(PropertyOwner::kSubclient, 8,
                                 {{me + std::to_string(step % 16), 1, std::to_string(step)}}, errorText);
    case 1:
      return store.removeProperties(PropertyOwner::kSubclient, 8, {me + std::to_string((step * 7) % 16)},
                                    errorText);
    case 2:
      return store.updateSubclientEntries(8, 2, {"/" + me + std::to_string(step % 8)},
                                          {"/" + me + std::to_string((step * 3) % 8)}, errorText);
    default: {
      SubclientRow subclient;
      std::vector<PropertyRow> rows;
      ApplicationRow match, application;
      match.velmoraId = 2;
      match.appId = 1046;
      int result = store.findSubclient(9, subclient, errorText);
      if (result == 0) result = store.listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText);
      if (result == 0)
        result = store.findApplication(ApplicationKey::kNumeric, match, application, errorText);
      return result;
    }
  }
}

// Subclient 8's properties ("name=value") and filter entries, sorted.
std::vector<std::string> sortedState(ConfigStore& store) {
  std::vector<PropertyRow> rows;
  std::vector<std::string> out;
  std::string errorText;
  EXPECT_EQ(store.listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0);
  EXPECT_EQ(store.listSubclientEntries(8, 2, out, errorText), 0);
  for (const PropertyRow& row : rows) out.push_back(row.name + "=" + row.value);
  std::sort(out.begin(), out.end());
  return out;
}

class SqliteConcurrency : public ::testing::TestWithParam<size_t> {};

TEST_P(SqliteConcurrency, EightThreadsEndWhereASerialReplayEnds) {
  TempDir dir;
  SqliteConfigStore::Options options;
  options.maxConnections = GetParam();
  // Writers queue behind synced commits; on a loaded machine one may wait
  // longer than the default 5 s. This test is about the outcome of the
  // interleaving, not about how long a writer waits.
  options.busyTimeoutMs = 60000;
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(dir.file("store.db"), options, store, errorText), 0) << errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;

  std::atomic<bool> stop{false};
  std::vector<std::atomic<int>> steps(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string text;
      while (!stop.load()) {
        const int result = applyStep(*store, t, steps[t], text);
        if (result != 0) {
          failures[t] = "step " + std::to_string(steps[t]) + ": " + std::to_string(result) + " " + text;
          return;
        }
        ++steps[t];
      }
    });
  }
  // Run for at least 1.5 s and until every thread has done a few steps; a
  // loaded machine may starve a thread for a while, which is not a failure.
  const auto start = std::chrono::steady_clock::now();
  auto everyThreadRan = [&] {
    for (const std::atomic<int>& count : steps) {
      if (count.load() <= 4) return false;
    }
    return true;
  };
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500) ||
         (!everyThreadRan() && std::chrono::steady_clock::now() - start < std::chrono::seconds(30))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], "") << "thread " << t;
    EXPECT_GT(steps[t].load(), 4) << "thread " << t << " hardly ran";
  }

  MemoryConfigStore replay;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, replay, errorText), 0);
  for (int t = 0; t < kThreads; ++t) {
    for (int step = 0; step < steps[t]; ++step) ASSERT_EQ(applyStep(replay, t, step, errorText), 0);
  }
  EXPECT_EQ(sortedState(*store), sortedState(replay));
}

INSTANTIATE_TEST_SUITE_P(Connections, SqliteConcurrency, ::testing::Values(size_t{8}, size_t{2}),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return std::to_string(info.param) + "Connections";
                         });

}  // namespace
