// Client of appmgrd. Blocking calls over Asio sockets or TLS streams: every socket
// operation runs asynchronously on the client's own io_context for at most
// its timeout, after which the socket is closed.
#include "host/AppMgrClient.h"

#include <utility>
#include <vector>

#include <asio.hpp>
#include <asio/ssl.hpp>

#include "host/TlsSupport.h"

namespace appmgr {

using namespace std::chrono_literals;

class AppMgrClient::Transport {
 public:
  virtual ~Transport() = default;
  virtual void write(const std::vector<unsigned char>& bytes, std::chrono::milliseconds timeout) = 0;
  virtual void read(void* out, size_t length, std::chrono::milliseconds timeout) = 0;
  virtual bool isOpen() const = 0;
  virtual void close() = 0;
};

namespace {

// One transport for every kind of stream: a socket (TCP or Unix) or TLS
// over a TCP socket.
template <typename Stream>
class StreamTransport final : public AppMgrClient::Transport {
 public:
  // A plain socket.
  StreamTransport() : stream_(io_) {}
  // TLS with this client context.
  explicit StreamTransport(std::unique_ptr<asio::ssl::context> tls)
      : tls_(std::move(tls)), stream_(io_, *tls_) {}

  template <typename Endpoint>
  void connect(const Endpoint& endpoint, std::chrono::milliseconds timeout) {
    asio::error_code result = asio::error::would_block;
    stream_.lowest_layer().async_connect(endpoint, [&](const asio::error_code& ec) { result = ec; });
    run(timeout, "connect");
    if (result) throw AppMgrClientError("cannot connect: " + result.message());
  }

  // TLS only: sends the server name and runs the client handshake, which
  // verifies the host's certificate.
  void handshake(const std::string& serverName, std::chrono::milliseconds timeout) {
    asio::error_code notAddress;
    asio::ip::make_address(serverName, notAddress);
    if (notAddress) SSL_set_tlsext_host_name(stream_.native_handle(), serverName.c_str());
    asio::error_code result = asio::error::would_block;
    stream_.async_handshake(asio::ssl::stream_base::client, [&](const asio::error_code& ec) { result = ec; });
    run(timeout, "the TLS handshake");
    if (result)
      fail("TLS handshake with the host failed: " + tls::describeFailure(result, stream_.native_handle()));
  }

  void write(const std::vector<unsigned char>& bytes, std::chrono::milliseconds timeout) override {
    asio::error_code result = asio::error::would_block;
    asio::async_write(stream_, asio::buffer(bytes), [&](const asio::error_code& ec, size_t) { result = ec; });
    run(timeout, "send");
    if (result) fail("send failed: " + result.message());
  }

  void read(void* out, size_t length, std::chrono::milliseconds timeout) override {
    asio::error_code result = asio::error::would_block;
    asio::async_read(stream_, asio::buffer(out, length),
                     [&](const asio::error_code& ec, size_t) { result = ec; });
    run(timeout, "reply");
    if (result == asio::error::eof || result == asio::ssl::error::stream_truncated) {
      fail("the host closed the connection");
    }
    // An alert of the host (a refused client certificate, for one) arrives here.
    if (result) fail("receive failed: " + result.message());
  }

  bool isOpen() const override { return stream_.lowest_layer().is_open(); }
  void close() override {
    asio::error_code ignored;
    stream_.lowest_layer().shutdown(asio::socket_base::shutdown_both, ignored);
    stream_.lowest_layer().close(ignored);
  }

 private:
  // Runs the pending operation for at most `timeout`; on expiry closes the
  // socket, lets the operation finish with its abort and throws.
  void run(std::chrono::milliseconds timeout, const char* what) {
    io_.restart();
    io_.run_for(timeout);
    if (!io_.stopped()) {
      close();
      io_.run();
      throw AppMgrClientError(std::string("timed out waiting for ") + what);
    }
  }
  [[noreturn]] void fail(const std::string& what) {
    close();
    throw AppMgrClientError(what);
  }

