// One client connection: frame reading, validation, the hand-off to the
// listener library and the single reply of every request.
#include "host/HostConnection.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"
#include "platform/xrsDatabuf.h"

#include "host/AccessLog.h"
#include "host/AppMgrNames.h"
#include "host/HostSession.h"
#include "host/NetworkReadHold.h"
#include "host/TlsSupport.h"
#include "store/AuditTrail.h"
#include "store/ConfigStore.h"

namespace appmgr {

namespace {
constexpr const char* kTag = "HostConnection";
constexpr std::chrono::seconds kDrainTime{1};
// Bytes asked for per read: a whole small frame, often with the next ones of
// a pipelining peer, in one call. Larger bodies are read straight into place.
constexpr size_t kReadChunk = 8192;
// Replies gathered for one write: past this, they go out before the next
// frame already read is served.
constexpr size_t kBatchBytes = 64 * 1024;

std::vector<unsigned char> errorFrame(uint64_t code, uint64_t correlationId, wire::WireError error,
                                      const std::string& message) {
  wire::FrameHeader header;
  header.type = wire::FrameType::kError;
  header.code = code;
  header.correlationId = correlationId;
  wire::ErrorRecord record;
  record.error = error;
  return wire::buildFrame(header, wire::encodeRecord(record), message + '\0');
}
}  // namespace

HostConnection::HostConnection(Socket socket, HostContext& context, asio::ssl::context* tls)
    : stream_(std::move(socket), tls),
      context_(context),
      idleTimer_(stream_.get_executor()),
      deadlineTimer_(stream_.get_executor()) {}

HostConnection::~HostConnection() {
  if (registered_) context_.leave(this);
}

void HostConnection::start() {
  auto self = shared_from_this();
  asio::dispatch(stream_.get_executor(), [this, self] {
    // Registered before the handshake, so connections still in their
    // handshake count against the limit and are closed by a stop.
    registered_ = context_.enter(this, weak_from_this());
    if (context_.metrics) context_.metrics->countConnectionAccepted();
    if (stream_.isTls()) {
      handshake();
    } else {
      begin();
    }
  });
}

void HostConnection::handshake() {
  state_ = State::kHandshaking;
  auto self = shared_from_this();
  idleTimer_.expires_after(context_.options.tls.handshakeTimeout);
  idleTimer_.async_wait([this, self](const asio::error_code& ec) {
    if (ec || state_ != State::kHandshaking) return;
    EvEvent ev;
    ev.Debug(kTag, "TLS handshake not finished within %lld ms, closing",
             static_cast<long long>(context_.options.tls.handshakeTimeout.count()));
    if (context_.metrics) context_.metrics->countTlsHandshakeFailure();
    close();
  });
  stream_.asyncHandshake([this, self](const asio::error_code& ec) {
    if (state_ == State::kClosed) return;
    idleTimer_.cancel();
    if (ec) {
      EvEvent ev;
      ev.Debug(kTag, "TLS handshake failed: %s", tls::describeFailure(ec, stream_.nativeTls()).c_str());
      if (context_.metrics) context_.metrics->countTlsHandshakeFailure();
      close();
      return;
    }
    begin();
  });
}

void HostConnection::begin() {
  peer_ = describePeer(stream_.socket(), stream_.nativeTls());
  if (!stream_.isTls()) {  // flush() writes without blocking, then waits through the event loop
    asio::error_code ignored;
    stream_.socket().non_blocking(true, ignored);
  }
  requestBegan_ = std::chrono::steady_clock::now();
  if (!registered_) {
    EvEvent ev;
    ev.Debug(kTag, "Connection refused: %u connections are live", context_.options.maxConnections);
    replyError(wire::WireError::kTooManyConnections,
               "the host serves at most " + std::to_string(context_.options.maxConnections) + " connections",
               true);
    return;
  }
  readHeader();
}

void HostConnection::shutdown() {
  auto self = shared_from_this();
  asio::post(stream_.get_executor(), [this, self] {
    if (state_ == State::kReading || state_ == State::kHandshaking) close();
    // kHandling / kWriting: onWritten sees the stop flag and closes.
  });
}

void HostConnection::abort() {
  auto self = shared_from_this();
  asio::post(stream_.get_executor(), [this, self] { close(); });
}

void HostConnection::watchIdle() {
  idleSince_ = std::chrono::steady_clock::now();
  if (idleWatched_) return;  // the pending wait looks at idleSince_ when it ends
  idleWatched_ = true;
  auto self = shared_from_this();
  idleTimer_.expires_at(idleSince_ + context_.options.idleTimeout);
  idleTimer_.async_wait([this, self](const asio::error_code& ec) { onIdleTimer(ec); });
}

void HostConnection::onIdleTimer(const asio::error_code& ec) {
  idleWatched_ = false;
  // Cancelled, closed, or a request in the library: the next wait for the
  // peer starts a new watch.
  if (ec || (state_ != State::kReading && state_ != State::kWriting)) return;
  const auto due = idleSince_ + context_.options.idleTimeout;
  if (std::chrono::steady_clock::now() < due) {  // the peer did something since: wait for the rest
    idleWatched_ = true;
    auto self = shared_from_this();
    idleTimer_.expires_at(due);
    idleTimer_.async_wait([this, self](const asio::error_code& ec) { onIdleTimer(ec); });
    return;
  }
  EvEvent ev;
  ev.Debug(kTag,
           state_ == State::kReading ? "Connection idle for %lld ms, closing"
                                     : "Reply not taken by the peer within %lld ms, closing",
           static_cast<long long>(context_.options.idleTimeout.count()));
  close();
}

void HostConnection::readHeader() {
  // The frames a read brought along are served one after the other, their
  // replies gathered in queued_; the batch goes out in one write once no
  // whole frame is left, the batch is full, or a request goes to the handler
  // pool. The socket is read again only after that write.
  //
  // The batch is one request to the store, inside the thread's held reads:
  // the store checks once, as the batch begins, that nothing was written
  // since its read view was taken. Once is enough: the peer sent every
  // frame of the batch before the read that brought them, so a write that
  // finished before any of them was sent finished before that check. The
  // scope ends before anything that could read the socket again.
  std::optional<ConfigStore::RequestScope> batch;
  for (;;) {
    if (context_.stopping) {  // replies already made still go out
      batch.reset();
      if (queued_.empty()) {
        close();
      } else {
        closeAfterWrite_ = true;
        state_ = State::kWriting;
        flush();
      }
      return;
    }
    state_ = State::kReading;
    answering_ = false;
    if (!frameBuffered() || queued_.size() >= kBatchBytes) break;
    if (!batch) {
      const std::shared_ptr<ConfigStore> store = ConfigStore::current();
      NetworkReadHold::touch(store, stream_.get_executor(), std::chrono::steady_clock::now());
      batch.emplace(store);
    }
    batching_ = true;
    onHeader();
    batching_ = false;
    if (state_ != State::kQueued) {  // with the handler pool, or closing
      batch.reset();
      if (state_ == State::kHandling) flush();
      return;
    }
  }
  batch.reset();
  if (!queued_.empty()) {
    state_ = State::kWriting;
    flush();
    return;
  }
  watchIdle();
  awaitHeader();
}

bool HostConnection::frameBuffered() const {
  if (inEnd_ - inBegin_ < wire::kHeaderSize) return false;
  const wire::FrameHeader header = wire::decodeHeader(in_.data() + inBegin_);
  return header.frameSize() <= inEnd_ - inBegin_;
}

void HostConnection::awaitHeader() {
  if (inEnd_ - inBegin_ >= wire::kHeaderSize) {
    onHeader();
    return;
  }
  if (in_.empty()) in_.resize(kReadChunk);
  if (inBegin_ > 0) {  // keep the partial header, make room behind it
    std::memmove(in_.data(), in_.data() + inBegin_, inEnd_ - inBegin_);
    inEnd_ -= inBegin_;
    inBegin_ = 0;
  }
  auto self = shared_from_this();
  stream_.async_read_some(asio::buffer(in_.data() + inEnd_, in_.size() - inEnd_),
                          [this, self](const asio::error_code& ec, size_t n) {
                            if (ec) {  // the peer closed, possibly inside the header: nothing to answer
                              close();
                              return;
                            }
                            inEnd_ += n;
                            readHeader();  // serves what arrived, or reads on
                          });
}

size_t HostConnection::takeBuffered(void* out, size_t length) {
  const size_t n = std::min(length, inEnd_ - inBegin_);
  if (n > 0) std::memcpy(out, in_.data() + inBegin_, n);
  inBegin_ += n;
  if (inBegin_ == inEnd_) inBegin_ = inEnd_ = 0;
  return n;
}

void HostConnection::onHeader() {
  unsigned char headerBytes[wire::kHeaderSize];
  takeBuffered(headerBytes, sizeof headerBytes);
  header_ = wire::decodeHeader(headerBytes);
  if (context_.metrics || context_.options.accessLog) {
    requestBegan_ = std::chrono::steady_clock::now();
    libraryTime_ = std::chrono::nanoseconds(0);
    hasObject_ = false;
  }
  if (header_.magic != wire::kMagic || header_.flags != 0) {
    replyError(wire::WireError::kMalformedFrame,
               header_.magic != wire::kMagic ? "the frame does not start with the magic" : "flags must be 0",
               true);
    return;
  }
  if (header_.frameSize() > context_.options.maxFrameSize) {
    replyError(wire::WireError::kOversizeFrame,
               "frame of " + std::to_string(header_.frameSize()) + " bytes exceeds the maximum of " +
                   std::to_string(context_.options.maxFrameSize),
               true);
    return;
  }
  switch (header_.type) {
    case wire::FrameType::kHello:
    case wire::FrameType::kRequest:
    case wire::FrameType::kHealth:
      break;
    case wire::FrameType::kAuditRead:
      if (helloDone_ && helloMinor_ >= 1) break;
      [[fallthrough]];  // a 1.0 client does not send it
    default:
      replyError(wire::WireError::kUnknownFrameType,
                 "frame type " + std::to_string(static_cast<unsigned>(header_.type)) + " is not a request",
                 true);
      return;
  }
  record_.assign((header_.recordLength + 7) / 8, 0);
  textArea_.assign(header_.textLength, '\0');
  // The body: what the last read brought along, the rest straight from the stream.
  auto* record = reinterpret_cast<unsigned char*>(record_.data());
  const size_t recordHave = takeBuffered(record, header_.recordLength);
  const size_t textHave = takeBuffered(textArea_.data(), header_.textLength);
  if (recordHave == header_.recordLength && textHave == header_.textLength) {
    onBody({});
    return;
  }
  const std::array<asio::mutable_buffer, 2> rest = {
      asio::buffer(record + recordHave, header_.recordLength - recordHave),
      asio::buffer(textArea_.data() + textHave, textArea_.size() - textHave)};
  auto self = shared_from_this();
  asio::async_read(stream_, rest, [this, self](const asio::error_code& ec, size_t) { onBody(ec); });
}

void HostConnection::onBody(const asio::error_code& ec) {
  if (ec) {  // the peer left inside the frame
    close();
    return;
  }
  switch (header_.type) {
    case wire::FrameType::kHello:
      handleHello();
      break;
    case wire::FrameType::kHealth:
      handleHealth();
      break;
    case wire::FrameType::kAuditRead:
      handleAuditRead();
      break;
    default:
      answering_ = true;
      handleRequest();
      break;
  }
}

void HostConnection::handleHello() {
  if (helloDone_) {
    replyError(wire::WireError::kHelloRepeated, "the connection already said hello", true);
    return;
  }
  wire::HelloRecord hello;
  if (!wire::decodeRecord(reinterpret_cast<const unsigned char*>(record_.data()), header_.recordLength,
                          hello)) {
    replyError(wire::WireError::kMalformedFrame,
               "a hello record has " + std::to_string(wire::HelloRecord::kSize) + " bytes", true);
    return;
  }
  if (hello.major != wire::kProtocolMajor) {
    replyError(wire::WireError::kVersionRefused,
               "protocol version " + std::to_string(hello.major) + "." + std::to_string(hello.minor) +
                   " is not spoken here; this host speaks " + std::to_string(wire::kProtocolMajor) + "." +
                   std::to_string(wire::kProtocolMinor),
               true);
    return;
  }
  helloDone_ = true;
  peerProtocolVersion_ = hello.peerProtocolVersion;
  helloMinor_ = hello.minor;
  wire::HelloAckRecord ack;
  ack.maxFrameSize = context_.options.maxFrameSize;
  ack.requestDeadlineMs = static_cast<uint32_t>(context_.options.requestDeadline.count());
  ack.idleTimeoutMs = static_cast<uint32_t>(context_.options.idleTimeout.count());
  wire::FrameHeader header;
  header.type = wire::FrameType::kHelloAck;
  header.correlationId = header_.correlationId;
  reply(wire::buildFrame(header, wire::encodeRecord(ack), std::string("appmgrd") + '\0'), false);
}

void HostConnection::handleHealth() {
  wire::HealthRecord health;
  health.state = context_.stopping ? wire::HealthRecord::kStopping : wire::HealthRecord::kServing;
  health.connections = context_.connectionCount();
  health.requestsAnswered = context_.requestsAnswered;
  health.uptimeMs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - context_.startedAt)
                                              .count());
  wire::FrameHeader header;
  header.type = wire::FrameType::kHealthReply;
  header.correlationId = header_.correlationId;
  reply(wire::buildFrame(header, wire::encodeRecord(health), std::string("appmgrd") + '\0'), false);
}

