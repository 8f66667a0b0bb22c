// appmgrd: serves the listener library over the network. Parses the command
// line and hands over to runDaemon.
//
// Example: appmgrd --store /var/lib/appmgr/config.db --listen 127.0.0.1:7410
//          appmgrd --store config.db --listen 0.0.0.0:7410 --tls-cert host.pem --tls-key host.key
//                  --tls-ca ca.pem --tls-require-client-cert
//          appmgrd --store postgresql://appmgr@db.example.net/catalog --store-pool 16
// Exit codes: 0 stopped by SIGTERM/SIGINT (or --help, --version), 2 bad
// command line, 3 store exists but cannot be opened or checked, 4 store does
// not exist (without --create-store), an address cannot be bound (or is not
// loopback and TLS is off), or a TLS file does not load, 5 log file cannot
// be opened.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include <CLI/CLI.hpp>

#include "host/BuildInfo.h"
#include "host/HostDaemon.h"

namespace {

constexpr int kExitUsage = 2;

// Splits "HOST:PORT" ("[v6]:PORT" for IPv6); false when it is not one.
bool splitListen(const std::string& text, std::string& host, uint16_t& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  try {
    size_t used = 0;
    const unsigned long value = std::stoul(text.substr(colon + 1), &used);
    if (used != text.size() - colon - 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

// Applies the INI file `path` ("key = value" lines, one key per long flag
// without its dashes; "#" or ";" starts a comment) to the options the
// command line left unset, so the command line wins. False with a message
// naming the file, the line and the key for an unreadable file, a line that
// is not a setting, an unknown key or a value the flag refuses.
bool applyConfigFile(CLI::App& app, const std::string& path, std::set<std::string>& applied,
                     std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the configuration file " + path + " (--config)";
    return false;
  }
  const auto trim = [](std::string text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
  };
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string where = path + ":" + std::to_string(number) + ": ";
    line = trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      error = where + "expected KEY = VALUE, not \"" + line + "\"";
      return false;
    }
    const std::string key = trim(line.substr(0, equals)), value = trim(line.substr(equals + 1));
    CLI::Option* option = key.empty() || key[0] == '-' ? nullptr : app.get_option_no_throw("--" + key);
    if (option == nullptr || key == "config" || key == "help" || key == "version") {
      error = where + "unknown key \"" + key + "\"";
      return false;
    }
    if (option->count() > 0) continue;  // given on the command line
    try {
      option->add_result(value);
      option->run_callback();
      applied.insert(key);
    } catch (const CLI::Error& e) {
      error = where + "key \"" + key + "\": " + e.what();
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  appmgr::DaemonOptions options;
  appmgr::HostOptions& host = options.host;
  CLI::App app{
      "appmgrd: serves application-manager requests over TCP, TLS or a Unix socket.\n"
      "Only loopback addresses are served without TLS.\n"
      "Example: appmgrd --store config.db --listen 127.0.0.1:0"};

  app.set_version_flag("--version", "appmgrd " + appmgr::buildVersion());
  std::string configFile;
  app.add_option("--config", configFile,
                 "INI file of settings, one \"key = value\" per long flag (listen = 127.0.0.1:7410); "
                 "flags on the command line win");
  std::string listen = "127.0.0.1:0";
  std::string storeFile;
  std::string storeJson;
  bool noTcp = false;
  unsigned idleSeconds = static_cast<unsigned>(host.idleTimeout.count() / 1000);
  unsigned deadlineMs = static_cast<unsigned>(host.requestDeadline.count());
  unsigned graceMs = static_cast<unsigned>(host.stopGrace.count());

  app.add_option("--listen", listen, "TCP address HOST:PORT; port 0 picks a free one")->capture_default_str();
  app.add_flag("--no-tcp", noTcp, "Listen on the Unix socket only");
  app.add_option("--unix", host.unixSocketPath, "Also listen on this Unix socket path");
  std::string unixMode = "0660";
  app.add_option("--unix-mode", unixMode, "Octal permissions of the --unix socket file")
      ->capture_default_str();
  app.add_option("--unix-group", host.unixGroup, "Group of the --unix socket file; default the process's");
  app.add_option("--tls-cert", host.tls.certificateFile,
                 "PEM certificate chain of the host: TLS on the TCP listener (required off loopback)");
  app.add_option("--tls-key", host.tls.keyFile, "PEM private key of --tls-cert");
  app.add_option("--tls-ca", host.tls.caFile,
                 "PEM certificate authorities that client certificates must chain to");
  app.add_flag("--tls-require-client-cert", host.tls.requireClientCertificate,
               "Refuse clients without a certificate issued by --tls-ca (mutual TLS)");
  unsigned handshakeMs = static_cast<unsigned>(host.tls.handshakeTimeout.count());
  app.add_option("--tls-handshake-timeout", handshakeMs, "Milliseconds allowed for a TLS handshake")
      ->capture_default_str()
      ->check(CLI::Range(1u, 3600000u));
  unsigned storePool = 8;
  auto* sqlite = app.add_option("--store", storeFile,
                                "SQLite store file, or a PostgreSQL connection string (postgresql://... or "
                                "\"host=... dbname=...\"), to serve");
  auto* json = app.add_option("--store-json", storeJson, "JSON file loaded into an in-memory store");
  sqlite->excludes(json);
  app.add_flag("--create-store", options.createStore,
               "Create the --store file (or the store in a PostgreSQL schema) when it does not exist, "
               "instead of refusing to start");
  app.add_option("--store-pool", storePool, "PostgreSQL connections at most (a PostgreSQL store only)")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1024u));
  app.add_option("--registry", options.registryPath, "Platform registry (INI) file");
  app.add_option("--log", options.logFile,
                 "Append log lines to this file (SIGHUP reopens it); default stderr");
  app.add_option("--access-log", options.accessLog,
                 "One line per request (peer, request, object, result, times): a FILE appended to "
                 "(SIGHUP reopens it), - for stderr, or off")
      ->capture_default_str();
  std::string metrics;
  app.add_option("--metrics", metrics,
                 "Serve Prometheus metrics at http://HOST:PORT/metrics, on a loopback address; default none");
  std::string logLevel = "info";
  app.add_option("--log-level", logLevel,
                 "error, info (start-up, stop, connection events and errors) or debug (also the library's "
                 "lines of every request); a number N is debug with the library's DebugLvl lines up to N")
      ->capture_default_str();
  app.add_option("--threads", host.networkThreads, "Network threads")
      ->capture_default_str()
      ->check(CLI::Range(1u, 256u));
  app.add_option("--handler-threads", host.handlerThreads,
                 "Threads calling the library; 0 calls it on the network threads (no request deadline)")
      ->capture_default_str()
      ->check(CLI::Range(0u, 1024u));
  unsigned inlineBudgetUs = static_cast<unsigned>(host.inlineBudget.count());
  app.add_option("--inline-budget", inlineBudgetUs,
                 "Microseconds: request kinds whose recent library calls kept within this time are "
                 "served on the network threads, without a hand-off; 0 hands every request off")
      ->capture_default_str()
      ->check(CLI::Range(0u, 1000000u));
  app.add_option("--max-frame", host.maxFrameSize, "Largest frame in bytes, header included")
      ->capture_default_str()
      ->check(CLI::Range(4096u, 1u << 30));
  app.add_option("--max-connections", host.maxConnections, "Most connections served at once")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1000000u));
  app.add_option("--idle-timeout", idleSeconds, "Seconds a connection may stay silent")
      ->capture_default_str()
      ->check(CLI::Range(1u, 86400u));
  app.add_option("--request-deadline", deadlineMs, "Milliseconds allowed for one request")
      ->capture_default_str()
      ->check(CLI::Range(1u, 3600000u));
  app.add_option("--stop-grace", graceMs, "Milliseconds a stop waits for requests in flight")
      ->capture_default_str();

  app.add_option("--audit-retention-days", host.auditRetentionDays,
                 "Audit entries older than this many days are deleted in the background; 0 keeps them all")
      ->capture_default_str()
      ->check(CLI::Range(0u, 100000u));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitUsage;  // --help is not an error
  }
  std::string error;
  std::set<std::string> fromConfig;  // keys the configuration file set
  if (!configFile.empty() && !applyConfigFile(app, configFile, fromConfig, error)) {
    std::fprintf(stderr, "appmgrd: %s\n", error.c_str());
    return appmgr::kExitConfigFailed;
  }
  // A value refused below is a bad command line, or a bad configuration file when it came from there.
  const auto refused = [&](const char* key) {
    return fromConfig.count(key) > 0 ? appmgr::kExitConfigFailed : kExitUsage;
  };

  if (noTcp) {
    if (host.unixSocketPath.empty()) {
      std::fprintf(stderr, "appmgrd: --no-tcp needs --unix PATH\n");
      return refused("no-tcp");
    }
    host.listenHost.clear();
  } else if (!splitListen(listen, host.listenHost, host.listenPort)) {
    std::fprintf(stderr, "appmgrd: --listen takes HOST:PORT, not \"%s\"\n", listen.c_str());
    return refused("listen");
  }
  if (!metrics.empty() && !splitListen(metrics, host.metricsHost, host.metricsPort)) {
    std::fprintf(stderr, "appmgrd: --metrics takes HOST:PORT, not \"%s\"\n", metrics.c_str());
    return refused("metrics");
  }
  if (options.accessLog.empty()) {
    std::fprintf(stderr, "appmgrd: --access-log takes a file, - or off\n");
    return refused("access-log");
  }
  static const char* const kLevels[] = {"error", "info", "debug"};
  options.verbosity = -1;
  for (int level = 0; level < 3; ++level)
    if (logLevel == kLevels[level]) options.verbosity = level;
  if (options.verbosity < 0) {
    char* end = nullptr;
    const long number = std::strtol(logLevel.c_str(), &end, 10);
    if (logLevel.empty() || *end != '\0' || number < 0 || number > 1000) {
      std::fprintf(stderr, "appmgrd: --log-level takes error, info, debug or a number, not \"%s\"\n",
                   logLevel.c_str());
      return refused("log-level");
    }
    options.verbosity = appmgr::kLogDebug;
    options.logLevel = static_cast<int>(number);
  }
  char* modeEnd = nullptr;
  host.unixMode = static_cast<unsigned>(std::strtoul(unixMode.c_str(), &modeEnd, 8));
  if (unixMode.empty() || *modeEnd != '\0' || host.unixMode > 0777) {
    std::fprintf(stderr, "appmgrd: --unix-mode takes octal permissions such as 0660, not \"%s\"\n",
                 unixMode.c_str());
    return refused("unix-mode");
  }
  options.store.poolSize = storePool;
  if (!storeFile.empty()) options.store = appmgr::storeSpecForArgument(storeFile, storePool);
  if (!storeJson.empty()) options.store = {appmgr::StoreSpec::Kind::kJson, storeJson};
  host.inlineBudget = std::chrono::microseconds(inlineBudgetUs);
  host.idleTimeout = std::chrono::seconds(idleSeconds);
  host.requestDeadline = std::chrono::milliseconds(deadlineMs);
  host.stopGrace = std::chrono::milliseconds(graceMs);
  host.tls.handshakeTimeout = std::chrono::milliseconds(handshakeMs);
  return appmgr::runDaemon(options, stdout, stderr);
}
