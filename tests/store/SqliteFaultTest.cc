// The SQLite store when the disk fails under it: a write that fails at any
// point of its transaction (full disk, I/O error, from a VFS shim; a real
// file-size limit in a child process) answers an error code and leaves the
// file sound and as it was; once the fault goes, writes pass again. The
// store file removed under a running store is served again once put back;
// it is never re-created empty.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "fakes/FaultyVfs.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

std::shared_ptr<SqliteConfigStore> openStore(const std::string& path, bool import) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  EXPECT_EQ(SqliteConfigStore::open(path, store, errorText), 0) << errorText;
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

void expectSound(SqliteConfigStore& store) {
  std::vector<std::string> problems;
  std::string errorText;
  ASSERT_EQ(store.checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty()) << problems.front();
}

// A write of many pages: twenty properties with long values and forty
// filter entries, in two transactions.
int bigWrite(SqliteConfigStore& store, const std::string& tag, std::string& errorText) {
  std::vector<PropertyRow> properties;
  std::vector<std::string> entries;
  for (int i = 0; i < 20; ++i) properties.push_back({tag + std::to_string(i), 1, std::string(900, 'a' + i)});
  for (int i = 0; i < 40; ++i) entries.push_back("/" + tag + "/" + std::string(200, 'b') + std::to_string(i));
  int result = store.setProperties(PropertyOwner::kSubclient, 8, properties, errorText);
  if (result == 0) result = store.updateSubclientEntries(8, 2, entries, {}, errorText);
  return result;
}

TEST(SqliteFaults, AWriteFailingAtAnyPointLeavesTheStoreAsItWas) {
  struct Fault {
    const char* what;
    int sqliteCode;
    const char* text;
  } faults[] = {{"full disk", SQLITE_FULL, "disk is full"}, {"write error", SQLITE_IOERR_WRITE, "I/O error"}};
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    TempDir dir;
    FaultyVfs::Scope vfs;
    std::shared_ptr<SqliteConfigStore> store = openStore(dir.file("store.db"), true);
    ASSERT_TRUE(store);
    // Fail from the first write of the operation on, then one write later,
    // and so on, until the operation has room to finish.
    int failurePoints = 0;
    for (int okWrites = 0; okWrites < 500; ++okWrites) {
      const std::string before = exportTree(*store);
      const std::string tag = "w" + std::to_string(okWrites);
      std::string errorText;
      FaultyVfs::failWrites(fault.sqliteCode, okWrites);
      const int result = bigWrite(*store, tag, errorText);
      FaultyVfs::heal();
      if (result == 0) break;
      ++failurePoints;
      SCOPED_TRACE("writes allowed: " + std::to_string(okWrites));
      EXPECT_EQ(result, static_cast<int>(XR_APPMGR_GENERIC_ERROR));
      EXPECT_NE(errorText.find(fault.text), std::string::npos) << errorText;
      expectSound(*store);
      // bigWrite is two transactions: the first may have gone through.
      std::vector<PropertyRow> rows;
      ASSERT_EQ(store->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0) << errorText;
      if (rows.size() > 1) {
        EXPECT_EQ(rows.size(), 21u) << "a property write is all or nothing";
        ASSERT_EQ(store->removeProperties(
                      PropertyOwner::kSubclient, 8,
                      [&] {
                        std::vector<std::string> names;
                        for (int i = 0; i < 20; ++i) names.push_back(tag + std::to_string(i));
                        return names;
                      }(),
                      errorText),
                  0)
            << errorText;
      }
      EXPECT_EQ(exportTree(*store), before);
      if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(failurePoints, 3) << "the sweep hit several points of the transaction";
    // The fault gone, the write went through and is read back from a fresh store.
    store.reset();
    std::shared_ptr<SqliteConfigStore> reopened = openStore(dir.file("store.db"), false);
    expectSound(*reopened);
    std::vector<std::string> entries;
    std::string errorText;
    ASSERT_EQ(reopened->listSubclientEntries(8, 2, entries, errorText), 0);
    EXPECT_EQ(entries.size(), 42u);  // the fixture's two and the forty written
  }
}