void HostConnection::handleRequest() {
  if (!helloDone_) {
    replyError(wire::WireError::kHelloMissing, "a connection starts with a hello", true);
    return;
  }
  // Every check happens before a pointer is rebuilt or the library is called.
  const unsigned long code = static_cast<unsigned long>(header_.code);
  const size_t expected = appmanRequestRecordLength(code);
  if (expected != 0 && header_.recordLength != expected) {
    ++context_.requestsAnswered;
    replyError(wire::WireError::kMalformedRequest,
               "the record of request " + std::to_string(code) + " has " + std::to_string(expected) +
                   " bytes, not " + std::to_string(header_.recordLength),
               false);
    return;
  }
  // A code the library answers quickly is served right here; the others
  // go to the handler pool, with the deadline timer running meanwhile.
  const bool handOff =
      context_.options.handlerThreads > 0 && !context_.inlinePolicy.serveInline(header_.code);
  if (context_.options.accessLog) {
    hasObject_ = requestObjectId(code, record_.data(), header_.recordLength, objectId_);
  }
  std::shared_ptr<Pending> pending = handOff ? std::make_shared<Pending>() : nullptr;
  Pending& request = handOff ? *pending : inline_;
  request.code = header_.code;
  request.correlationId = header_.correlationId;
  request.peerProtocolVersion = peerProtocolVersion_;
  request.maxFrameSize = context_.options.maxFrameSize;
  request.peer = &peer_;
  request.recordLength = header_.recordLength;
  request.record = std::move(record_);
  request.textArea = std::move(textArea_);
  request.answered = false;
  std::string reason;
  if (!wire::resolveRecord(reinterpret_cast<unsigned char*>(request.record.data()), request.recordLength,
                           appmanRequestTextFields(code), request.textArea.data(), request.textArea.size(),
                           reason)) {
    ++context_.requestsAnswered;
    replyError(wire::WireError::kMalformedRequest, reason, false);
    return;
  }
  if (!ConfigStore::current()) {
    ++context_.requestsAnswered;
    replyError(wire::WireError::kStoreUnavailable, "no configuration store is open", false);
    return;
  }

  state_ = State::kHandling;
  if (context_.metrics) context_.metrics->countServed(!handOff);
  if (!handOff) {
    serveInline();
    return;
  }
  auto self = shared_from_this();
  deadlineTimer_.expires_after(context_.options.requestDeadline);
  deadlineTimer_.async_wait([this, self, pending](const asio::error_code& ec) { onDeadline(pending, ec); });
  asio::post(context_.handlers, [this, self, pending] {
    const auto began = std::chrono::steady_clock::now();
    std::vector<unsigned char> frame = serve(*pending);
    pending->libraryTime = std::chrono::steady_clock::now() - began;
    context_.inlinePolicy.record(pending->code, pending->libraryTime);
    asio::post(stream_.get_executor(), [this, self, pending, frame = std::move(frame)]() mutable {
      onHandled(pending, std::move(frame));
    });
  });
}

