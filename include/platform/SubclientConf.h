// Configuration of one subclient: its backup content and filter groups.
#ifndef PLATFORM_SUBCLIENTCONF_H_
#define PLATFORM_SUBCLIENTCONF_H_

#include "platform/BackupContent.h"

class ApplBackupContent {
 public:
  explicit ApplBackupContent(unsigned long subclientId) : subclientId_(subclientId) {}
  virtual ~ApplBackupContent();

  // Leaves exactly the subclient's backup content in `content`.
  int getFiles(BackupContent& content, void* reserved, bool flag);

 protected:
  unsigned long subclientId_;
};

class SubclientConf : public ApplBackupContent {
 public:
  explicit SubclientConf(unsigned long subclientId);
  ~SubclientConf() override;

  // Leaves exactly the entries of filter group `type` (2..8) in `content`.
  int getFilters(unsigned int type, BackupContent& content, void* reserved, bool flag1, bool flag2,
                 bool flag3);
};

#endif  // PLATFORM_SUBCLIENTCONF_H_
