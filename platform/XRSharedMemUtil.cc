// System V shared memory: not built yet.
#include "platform/XRSharedMemUtil.h"

#include <cerrno>

XRSharedMemUtil::~XRSharedMemUtil() = default;

char* XRSharedMemUtil::createSharedMemory(int /*key*/, int& /*handle*/, int /*size*/, int& error) {
  error = ENOSYS;
  return nullptr;
}
char* XRSharedMemUtil::getSharedMemory(int /*key*/, int& error) {
  error = ENOSYS;
  return nullptr;
}
bool XRSharedMemUtil::deleteSharedMemory(char* /*address*/, int& error, int /*handle*/) {
  error = ENOSYS;
  return false;
}
