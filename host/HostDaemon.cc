// appmgrd's run, its signals and its readiness notification to systemd.
#include "host/HostDaemon.h"

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>

#include <asio.hpp>
#include <stdlib.h>
#include <systemd/sd-daemon.h>

#include "platform/EvDebug.h"
#include "platform/XRPlatformInfo.h"

#include "host/BuildInfo.h"
#include "host/HostServer.h"
#include "host/ServedStore.h"
#include "host/StoreRegistry.h"

namespace appmgr {

namespace {
constexpr const char* kTag = "appmgrd";

// Passes on the lines of the chosen verbosity, each marked with its level:
// errors always; from kLogInfo the host's own lines (start-up, stop,
// connection events); at kLogDebug also the listener library's lines, a few
// per request, which would fill a disk under real load. The choice is made
// before a line is formatted, and the mark is formatted in front of its
// text, so a dropped line costs no formatting and a kept one no copy.
class LevelSink final : public LogSink {
 public:
  LevelSink(std::shared_ptr<LogSink> next, int verbosity) : next_(std::move(next)), verbosity_(verbosity) {}
  const char* admit(const char* tag, LogSeverity severity, int /*level*/) override {
    const bool host = std::strcmp(tag, kTag) == 0 || std::strcmp(tag, "HostServer") == 0 ||
                      std::strcmp(tag, "HostConnection") == 0;
    const int level = severity == LogSeverity::kError ? kLogError : host ? kLogInfo : kLogDebug;
    if (level > verbosity_) return nullptr;
    static const char* const kNames[] = {"ERROR ", "INFO ", "DEBUG "};
    return kNames[level];
  }
  void write(const LogRecord& record) override { next_->write(record); }
  // The file sink formats an admitted line straight into its own storage.
  bool writeFormatted(const LogLineStart& line, const char* format, va_list args) override {
    return next_->writeFormatted(line, format, args);
  }
  void flush() override { next_->flush(); }

