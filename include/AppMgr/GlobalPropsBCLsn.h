// Listener of the global-parameter read.
#ifndef APPMGR_GLOBALPROPSBCLSN_H_
#define APPMGR_GLOBALPROPSBCLSN_H_

#include "AppMgr/AppMgrExport.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT GlobalPropsBCLsn {
 public:
  virtual int getProperty(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual ~GlobalPropsBCLsn();
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
};

#endif  // APPMGR_GLOBALPROPSBCLSN_H_
