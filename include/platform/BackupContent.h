// Content or filter entries of a subclient, as one read left them. Hands
// them out as a list of string pointers; each read replaces what it held.
#ifndef PLATFORM_BACKUPCONTENT_H_
#define PLATFORM_BACKUPCONTENT_H_

#include <cstddef>
#include <list>
#include <string>
#include <vector>

class BackupContent {
 public:
  using const_iterator = std::list<std::string*>::const_iterator;

  BackupContent() = default;
  ~BackupContent();
  BackupContent(const BackupContent&) = delete;
  BackupContent& operator=(const BackupContent&) = delete;

  size_t size() const { return entries_.size(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

  // Replaces the entries by copies of `entries`.
  void assign(const std::vector<std::string>& entries);
  // The same, taking over `entries` (left empty) instead of copying them.
  void assign(std::vector<std::string>&& entries);
  void clear();

 private:
  // Points the list at the texts, in order, reusing its nodes.
  void relink();

  std::vector<std::string> texts_;   // the entries; owned here
  std::list<std::string*> entries_;  // one pointer into texts_ per entry
};

#endif  // PLATFORM_BACKUPCONTENT_H_
