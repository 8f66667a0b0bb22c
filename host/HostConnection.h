// One client connection of the host. Owned by shared_ptr: every pending
// operation holds a reference, so the object lives exactly as long as work
// for it remains. All its handlers run on the socket's strand.
//
// A TLS connection first completes its handshake (bounded by the TLS
// handshake timeout); from then on it runs the same cycle as a plain one.
//
// Cycle: read header -> read body -> handle -> write the one reply -> read
// the next header. A request goes to the handler pool; the next frame is
// read only after its reply is written, so the replies of one connection go
// out in request order and at most one frame is buffered in each direction:
// a peer that sends without reading stops being read. A reply the peer does
// not take within the idle timeout closes the connection.
#ifndef HOST_HOSTCONNECTION_H_
#define HOST_HOSTCONNECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <asio.hpp>

#include "host/HostContext.h"
#include "host/HostStream.h"
#include "host/WireFormat.h"

namespace appmgr {

class HostConnection : public std::enable_shared_from_this<HostConnection> {
 public:
  using Socket = HostStream::Socket;

  // `tls` non-null makes this a TLS connection with that server context,
  // which must outlive the connection.
  HostConnection(Socket socket, HostContext& context, asio::ssl::context* tls);
  ~HostConnection();

  // Registers with the context and starts reading; over the connection
  // limit, answers a too-many-connections error frame and closes instead.
  void start();
  // Graceful stop: an idle or half-read connection closes now, one with a
  // request in flight closes after writing its reply. Thread-safe.
  void shutdown();
  // Closes at once. Thread-safe.
  void abort();

 private:
  enum class State { kHandshaking, kReading, kHandling, kWriting, kClosed };
  struct Pending;

  void handshake();
  // Starts the frame cycle, or refuses a connection over the limit.
  void begin();
  void readHeader();
  void onHeader(const asio::error_code& ec);
  void onBody(const asio::error_code& ec);
  void handleHello();
  void handleHealth();
  void handleRequest();
  // Calls the library for one request (on a handler thread) and returns
  // its one reply frame: response, no-response or error.
  static std::vector<unsigned char> serve(const Pending& pending);
  void onHandled(const std::shared_ptr<Pending>& pending, std::vector<unsigned char> frame);
  void onDeadline(const std::shared_ptr<Pending>& pending, const asio::error_code& ec);

  void reply(std::vector<unsigned char> frame, bool closeAfter);
  void replyError(wire::WireError error, const std::string& message, bool closeAfter);
  void onWritten(const asio::error_code& ec, bool closeAfter);
  // Stops sending, drains what the peer still sends for a moment, then
  // closes, so the last frame is not lost to a reset.
  void closeGracefully();
  void close();

  HostStream stream_;
  HostContext& context_;
  asio::steady_timer idleTimer_;
  asio::steady_timer deadlineTimer_;
  State state_ = State::kReading;
  bool registered_ = false;
  bool helloDone_ = false;
  uint32_t peerProtocolVersion_ = 0;
  uint64_t frameGeneration_ = 0;  // frames completed; tells stale idle-timer wake-ups apart
  uint64_t writesStarted_ = 0;    // the same for the timer of a reply being written

  unsigned char headerBytes_[wire::kHeaderSize] = {};
  wire::FrameHeader header_;
  // Record kept 8-byte aligned: the library reads it as a struct.
  std::vector<uint64_t> record_;
  std::vector<char> textArea_;
  std::vector<unsigned char> outgoing_;
  std::vector<char> drain_;
};

}  // namespace appmgr

#endif  // HOST_HOSTCONNECTION_H_
