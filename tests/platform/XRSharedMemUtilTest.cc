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
  const int leftover = shmget(key, 0, 0);
  if (leftover != -1) shmctl(leftover, IPC_RMID, nullptr);
  EXPECT_EQ(leftover, -1);
}

// Two attachments of one segment (a writer's and a reader's): removing the
// segment through either address detaches both. An address this process did
// not attach through the class names no segment, so nothing is removed, even
// when the handle passed is the id of a live segment of someone else.
TEST(XRSharedMemUtil, DeleteDetachesEveryAttachmentAndTrustsNoHandle) {
  const int foreign = shmget(IPC_PRIVATE, 4, IPC_CREAT | 0600);
  ASSERT_NE(foreign, -1);
  int error = -1;
  char notAttached[4] = {};
  EXPECT_FALSE(XRSharedMemUtil().deleteSharedMemory(notAttached, error, foreign));
  EXPECT_EQ(error, EINVAL);
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
  char* reader = XRSharedMemUtil().getSharedMemory(key, error);
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(XRSharedMemUtil().deleteSharedMemory(reader, error, foreign));
  EXPECT_EQ(shmctl(handle, IPC_STAT, &status), -1) << "segment still in the kernel";
  EXPECT_EQ(shmdt(writer), -1) << "the writer's attachment survived the removal";
  EXPECT_EQ(shmctl(foreign, IPC_STAT, &status), 0);
  shmctl(foreign, IPC_RMID, nullptr);
}
