// Listener of the instance lookup: name, properties and, for application
// type 7, content, as one text stream.
#ifndef APPMGR_INSTANCEBCLSN_H_
#define APPMGR_INSTANCEBCLSN_H_

#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/AppMgrProps.h"
#include "AppMgr/PropCallBack.h"
#include "platform/CSSessionWrapper.h"
#include "platform/xrsDatabuf.h"

class APPMGR_EXPORT InstanceBCLsn : public virtual PropCallBack, public virtual ContentCallBack {
 public:
  void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                             unsigned long reserved) override;
  virtual int lookupInstanceById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  virtual ~InstanceBCLsn();
  virtual int handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf);
  void initContentCallback(unsigned long type, std::string path) override;
  bool SetCaseSensitive(bool caseSensitive) override;

  void clearPropList();
  void clearContentList();

  AppMgrPropsList propList;
  AppMgrContentList contentList;
};

#endif  // APPMGR_INSTANCEBCLSN_H_
