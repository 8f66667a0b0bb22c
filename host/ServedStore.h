// Opens the store appmgrd serves, more carefully than the administration
// commands need to: a store that does not exist yet is refused unless the
// operator asked for one to be created, an SQLite file passes SQLite's quick
// check before anything is written to it, and the result is summed up for
// the start-up line.
#ifndef HOST_SERVEDSTORE_H_
#define HOST_SERVEDSTORE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "store/StoreOpener.h"

namespace appmgr {

// Exit codes of a store that cannot be served: it does not exist (nor was
// its creation asked for), or it exists and cannot be opened or checked.
constexpr int kExitStoreMissing = 4;
constexpr int kExitStoreUnusable = 3;

// Opens `spec` (already resolved against the registry). `create` lets a
// missing SQLite file or a PostgreSQL schema without a store be created.
// 0 with `store` and `summary` set, else one of the exit codes above with
// `error` naming the store and what to do.
int openServedStore(const StoreSpec& spec, bool create, std::shared_ptr<ConfigStore>& store,
                    StoreSummary& summary, std::string& error);

// "STORE (KIND, schema version N: V Velmoras, C clients, S subclients)".
std::string describeStore(const StoreSummary& summary);

}  // namespace appmgr

#endif  // HOST_SERVEDSTORE_H_
