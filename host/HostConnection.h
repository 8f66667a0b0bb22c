// One client connection of the host. Owned by shared_ptr: every pending
// operation holds a reference, so the object lives exactly as long as work
// for it remains. All its handlers run on the socket's strand.
//
// A TLS connection first completes its handshake (bounded by the TLS
// handshake timeout); from then on it runs the same cycle as a plain one.
//
// Cycle: read -> serve every whole frame the read brought -> write their
// replies in one write -> read again. One read takes whatever the peer has
// sent, up to a small buffer, so a pipelining peer's frames cost one read
// call and one write call together. A request is served on the network
// thread or goes to the handler pool (InlinePolicy); the frame after it is
// served only once its reply is made, so the replies of one connection go
// out in request order, and nothing is read while replies are pending: a
// peer that sends without reading stops being read, holding one read buffer
// of requests and their replies at most. Replies the peer does not take
// within the idle timeout close the connection.
#ifndef HOST_HOSTCONNECTION_H_
#define HOST_HOSTCONNECTION_H_

#include <chrono>
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
  // kQueued: a reply was added to the batch and the next buffered frame may
  // be served. kWriting: waiting for the batch to be written.
  enum class State { kHandshaking, kReading, kHandling, kQueued, kWriting, kClosed };
  // A request handed to the library: its own copy of the record and texts,
  // so it stays valid if the connection moves on after a deadline.
  struct Pending {
    uint64_t code = 0;
    uint64_t correlationId = 0;
    uint32_t peerProtocolVersion = 0;
    uint32_t maxFrameSize = 0;
    const std::string* peer = nullptr;  // the connection's peer_, for the audit trail
    std::vector<uint64_t> record;
    size_t recordLength = 0;
    std::vector<char> textArea;
    std::chrono::nanoseconds libraryTime{0};  // set by the handler thread before it posts back
    bool answered = false;  // a reply (the library's or the deadline's) went out; strand only
  };

  void handshake();
  // Starts the frame cycle, or refuses a connection over the limit.
  void begin();
  // Starts the idle timeout from now: waiting for the next frame, or for
  // the peer to take a reply.
  void watchIdle();
  void onIdleTimer(const asio::error_code& ec);
  // Serves the whole frames already read, then writes their replies or
  // reads more.
  void readHeader();
  // Whether in_ holds a whole frame.
  bool frameBuffered() const;
  // Reads until in_ holds a frame header, then calls onHeader.
  void awaitHeader();
  void onHeader();
  // Moves up to `length` bytes from in_ to `out`; returns how many.
  size_t takeBuffered(void* out, size_t length);
  void onBody(const asio::error_code& ec);
  void handleHello();
  void handleHealth();
  void handleRequest();
  // Reads the store's audit trail on a handler thread and replies with it.
  void handleAuditRead();
  // The audit-reply frame of `read`: as many entries as fit in maxFrameSize.
  static std::vector<unsigned char> auditReply(const wire::AuditReadRecord& read, uint64_t correlationId,
                                               uint32_t maxFrameSize);
  // Calls the library for one request (on a handler thread) and returns
  // its one reply frame: response, no-response or error.
  static std::vector<unsigned char> serve(const Pending& pending);
  // Serves inline_ on this thread and replies.
  void serveInline();
  void onHandled(const std::shared_ptr<Pending>& pending, std::vector<unsigned char> frame);
  void onDeadline(const std::shared_ptr<Pending>& pending, const asio::error_code& ec);

  // Counts the reply in the metrics and writes its access line, when either is on.
  void account(const std::vector<unsigned char>& frame);
  // Adds the reply of the frame being served to the batch; writes the batch
  // unless more buffered frames are being served.
  void reply(std::vector<unsigned char> frame, bool closeAfter);
  // Starts writing the batch, unless a write is out or nothing waits.
  void flush();
  void replyError(wire::WireError error, const std::string& message, bool closeAfter);
  void onWritten(const asio::error_code& ec);
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
  uint16_t helloMinor_ = 0;  // the protocol minor the client speaks
  // The idle watch: one timer wait at a time, which on waking closes the
  // connection only if it has waited for the peer for the whole idle
  // timeout since idleSince_, so a frame costs no timer call.
  std::chrono::steady_clock::time_point idleSince_;
  bool idleWatched_ = false;

  // Bytes read from the stream and not yet taken: [inBegin_, inEnd_) of in_.
  // Only read when a header is wanted, so a peer that sends without reading
  // is held to one buffer's worth of unread frames.
  std::vector<unsigned char> in_;
  size_t inBegin_ = 0;
  size_t inEnd_ = 0;
  wire::FrameHeader header_;
  // Record kept 8-byte aligned: the library reads it as a struct.
  std::vector<uint64_t> record_;
  std::vector<char> textArea_;
  // Replies made and not yet written (the batch), and the batch being
  // written; one write is out at a time.
  std::vector<unsigned char> queued_;
  std::vector<unsigned char> sending_;
  bool writing_ = false;
  bool batching_ = false;         // readHeader is serving buffered frames
  bool closeAfterWrite_ = false;  // the last reply ends the connection
  // The request being served on the network thread (the pool gets its own copy).
  Pending inline_;
  std::vector<char> drain_;

  // The request being answered, for the metrics and the access log: whether
  // the frame read is a request (not a hello or health frame), when its
  // header arrived, how long the library took with it, the object it names.
  bool answering_ = false;
  std::chrono::steady_clock::time_point requestBegan_;
  std::chrono::nanoseconds libraryTime_{0};
  bool hasObject_ = false;
  uint64_t objectId_ = 0;
  std::string peer_;  // described once: who asks, for the audit trail and the access log
};

}  // namespace appmgr

#endif  // HOST_HOSTCONNECTION_H_
