// Names of the listener's error codes, for the command line's messages and
// its JSON output.
#ifndef TOOLS_CLI_CLIERRORNAMES_H_
#define TOOLS_CLI_CLIERRORNAMES_H_

#include <cstdint>

namespace appmgr {
namespace cli {

// The constant's name of `code` ("XR_CLIENT_NOT_FOUND"); "OK" for 0 and
// "UNKNOWN_ERROR" for a code outside the table.
const char* errorCodeName(uint32_t code);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLIERRORNAMES_H_
