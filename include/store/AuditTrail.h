// The text forms of the audit trail: times, one entry as a line of JSON
// (what `appmgr store export --audit` writes and the host sends), and the
// change part of an entry as the stores build it.
#ifndef STORE_AUDITTRAIL_H_
#define STORE_AUDITTRAIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "store/ConfigStore.h"

// Now, in microseconds since 1970-01-01 UTC.
int64_t auditNowUs();

// "2026-12-08T07:30:41.123456Z".
std::string formatAuditTime(int64_t timeUs);
// Reads "YYYY-MM-DD", "YYYY-MM-DDTHH:MM:SS" or that with ".ffffff" (1 to 6
// digits), each optionally ending in "Z"; always UTC. False on anything else.
bool parseAuditTime(const std::string& text, int64_t& timeUs);

// The object kind of a property owner as an entry names it.
const char* auditObjectKind(PropertyOwner owner);

// One entry as one line of JSON (no newline):
// {"seq":..,"time":"..","who":"..","request":{"code":..,"name":".."},
//  "object":{"kind":"..","id":..},"change":{..}}
// Texts are written as given; a byte that is not part of valid UTF-8 is
// written as the code point of the same number (\u00XX).
std::string auditEntryJson(const AuditEntry& entry);
// Reads such a line back; false with the reason when it is not one.
bool parseAuditEntryJson(const std::string& line, AuditEntry& entry, std::string& errorText);

// A JSON string literal of `text`, quotes included, as above.
std::string auditJsonString(const std::string& text);

// The change part of an entry, built as a change is made. The JSON object
// has "changed" (false when the write changed nothing) and the members of
// what was asked: "set", "removed" (properties), "group" with "added" and
// "removed" (entries), or "replaced" (counts of a whole tree's rows).
class AuditChange {
 public:
  enum class Kind { kSetProperties, kRemoveProperties, kEntries, kTree };
  explicit AuditChange(Kind kind) : kind_(kind) {}

  // A property set: `existed` false when it was not there.
  void set(const std::string& name, unsigned long type, bool existed, unsigned long oldType,
           const std::string& oldValue, const std::string& newValue);
  void removed(const std::string& name, unsigned long type, const std::string& oldValue);
  void entries(int group, const std::vector<std::string>& added, const std::vector<std::string>& removed);
  void replaced(const std::vector<std::pair<const char*, uint64_t>>& counts);

  bool changed() const { return changed_; }
  std::string json() const;

 private:
  Kind kind_;
  bool changed_ = false;
  int group_ = 0;
  std::string list_, second_;  // the items of "set"/"removed"/"added", and of an entry group's "removed"
};

// The entry of one change by the calling thread's actor, stamped now.
AuditEntry auditEntryNow(const std::string& objectKind, uint64_t objectId, const AuditChange& change);

#endif  // STORE_AUDITTRAIL_H_
