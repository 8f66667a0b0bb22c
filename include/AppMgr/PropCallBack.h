// Delivery interfaces through which the database layer hands an object's
// properties and content to a listener, one item per call, before the
// database operation returns.
#ifndef APPMGR_PROPCALLBACK_H_
#define APPMGR_PROPCALLBACK_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

class APPMGR_EXPORT PropCallBack {
 public:
  // Called once per property; the fourth argument is the database layer's
  // and is ignored by every listener.
  virtual void getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                     unsigned long reserved) = 0;
  // Does nothing and returns 0; no listener overrides it. Defined inline so
  // that the class has no key function: the platform library, which calls
  // through this interface, then needs no symbol of the listener library.
  virtual int getPropertiesCallbackUpdate(std::string /*name*/, unsigned long /*type*/, std::string /*value*/,
                                          unsigned long /*reserved*/, bool /*update*/) {
    return 0;
  }

 protected:
  ~PropCallBack() = default;
};

class APPMGR_EXPORT ContentCallBack {
 public:
  // Called once per content item.
  virtual void initContentCallback(unsigned long type, std::string path) = 0;
  // Sets whether the content is case sensitive.
  virtual bool SetCaseSensitive(bool caseSensitive) = 0;

 protected:
  ~ContentCallBack() = default;
};

#endif  // APPMGR_PROPCALLBACK_H_
