// The store administration commands of appmgr: make an empty store, load a
// JSON tree into one (in one transaction), write one back as JSON, and
// check one. `storePath` is an SQLite file or a libpq connection string
// (the store opener tells them apart). The commands that write refuse to
// replace an existing file, or a PostgreSQL store that holds any
// configuration, unless `force` is set; a file or schema that is not a
// store of ours is never replaced, forced or not. Messages name a
// PostgreSQL store without the password of its connection string.
#ifndef TOOLS_CLI_STOREADMIN_H_
#define TOOLS_CLI_STOREADMIN_H_

#include <ostream>
#include <string>

namespace appmgr {
namespace cli {

// Each returns 0 on success, else 1 with the reason on `err`.
int storeInit(const std::string& storePath, bool force, std::ostream& out, std::ostream& err);
int storeImport(const std::string& storePath, const std::string& treePath, bool force, std::ostream& out,
                std::ostream& err);
// treePath "-" writes the tree to `out`.
int storeExport(const std::string& storePath, const std::string& treePath, bool force, std::ostream& out,
                std::ostream& err);
// Schema (application and version, checked on open), the engine's
// integrity check (SQLite's own; for PostgreSQL the store's check of its
// tables, indexes, foreign keys and orphan rows), and the tree's own rules
// (every row's parent exists, names and groups valid) on the tree read
// back. Export and check never create a store.
int storeCheck(const std::string& storePath, std::ostream& out, std::ostream& err);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_STOREADMIN_H_
