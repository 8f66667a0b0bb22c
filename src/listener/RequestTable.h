// The request table: one row per served request code, saying which listener
// and handler serve it and what the handler answers. The dispatcher, the
// listeners and the send step all read it; nothing else lists the codes.
#ifndef SRC_LISTENER_REQUESTTABLE_H_
#define SRC_LISTENER_REQUESTTABLE_H_

#include <cstddef>

enum class ListenerId {
  kVelmora,
  kGlobalProps,
  kClient,
  kAppId,
  kInstance,
  kBackupSet,
  kSubclient,
  kAdapters
};

enum class HandlerId {
  kNone,  // not served
  kLookupVelmoraById,
  kLookupVelmoraByName,
  kGetProperty,
  kLookupClientById,
  kLookupClientByName,
  kLookupClientByHostname,
  kGetNumApplicationId,
  kGetSymApplicationId,
  kGetProps,
  kLookupInstanceById,
  kLookupBackupSetById,
  kLookupSubclientById,
  kUpdateFiles,
  kUpdateFilters,
  kUpdateProperties,
  kSetPropsByAppId,
  kSetProps,
  kDoQuery,
  kDoLookup,
};

struct RequestRow {
  unsigned long requestCode;
  ListenerId listener;
  HandlerId handler;
  unsigned long responseCode;
  unsigned int recordLength;
};

extern const RequestRow kRequestTable[];
extern const size_t kRequestTableSize;

// The row of a request code, or null when the code is not served.
const RequestRow* findRequest(unsigned long requestCode);

// The handler that `listener` runs for `requestCode`, or kNone when the code
// is not served or belongs to another listener.
HandlerId handlerFor(ListenerId listener, unsigned long requestCode);

// The row of a handler. Every HandlerId but kNone has exactly one row.
const RequestRow& rowOf(HandlerId handler);

#endif  // SRC_LISTENER_REQUESTTABLE_H_
