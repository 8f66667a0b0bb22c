// The application-manager request id of the calling thread, kept in a
// 4-byte System V shared-memory segment so that one piece of code can store
// it and another on the same thread can pick it up without passing it
// along. The segment's key comes from a key file named after the process id
// and the thread id, in the directory "Base"/"dTARVENTEMPDIR" of the
// platform configuration.
#ifndef APPMGR_APPMGRSHMUTIL_H_
#define APPMGR_APPMGRSHMUTIL_H_

#include <cstdint>

#include "AppMgr/AppMgrExport.h"
#include "platform/XRSharedMemUtil.h"

// The segment's whole content: the low 32 bits of the request id, native
// byte order.
struct APPMGR_EXPORT AppMgrShmWrapper {
  AppMgrShmWrapper() : requestId(0) {}
  uint32_t requestId;
};
static_assert(sizeof(AppMgrShmWrapper) == 4, "the shared segment holds exactly 4 bytes");

class APPMGR_EXPORT AppMgrShmUtil : public XRSharedMemUtil {
 public:
  AppMgrShmUtil() = default;

  // Stores the low 32 bits of `requestId` for the calling thread, creating
  // the key file and the segment when needed (a second call overwrites the
  // id). False, after logging, when the key file, the key or the segment
  // cannot be made or opened. The segment stays attached until
  // getAPIRequest reads the id and removes it.
  bool setAPIRequest(unsigned long requestId);

  // The id stored for the calling thread, or 0 (logged) when there is none.
  // The segment is removed after the read, so an id is delivered once.
  unsigned long getAPIRequest();

 private:
  char* segmentAddress_ = nullptr;
  int segmentHandle_ = 0;
  int key_ = 0;
};

// Kept for callers of the old interface: stores nothing and returns true.
APPMGR_EXPORT bool setAppMgrCloudReqID(unsigned long requestId);
// Kept for callers of the old interface: always 0.
APPMGR_EXPORT unsigned long getAppMgrCloudReqID();

#endif  // APPMGR_APPMGRSHMUTIL_H_