void HostConnection::serveInline() {
  const auto began = std::chrono::steady_clock::now();
  std::vector<unsigned char> frame = serve(inline_);
  const auto took = std::chrono::steady_clock::now() - began;
  libraryTime_ = took;
  // The request's buffers go back to the connection, capacity and all.
  record_ = std::move(inline_.record);
  textArea_ = std::move(inline_.textArea);
  if (context_.options.handlerThreads > 0) {
    context_.inlinePolicy.record(inline_.code, took);
    // The answer the handler pool would have given: the deadline's error,
    // only later, as the call could not be left behind.
    if (took > context_.options.requestDeadline) {
      EvEvent ev;
      ev.Error(kTag, "Request [%#lx] not answered within %lld ms", static_cast<unsigned long>(inline_.code),
               static_cast<long long>(context_.options.requestDeadline.count()));
      frame = errorFrame(inline_.code, inline_.correlationId, wire::WireError::kDeadlineExceeded,
                         "the request was not answered within " +
                             std::to_string(context_.options.requestDeadline.count()) + " ms");
    }
  }
  if (state_ == State::kClosed) return;
  ++context_.requestsAnswered;
  reply(std::move(frame), false);
}

std::vector<unsigned char> HostConnection::serve(const Pending& pending) {
  HostSession session(pending.peerProtocolVersion);
  xrsDatabuf buffer;
  buffer.data = const_cast<uint64_t*>(pending.record.data());
  buffer.length = pending.recordLength;
  buffer.capacity = pending.record.size() * sizeof(uint64_t);
  const unsigned long code = static_cast<unsigned long>(pending.code);
  try {
    // Who asks, for the audit entries of the changes the request makes.
    const ConfigStore::ActorScope actor(
        {pending.peer != nullptr ? pending.peer->c_str() : nullptr, pending.code, requestCodeName(code)});
    const ConfigStore::RequestScope storeRequest(ConfigStore::current());  // one request on this thread
    BCLsnMsgHandler::handleMessage(session, code, &buffer);
  } catch (const std::exception& e) {
    EvEvent ev;
    ev.Error(kTag, "Request [%#lx] failed: %s", code, e.what());
    return errorFrame(pending.code, pending.correlationId, wire::WireError::kHandlerFailed,
                      std::string("the request failed: ") + e.what());
  } catch (...) {
    EvEvent ev;
    ev.Error(kTag, "Request [%#lx] failed with an unknown exception", code);
    return errorFrame(pending.code, pending.correlationId, wire::WireError::kHandlerFailed,
                      "the request failed with an unknown exception");
  }
  wire::FrameHeader header;
  header.correlationId = pending.correlationId;
  if (!session.answered()) {
    header.type = wire::FrameType::kNoResponse;
    header.code = pending.code;
    return wire::buildFrame(header, {}, std::string());
  }
  const wire::FlatRecord& response = session.response();
  const uint64_t size = wire::kHeaderSize + response.record.size() + response.textArea.size();
  if (size > pending.maxFrameSize) {
    return errorFrame(pending.code, pending.correlationId, wire::WireError::kResponseTooLarge,
                      "the response of " + std::to_string(size) +
                          " bytes exceeds the maximum frame size of " + std::to_string(pending.maxFrameSize));
  }
  header.type = wire::FrameType::kResponse;
  header.code = session.responseCode();
  return wire::buildFrame(header, response.record, response.textArea);
}

