// Database access to application ids.
#ifndef PLATFORM_APPIDINTERFACEDB_H_
#define PLATFORM_APPIDINTERFACEDB_H_

#include <string>

#include "AppMgr/AppIdInfo.h"

class AppIdInterface {
 public:
  virtual ~AppIdInterface();
  // Resolves the application named by info.accessMode and the fields that
  // mode names, and fills every other field of info. Access mode 0 resolves
  // from velmoraId and appId when both are set.
  virtual int getApplicationId(AppIdInfo& info, std::string& errorText, void* reserved) = 0;
};

class AppIdInterfaceDB final : public AppIdInterface {
 public:
  int getApplicationId(AppIdInfo& info, std::string& errorText, void* reserved) override;
};

#endif  // PLATFORM_APPIDINTERFACEDB_H_
