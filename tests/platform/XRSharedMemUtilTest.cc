// System V segments: the "exists" error, reopening, and removal through an
// address whose handle the caller never learnt, which detaches every
// attachment of the segment and trusts no handle it is given.
#include <cerrno>
#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/XRSharedMemUtil.h"

// A writer's and a reader's attachment of one segment: removing it through
// the reader's address removes the segment and detaches both. An address
// this process did not attach through the class names no segment, so
// nothing is removed, even when the handle passed is the id of a live
// segment of someone else.
TEST(XRSharedMemUtil, ReaderRemovesTheSegmentItReopenedAndTrustsNoHandle) {
  const int foreign = shmget(IPC_PRIVATE, 4, IPC_CREAT | 0600);
  ASSERT_NE(foreign, -1);
  int error = -1;
  char notAttached[4] = {};
  EXPECT_FALSE(XRSharedMemUtil().deleteSharedMemory(notAttached, error, foreign));
  EXPECT_EQ(error, EINVAL);
  EXPECT_FALSE(XRSharedMemUtil().deleteSharedMemory(nullptr, error, 0));
  shmid_ds status{};
  EXPECT_EQ(shmctl(foreign, IPC_STAT, &status), 0) << "a segment named only by the handle was removed";

  char anchor[] = "/tmp/appmgr-shm-pair-XXXXXX";
  const int fd = mkstemp(anchor);
  ASSERT_NE(fd, -1);
  close(fd);
  const key_t key = ftok(anchor, 'p');
  unlink(anchor);
  int handle = -1;
  char* writer = XRSharedMemUtil().createSharedMemory(key, handle, 4, error);
  ASSERT_NE(writer, nullptr);
  std::memcpy(writer, "abc", 4);
  XRSharedMemUtil reader;
  int unused = -1;
  EXPECT_EQ(reader.createSharedMemory(key, unused, 4, error), nullptr);
  EXPECT_EQ(error, kSharedMemoryExists);
  char* reopened = reader.getSharedMemory(key, error);
  ASSERT_NE(reopened, nullptr);
  EXPECT_STREQ(reopened, "abc");
  EXPECT_TRUE(XRSharedMemUtil().deleteSharedMemory(reopened, error, foreign));  // another object
  EXPECT_EQ(shmctl(handle, IPC_STAT, &status), -1) << "segment still in the kernel";
  EXPECT_EQ(shmdt(writer), -1) << "the writer's attachment survived the removal";
  EXPECT_EQ(reader.getSharedMemory(key, error), nullptr);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(shmctl(foreign, IPC_STAT, &status), 0);
  shmctl(foreign, IPC_RMID, nullptr);
  const int leftover = shmget(key, 0, 0);
  if (leftover != -1) shmctl(leftover, IPC_RMID, nullptr);
  EXPECT_EQ(leftover, -1);
}
