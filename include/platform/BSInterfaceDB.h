// Database access to backup sets and their properties.
#ifndef PLATFORM_BSINTERFACEDB_H_
#define PLATFORM_BSINTERFACEDB_H_

#include <string>

#include "AppMgr/PropCallBack.h"

class BSInterface {
 public:
  virtual ~BSInterface();
  // On success: name, flags, instance id, client id, application type id,
  // description and subclient count of the backup set.
  virtual int lookup(unsigned long backupSetId, std::string& name, long& flags, unsigned long& instanceId,
                     unsigned long& clientId, unsigned long& appTypeId, std::string& description,
                     unsigned long& subclientCount, std::string& errorText, void* reserved) = 0;
  virtual int getProperties(unsigned long backupSetId, long passThrough, std::string& errorText,
                            PropCallBack* callback, void* reserved) = 0;
};

class BSInterfaceDB final : public BSInterface {
 public:
  int lookup(unsigned long backupSetId, std::string& name, long& flags, unsigned long& instanceId,
             unsigned long& clientId, unsigned long& appTypeId, std::string& description,
             unsigned long& subclientCount, std::string& errorText, void* reserved) override;
  int getProperties(unsigned long backupSetId, long passThrough, std::string& errorText,
                    PropCallBack* callback, void* reserved) override;
};

#endif  // PLATFORM_BSINTERFACEDB_H_
