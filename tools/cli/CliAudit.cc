// The audit commands of appmgr.
#include "CliAudit.h"

#include <fstream>

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "CliRequest.h"
#include "host/AppMgrNames.h"
#include "store/AuditTrail.h"
#include "store/StoreOpener.h"

namespace appmgr {
namespace cli {

namespace {

using Json = nlohmann::ordered_json;

int64_t timeArgument(const char* flag, const std::string& text, int64_t unset) {
  if (text.empty()) return unset;
  int64_t value = 0;
  if (!parseAuditTime(text, value)) {
    throw UsageError(std::string(flag) +
                     " takes a UTC time such as 2026-12-08 or 2026-12-08T07:30:00, not \"" + text + "\"");
  }
  return value;
}

// A value as the change line shows it: quoted, or "none" when there was none.
std::string shown(const Json& value) { return value.is_null() ? "none" : value.dump(); }

// The lines of one entry's change.
void printChange(const std::string& change, std::ostream& out) {
  Json j;
  try {
    j = Json::parse(change);
  } catch (const std::exception&) {
    out << "  " << change << "\n";  // not ours: as stored
    return;
  }
  if (!j.value("changed", true)) out << "  no change\n";
  if (j.contains("group")) {
    const std::string group = j["group"] == 1 ? "content" : "filter group " + j["group"].dump();
    for (const Json& e : j["added"]) out << "  " << group << " added " << e.dump() << "\n";
    for (const Json& e : j["removed"]) out << "  " << group << " removed " << e.dump() << "\n";
    return;
  }
  for (const Json& p : j.value("set", Json::array())) {
    out << "  set " << p["name"].dump() << " (type " << p["type"].dump()
        << (p.contains("oldType") ? ", was " + p["oldType"].dump() : std::string())
        << "): " << shown(p["old"]) << " -> " << shown(p["new"]) << "\n";
  }
  if (!j.contains("group")) {
    for (const Json& p : j.value("removed", Json::array()))
      out << "  removed " << p["name"].dump() << " (type " << p["type"].dump() << "): " << shown(p["old"])
          << "\n";
  }
  if (j.contains("replaced")) {
    out << "  replaced the tree:";
    for (const auto& item : j["replaced"].items()) out << " " << item.key() << " " << item.value().dump();
    out << "\n";
  }
}

}  // namespace

AuditFilter auditFilter(const AuditArguments& arguments) {
  AuditFilter filter;
  if (!arguments.object.empty()) {
    const size_t colon = arguments.object.find(':');
    const std::string kind = arguments.object.substr(0, colon);
    const std::string id = colon == std::string::npos ? "" : arguments.object.substr(colon + 1);
    bool known = false;
    for (uint32_t k = 1; wire::auditObjectKindName(k) != nullptr; ++k)
      known |= kind == wire::auditObjectKindName(k);
    if (!known || id.empty() || id.size() > 20 || id.find_first_not_of("0123456789") != std::string::npos) {
      throw UsageError(
          "--object takes KIND:ID (client, instance, backupSet, subclient or tree, e.g. client:5), not \"" +
          arguments.object + "\"");
    }
    filter.objectKind = kind;
    filter.objectId = std::stoull(id);
  }
  filter.sinceUs = timeArgument("--since", arguments.since, filter.sinceUs);
  filter.untilUs = timeArgument("--until", arguments.until, filter.untilUs);
  filter.limit = arguments.limit;
  return filter;
}

wire::AuditReadRecord auditReadRecord(const AuditFilter& filter) {
  wire::AuditReadRecord read;
  for (uint32_t k = 1; wire::auditObjectKindName(k) != nullptr; ++k) {
    if (filter.objectKind == wire::auditObjectKindName(k)) read.objectKind = k;
  }
  read.objectId = filter.objectId;
  read.sinceUs = filter.sinceUs;
  read.untilUs = filter.untilUs;
  read.limit = filter.limit;
  return read;
}

void printAudit(const std::vector<AuditEntry>& entries, bool more, bool json, std::ostream& out) {
  if (json) {
    Json list = Json::array();
    for (const AuditEntry& entry : entries) list.push_back(Json::parse(auditEntryJson(entry)));
    out << Json{{"entries", list}, {"more", more}}.dump(2) << "\n";
    return;
  }
  for (const AuditEntry& entry : entries) {
    const char* name = entry.requestName.empty() ? requestCodeName(entry.requestCode) : nullptr;
    const std::string request = !entry.requestName.empty() ? entry.requestName
                                : name != nullptr          ? std::string(name)
                                                           : "no request";
    out << "#" << entry.seq << "  " << formatAuditTime(entry.timeUs) << "  " << entry.objectKind << ":"
        << entry.objectId << "  " << request << "  by " << entry.who << "\n";
    printChange(entry.change, out);
  }
  if (entries.empty()) out << "no audit entries\n";
  if (more) out << "(more entries: narrow with --object, --since, --until or --limit)\n";
}

int storeAudit(const std::string& storePath, const AuditFilter& filter, bool json, std::ostream& out,
               std::ostream& err) {
  AdminStore store;
  std::string errorText;
  std::vector<AuditEntry> entries;
  if (!openExistingStore(storePath, store, errorText) ||
      store.config().readAudit(filter, entries, errorText) != 0) {
    err << "appmgr: " << errorText << "\n";
    return 1;
  }
  printAudit(entries, false, json, out);
  return 0;
}

int storeExportAudit(const std::string& storePath, const std::string& file, bool force, std::ostream& out,
                     std::ostream& err) {
  struct stat st;
  if (file != "-" && ::stat(file.c_str(), &st) == 0 && !force) {
    err << "appmgr: " << file << " exists; use --force to replace it\n";
    return 1;
  }
  AdminStore store;
  std::string errorText;
  std::vector<AuditEntry> entries;
  if (!openExistingStore(storePath, store, errorText) ||
      store.config().readAudit(AuditFilter(), entries, errorText) != 0) {
    err << "appmgr: " << errorText << "\n";
    return 1;
  }
  std::ofstream file_;
  if (file != "-") {
    file_.open(file, std::ios::binary | std::ios::trunc);
    if (!file_) {
      err << "appmgr: cannot write " << file << "\n";
      return 1;
    }
  }
  std::ostream& to = file == "-" ? out : file_;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) to << auditEntryJson(*it) << "\n";
  to.flush();
  if (!to) {
    err << "appmgr: cannot write " << file << "\n";
    return 1;
  }
  if (file != "-")
    out << "exported " << entries.size() << " audit entries of " << store.name << " to " << file << "\n";
  return 0;
}

}  // namespace cli
}  // namespace appmgr
