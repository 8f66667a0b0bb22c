// The store administration commands of appmgr: make an empty SQLite store,
// load a JSON tree into one (in one transaction), write one back as JSON,
// and check one. The commands that write refuse to replace an existing file
// unless `force` is set; a file that is not a store of ours is never
// replaced, forced or not.
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
// Schema (application id and version, checked on open), SQLite's
// integrity check, and the tree's own rules (every row's parent exists,
// names and groups valid) on the tree read back.
int storeCheck(const std::string& storePath, std::ostream& out, std::ostream& err);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_STOREADMIN_H_
