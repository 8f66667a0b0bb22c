// The host's fallback for the store to serve: the platform registry's
// [AppMgr] sStoreFile or sStoreJsonFile when the command line names none.
#ifndef HOST_STOREREGISTRY_H_
#define HOST_STOREREGISTRY_H_

#include "store/StoreOpener.h"

namespace appmgr {

// The store to open once the registry is consulted for a kNone spec; kNone again when
// the registry names no store either.
StoreSpec resolveStoreSpec(const StoreSpec& spec);

}  // namespace appmgr

#endif  // HOST_STOREREGISTRY_H_