  asio::io_context io_;
  std::unique_ptr<asio::ssl::context> tls_;  // TLS streams only; outlives stream_
  Stream stream_;
};

using TlsStream = asio::ssl::stream<asio::ip::tcp::socket>;

// The client's TLS context: the protocol floor, the trusted authorities,
// the host name check and the client's own certificate.
std::unique_ptr<asio::ssl::context> clientTlsContext(const AppMgrClientTlsOptions& options,
                                                     const std::string& serverName) {
  auto context = std::make_unique<asio::ssl::context>(tls::makeContext(asio::ssl::context::tls_client));
  std::string error;
  if (options.verifyPeer) {
    if (options.caFile.empty()) {
      context->set_default_verify_paths();
    } else if (!tls::loadAuthorities(*context, options.caFile, error)) {
      throw AppMgrClientError(error);
    }
    context->set_verify_mode(asio::ssl::verify_peer);
    context->set_verify_callback(asio::ssl::host_name_verification(serverName));
  } else {
    context->set_verify_mode(asio::ssl::verify_none);
  }
  if (options.certificateFile.empty() != options.keyFile.empty()) {
    throw AppMgrClientError("a TLS client certificate needs its key and a key its certificate");
  }
  if (!options.certificateFile.empty() &&
      !tls::loadIdentity(*context, options.certificateFile, options.keyFile, error)) {
    throw AppMgrClientError(error);
  }
  return context;
}

std::unique_ptr<AppMgrClient::Transport> openTransport(const std::string& address,
                                                       const AppMgrClientOptions& options) {
  const std::chrono::milliseconds timeout = options.connectTimeout;
  const std::string unixPrefix = "unix:";
  if (address.compare(0, unixPrefix.size(), unixPrefix) == 0) {
    if (options.tls.enabled) {
      throw AppMgrClientError("TLS is spoken over TCP only, not on the Unix socket " + address);
    }
    auto transport = std::make_unique<StreamTransport<asio::local::stream_protocol::socket>>();
    transport->connect(asio::local::stream_protocol::endpoint(address.substr(unixPrefix.size())), timeout);
    return transport;
  }
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon + 1 == address.size()) {
    throw AppMgrClientError("address \"" + address + "\" is neither HOST:PORT nor unix:PATH");
  }
  std::string host = address.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  char* end = nullptr;
  const unsigned long port = std::strtoul(address.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || port == 0 || port > 65535) {
    throw AppMgrClientError("port of \"" + address + "\" is not a number from 1 to 65535");
  }
  // An address, or a name tried address by address until one connects.
  std::vector<asio::ip::tcp::endpoint> endpoints;
  asio::error_code ec;
  const asio::ip::address ip = asio::ip::make_address(host, ec);
  if (!ec) {
    endpoints.emplace_back(ip, static_cast<uint16_t>(port));
  } else {
    asio::io_context io;
    asio::ip::tcp::resolver resolver(io);
    for (const auto& result :
         resolver.resolve(host, std::to_string(port), asio::ip::resolver_base::numeric_service, ec))
      endpoints.push_back(result.endpoint());
    if (ec || endpoints.empty()) {
      throw AppMgrClientError("host \"" + host + "\" does not resolve" + (ec ? ": " + ec.message() : ""));
    }
  }
  const std::string serverName = options.tls.serverName.empty() ? host : options.tls.serverName;
  for (size_t i = 0;; ++i) {
    try {
      if (!options.tls.enabled) {
        auto transport = std::make_unique<StreamTransport<asio::ip::tcp::socket>>();
        transport->connect(endpoints[i], timeout);
        return transport;
      }
      auto transport =
          std::make_unique<StreamTransport<TlsStream>>(clientTlsContext(options.tls, serverName));
      transport->connect(endpoints[i], timeout);
      transport->handshake(serverName, timeout);
      return transport;
    } catch (const AppMgrClientError&) {
      if (i + 1 == endpoints.size()) throw;
    }
  }
}

}  // namespace

std::optional<std::string> AppMgrReply::text(size_t offset) const {
  const auto it = texts.find(offset);
  return it != texts.end() ? it->second : std::nullopt;
}

