// Settings of the host server: where it listens, how many threads it runs
// and the limits that protect it from slow or hostile peers and from a slow
// store. The defaults are those of appmgrd.
#ifndef HOST_HOSTOPTIONS_H_
#define HOST_HOSTOPTIONS_H_

#include <chrono>
#include <cstdint>
#include <string>

namespace appmgr {

struct HostOptions {
  // TCP listening address; port 0 picks a free port. An empty host disables TCP.
  std::string listenHost = "127.0.0.1";
  uint16_t listenPort = 0;
  // Optional Unix socket path; empty for none. An existing socket file is replaced.
  std::string unixSocketPath;

  // Threads running the network (one io_context) and threads calling the
  // listener library. handlerThreads 0 calls the library on the network
  // thread that read the request: no hand-off to another thread and back
  // (cheaper for a fast store), but a busy library then holds that network
  // thread and the request deadline is not enforced.
  unsigned networkThreads = 2;
  unsigned handlerThreads = 4;

  // The largest frame accepted or sent, header included. A request above it
  // closes the connection; an answer above it becomes an error frame.
  uint32_t maxFrameSize = 1u << 20;
  // Connections beyond this are answered with an error frame and closed.
  unsigned maxConnections = 1024;
  // A connection with no complete frame for this long is closed.
  std::chrono::milliseconds idleTimeout{std::chrono::minutes(5)};
  // A request not answered by the library within this time gets an error
  // frame; the connection goes on with its next request.
  std::chrono::milliseconds requestDeadline{std::chrono::seconds(30)};
  // How long a graceful stop waits for requests in flight before it closes
  // the remaining connections.
  std::chrono::milliseconds stopGrace{std::chrono::seconds(30)};
};

}  // namespace appmgr

#endif  // HOST_HOSTOPTIONS_H_
