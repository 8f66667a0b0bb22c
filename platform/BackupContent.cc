// Entries of one content or filter read.
#include "platform/BackupContent.h"

#include <memory>
#include <utility>

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

void BackupContent::assign(std::vector<std::string>&& entries) {
  // One BackupContent usually serves several reads in a row: the string
  // objects and list nodes it holds are reused for the new entries.
  auto slot = entries_.begin();
  for (std::string& entry : entries) {
    if (slot != entries_.end()) {
      **slot = std::move(entry);
      ++slot;
    } else {
      auto moved = std::make_unique<std::string>(std::move(entry));
      entries_.push_back(moved.get());
      moved.release();
    }
  }
  while (slot != entries_.end()) {
    delete *slot;
    slot = entries_.erase(slot);
  }
  entries.clear();
}

void BackupContent::clear() {
  for (std::string* entry : entries_) delete entry;
  entries_.clear();
}
