// Listener of the client lookups and client property reads and writes.
#ifndef APPMGR_CLIENTBCLSN_H_
#define APPMGR_CLIENTBCLSN_H_

#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/AppMgrProps.h"
#include "AppMgr/PropCallBack.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT ClientBCLsn : public virtual PropCallBack {
 public:
  void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                             unsigned long reserved) override;
  virtual int lookupClientById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int lookupClientByName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int lookupClientByHostname(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int setProps(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int setPropsByAppId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int getProps(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual ~ClientBCLsn();
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);

  void clearPropList();

  AppMgrPropsList propList;
};

#endif  // APPMGR_CLIENTBCLSN_H_
