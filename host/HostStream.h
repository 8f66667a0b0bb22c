// The byte stream of one host connection: a plain socket (TCP or Unix) or
// TLS over a TCP socket. HostConnection reads and writes its frames through
// it with asio::async_read and asio::async_write, so framing, limits,
// timeouts and the stop logic are one code path for every transport.
//
// Not thread-safe: like the socket, it is used from its connection's strand.
// The read and write functions take completion handlers (not other
// completion tokens), which is what Asio's composed operations pass.
#ifndef HOST_HOSTSTREAM_H_
#define HOST_HOSTSTREAM_H_

#include <optional>
#include <utility>

#include <asio.hpp>
#include <asio/ssl.hpp>

namespace appmgr {

class HostStream {
 public:
  using Socket = asio::generic::stream_protocol::socket;
  using executor_type = Socket::executor_type;

  // A plain stream when `tls` is null, else TLS (server side) with that
  // context, which must outlive the stream.
  HostStream(Socket socket, asio::ssl::context* tls) {
    if (tls != nullptr) {
      tls_.emplace(std::move(socket), *tls);
    } else {
      plain_.emplace(std::move(socket));
    }
  }

  bool isTls() const { return tls_.has_value(); }
  // The socket under the stream, for options, shutdown and close.
  Socket& socket() { return tls_ ? tls_->next_layer() : *plain_; }
  executor_type get_executor() { return socket().get_executor(); }
  // The OpenSSL connection, null for a plain stream.
  SSL* nativeTls() { return tls_ ? tls_->native_handle() : nullptr; }

  template <typename Buffers, typename Handler>
  void async_read_some(const Buffers& buffers, Handler&& handler) {
    if (tls_) {
      tls_->async_read_some(buffers, std::forward<Handler>(handler));
    } else {
      plain_->async_read_some(buffers, std::forward<Handler>(handler));
    }
  }

  template <typename Buffers, typename Handler>
  void async_write_some(const Buffers& buffers, Handler&& handler) {
    if (tls_) {
      tls_->async_write_some(buffers, std::forward<Handler>(handler));
    } else {
      plain_->async_write_some(buffers, std::forward<Handler>(handler));
    }
  }

  // TLS only: the server side of the handshake, and the close_notify
  // exchange that ends a session.
  template <typename Handler>
  void asyncHandshake(Handler&& handler) {
    tls_->async_handshake(asio::ssl::stream_base::server, std::forward<Handler>(handler));
  }
  template <typename Handler>
  void asyncShutdown(Handler&& handler) {
    tls_->async_shutdown(std::forward<Handler>(handler));
  }

 private:
  std::optional<Socket> plain_;
  std::optional<asio::ssl::stream<Socket>> tls_;
};

}  // namespace appmgr

#endif  // HOST_HOSTSTREAM_H_