// A real full disk: a child process whose file-size limit is just above
// the store's files. The write fails with an error code; the child goes on
// reading, and writes again once the limit is lifted.
TEST(SqliteFaults, AFileSizeLimitFailsTheWriteAndTheStoreGoesOn) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::string before;
  {
    std::shared_ptr<SqliteConfigStore> store = openStore(path, true);
    before = exportTree(*store);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    if (SqliteConfigStore::open(path, store, errorText) != 0) _exit(10);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    std::error_code ignored;
    const auto size = [&](const std::string& file) {
      const auto bytes = std::filesystem::file_size(file, ignored);
      return ignored ? 0 : static_cast<rlim_t>(bytes);
    };
    limit.rlim_cur = std::max(size(path), size(path + "-wal")) + 8192;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(11);
    // More than the WAL file can hold within the limit, whatever its size.
    const rlim_t room = limit.rlim_cur;
    const int result = store->setProperties(PropertyOwner::kSubclient, 8,
                                            {{"full", 1, std::string(room + (1u << 20), 'f')}}, errorText);
    if (result != static_cast<int>(XR_APPMGR_GENERIC_ERROR)) _exit(12);
    if (errorText.find("disk is full") == std::string::npos &&
        errorText.find("I/O error") == std::string::npos)
      _exit(13);
    VelmoraRow velmora;
    if (store->findVelmora(2, "", velmora, errorText) != 0) _exit(14);
    if (setrlimit(RLIMIT_FSIZE, &saved) != 0) _exit(15);
    if (store->setProperties(PropertyOwner::kClient, 5, {{"after", 1, "the limit"}}, errorText) != 0)
      _exit(16);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the child's failed step (see the exit codes above)";

  std::shared_ptr<SqliteConfigStore> store = openStore(path, false);
  expectSound(*store);
  std::string errorText;
  ASSERT_EQ(store->removeProperties(PropertyOwner::kClient, 5, {"after"}, errorText), 0);
  EXPECT_EQ(exportTree(*store), before);
}

// The file removed (with its WAL and shared-memory files) under an open
// store: operations answer XR_GET_INTERFACE_FAILED and the path stays
// empty; the file put back (a copy taken before) is served again, and
// writes land in it rather than in the removed one.
TEST(SqliteFaults, ARemovedStoreFileAnswersErrorsUntilItIsPutBack) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  SqliteConfigStore::Options options;
  options.maxConnections = 3;
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(path, options, store, errorText), 0) << errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  const std::string before = exportTree(*store);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, ("VACUUM INTO '" + dir.file("copy.db") + "'").c_str(), nullptr, nullptr, nullptr),
        SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);

  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("attempt " + std::to_string(i));
    EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"lost", 1, "write"}}, errorText),
              static_cast<int>(XR_GET_INTERFACE_FAILED));
    EXPECT_NE(errorText.find(path), std::string::npos) << errorText;
    std::vector<PropertyRow> rows;
    EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText),
              static_cast<int>(XR_GET_INTERFACE_FAILED));
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "the store created an empty file in its place";

  std::filesystem::rename(dir.file("copy.db"), path);
  EXPECT_EQ(exportTree(*store), before);
  ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"kept", 1, "write"}}, errorText), 0)
      << errorText;
  expectSound(*store);
  store.reset();
  std::shared_ptr<SqliteConfigStore> reopened = openStore(path, false);
  std::vector<PropertyRow> rows;
  ASSERT_EQ(reopened->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), 0);
  bool kept = false;
  for (const PropertyRow& row : rows) kept = kept || row.name == "kept";
  EXPECT_TRUE(kept) << "the write went to the file at the path";
}