std::unique_ptr<AppMgrClient> AppMgrClient::connect(const std::string& address,
                                                    const AppMgrClientOptions& options) {
  std::unique_ptr<AppMgrClient> client(new AppMgrClient(openTransport(address, options), options));
  std::lock_guard<std::mutex> lock(client->mutex_);
  wire::HelloRecord hello;
  hello.peerProtocolVersion = options.peerProtocolVersion;
  const uint64_t id =
      client->sendLocked(wire::FrameType::kHello, 0, wire::encodeRecord(hello), std::string());
  AppMgrReply reply = client->awaitLocked(id);
  if (reply.type == wire::FrameType::kError) {
    client->failLocked("the host refused the hello: " + reply.errorText);
  }
  if (reply.type != wire::FrameType::kHelloAck ||
      !wire::decodeRecord(reply.record.data(), reply.record.size(), client->hostHello_)) {
    client->failLocked("the host did not answer the hello");
  }
  return client;
}

AppMgrClient::AppMgrClient(std::unique_ptr<Transport> transport, const AppMgrClientOptions& options)
    : transport_(std::move(transport)), options_(options) {}

AppMgrClient::~AppMgrClient() = default;

bool AppMgrClient::isOpen() const { return transport_ && transport_->isOpen(); }

void AppMgrClient::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (transport_) transport_->close();
}

void AppMgrClient::failLocked(const std::string& what) {
  if (transport_) transport_->close();
  throw AppMgrClientError(what);
}

uint64_t AppMgrClient::sendLocked(wire::FrameType type, unsigned long code,
                                  const std::vector<unsigned char>& record, const std::string& textArea) {
  if (!isOpen()) throw AppMgrClientError("the connection is closed");
  wire::FrameHeader header;
  header.type = type;
  header.code = code;
  header.correlationId = nextCorrelationId_++;
  transport_->write(wire::buildFrame(header, record, textArea),
                    options_.connectTimeout + options_.replyTimeout);
  return header.correlationId;
}

AppMgrReply AppMgrClient::readReplyLocked() {
  unsigned char raw[wire::kHeaderSize];
  transport_->read(raw, sizeof raw, options_.replyTimeout);
  const wire::FrameHeader header = wire::decodeHeader(raw);
  if (header.magic != wire::kMagic) failLocked("the reply does not start with the frame magic");
  if (header.frameSize() > options_.maxReplyFrameSize) {
    failLocked("the reply of " + std::to_string(header.frameSize()) + " bytes exceeds the client's maximum");
  }
  // The record is kept 8-byte aligned so that callers may view it as a struct.
  std::vector<unsigned char> record(header.recordLength);
  auto textArea = std::make_shared<std::vector<char>>(header.textLength);
  if (!record.empty()) transport_->read(record.data(), record.size(), options_.replyTimeout);
  if (!textArea->empty()) transport_->read(textArea->data(), textArea->size(), options_.replyTimeout);

  AppMgrReply reply;
  reply.type = header.type;
  reply.correlationId = header.correlationId;
  reply.code = static_cast<unsigned long>(header.code);
  if (!wire::leadingText(textArea->data(), textArea->size(), reply.errorText)) {
    failLocked("the reply's text area holds no NUL");
  }
  switch (header.type) {
    case wire::FrameType::kResponse: {
      const appmanTextFields fields = appmanResponseTextFields(reply.code);
      std::string reason;
      if (!wire::resolveRecord(record.data(), record.size(), fields, textArea->data(), textArea->size(),
                               reason)) {
        failLocked("malformed response: " + reason);
      }
      for (size_t i = 0; i < fields.count; ++i) {
        const char* text = nullptr;
        std::memcpy(&text, record.data() + fields.offsets[i], sizeof text);
        reply.texts[fields.offsets[i]] = text != nullptr ? std::optional<std::string>(text) : std::nullopt;
      }
      break;
    }
    case wire::FrameType::kError: {
      wire::ErrorRecord error;
      if (!wire::decodeRecord(record.data(), record.size(), error)) failLocked("malformed error frame");
      reply.error = error.error;
      break;
    }
    case wire::FrameType::kNoResponse:
    case wire::FrameType::kHelloAck:
    case wire::FrameType::kHealthReply:
    case wire::FrameType::kAuditReply:
      break;
    default:
      failLocked("the host sent a frame of unknown type " + std::to_string(static_cast<int>(header.type)));
  }
  reply.record = std::move(record);
  reply.textStorage = std::move(textArea);
  return reply;
}

