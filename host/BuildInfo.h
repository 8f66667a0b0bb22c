// The version of this build, for --version and the start-up line.
#ifndef HOST_BUILDINFO_H_
#define HOST_BUILDINFO_H_

#include <string>

namespace appmgr {

// "0.1.0", or "0.1.0 (git 1a2b3c4d5e6f)" when built from a git checkout
// ("-dirty" after the commit when the checkout had uncommitted changes).
std::string buildVersion();

}  // namespace appmgr

#endif  // HOST_BUILDINFO_H_
