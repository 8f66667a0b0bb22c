// Entries of one content or filter read.
#include "platform/BackupContent.h"

#include <memory>

BackupContent::~BackupContent() { clear(); }

void BackupContent::assign(const std::vector<std::string>& entries) {
  clear();
  for (const std::string& entry : entries) {
    // The list takes ownership only once the pointer is in it.
    auto copy = std::make_unique<std::string>(entry);
    entries_.push_back(copy.get());
    copy.release();
  }
}

void BackupContent::clear() {
  for (std::string* entry : entries_) delete entry;
  entries_.clear();
}
