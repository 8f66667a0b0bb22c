// Entries of one content or filter read.
#include "platform/BackupContent.h"

BackupContent::~BackupContent() { clear(); }

void BackupContent::assign(const std::vector<std::string>& entries) {
  clear();
  for (const std::string& entry : entries) entries_.push_back(new std::string(entry));
}

void BackupContent::clear() {
  for (std::string* entry : entries_) delete entry;
  entries_.clear();
}
