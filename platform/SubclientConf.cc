// Subclient configuration: content and filter reads.
#include "platform/SubclientConf.h"

#include "AppMgr/appMgrErrorCodes.h"

ApplBackupContent::~ApplBackupContent() = default;

int ApplBackupContent::getFiles(BackupContent& content, void* /*reserved*/, bool /*flag*/) {
  content.clear();
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}

SubclientConf::SubclientConf(unsigned long subclientId) : ApplBackupContent(subclientId) {}

SubclientConf::~SubclientConf() = default;

int SubclientConf::getFilters(unsigned int /*type*/, BackupContent& content, void* /*reserved*/,
                              bool /*flag1*/, bool /*flag2*/, bool /*flag3*/) {
  content.clear();
  return static_cast<int>(XR_NOT_IMPLEMENTED);
}
