// Configuration of one subclient: its backup content and filter groups.
#ifndef PLATFORM_SUBCLIENTCONF_H_
#define PLATFORM_SUBCLIENTCONF_H_

#include <string>
#include <vector>

#include "platform/BackupContent.h"

class ApplBackupContent {
 public:
  explicit ApplBackupContent(unsigned long subclientId) : subclientId_(subclientId) {}
  virtual ~ApplBackupContent();

  // Leaves exactly the subclient's backup content in `content`.
  int getFiles(BackupContent& content, void* reserved, bool flag);
  // The same read for in-process callers: replaces `entries` with the
  // backup content (empty on failure), assigning into the strings it holds
  // so that a vector reused from read to read keeps their room, and without
  // the list of pointers that a BackupContent hands out.
  int readFiles(std::vector<std::string>& entries);

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
  // The same read into `entries`, as readFiles does.
  int readFilters(unsigned int type, std::vector<std::string>& entries);
};

#endif  // PLATFORM_SUBCLIENTCONF_H_
