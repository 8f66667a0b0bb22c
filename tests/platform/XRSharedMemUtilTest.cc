// System V segments: the "exists" error, reopening, and removal through an
// address whose handle the caller never learnt.
#include <cerrno>
#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/XRSharedMemUtil.h"

TEST(XRSharedMemUtil, ReaderRemovesTheSegmentItReopened) {
  char anchor[] = "/tmp/appmgr-c2-shm-XXXXXX";
  const int fd = mkstemp(anchor);
  ASSERT_NE(fd, -1);
  close(fd);
  const key_t key = ftok(anchor, 'q');
  unlink(anchor);
  int handle = -1, error = -1;
  char* created = XRSharedMemUtil().createSharedMemory(key, handle, 4, error);
  ASSERT_NE(created, nullptr);
  std::memcpy(created, "abc", 4);

  XRSharedMemUtil reader;
  int unused = -1;
  EXPECT_EQ(reader.createSharedMemory(key, unused, 4, error), nullptr);
  EXPECT_EQ(error, kSharedMemoryExists);
  char* reopened = reader.getSharedMemory(key, error);
  ASSERT_NE(reopened, nullptr);
  EXPECT_STREQ(reopened, "abc");
  EXPECT_TRUE(reader.deleteSharedMemory(reopened, error, 0));  // stale handle
  EXPECT_EQ(reader.getSharedMemory(key, error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(reader.deleteSharedMemory(nullptr, error, 0));
  EXPECT_EQ(shmdt(created), 0);
  const int leftover = shmget(key, 0, 0);
  if (leftover != -1) shmctl(leftover, IPC_RMID, nullptr);
  EXPECT_EQ(leftover, -1);
}
