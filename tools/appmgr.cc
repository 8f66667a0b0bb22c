// appmgr: the command line of the application-manager listener. Asks
// appmgrd what it knows and changes it, and administers SQLite stores; the
// logic lives in tools/cli (runCli).
//
// Example: appmgr --port 7410 client get 5
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "CliApp.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const char* address = std::getenv(appmgr::cli::kAddressVariable);
  return appmgr::cli::runCli(args, std::cout, std::cerr, address != nullptr ? address : "");
}
