// A running host whose SQLite store is locked by another connection past
// the busy timeout: each update answers the lock error code in its
// response, lookups go on, nothing is half-written (the file passes its
// integrity check and holds what it held before), and the host serves
// updates again once the lock is gone.
#include <string>
#include <vector>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

using namespace appmgr;

namespace {

// A second connection to the store file that holds its write lock between
// lock() and release(), as another process or host would.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) : path_(path) {}
  ~LockHolder() { sqlite3_close(db_); }
  bool lock() {
    return sqlite3_open(path_.c_str(), &db_) == SQLITE_OK &&
           sqlite3_exec(db_, "BEGIN EXCLUSIVE; INSERT INTO global_param(name, value) VALUES('held', 'x')",
                        nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  bool release() { return sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK; }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

// The error code of a response, or a sentinel for anything but a response.
uint32_t call(AppMgrClient& client, unsigned long code, const appmanObjectReq& req) {
  const AppMgrReply reply = client.call(code, &req, sizeof req);
  return reply.isResponse() ? reply.as<appmanGeneralMsg>().errorCode : 0xffffffffu;
}

class HostStoreFaultTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    SqliteConfigStore::Options options;
    options.busyTimeoutMs = 200;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(dir_.file("store.db"), options, store_, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store_, errorText), 0) << errorText;
    startHost(HostOptions(), store_);
  }
  void TearDown() override {
    HostTest::TearDown();
    store_.reset();
  }
  std::string exportTree() {
    std::string json, errorText;
    EXPECT_EQ(exportConfigTreeJson(*store_, json, errorText), 0) << errorText;
    return json;
  }

  TempDir dir_;
  LockHolder lockHolder_{dir_.file("store.db")};
  std::shared_ptr<SqliteConfigStore> store_;
};

TEST_F(HostStoreFaultTest, ALockHeldPastTheBusyTimeoutAnswersAnErrorAndTheHostServesAgainAfterIt) {
  auto client = connect();
  const std::string before = exportTree();
  ASSERT_TRUE(lockHolder_.lock());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(call(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, subclientRequest("1 /held", "0")),
              XR_SESSION_LOCK_FAILED);
    EXPECT_EQ(call(*client, APPMAN_SUBCLIENT_BY_ID_REQ, subclientRequest()), 0u) << "lookups go on";
  }
  ASSERT_TRUE(lockHolder_.release());
  std::vector<std::string> problems;
  std::string errorText;
  ASSERT_EQ(store_->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(exportTree(), before) << "nothing of the failed updates was written";
  EXPECT_EQ(call(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, subclientRequest("1 /held", "0")), 0u);
  EXPECT_NE(exportTree().find("/held"), std::string::npos) << "the update after the lock landed";
}

}  // namespace
