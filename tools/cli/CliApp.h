// The appmgr command line as a function: parses the arguments (CLI11),
// builds the request, talks to appmgrd through AppMgrClient and prints the
// reply; or runs a store administration command locally. tools/appmgr.cc
// is a thin main around it, and the tests call it in-process.
//
// Exit codes:
//   0  success
//   1  the listener answered an error (its code's name and the error text
//      on stderr), sent no response, or a store command failed
//   2  usage error: the arguments, a malformed APPMGR_ADDRESS, a new
//      property without its type, a password in plain text, a missing
//      password key (nothing is changed; a set-props may have read the
//      properties it changes)
//   3  the host cannot be reached, the connection failed, or the host
//      answered with an error frame
// With --json every failure also prints one JSON document on stdout, with
// "error": {"name", "number", "text"} (the reply's document when the
// listener answered).
#ifndef TOOLS_CLI_CLIAPP_H_
#define TOOLS_CLI_CLIAPP_H_

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace appmgr {
namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitListenerError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnreachable = 3;

// The environment variable that gives the host's address ("HOST:PORT" or
// "unix:PATH") when none of --host, --port and --socket is given.
constexpr const char* kAddressVariable = "APPMGR_ADDRESS";
constexpr const char* kDefaultAddress = "127.0.0.1:7410";

// Runs one command line (`args` without the program name). `envAddress` is
// the value of APPMGR_ADDRESS, empty when unset. --set-secret values are
// read from `secretInput`, one line each, when it is given; else from the
// terminal without echo (or standard input when it is not a terminal).
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const std::string& envAddress, std::istream* secretInput = nullptr);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLIAPP_H_