void HostConnection::handleAuditRead() {
  wire::AuditReadRecord read;
  if (!wire::decodeRecord(reinterpret_cast<const unsigned char*>(record_.data()), header_.recordLength,
                          read) ||
      (read.objectKind != 0 && wire::auditObjectKindName(read.objectKind) == nullptr)) {
    replyError(wire::WireError::kMalformedRequest,
               "an audit read has a record of " + std::to_string(wire::AuditReadRecord::kSize) +
                   " bytes and an object kind from 0 to 5",
               false);
    return;
  }
  state_ = State::kHandling;
  const uint64_t correlationId = header_.correlationId;
  const uint32_t maxFrameSize = context_.options.maxFrameSize;
  if (context_.options.handlerThreads == 0) {
    reply(auditReply(read, correlationId, maxFrameSize), false);
    return;
  }
  // A long trail is read off the network thread.
  auto self = shared_from_this();
  asio::post(context_.handlers, [this, self, read, correlationId, maxFrameSize] {
    std::vector<unsigned char> frame = auditReply(read, correlationId, maxFrameSize);
    asio::post(stream_.get_executor(), [this, self, frame = std::move(frame)]() mutable {
      if (state_ != State::kClosed) reply(std::move(frame), false);
    });
  });
}

std::vector<unsigned char> HostConnection::auditReply(const wire::AuditReadRecord& read,
                                                      uint64_t correlationId, uint32_t maxFrameSize) {
  AuditFilter filter;
  if (read.objectKind != 0) filter.objectKind = wire::auditObjectKindName(read.objectKind);
  filter.objectId = read.objectId;
  filter.sinceUs = read.sinceUs;
  filter.untilUs = read.untilUs;
  filter.limit = read.limit;
  std::vector<AuditEntry> entries;
  std::string errorText;
  wire::AuditReplyRecord answer;
  const std::shared_ptr<ConfigStore> store = ConfigStore::current();
  if (!store) {
    answer.result = XR_GET_INTERFACE_FAILED;
    errorText = "no configuration store is open";
  } else {
    answer.result = static_cast<uint32_t>(store->readAudit(filter, entries, errorText));
  }
  std::string texts = (answer.result == 0 ? std::string() : errorText) + '\0';
  const size_t room = maxFrameSize - wire::kHeaderSize - wire::AuditReplyRecord::kSize;
  for (AuditEntry& entry : entries) {
    if (entry.requestName.empty() && requestCodeName(entry.requestCode) != nullptr)
      entry.requestName = requestCodeName(entry.requestCode);
    const std::string line = auditEntryJson(entry);
    if (texts.size() + line.size() + 1 > room) {
      answer.more = 1;
      break;
    }
    texts += line + '\0';
    ++answer.count;
  }
  wire::FrameHeader header;
  header.type = wire::FrameType::kAuditReply;
  header.correlationId = correlationId;
  return wire::buildFrame(header, wire::encodeRecord(answer), texts);
}

