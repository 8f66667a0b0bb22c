// appmgrd's run: sets the registry path, opens and installs the store,
// chooses the log sink, starts the server, prints the readiness line and
// serves until SIGTERM or SIGINT. SIGHUP reopens the log file.
#ifndef HOST_HOSTDAEMON_H_
#define HOST_HOSTDAEMON_H_

#include <cstdio>
#include <string>

#include "host/HostOptions.h"
#include "store/StoreOpener.h"

namespace appmgr {

// Log verbosities (--log-level error, info, debug).
constexpr int kLogError = 0;
constexpr int kLogInfo = 1;
constexpr int kLogDebug = 2;

struct DaemonOptions {
  HostOptions host;
  StoreSpec store;
  // The platform registry (an INI file); empty keeps APPMGR_PLATFORM_CONFIG.
  std::string registryPath;
  // Log file, appended to; empty logs to stderr.
  std::string logFile;
  // The access log: a file appended to, "-" for stderr, "off" for none.
  std::string accessLog = "off";
  // DebugLvl threshold; negative keeps the process default.
  int logLevel = -1;
  // Which lines are logged: errors only, also the host's own lines (the
  // default), or also the listener library's per-request lines.
  int verbosity = kLogInfo;
  // Create a store that does not exist yet (an SQLite file, a PostgreSQL
  // schema without one) instead of refusing to start.
  bool createStore = false;
};

// Exit codes of appmgrd (those of a store: ServedStore.h).
constexpr int kExitOk = 0;
constexpr int kExitListenFailed = 4;
constexpr int kExitConfigFailed = 4;  // a configuration file that cannot be applied
constexpr int kExitLogFailed = 5;

class HostServer;
struct StoreSummary;

// The start-up line: version, store, listeners and threads of a started server.
std::string startupLine(const DaemonOptions& options, const HostServer& server, const StoreSummary& store);

// Runs the daemon until it is told to stop; returns the exit code. The
// readiness line "listening on HOST:PORT" (and "listening on unix:PATH" for a
// Unix socket, "metrics on HOST:PORT" for the metrics) goes to `out` once the
// sockets are bound, followed by the start-up line; failures go to `err`.
int runDaemon(const DaemonOptions& options, std::FILE* out, std::FILE* err);

}  // namespace appmgr

#endif  // HOST_HOSTDAEMON_H_
