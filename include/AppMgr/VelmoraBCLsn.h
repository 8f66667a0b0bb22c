// Listener of the Velmora lookups by id and by name.
#ifndef APPMGR_VELMORABCLSN_H_
#define APPMGR_VELMORABCLSN_H_

#include "AppMgr/AppMgrExport.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT VelmoraBCLsn {
 public:
  virtual int lookupVelmoraById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int lookupVelmoraByName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
};

#endif  // APPMGR_VELMORABCLSN_H_
