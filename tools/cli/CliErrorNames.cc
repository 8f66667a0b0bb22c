// The command line's error names are the client library's.
#include "CliErrorNames.h"

#include "host/AppMgrNames.h"

namespace appmgr {
namespace cli {

const char* errorCodeName(uint32_t code) { return appmgr::errorCodeName(code); }

}  // namespace cli
}  // namespace appmgr
