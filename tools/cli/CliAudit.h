// appmgr's audit commands: `appmgr audit` (through the host), `appmgr store
// audit` (a store read directly) and the trail written by `appmgr store
// export --audit`, with the filters they share and the way entries print.
#ifndef TOOLS_CLI_CLIAUDIT_H_
#define TOOLS_CLI_CLIAUDIT_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "host/WireFormat.h"
#include "store/ConfigStore.h"

namespace appmgr {
namespace cli {

// The filter flags as given: --object KIND:ID, --since/--until TIME (UTC,
// YYYY-MM-DD[THH:MM:SS[.ffffff]][Z]), --limit N.
struct AuditArguments {
  std::string object, since, until;
  uint64_t limit = 0;
};

// The store's filter of the flags; throws UsageError for a bad one.
AuditFilter auditFilter(const AuditArguments& arguments);
// The same filter as the host reads it.
wire::AuditReadRecord auditReadRecord(const AuditFilter& filter);

// Entries newest first: with `json` one document {"entries": [...],
// "more": bool}; else a block per entry, its header line and one line per
// change. `more`: the host left entries out.
void printAudit(const std::vector<AuditEntry>& entries, bool more, bool json, std::ostream& out);

// `appmgr store audit STORE`: 0, or 1 with the reason on `err`.
int storeAudit(const std::string& storePath, const AuditFilter& filter, bool json, std::ostream& out,
               std::ostream& err);
// The whole trail of a store, oldest first, one JSON line per entry, to
// `file` ("-": `out`); an existing file only with `force`.
int storeExportAudit(const std::string& storePath, const std::string& file, bool force, std::ostream& out,
                     std::ostream& err);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLIAUDIT_H_
