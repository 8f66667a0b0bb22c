// Opens the configuration store that appmgrd serves, from its command-line
// argument or from the platform registry.
#ifndef HOST_STOREOPENER_H_
#define HOST_STOREOPENER_H_

#include <memory>
#include <string>

#include "platform/ConfigStore.h"

namespace appmgr {

struct StoreSpec {
  enum class Kind {
    kNone,    // not given: take it from the registry
    kSqlite,  // --store FILE.db
    kJson,    // --store-json FILE: an in-memory store loaded from JSON
  };
  Kind kind = Kind::kNone;
  std::string path;
};

// Registry keys naming the store when the command line does not:
// [AppMgr] sStoreFile (SQLite) or sStoreJsonFile (JSON).
constexpr char kStoreRegistrySection[] = "AppMgr";
constexpr char kStoreRegistryFileKey[] = "sStoreFile";
constexpr char kStoreRegistryJsonKey[] = "sStoreJsonFile";

// The spec after consulting the registry for a kNone spec; kNone again when
// the registry names no store either.
StoreSpec resolveStoreSpec(const StoreSpec& spec);

// Opens the store `spec` names; null with a message when it cannot.
std::shared_ptr<ConfigStore> openStore(const StoreSpec& spec, std::string& error);

}  // namespace appmgr

#endif  // HOST_STOREOPENER_H_
