// The version of this build, from the header cmake/BuildInfo.cmake writes.
#include "host/BuildInfo.h"

#include "AppmgrBuildInfo.h"

namespace appmgr {

std::string buildVersion() {
  const std::string commit = APPMGR_GIT_COMMIT;
  return commit.empty() ? APPMGR_VERSION : std::string(APPMGR_VERSION) + " (git " + commit + ")";
}

}  // namespace appmgr