void HostConnection::onHandled(const std::shared_ptr<Pending>& pending, std::vector<unsigned char> frame) {
  if (pending->answered) return;  // the deadline already answered it
  pending->answered = true;
  deadlineTimer_.cancel();
  libraryTime_ = pending->libraryTime;
  if (state_ == State::kClosed) return;
  ++context_.requestsAnswered;
  reply(std::move(frame), false);
}

void HostConnection::onDeadline(const std::shared_ptr<Pending>& pending, const asio::error_code& ec) {
  if (ec || pending->answered || state_ == State::kClosed) return;
  pending->answered = true;
  EvEvent ev;
  ev.Error(kTag, "Request [%#lx] not answered within %lld ms", static_cast<unsigned long>(pending->code),
           static_cast<long long>(context_.options.requestDeadline.count()));
  ++context_.requestsAnswered;
  reply(errorFrame(pending->code, pending->correlationId, wire::WireError::kDeadlineExceeded,
                   "the request was not answered within " +
                       std::to_string(context_.options.requestDeadline.count()) + " ms"),
        false);
}

void HostConnection::replyError(wire::WireError error, const std::string& message, bool closeAfter) {
  EvEvent ev;
  ev.Debug(kTag, "Error frame (%s) for request [%#lx]: %s", wire::wireErrorName(error),
           static_cast<unsigned long>(header_.code), message.c_str());
  reply(errorFrame(header_.code, header_.correlationId, error, message), closeAfter);
}

