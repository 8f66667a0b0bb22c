// The per-thread request id in shared memory, with key files in a temporary
// directory. Every test checks that no segment keyed from its key files is
// left behind.
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <gtest/gtest.h>

#include "AppMgr/AppMgrShmUtil.h"
#include "platform/EvDebug.h"

#include "fakes/ScopedPlatformConfig.h"

namespace {
constexpr char kSetTag[] = "AppMgrShmUtil::setAPIRequest";
constexpr char kGetTag[] = "AppMgrShmUtil::getAPIRequest";

key_t keyOf(const std::string& keyFile) { return ftok(keyFile.c_str(), 0xFEFA); }

// System V attachments mapped into this process.
int attachedSegments() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  int count = 0;
  while (std::getline(maps, line)) count += line.find("/SYSV") != std::string::npos;
  return count;
}

}  // namespace

class AppMgrShmUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.write("[Base]\ndTARVENTEMPDIR=" + config_.dir() + "\n");
    EvLog::setSink(log_);
  }
  void TearDown() override {
    EvLog::setSink(nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(config_.dir())) {
      const int id = shmget(keyOf(entry.path()), 0, 0);
      EXPECT_EQ(id, -1) << "segment left behind for " << entry.path();
      if (id != -1) shmctl(id, IPC_RMID, nullptr);
    }
  }
  ScopedPlatformConfig config_;
  std::shared_ptr<MemoryLogSink> log_ = std::make_shared<MemoryLogSink>();
};

// While an id waits, its thread holds one mapping, and another thread has
// no id; after the read no mapping may remain in the process (and, as after
// every test, no segment in the kernel, which would otherwise exhaust the
// machine-wide segment limit).
TEST_F(AppMgrShmUtilTest, LastIdSetIsDeliveredOnceAsItsLow32BitsAndLeavesNothingBehind) {
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 0u);  // never set: not even a key file
  ASSERT_TRUE(AppMgrShmUtil().setAPIRequest(5));
  EXPECT_EQ(attachedSegments(), 1);
  ASSERT_TRUE(AppMgrShmUtil().setAPIRequest((1ul << 32) + 6));
  std::thread([] { EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 0u); }).join();
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 6u);
  EXPECT_EQ(attachedSegments(), 0);
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 0u);
  EXPECT_TRUE(log_->textsFor(kSetTag).empty());
  const std::vector<std::string> lines = log_->textsFor(kGetTag);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].rfind("Failed to open shared memory [APPMGR_CLOUD_COMM_SHARED_MEMORY_", 0), 0u);
  EXPECT_NE(lines[2].find("to read the AppMgr request id. Error Code = 2"), std::string::npos);
}

TEST_F(AppMgrShmUtilTest, MissingKeyDirectoryFailsAfterTenAttempts) {
  config_.write("[Base]\ndTARVENTEMPDIR=" + config_.dir() + "/missing\n");
  EXPECT_FALSE(AppMgrShmUtil().setAPIRequest(5));
  EXPECT_EQ(log_->textsFor(kSetTag), std::vector<std::string>{"Shared memory key creation failed. -1, 2, 0"});
}
