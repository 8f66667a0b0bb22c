// Entry point of the listener library. The host calls handleMessage once per
// application-manager request; the request code selects a listener from the
// request table, which sends at most one response on the session.
#ifndef APPMGR_BCLSNMSGHANDLER_H_
#define APPMGR_BCLSNMSGHANDLER_H_

#include "AppMgr/AppMgrExport.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT BCLsnMsgHandler {
 public:
  // The error code the serving handler put into its response (0 on
  // success), or 0 for a request code that is not served (logged, nothing
  // sent). Exceptions from outside the library pass through.
  static int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
};

#endif  // APPMGR_BCLSNMSGHANDLER_H_
