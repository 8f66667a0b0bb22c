// The host server: accepts connections on TCP and optionally a Unix socket
// and spreads them over its network threads, each running its own
// io_context, so a connection's work never leaves its thread and the
// threads share no event queue. A validated request goes to the listener
// library on a separate pool of handler threads, so a slow store never
// stalls the network and a request deadline can be answered while the
// library is still busy; request codes the library has proven to answer
// quickly are served on the network thread instead (InlinePolicy).
//
// The server installs its configuration store as the process store when it
// starts and uninstalls it when it has stopped; one server per process.
#ifndef HOST_HOSTSERVER_H_
#define HOST_HOSTSERVER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "host/HostOptions.h"
#include "store/ConfigStore.h"

namespace appmgr {

class HostServer {
 public:
  // `store` may be null: requests then use the store installed by the
  // process, and when there is none they get a store-unavailable error
  // frame; health requests work either way.
  HostServer(const HostOptions& options, std::shared_ptr<ConfigStore> store);
  // Stops the server if it still runs.
  ~HostServer();
  HostServer(const HostServer&) = delete;
  HostServer& operator=(const HostServer&) = delete;

  // Binds the listening sockets and starts the threads. False with a
  // message when an address cannot be bound.
  bool start(std::string& error);

  // The TCP port actually bound (after start), 0 without TCP.
  uint16_t port() const;
  // "ADDRESS:PORT" of the TCP listener (after start): the address bound,
  // numeric, an IPv6 one in brackets.
  std::string listenAddress() const;
  // "ADDRESS:PORT" of the metrics endpoint (after start); empty without one.
  std::string metricsAddress() const;

  // Graceful stop: stops accepting, lets the requests in flight finish and
  // their replies go out (up to stopGrace), closes every connection, joins
  // the threads and uninstalls the store. Idempotent; blocks until done.
  void stop();

  // Whether every network thread runs a task posted to it within
  // `timeout`: its event loop is alive and not held by a call that hangs.
  bool networkResponsive(std::chrono::milliseconds timeout);

  // Counters, for health replies and tests.
  unsigned connections() const;
  uint64_t requestsAnswered() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace appmgr

#endif  // HOST_HOSTSERVER_H_
