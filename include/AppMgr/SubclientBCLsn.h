// Listener of the subclient lookup and of the subclient property, content
// and filter updates.
#ifndef APPMGR_SUBCLIENTBCLSN_H_
#define APPMGR_SUBCLIENTBCLSN_H_

#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/AppMgrProps.h"
#include "AppMgr/PropCallBack.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT SubclientBCLsn : public virtual PropCallBack {
 public:
  void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                             unsigned long reserved) override;
  virtual int lookupSubclientById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int updateProperties(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int updateFiles(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual int updateFilters(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual ~SubclientBCLsn();
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);

  void clearPropList();

  AppMgrPropsList propList;
};

#endif  // APPMGR_SUBCLIENTBCLSN_H_
