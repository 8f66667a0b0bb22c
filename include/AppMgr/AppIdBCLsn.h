// Listener of the numeric and symbolic application-id resolutions.
#ifndef APPMGR_APPIDBCLSN_H_
#define APPMGR_APPIDBCLSN_H_

#include "AppMgr/AppMgrExport.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT AppIdBCLsn {
 public:
  virtual int getNumApplicationId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getSymApplicationId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
};

#endif  // APPMGR_APPIDBCLSN_H_
