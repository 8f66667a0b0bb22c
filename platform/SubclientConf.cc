// Subclient configuration: reads of the backup content and of the filter
// groups through the configuration store. Every read replaces what the
// BackupContent held, so one BackupContent can serve several reads; a failed
// read leaves it empty.
#include "platform/SubclientConf.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"

#include "store/ConfigStore.h"

namespace {

// Reads one entry group of a subclient into `entries` (empty on failure).
// These reads have no error-text argument, so the store's text goes no
// further.
int readGroup(unsigned long subclientId, int group, std::vector<std::string>& entries) {
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  int result = static_cast<int>(XR_GET_INTERFACE_FAILED);
  if (store) {
    std::string errorText;
    result = store->listSubclientEntries(subclientId, group, entries, errorText);
  }
  if (result != 0) entries.clear();
  return result;
}

// The same into `content`, which takes over the entries read.
int readGroup(unsigned long subclientId, int group, BackupContent& content) {
  std::vector<std::string> entries;
  const int result = readGroup(subclientId, group, entries);
  if (result != 0) {
    content.clear();
    return result;
  }
  content.assign(std::move(entries));
  return 0;
}

}  // namespace

ApplBackupContent::~ApplBackupContent() = default;

int ApplBackupContent::getFiles(BackupContent& content, void* /*reserved*/, bool /*flag*/) {
  return readGroup(subclientId_, kSubclientContentGroup, content);
}

int ApplBackupContent::readFiles(std::vector<std::string>& entries) {
  return readGroup(subclientId_, kSubclientContentGroup, entries);
}

SubclientConf::SubclientConf(unsigned long subclientId) : ApplBackupContent(subclientId) {}

SubclientConf::~SubclientConf() = default;

int SubclientConf::getFilters(unsigned int type, BackupContent& content, void* /*reserved*/, bool /*flag1*/,
                              bool /*flag2*/, bool /*flag3*/) {
  if (type < static_cast<unsigned int>(kFirstFilterGroup) ||
      type > static_cast<unsigned int>(kLastFilterGroup)) {
    content.clear();
    return static_cast<int>(XR_BAD_CONTENT_TYPE);
  }
  return readGroup(subclientId_, static_cast<int>(type), content);
}

int SubclientConf::readFilters(unsigned int type, std::vector<std::string>& entries) {
  if (type < static_cast<unsigned int>(kFirstFilterGroup) ||
      type > static_cast<unsigned int>(kLastFilterGroup)) {
    entries.clear();
    return static_cast<int>(XR_BAD_CONTENT_TYPE);
  }
  return readGroup(subclientId_, static_cast<int>(type), entries);
}