// Inside a request (as appmgrd opens around each message): a file removed
// before the request's first operation is answered as outside a request; one
// removed after its first read refuses the request's write (which never
// lands in the removed file) and the reads after it, and once the file is
// put back the same request is served from it.
TEST(SqliteFaults, ARequestAnswersARemovedFileAsASingleOperationDoes) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  std::shared_ptr<SqliteConfigStore> store = openStore(path, true);
  ASSERT_TRUE(store);
  auto copyAndRemove = [&] {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, ("VACUUM INTO '" + dir.file("copy.db") + "'").c_str(), nullptr, nullptr, nullptr),
        SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  };
  std::string errorText;
  std::vector<PropertyRow> rows;
  copyAndRemove();
  const int alone = store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText);
  EXPECT_EQ(alone, static_cast<int>(XR_GET_INTERFACE_FAILED));
  {
    const ConfigStore::RequestScope request(store);
    EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), alone);
    EXPECT_NE(errorText.find(path), std::string::npos) << errorText;
    EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"lost", 1, "write"}}, errorText), alone);
    EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), alone);
  }
  EXPECT_FALSE(std::filesystem::exists(path)) << "the store created an empty file in its place";
  std::filesystem::rename(dir.file("copy.db"), path);

  {
    const ConfigStore::RequestScope request(store);
    ASSERT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), 0) << errorText;
    copyAndRemove();
    EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"lost", 1, "write"}}, errorText), alone);
    EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), alone);
    EXPECT_FALSE(std::filesystem::exists(path)) << "the store created an empty file in its place";
    std::filesystem::rename(dir.file("copy.db"), path);
    EXPECT_EQ(store->listProperties(PropertyOwner::kClient, 5, 0, rows, errorText), 0) << errorText;
    ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"kept", 1, "write"}}, errorText), 0)
        << errorText;
  }
  expectSound(*store);
  std::string exported = exportTree(*store);
  EXPECT_EQ(exported.find("lost"), std::string::npos);
  EXPECT_NE(exported.find("kept"), std::string::npos);
}

// The property "mark" of client 5, or "" when the read fails or finds none.
std::string markOf(SqliteConfigStore& store, int& result) {
  std::vector<PropertyRow> rows;
  std::string errorText;
  result = store.listProperties(PropertyOwner::kClient, 5, 0, rows, errorText);
  for (const PropertyRow& row : rows) {
    if (row.name == "mark") return row.value;
  }
  return "";
}

// The file at the path replaced by another store file (renamed over it, its
// own WAL and shared memory gone with it), again and again, and renamed
// away and back: every operation after a change works on the file now at
// the path, and none creates a file there while it is empty.
TEST(SqliteFaults, AStoreFileReplacedOrRenamedAwayIsNoticedAtTheNextOperation) {
  TempDir dir;
  const std::string path = dir.file("store.db");
  const std::string aside = dir.file("aside.db");
  std::shared_ptr<SqliteConfigStore> store = openStore(path, true);
  ASSERT_TRUE(store);
  auto replaceWith = [&](const std::string& mark) {
    const std::string copy = dir.file(mark + ".db");
    {
      std::shared_ptr<SqliteConfigStore> other = openStore(copy, true);
      std::string errorText;
      ASSERT_EQ(other->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, mark}}, errorText), 0);
    }
    for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(path + suffix);
    std::filesystem::rename(copy, path);
  };
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* mark;  // expected afterwards; null: the store answers errors
  };
  const Step steps[] = {
      {"replaced", [&] { replaceWith("first"); }, "first"},
      {"replaced again", [&] { replaceWith("second"); }, "second"},
      {"renamed away", [&] { std::filesystem::rename(path, aside); }, nullptr},
      {"renamed back", [&] { std::filesystem::rename(aside, path); }, "second"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    int result = -1;
    const std::string mark = markOf(*store, result);
    if (step.mark == nullptr) {
      EXPECT_EQ(result, static_cast<int>(XR_GET_INTERFACE_FAILED));
      std::string errorText;
      EXPECT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"lost", 1, "write"}}, errorText),
                static_cast<int>(XR_GET_INTERFACE_FAILED));
      EXPECT_FALSE(std::filesystem::exists(path)) << "the store created an empty file in its place";
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(mark, step.mark);
    }
  }
  std::string errorText;
  ASSERT_EQ(store->setProperties(PropertyOwner::kClient, 5, {{"mark", 1, "third"}}, errorText), 0)
      << errorText;
  expectSound(*store);
  store.reset();
  std::shared_ptr<SqliteConfigStore> reopened = openStore(path, false);
  int result = -1;
  EXPECT_EQ(markOf(*reopened, result), "third") << "the write went to the file at the path";
}

}  // namespace
