// System V shared memory. Each attachment made here is remembered with its
// segment id, so that deleteSharedMemory can remove the segment behind an
// address even when the caller's handle came from another object (a reader
// that only attached the segment never learns its id), and can detach every
// other attachment of that segment in the process.
#include "platform/XRSharedMemUtil.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

constexpr int kSegmentMode = 0600;

std::mutex& attachmentMutex() {
  static std::mutex mutex;
  return mutex;
}

// Attached address -> segment id, for every attachment not yet detached.
std::map<const char*, int>& attachments() {
  static std::map<const char*, int> map;
  return map;
}

// Attaches segment `id`; null with `error` set on failure.
char* attach(int id, int& error) {
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    error = errno;
    return nullptr;
  }
  char* bytes = static_cast<char*>(address);
  std::lock_guard<std::mutex> lock(attachmentMutex());
  attachments()[bytes] = id;
  return bytes;
}

}  // namespace

XRSharedMemUtil::~XRSharedMemUtil() = default;

char* XRSharedMemUtil::createSharedMemory(int key, int& handle, int size, int& error) {
  if (size <= 0) {
    error = EINVAL;
    return nullptr;
  }
  const int id =
      shmget(static_cast<key_t>(key), static_cast<size_t>(size), IPC_CREAT | IPC_EXCL | kSegmentMode);
  if (id == -1) {
    error = errno == EEXIST ? kSharedMemoryExists : errno;
    return nullptr;
  }
  char* address = attach(id, error);
  if (address == nullptr) {
    // A segment nobody can attach is of no use: do not leave it behind.
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  handle = id;
  error = 0;
  return address;
}

char* XRSharedMemUtil::getSharedMemory(int key, int& error) {
  const int id = shmget(static_cast<key_t>(key), 0, 0);
  if (id == -1) {
    error = errno;
    return nullptr;
  }
  char* address = attach(id, error);
  if (address != nullptr) error = 0;
  return address;
}

bool XRSharedMemUtil::deleteSharedMemory(char* address, int& error, int /*handle*/) {
  if (address == nullptr) {
    error = EINVAL;
    return false;
  }
  // The segment is named by the table, never by the caller's handle: a
  // stale or default handle (0 is a valid segment id) could otherwise remove
  // a segment that belongs to someone else. Every attachment this process
  // holds of the segment goes with it, so a removed segment does not linger
  // in the kernel until the process exits.
  std::vector<char*> addresses;
  int id = -1;
  {
    std::lock_guard<std::mutex> lock(attachmentMutex());
    const auto it = attachments().find(address);
    if (it == attachments().end()) {
      error = EINVAL;
      return false;
    }
    id = it->second;
    for (auto at = attachments().begin(); at != attachments().end();) {
      if (at->second == id) {
        addresses.push_back(const_cast<char*>(at->first));
        at = attachments().erase(at);
      } else {
        ++at;
      }
    }
  }
  error = 0;
  for (char* attached : addresses) {
    if (shmdt(attached) != 0 && error == 0) error = errno;
  }
  if (shmctl(id, IPC_RMID, nullptr) != 0 && error == 0) error = errno;
  return error == 0;
}