 private:
  std::shared_ptr<LogSink> next_;
  int verbosity_;
};

// Installs `sink` behind the verbosity filter.
void installSink(std::shared_ptr<LogSink> sink, int verbosity) {
  EvLog::setSink(std::make_shared<LevelSink>(std::move(sink), verbosity));
}

// Installs a fresh file sink; false when the file cannot be opened (the
// previous sink then stays).
bool openLog(const std::string& path, int verbosity) {
  auto sink = std::make_shared<FileLogSink>(path);
  if (!sink->isOpen()) return false;
  installSink(std::move(sink), verbosity);
  return true;
}
}  // namespace

std::string startupLine(const DaemonOptions& options, const HostServer& server, const StoreSummary& store) {
  const HostOptions& host = options.host;
  std::string line = "appmgrd " + buildVersion() + " serving " + describeStore(store) + " on ";
  if (!host.listenHost.empty()) {
    line += "tcp " + server.listenAddress();
    if (!host.tls.enabled()) {
      line += " (TLS off)";
    } else if (host.tls.requireClientCertificate) {
      line += " (TLS on, client certificate required)";
    } else {
      line += host.tls.caFile.empty() ? " (TLS on, no client certificates)"
                                      : " (TLS on, client certificate optional)";
    }
    if (!host.unixSocketPath.empty()) line += ", ";
  }
  if (!host.unixSocketPath.empty()) line += "unix " + host.unixSocketPath;
  line += "; " + std::to_string(host.networkThreads) + " network threads, " +
          (host.handlerThreads == 0 ? std::string("library called on them")
                                    : std::to_string(host.handlerThreads) + " handler threads");
  return line;
}

int runDaemon(const DaemonOptions& options, std::FILE* out, std::FILE* err) {
  if (!options.registryPath.empty()) ::setenv(kPlatformConfigEnv, options.registryPath.c_str(), 1);
  if (options.logLevel >= 0) EvLog::setLevel(options.logLevel);
  if (options.logFile.empty()) {
    installSink(std::make_shared<StderrLogSink>(), options.verbosity);
  } else if (!openLog(options.logFile, options.verbosity)) {
    std::fprintf(err, "appmgrd: cannot open the log file \"%s\"\n", options.logFile.c_str());
    return kExitLogFailed;
  }

  // The access log has a sink of its own: its lines are not filtered by level.
  DaemonOptions served = options;
  std::shared_ptr<FileLogSink> accessFile;
  if (options.accessLog == "-") {
    served.host.accessLog = std::make_shared<StderrLogSink>();
  } else if (options.accessLog != "off") {
    accessFile = std::make_shared<FileLogSink>(options.accessLog);
    if (!accessFile->isOpen()) {
      std::fprintf(err, "appmgrd: cannot open the access log \"%s\" (--access-log)\n",
                   options.accessLog.c_str());
      return kExitLogFailed;
    }
    served.host.accessLog = accessFile;
  }

  std::string error;
  std::shared_ptr<ConfigStore> store;
  StoreSummary summary;
  if (const int code =
          openServedStore(resolveStoreSpec(options.store), options.createStore, store, summary, error)) {
    std::fprintf(err, "appmgrd: %s\n", error.c_str());
    return code;
  }

  // Signals are routed to this thread's io_context before any worker starts.
  asio::io_context signals;
  asio::signal_set stopSignals(signals, SIGTERM, SIGINT);
  asio::signal_set hangup(signals, SIGHUP);

  HostServer server(served.host, std::move(store));
  if (!server.start(error)) {
    std::fprintf(err, "appmgrd: %s\n", error.c_str());
    return kExitListenFailed;
  }
  if (!options.host.listenHost.empty())
    std::fprintf(out, "listening on %s\n", server.listenAddress().c_str());
  if (!options.host.unixSocketPath.empty()) {
    std::fprintf(out, "listening on unix:%s\n", options.host.unixSocketPath.c_str());
  }
  if (!options.host.metricsHost.empty())
    std::fprintf(out, "metrics on %s\n", server.metricsAddress().c_str());
  const std::string banner = startupLine(options, server, summary);
  std::fprintf(out, "%s\n", banner.c_str());
  std::fflush(out);
  EvEvent ev;
  ev.Debug(kTag, "%s", banner.c_str());
  // Under systemd (Type=notify): every listener accepts from here on.
  sd_notifyf(0, "READY=1\nSTATUS=%s", banner.c_str());

  // Under a systemd watchdog (WatchdogSec=): a keep-alive every half
  // interval, sent only while every network thread answers, so a host whose
  // event loops hang is restarted.
  uint64_t watchdogUsec = 0;
  asio::steady_timer watchdog(signals);
  std::function<void()> petWatchdog = [&] {
    const auto interval = std::chrono::microseconds(watchdogUsec / 2);
    watchdog.expires_after(interval);
    watchdog.async_wait([&, interval](const asio::error_code& ec) {
      if (ec) return;
      if (server.networkResponsive(std::chrono::duration_cast<std::chrono::milliseconds>(interval / 2))) {
        sd_notify(0, "WATCHDOG=1");
      } else {
        EvEvent stuck;
        stuck.Error(kTag, "Network threads did not answer within %lld ms: no keep-alive for the watchdog",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(interval / 2).count()));
      }
      petWatchdog();
    });
  };
  if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) petWatchdog();

  std::function<void()> awaitHangup = [&] {
    hangup.async_wait([&](const asio::error_code& ec, int) {
      if (ec) return;
      if (!options.logFile.empty()) {
        EvEvent hup;
        if (openLog(options.logFile, options.verbosity)) {
          hup.Debug(kTag, "Log file reopened");
        } else {
          hup.Error(kTag, "Cannot reopen the log file \"%s\"", options.logFile.c_str());
        }
      }
      if (accessFile && !accessFile->reopen()) {
        EvEvent hup;
        hup.Error(kTag, "Cannot reopen the access log \"%s\"", options.accessLog.c_str());
      }
      awaitHangup();
    });
  };
  awaitHangup();
  stopSignals.async_wait([&](const asio::error_code& ec, int signal) {
    if (ec) return;
    EvEvent stopping;
    stopping.Debug(kTag, "Signal %d: stopping", signal);
    sd_notify(0, "STOPPING=1");
    hangup.cancel();
    watchdog.cancel();
  });
  signals.run();

  server.stop();  // finishes the requests in flight and closes the store
  ev.Debug(kTag, "Stopped");
  return kExitOk;
}

}  // namespace appmgr
