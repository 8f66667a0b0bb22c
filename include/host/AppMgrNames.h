// Names of the application manager's request codes and error codes, for
// logs, metrics and the command line's messages: the constants' own names.
#ifndef HOST_APPMGRNAMES_H_
#define HOST_APPMGRNAMES_H_

#include <cstdint>

namespace appmgr {

// "APPMAN_VELMORA_BY_ID_REQ" for a served request code; null for any other.
const char* requestCodeName(unsigned long code);

// "XR_CLIENT_NOT_FOUND"; "OK" for 0 and "UNKNOWN_ERROR" for a code outside
// the table.
const char* errorCodeName(uint32_t code);

}  // namespace appmgr

#endif  // HOST_APPMGRNAMES_H_