void HostConnection::account(const std::vector<unsigned char>& frame) {
  HostMetrics* metrics = context_.metrics.get();
  LogSink* accessLog = context_.options.accessLog.get();
  const ReplyOutcome outcome = outcomeOf(frame);
  const bool errorFrame = outcome.kind == ReplyOutcome::Kind::kErrorFrame;
  if (!answering_ && !errorFrame) return;  // a hello or health reply
  const auto total = std::chrono::steady_clock::now() - requestBegan_;
  if (metrics != nullptr) {
    if (errorFrame) metrics->countFrameError(outcome.frameError);
    if (answering_) {
      const auto result = outcome.kind == ReplyOutcome::Kind::kNoResponse ? HostMetrics::Result::kNoResponse
                          : errorFrame || outcome.errorCode != 0          ? HostMetrics::Result::kError
                                                                          : HostMetrics::Result::kOk;
      metrics->countRequest(header_.code, result, libraryTime_, total);
    }
  }
  if (accessLog != nullptr) {
    AccessRecord access;
    access.peer = &peer_;
    access.correlationId = header_.correlationId;
    access.code = header_.code;
    access.hasObject = hasObject_;
    access.objectId = objectId_;
    access.outcome = outcome;
    access.library = libraryTime_;
    access.total = total;
    writeAccessLine(*accessLog, access);
  }
}

