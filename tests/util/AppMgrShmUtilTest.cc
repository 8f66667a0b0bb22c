// The per-thread request id in shared memory, with key files in a temporary
// directory. Every test checks that no segment keyed from its key files is
// left behind.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Segments in the kernel's table created by this process, removed or not.
int segmentsOfThisProcess() {
  std::ifstream table("/proc/sysvipc/shm");
  std::string line;
  std::getline(table, line);  // header: key shmid perms size cpid ...
  int count = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    long key = 0, id = 0, perms = 0, size = 0, cpid = 0;
    if (fields >> key >> id >> perms >> size >> cpid) count += cpid == getpid();
  }
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

TEST_F(AppMgrShmUtilTest, LastIdSetIsDeliveredOnceAsItsLow32Bits) {
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 0u);  // never set: not even a key file
  AppMgrShmUtil first, second;
  ASSERT_TRUE(first.setAPIRequest(5));
  ASSERT_TRUE(second.setAPIRequest((1ul << 32) + 6));
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 6u);
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 0u);
  EXPECT_TRUE(log_->textsFor(kSetTag).empty());
  const std::vector<std::string> lines = log_->textsFor(kGetTag);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].rfind("Failed to open shared memory [APPMGR_CLOUD_COMM_SHARED_MEMORY_", 0), 0u);
  EXPECT_NE(lines[1].find("to read the AppMgr request id. Error Code = 2"), std::string::npos);
}

TEST_F(AppMgrShmUtilTest, MissingKeyDirectoryFailsAfterTenAttempts) {
  config_.write("[Base]\ndTARVENTEMPDIR=" + config_.dir() + "/missing\n");
  EXPECT_FALSE(AppMgrShmUtil().setAPIRequest(5));
  EXPECT_EQ(log_->textsFor(kSetTag), std::vector<std::string>{"Shared memory key creation failed. -1, 2, 0"});
}

// A segment of this thread that exists but cannot be attached: the id is not
// stored, so setAPIRequest must say so. The child drops root (which may
// attach anything) and finds a segment with no access bits.
TEST_F(AppMgrShmUtilTest, UnopenableExistingSegmentIsAFailure) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    char go = 0;
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    if (read(ready[0], &go, 1) != 1) _exit(3);
    const bool stored = AppMgrShmUtil().setAPIRequest(7);
    const auto lines = log_->textsFor(kSetTag);
    const bool logged = lines.size() == 1 && lines[0].find("Error Code = 13") != std::string::npos;
    _exit(stored ? 1 : logged ? 0 : 2);
  }
  // Whatever fails here, the child is released (a closed pipe ends it too).
  const std::string keyFile = config_.dir() + "/APPMGR_CLOUD_COMM_SHARED_MEMORY_" + std::to_string(child) +
                              "_" + std::to_string(child);
  std::FILE* anchor = std::fopen(keyFile.c_str(), "w");
  if (anchor != nullptr) std::fclose(anchor);
  chmod(config_.dir().c_str(), 0755);
  chmod(config_.path().c_str(), 0644);
  const int id = anchor != nullptr ? shmget(keyOf(keyFile), 4, IPC_CREAT | IPC_EXCL | 0000) : -1;
  const bool released = id != -1 && write(ready[1], "g", 1) == 1;
  close(ready[1]);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  if (id != -1) shmctl(id, IPC_RMID, nullptr);
  ASSERT_TRUE(released);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A long-running process sets and reads ids forever: while an id waits, its
// thread holds one segment and one mapping; after each read nothing of it
// may remain, neither a mapping in the process nor the segment in the kernel
// (which would otherwise exhaust the machine-wide segment limit). Threads
// each keep their own id.
TEST_F(AppMgrShmUtilTest, SetReadCyclesLeaveNoAttachmentOrSegmentBehind) {
  ASSERT_TRUE(AppMgrShmUtil().setAPIRequest(41));
  EXPECT_EQ(std::make_pair(attachedSegments(), segmentsOfThisProcess()), std::make_pair(1, 1));
  EXPECT_EQ(AppMgrShmUtil().getAPIRequest(), 41u);
  EXPECT_EQ(std::make_pair(attachedSegments(), segmentsOfThisProcess()), std::make_pair(0, 0));
  std::atomic<int> wrongIds{0};
  std::vector<std::thread> threads;
  for (unsigned long t = 1; t <= 4; ++t) {
    threads.emplace_back([&wrongIds, t] {
      for (unsigned long id = t * 1000000; id < t * 1000000 + 2500; ++id) {
        wrongIds += !AppMgrShmUtil().setAPIRequest(id);
        wrongIds += AppMgrShmUtil().getAPIRequest() != id;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrongIds, 0);
  EXPECT_EQ(std::make_pair(attachedSegments(), segmentsOfThisProcess()), std::make_pair(0, 0));
  EXPECT_TRUE(log_->textsFor(kGetTag).empty());
}
