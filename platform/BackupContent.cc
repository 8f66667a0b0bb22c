// Entries of one content or filter read.
//
// One BackupContent usually serves several reads in a row. The texts live in
// one vector, taken over from the store's read without copying, and the
// list nodes that point at them are reused from read to read.
#include "platform/BackupContent.h"

#include <utility>

BackupContent::~BackupContent() = default;

void BackupContent::assign(const std::vector<std::string>& entries) {
  texts_ = entries;
  relink();
}

void BackupContent::assign(std::vector<std::string>&& entries) {
  texts_ = std::move(entries);
  entries.clear();
  relink();
}

void BackupContent::clear() {
  texts_.clear();
  entries_.clear();
}

void BackupContent::relink() {
  entries_.resize(texts_.size());
  auto slot = entries_.begin();
  for (std::string& text : texts_) *slot++ = &text;
}
