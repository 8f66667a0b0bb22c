// Request id of the calling thread in a per-thread shared-memory segment.
#include "AppMgr/AppMgrShmUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/ipc.h>
#include <unistd.h>

#include "platform/EvDebug.h"
#include "platform/XRPlatformInfo.h"
#include "platform/XrThread.h"

namespace {

constexpr char kSegmentPrefix[] = "APPMGR_CLOUD_COMM_SHARED_MEMORY";
constexpr int kProjectId = 0xFEFA;
constexpr int kKeyFileAttempts = 10;
constexpr char kOpenFailed[] =
    "Failed to open shared memory [%s][%u] to read the AppMgr request id. Error Code = %d";

// Segment name and key file path of the calling process and thread.
struct SegmentNames {
  char name[1024];
  std::string keyFile;
};

void buildNames(SegmentNames& names) {
  std::memset(names.name, 0, sizeof(names.name));
  std::snprintf(names.name, sizeof(names.name), "%s_%d_%u", kSegmentPrefix, static_cast<int>(getpid()),
                XrThread::getCurrentThreadID());
  std::string directory;
  XRPlatformInfo info;
  info.getString("Base", "dTARVENTEMPDIR", &directory);
  names.keyFile = directory + "/" + names.name;
}

void storeId(char* segment, unsigned long requestId) {
  AppMgrShmWrapper record;
  record.requestId = static_cast<uint32_t>(requestId);
  std::memset(segment, 0, sizeof(record));
  std::memcpy(segment, &record, sizeof(record));
}

}  // namespace

bool AppMgrShmUtil::setAPIRequest(unsigned long requestId) {
  static constexpr char kTag[] = "AppMgrShmUtil::setAPIRequest";
  EvEvent event;
  SegmentNames names;
  buildNames(names);

  // The key file only anchors the key: an existing one is as good as a new
  // one. Other failures are retried a few times.
  int fd = -1;
  int openError = 0;
  int attempts = kKeyFileAttempts;
  while (attempts > 0) {
    fd = open(names.keyFile.c_str(), O_RDONLY | O_CREAT | O_EXCL, 0600);
    openError = fd >= 0 ? 0 : errno;
    if (fd >= 0 || openError == EEXIST) break;
    --attempts;
  }
  if (fd >= 0) close(fd);
  if (fd < 0 && openError != EEXIST) {
    event.Error(kTag, "Shared memory key creation failed. %d, %d, %d", fd, openError, attempts);
    return false;
  }

  key_ = static_cast<int>(ftok(names.keyFile.c_str(), kProjectId));
  if (key_ == -1) {
    event.Error(kTag, "Failed to generate ftok key. %s, %d", names.keyFile.c_str(), errno);
    return false;
  }

  int error = 0;
  segmentAddress_ = createSharedMemory(key_, segmentHandle_, sizeof(AppMgrShmWrapper), error);
  if (segmentAddress_ != nullptr) {
    storeId(segmentAddress_, requestId);
    return true;
  }
  if (error != kSharedMemoryExists) {
    event.Error(kTag, "Failed to connect to shared memory, %d", error);
    return false;
  }
  // A segment of this thread is still waiting to be read: overwrite its id.
  segmentAddress_ = getSharedMemory(key_, error);
  if (segmentAddress_ == nullptr) {
    // The id was not stored; the caller must not believe otherwise.
    event.Error(kTag, kOpenFailed, names.name, static_cast<unsigned>(key_), error);
    return false;
  }
  storeId(segmentAddress_, requestId);
  return true;
}

unsigned long AppMgrShmUtil::getAPIRequest() {
  static constexpr char kTag[] = "AppMgrShmUtil::getAPIRequest";
  EvEvent event;
  AppMgrShmWrapper record;
  int error = 0;
  SegmentNames names;
  buildNames(names);
  key_ = static_cast<int>(ftok(names.keyFile.c_str(), kProjectId));

  char* segment = getSharedMemory(key_, error);
  if (segment == nullptr) {
    event.Error(kTag, kOpenFailed, names.name, static_cast<unsigned>(key_), error);
  } else {
    std::memcpy(&record, segment, sizeof(record));
    error = 0;
    if (!deleteSharedMemory(segment, error, segmentHandle_)) {
      event.Error(kTag, "deleteSharedMemory failed, handle=%d, Ptr=%p returnCode = %d", segmentHandle_,
                  static_cast<void*>(segment), error);
    }
    segmentHandle_ = 0;
  }
  return record.requestId;
}

bool setAppMgrCloudReqID(unsigned long /*requestId*/) { return true; }

unsigned long getAppMgrCloudReqID() { return 0; }