AppMgrReply AppMgrClient::awaitLocked(uint64_t correlationId) {
  for (auto it = setAside_.begin(); it != setAside_.end(); ++it) {
    if (it->correlationId == correlationId) {
      AppMgrReply reply = std::move(*it);
      setAside_.erase(it);
      return reply;
    }
  }
  for (;;) {
    if (!isOpen()) throw AppMgrClientError("the connection is closed");
    AppMgrReply reply = readReplyLocked();
    // An error frame about the connection as a whole (correlation id 0)
    // answers whatever was waiting.
    if (reply.correlationId == correlationId || reply.correlationId == 0) return reply;
    setAside_.push_back(std::move(reply));
  }
}

AppMgrReply AppMgrClient::call(unsigned long requestCode, const void* record, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const wire::FlatRecord flat =
      wire::flattenRecord(record, length, appmanRequestTextFields(requestCode), std::string());
  return awaitLocked(sendLocked(wire::FrameType::kRequest, requestCode, flat.record, flat.textArea));
}

uint64_t AppMgrClient::send(unsigned long requestCode, const void* record, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const wire::FlatRecord flat =
      wire::flattenRecord(record, length, appmanRequestTextFields(requestCode), std::string());
  return sendLocked(wire::FrameType::kRequest, requestCode, flat.record, flat.textArea);
}

AppMgrReply AppMgrClient::receive() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!setAside_.empty()) {
    AppMgrReply reply = std::move(setAside_.front());
    setAside_.pop_front();
    return reply;
  }
  if (!isOpen()) throw AppMgrClientError("the connection is closed");
  return readReplyLocked();
}

AppMgrAuditReply AppMgrClient::readAudit(const wire::AuditReadRecord& read) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (hostHello_.minor < 1) {
    throw AppMgrClientError("the host speaks protocol " + std::to_string(hostHello_.major) + "." +
                            std::to_string(hostHello_.minor) + ", which cannot read the audit trail (1.1)");
  }
  const AppMgrReply reply =
      awaitLocked(sendLocked(wire::FrameType::kAuditRead, 0, wire::encodeRecord(read), std::string()));
  wire::AuditReplyRecord record;
  if (reply.type != wire::FrameType::kAuditReply ||
      !wire::decodeRecord(reply.record.data(), reply.record.size(), record)) {
    throw AppMgrClientError("the host did not answer the audit read: " + reply.errorText);
  }
  AppMgrAuditReply out;
  out.result = record.result;
  out.more = record.more != 0;
  const std::vector<char>& area = *reply.textStorage;
  size_t at = 0;
  for (uint32_t i = 0; i <= record.count && at < area.size(); ++i) {
    const char* text = area.data() + at;
    const size_t length = ::strnlen(text, area.size() - at);
    (i == 0 ? out.errorText : out.entries.emplace_back()).assign(text, length);
    at += length + 1;
  }
  if (out.entries.size() != record.count) throw AppMgrClientError("the audit reply holds too few entries");
  return out;
}

wire::HealthRecord AppMgrClient::health() {
  std::lock_guard<std::mutex> lock(mutex_);
  const AppMgrReply reply = awaitLocked(sendLocked(wire::FrameType::kHealth, 0, {}, std::string()));
  wire::HealthRecord health;
  if (reply.type != wire::FrameType::kHealthReply ||
      !wire::decodeRecord(reply.record.data(), reply.record.size(), health)) {
    failLocked("the host did not answer the health request: " + reply.errorText);
  }
  return health;
}

}  // namespace appmgr
