// Settings of the host server: where it listens, how many threads it runs
// and the limits that protect it from slow or hostile peers and from a slow
// store. The defaults are those of appmgrd.
#ifndef HOST_HOSTOPTIONS_H_
#define HOST_HOSTOPTIONS_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class LogSink;

namespace appmgr {

// TLS of the host's TCP listener. TLS is on when a certificate file is
// given; the Unix socket always stays plain (file permissions guard it).
struct HostTlsOptions {
  // PEM certificate chain of the host (its own certificate first) and its
  // PEM private key.
  std::string certificateFile;
  std::string keyFile;
  // PEM file of the certificate authorities that client certificates are
  // verified against. With it, a client certificate a peer presents must
  // verify; without it, none is asked for.
  std::string caFile;
  // Refuse peers that present no certificate (mutual TLS); needs caFile.
  bool requireClientCertificate = false;
  // A TLS handshake not finished within this time closes the connection.
  std::chrono::milliseconds handshakeTimeout{std::chrono::seconds(10)};

  bool enabled() const { return !certificateFile.empty(); }
};

struct HostOptions {
  // TCP listening address; port 0 picks a free port. An empty host disables
  // TCP. Any address other than a loopback one needs TLS (start refuses it).
  std::string listenHost = "127.0.0.1";
  uint16_t listenPort = 0;
  // Optional Unix socket path; empty for none. An existing socket file is replaced.
  std::string unixSocketPath;
  // Permissions and group of the socket file (the socket is plain: these
  // decide who may talk to the host through it). Empty group: the process's.
  unsigned unixMode = 0660;
  std::string unixGroup;
  // TLS on the TCP listener; off by default.
  HostTlsOptions tls;

  // Threads running the network (each its own event loop, connections
  // spread over them) and threads calling the listener library.
  // handlerThreads 0 calls the library on the network thread that read the
  // request: no hand-off to another thread and back (cheaper for a fast
  // store), but a busy library then holds that network thread and the
  // request deadline is not enforced while the call runs.
  unsigned networkThreads = 2;
  unsigned handlerThreads = 4;
  // With handler threads: a request code whose recent library calls each
  // took at most this long is served on the network thread itself; slower
  // calls send it back to the handler pool (the rule: InlinePolicy). 0
  // hands every request off. The default keeps lookups of one row on the
  // network thread; for costlier requests the two wake-ups saved matter
  // little, while holding the thread delays its other connections. An inline call that overruns the request
  // deadline is answered with the deadline error when it returns.
  std::chrono::microseconds inlineBudget{50};

  // The largest frame accepted or sent, header included. A request above it
  // closes the connection; an answer above it becomes an error frame.
  uint32_t maxFrameSize = 1u << 20;
  // Connections beyond this are answered with an error frame and closed.
  unsigned maxConnections = 1024;
  // A connection with no complete frame for this long is closed, and so is
  // one whose reply the peer does not take within this time.
  std::chrono::milliseconds idleTimeout{std::chrono::minutes(5)};
  // A request not answered by the library within this time gets an error
  // frame; the connection goes on with its next request.
  std::chrono::milliseconds requestDeadline{std::chrono::seconds(30)};
  // How long a graceful stop waits for requests in flight before it closes
  // the remaining connections.
  std::chrono::milliseconds stopGrace{std::chrono::seconds(30)};

  // Metrics for Prometheus on this loopback address (GET /metrics); an
  // empty host serves none and counts nothing.
  std::string metricsHost;
  uint16_t metricsPort = 0;
  // Audit entries older than this many days are deleted in the background;
  // 0 keeps them all.
  unsigned auditRetentionDays = 400;
  // The access log: one line per request; null writes none.
  std::shared_ptr<LogSink> accessLog;
};

}  // namespace appmgr

#endif  // HOST_HOSTOPTIONS_H_