void HostConnection::reply(std::vector<unsigned char> frame, bool closeAfter) {
  if (state_ == State::kClosed) return;
  if (context_.metrics || context_.options.accessLog) account(frame);
  if (queued_.empty()) {
    queued_.swap(frame);
  } else {
    queued_.insert(queued_.end(), frame.begin(), frame.end());
  }
  if (batching_ && !closeAfter) {  // readHeader goes on with the next frame read
    state_ = State::kQueued;
    return;
  }
  closeAfterWrite_ = closeAfter;
  state_ = State::kWriting;
  flush();
}

void HostConnection::flush() {
  if (writing_ || queued_.empty()) return;
  writing_ = true;
  sending_.swap(queued_);
  queued_.clear();
  auto self = shared_from_this();
  // Nothing is read while replies wait, so a peer that stops reading holds
  // one batch at most; one that does not take it within the idle timeout
  // loses the connection instead of holding it for ever.
  watchIdle();
  size_t written = 0;
  if (!stream_.isTls()) {
    // Usually the socket takes the whole batch at once: written here, it
    // costs no completion handler and no extra round of the event loop.
    asio::error_code ec;
    written = stream_.socket().write_some(asio::buffer(sending_), ec);
    if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
      onWritten(ec);
      return;
    }
    if (written == sending_.size()) {
      onWritten({});
      return;
    }
  }
  asio::async_write(stream_, asio::buffer(sending_) + written,
                    [this, self](const asio::error_code& ec, size_t) { onWritten(ec); });
}

void HostConnection::onWritten(const asio::error_code& ec) {
  writing_ = false;
  if (state_ == State::kClosed) return;
  if (ec) {  // the peer left before the reply was out
    close();
    return;
  }
  if (!queued_.empty()) {  // a reply made while this write was out
    flush();
    return;
  }
  if (state_ == State::kHandling) return;  // its reply comes from the handler pool
  if (closeAfterWrite_) {
    closeGracefully();
    return;
  }
  readHeader();  // closes when the host is stopping
}

void HostConnection::closeGracefully() {
  state_ = State::kClosed;
  idleTimer_.cancel();
  deadlineTimer_.cancel();
  auto self = shared_from_this();
  idleTimer_.expires_after(kDrainTime);
  idleTimer_.async_wait([this, self](const asio::error_code&) {
    asio::error_code ignored;
    stream_.socket().close(ignored);
  });
  if (stream_.isTls()) {
    // close_notify, then the peer's answer or its close (the timer bounds it).
    stream_.asyncShutdown([this, self](const asio::error_code&) {
      asio::error_code ignored;
      idleTimer_.cancel();
      stream_.socket().close(ignored);
    });
    return;
  }
  asio::error_code ignored;
  stream_.socket().shutdown(asio::socket_base::shutdown_send, ignored);
  drain_.resize(4096);
  struct Drain {
    std::shared_ptr<HostConnection> self;
    void operator()(const asio::error_code& ec, size_t) {
      if (ec) {
        asio::error_code ignored;
        self->idleTimer_.cancel();
        self->stream_.socket().close(ignored);
        return;
      }
      self->stream_.async_read_some(asio::buffer(self->drain_), std::move(*this));
    }
  };
  stream_.async_read_some(asio::buffer(drain_), Drain{self});
}

void HostConnection::close() {
  Socket& socket = stream_.socket();
  if (state_ == State::kClosed && !socket.is_open()) return;
  state_ = State::kClosed;
  idleTimer_.cancel();
  deadlineTimer_.cancel();
  asio::error_code ignored;
  socket.shutdown(asio::socket_base::shutdown_both, ignored);
  socket.close(ignored);
}

}  // namespace appmgr
