// Client of appmgrd: connects over TCP ("HOST:PORT", HOST an address, "[v6]"
// or a name whose addresses are tried in turn until one connects), TLS over
// TCP, or a Unix socket ("unix:PATH"), says hello, sends request records with their texts and
// receives each reply with the record and texts copied out.
//
// Threads: every operation takes the connection's lock, so one client may be
// shared between threads; calls are then served one after the other. For
// pipelining, send() several requests and receive() their replies; call()
// and receive() set aside replies that belong to other requests, so the two
// styles may be mixed.
//
// Failures of the connection itself (refused, closed by the host, timeout,
// a reply that breaks the frame format) throw AppMgrClientError and close
// the client; every later operation throws too. Replies of the host, error
// frames included, are returned, not thrown.
#ifndef HOST_APPMGRCLIENT_H_
#define HOST_APPMGRCLIENT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/WireFormat.h"

namespace appmgr {

class AppMgrClientError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// TLS towards a host that listens with a certificate. Only for TCP
// addresses. The client speaks TLS 1.2 or newer.
struct AppMgrClientTlsOptions {
  bool enabled = false;
  // PEM certificate authorities the host's certificate must chain to;
  // empty uses the system's default trust store.
  std::string caFile;
  // The client's own PEM certificate chain and key, for hosts that require
  // client certificates; both or neither.
  std::string certificateFile;
  std::string keyFile;
  // The name (DNS name or IP address) the host's certificate must carry;
  // empty takes the host part of the address.
  std::string serverName;
  // Off only for tests and diagnosis: accepts any certificate.
  bool verifyPeer = true;
};

struct AppMgrClientOptions {
  std::chrono::milliseconds connectTimeout{5000};
  // Time allowed for one reply to arrive once its request is sent.
  std::chrono::milliseconds replyTimeout{60000};
  // The protocol version the host reports to the library for this
  // connection; 0 means unknown (the library then uses its default).
  uint32_t peerProtocolVersion = 0x1003;
  // Replies larger than this are refused (the connection is closed).
  uint32_t maxReplyFrameSize = 64u << 20;
  AppMgrClientTlsOptions tls;
};

// One reply frame of the host.
struct AppMgrReply {
  wire::FrameType type = wire::FrameType::kNoResponse;  // kResponse, kNoResponse or kError
  uint64_t correlationId = 0;
  // kResponse: the response code; otherwise the request code it answers.
  unsigned long code = 0;
  // kResponse: the response record; its text fields point into storage
  // shared by every copy of this reply.
  std::vector<unsigned char> record;
  // kResponse: the session's error text; kError: the host's message.
  std::string errorText;
  wire::WireError error = wire::WireError::kMalformedFrame;  // kError only
  // kResponse: the text behind each text field, by field offset; nullopt for null.
  std::map<size_t, std::optional<std::string>> texts;

  bool isResponse() const { return type == wire::FrameType::kResponse; }
  bool isError() const { return type == wire::FrameType::kError; }
  // The record as R (bytes past the record are zero). Text pointers stay
  // valid while a copy of this reply lives.
  template <typename R>
  R as() const;
  // The text of the field at `offset`; nullopt when null or not a text field.
  std::optional<std::string> text(size_t offset) const;

  std::shared_ptr<const std::vector<char>> textStorage;
};

// The host's answer to an audit read.
struct AppMgrAuditReply {
  uint32_t result = 0;    // the store's error code; 0 on success
  std::string errorText;  // the store's text when result is not 0
  // One entry per line of JSON, newest first (the form of
  // `appmgr store export --audit`, see docs/store-format.md).
  std::vector<std::string> entries;
  bool more = false;  // entries were left out to fit the host's frame size
};

class AppMgrClient {
 public:
  // Connects (and with options.tls, completes the TLS handshake) and
  // exchanges the hellos. Throws AppMgrClientError when the host cannot be
  // reached, its certificate is not trusted, it refuses the client's
  // certificate, or it refuses the hello.
  static std::unique_ptr<AppMgrClient> connect(const std::string& address,
                                               const AppMgrClientOptions& options = {});
  ~AppMgrClient();
  AppMgrClient(const AppMgrClient&) = delete;
  AppMgrClient& operator=(const AppMgrClient&) = delete;

  // Sends one request and waits for its reply. `record` holds `length`
  // bytes with real pointers in its text fields (appmanRequestTextFields of
  // the code says which); null pointers travel as null.
  AppMgrReply call(unsigned long requestCode, const void* record, size_t length);
  // Sends one request without waiting; returns its correlation id.
  uint64_t send(unsigned long requestCode, const void* record, size_t length);
  // The next reply not yet returned, in the order the host sent them.
  AppMgrReply receive();

  // Asks the host for its health record (answered without the store).
  wire::HealthRecord health();

  // Asks the host for audit entries (protocol 1.1). Throws
  // AppMgrClientError when the host speaks 1.0 only or answers with
  // anything but an audit reply.
  AppMgrAuditReply readAudit(const wire::AuditReadRecord& read);

  // What the host said in its hello.
  const wire::HelloAckRecord& hostHello() const { return hostHello_; }
  bool isOpen() const;
  void close();

  class Transport;  // the socket behind the client

 private:
  AppMgrClient(std::unique_ptr<Transport> transport, const AppMgrClientOptions& options);
  uint64_t sendLocked(wire::FrameType type, unsigned long code, const std::vector<unsigned char>& record,
                      const std::string& textArea);
  AppMgrReply readReplyLocked();
  // Reads frames until one with `correlationId` arrives; other replies are set aside.
  AppMgrReply awaitLocked(uint64_t correlationId);
  [[noreturn]] void failLocked(const std::string& what);

  std::mutex mutex_;
  std::unique_ptr<Transport> transport_;
  AppMgrClientOptions options_;
  wire::HelloAckRecord hostHello_;
  uint64_t nextCorrelationId_ = 1;
  std::deque<AppMgrReply> setAside_;  // replies read while waiting for another, oldest first
};

template <typename R>
R AppMgrReply::as() const {
  R out{};
  const size_t n = sizeof(R) < record.size() ? sizeof(R) : record.size();
  std::memcpy(static_cast<void*>(&out), record.data(), n);
  return out;
}

}  // namespace appmgr

#endif  // HOST_APPMGRCLIENT_H_
