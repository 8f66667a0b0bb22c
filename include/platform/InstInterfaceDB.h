// Database access to instances, their properties and content.
#ifndef PLATFORM_INSTINTERFACEDB_H_
#define PLATFORM_INSTINTERFACEDB_H_

#include <string>

#include "AppMgr/PropCallBack.h"

class InstInterface {
 public:
  virtual ~InstInterface();
  // On success: name, flags, client id, application type id, Velmora id and
  // description of the instance.
  virtual int lookup(unsigned long instanceId, std::string& name, long& flags, unsigned long& clientId,
                     unsigned long& appTypeId, unsigned long& velmoraId, std::string& description,
                     std::string& errorText, void* reserved) = 0;
  virtual int getProperties(unsigned long instanceId, long passThrough, std::string& errorText,
                            PropCallBack* callback, void* reserved) = 0;
  virtual int initContent(unsigned long instanceId, long passThrough, std::string& errorText,
                          ContentCallBack* callback, void* reserved) = 0;
};

class InstInterfaceDB final : public InstInterface {
 public:
  int lookup(unsigned long instanceId, std::string& name, long& flags, unsigned long& clientId,
             unsigned long& appTypeId, unsigned long& velmoraId, std::string& description,
             std::string& errorText, void* reserved) override;
  int getProperties(unsigned long instanceId, long passThrough, std::string& errorText,
                    PropCallBack* callback, void* reserved) override;
  int initContent(unsigned long instanceId, long passThrough, std::string& errorText,
                  ContentCallBack* callback, void* reserved) override;
};

#endif  // PLATFORM_INSTINTERFACEDB_H_
