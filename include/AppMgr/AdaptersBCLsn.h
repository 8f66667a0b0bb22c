// Listener of the adapters' list queries and single-value lookups. The
// request text starts with a query or lookup type that selects the handler.
#ifndef APPMGR_ADAPTERSBCLSN_H_
#define APPMGR_ADAPTERSBCLSN_H_

#include "AppMgr/AppMgrExport.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT AdaptersBCLsn {
 public:
  virtual int getVelmoraList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getClientList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getClientListOfType(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getAppIdList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getApplicationTypes(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getInstanceList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getBackupSetList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getSubclientList(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getApplications(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getApplicationTypeName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getAppIdString(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getClientId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getInstanceName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
};

#endif  // APPMGR_ADAPTERSBCLSN_H_
