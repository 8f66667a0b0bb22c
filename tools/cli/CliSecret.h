// Secrets typed for --set-secret: read without echo from a terminal (or a
// line of standard input when it is not one) and encrypted with the
// platform's password class under the key file that the registry names, so
// that the value never travels or lands in the store in the clear.
#ifndef TOOLS_CLI_CLISECRET_H_
#define TOOLS_CLI_CLISECRET_H_

#include <istream>
#include <ostream>
#include <string>

namespace appmgr {
namespace cli {

// The registry the platform reads: `registryOption` (--registry) when
// given, else $APPMGR_PLATFORM_CONFIG, else the platform's default path.
std::string registryPath(const std::string& registryOption);

// Encrypts `plain` in the current password format with the key the
// registry at `registry` names. Throws UsageError that names the registry
// or the key file and says what is wrong with it (missing, unreadable,
// readable by others, no key in it).
std::string encryptSecret(const std::string& plain, const std::string& registry);

// Reads one secret value for the property `name`: from `input` when it is
// given (tests), else from the terminal without echo (asked twice, the two
// must match) or, when standard input is not a terminal, its next line.
// Throws UsageError when no value can be read.
std::string readSecret(const std::string& name, std::istream* input, std::ostream& err);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLISECRET_H_
