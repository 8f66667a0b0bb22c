// The load loop of appmgr-bench: plain non-blocking sockets and epoll, one
// loop per thread. Every buffer is allocated once per connection and reused.
#include "bench/LoadGenerator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "host/WireFormat.h"

namespace appmgr {
namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error systemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Opens a blocking stream socket to "HOST:PORT" (numeric IPv4 or IPv6,
// "[v6]:PORT") or "unix:PATH".
int connectTo(const std::string& address) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  const std::string unixPrefix = "unix:";
  if (address.compare(0, unixPrefix.size(), unixPrefix) == 0) {
    auto* un = reinterpret_cast<sockaddr_un*>(&storage);
    const std::string path = address.substr(unixPrefix.size());
    if (path.empty() || path.size() >= sizeof un->sun_path) {
      throw std::runtime_error("unix socket path \"" + path + "\" is empty or too long");
    }
    un->sun_family = AF_UNIX;
    std::memcpy(un->sun_path, path.c_str(), path.size() + 1);
    length = sizeof(sockaddr_un);
  } else {
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0) {
      throw std::runtime_error("address \"" + address + "\" is neither HOST:PORT nor unix:PATH");
    }
    std::string host = address.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    char* end = nullptr;
    const unsigned long port = std::strtoul(address.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port == 0 || port > 65535) {
      throw std::runtime_error("port of \"" + address + "\" is not a number from 1 to 65535");
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      v4->sin_port = htons(static_cast<uint16_t>(port));
      length = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      v6->sin6_port = htons(static_cast<uint16_t>(port));
      length = sizeof(sockaddr_in6);
    } else {
      throw std::runtime_error("address \"" + host + "\" is not an IP address");
    }
  }
  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw systemError("socket");
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    const std::runtime_error error = systemError("cannot connect to " + address);
    ::close(fd);
    throw error;
  }
  if (storage.ss_family != AF_UNIX) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return fd;
}

void writeAll(int fd, const std::vector<unsigned char>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw systemError("send");
    done += static_cast<size_t>(n);
  }
}

void readAll(int fd, void* out, size_t length) {
  auto* bytes = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::recv(fd, bytes + done, length - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) throw std::runtime_error("the host closed the connection during the hello");
    if (n < 0) throw systemError("recv");
    done += static_cast<size_t>(n);
  }
}

// Says hello on a fresh blocking socket and checks the host's answer.
void hello(int fd, const std::string& address, uint32_t peerProtocolVersion) {
  wire::HelloRecord record;
  record.peerProtocolVersion = peerProtocolVersion;
  wire::FrameHeader header;
  header.type = wire::FrameType::kHello;
  writeAll(fd, wire::buildFrame(header, wire::encodeRecord(record), std::string()));
  unsigned char raw[wire::kHeaderSize];
  readAll(fd, raw, sizeof raw);
  const wire::FrameHeader ack = wire::decodeHeader(raw);
  if (ack.magic != wire::kMagic || ack.frameSize() > (1u << 20)) {
    throw std::runtime_error(address + " does not speak the appmgrd protocol");
  }
  std::vector<char> body(ack.bodySize());
  readAll(fd, body.data(), body.size());
  if (ack.type != wire::FrameType::kHelloAck) {
    std::string message;
    wire::leadingText(body.data() + ack.recordLength, ack.textLength, message);
    throw std::runtime_error(address + " refused the hello: " + message);
  }
}

struct Connection {
  int fd = -1;
  bool open = true;
  size_t nextRequest = 0;  // index into the requests, round robin
  uint64_t nextId = 1;
  std::vector<unsigned char> out;  // frames not yet sent
  size_t outSent = 0;
  bool wantWrite = false;
  std::vector<unsigned char> in;  // bytes received, not yet consumed
  size_t inUsed = 0;
  // Requests in flight, oldest first: a ring of `pipeline` slots.
  std::vector<Clock::time_point> sentAt;
  std::vector<uint64_t> ids;
  size_t head = 0;
  unsigned inFlight = 0;
};

// What one thread collects; merged at the end.
struct ThreadTally {
  uint64_t requests = 0;
  uint64_t errors = 0;
  std::vector<uint64_t> latencies;
  Clock::time_point lastReply{};
  std::string firstError;
};

class Loop {
 public:
  Loop(const LoadOptions& options, const std::vector<BenchRequest>& requests, std::atomic<uint64_t>& issued,
       Clock::time_point start, double rate)
      : options_(options),
        requests_(requests),
        issued_(issued),
        countStart_(start + options.warmup),
        end_(start + options.duration),
        nextSend_(start) {
    if (rate > 0) {
      interval_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
      if (interval_.count() == 0) interval_ = Clock::duration(1);
    }
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) throw systemError("epoll_create1");
  }
  ~Loop() {
    for (auto& c : connections_) {
      if (c->fd >= 0) ::close(c->fd);
    }
    ::close(epoll_);
  }

  void add(int fd, size_t firstRequest) {
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->nextRequest = firstRequest % requests_.size();
    c->in.resize(64 * 1024);
    c->sentAt.resize(options_.pipeline);
    c->ids.resize(options_.pipeline);
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = c.get();
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) throw systemError("epoll_ctl");
    connections_.push_back(std::move(c));
  }

  ThreadTally run() {
    if (options_.requests == 0) tally_.latencies.reserve(1u << 20);
    for (auto& c : connections_) fill(*c);
    std::vector<epoll_event> events(connections_.size() + 1);
    while (busy()) {
      int timeout = 10;
      if (paced()) {
        // Milliseconds to the next send, rounded up: within a millisecond,
        // the requests due leave together.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextSend_ - Clock::now()).count();
        timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(wait, timeout)));
      }
      const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), timeout);
      if (n < 0 && errno != EINTR) throw systemError("epoll_wait");
      for (int i = 0; i < n; ++i) {
        auto& c = *static_cast<Connection*>(events[i].data.ptr);
        if (c.open && (events[i].events & EPOLLOUT)) flush(c);
        if (c.open && (events[i].events & (EPOLLIN | EPOLLERR | EPOLLHUP))) receive(c);
      }
      if (paced()) pace();
    }
    return std::move(tally_);
  }

 private:
  bool stopping(Clock::time_point now) const {
    return options_.requests != 0 ? issued_.load(std::memory_order_relaxed) >= options_.requests
                                  : now >= end_;
  }

  bool busy() {
    const bool stop = stopping(Clock::now());
    for (auto& c : connections_) {
      if (c->open && (c->inFlight > 0 || !stop)) return true;
    }
    return false;
  }

  bool paced() const { return interval_.count() > 0; }

  // Sends requests until `pipeline` are in flight or the run stops; with a
  // rate, pace() sends instead.
  void fill(Connection& c) {
    const Clock::time_point now = Clock::now();
    while (!paced() && c.open && c.inFlight < options_.pipeline && !stopping(now) && queue(c, now)) {
    }
    flush(c);
  }

  // Sends the requests that are due, each on the next connection with room.
  void pace() {
    const Clock::time_point now = Clock::now();
    while (nextSend_ <= now && !stopping(now)) {
      Connection* room = nullptr;
      for (size_t i = 0; i < connections_.size() && room == nullptr; ++i) {
        Connection& c = *connections_[(cursor_ + i) % connections_.size()];
        if (c.open && c.inFlight < options_.pipeline) room = &c;
      }
      if (room == nullptr) return;  // sent when a reply makes room
      cursor_ = (cursor_ + 1) % connections_.size();
      if (!queue(*room, now)) return;
      flush(*room);
      nextSend_ += interval_;
    }
  }

  // Appends the connection's next request to its output; false when a
  // counted run has issued all of its requests.
  bool queue(Connection& c, Clock::time_point now) {
    if (options_.requests != 0 && issued_.fetch_add(1, std::memory_order_relaxed) >= options_.requests)
      return false;
    const BenchRequest& request = requests_[c.nextRequest];
    c.nextRequest = (c.nextRequest + 1) % requests_.size();
    const size_t at = c.out.size();
    c.out.insert(c.out.end(), request.frame.begin(), request.frame.end());
    const uint64_t id = c.nextId++;
    if (!options_.redis) setCorrelationId(c.out.data() + at, id);
    const size_t slot = (c.head + c.inFlight) % options_.pipeline;
    c.ids[slot] = id;
    c.sentAt[slot] = now;
    ++c.inFlight;
    return true;
  }

  void flush(Connection& c) {
    while (c.outSent < c.out.size()) {
      const ssize_t n = ::send(c.fd, c.out.data() + c.outSent, c.out.size() - c.outSent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        watchWrite(c, true);
        return;
      }
      if (n < 0) {
        fail(c, std::string("send: ") + std::strerror(errno));
        return;
      }
      c.outSent += static_cast<size_t>(n);
    }
    c.out.clear();  // keeps its capacity
    c.outSent = 0;
    watchWrite(c, false);
  }

  void watchWrite(Connection& c, bool on) {
    if (c.wantWrite == on) return;
    c.wantWrite = on;
    epoll_event event{};
    event.events = EPOLLIN | (on ? EPOLLOUT : 0u);
    event.data.ptr = &c;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
  }

  void receive(Connection& c) {
    for (;;) {
      if (c.inUsed == c.in.size()) c.in.resize(c.in.size() * 2);
      const ssize_t n = ::recv(c.fd, c.in.data() + c.inUsed, c.in.size() - c.inUsed, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n <= 0) {
        fail(c, n == 0 ? "the host closed a connection" : std::string("recv: ") + std::strerror(errno));
        return;
      }
      c.inUsed += static_cast<size_t>(n);
      if (c.inUsed < c.in.size()) break;  // the socket is drained
    }
    size_t consumed = options_.redis ? redisReplies(c) : 0;
    while (!options_.redis && c.open && c.inUsed - consumed >= wire::kHeaderSize) {
      const wire::FrameHeader header = wire::decodeHeader(c.in.data() + consumed);
      if (header.magic != wire::kMagic || header.frameSize() > (64u << 20)) {
        fail(c, "the host sent a frame that breaks the format");
        return;
      }
      if (c.inUsed - consumed < header.frameSize()) {
        if (header.frameSize() > c.in.size()) c.in.resize(header.frameSize());
        break;
      }
      onReply(c, header, c.in.data() + consumed);
      consumed += header.frameSize();
    }
    if (consumed > 0 && c.open) {
      std::memmove(c.in.data(), c.in.data() + consumed, c.inUsed - consumed);
      c.inUsed -= consumed;
    }
    if (c.open) fill(c);
  }

  // Takes the complete RESP replies at the start of c.in (simple strings,
  // errors, integers, bulk strings); returns the bytes they take.
  size_t redisReplies(Connection& c) {
    size_t consumed = 0;
    const char* in = reinterpret_cast<const char*>(c.in.data());
    while (c.open && consumed < c.inUsed) {
      const char* line = in + consumed;
      const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', c.inUsed - consumed));
      if (lineEnd == nullptr) break;
      size_t size = static_cast<size_t>(lineEnd + 1 - line);
      if (*line == '$') {
        const long length = std::strtol(line + 1, nullptr, 10);
        if (length >= 0) size += static_cast<size_t>(length) + 2;
        if (size > c.in.size()) c.in.resize(size);
        if (consumed + size > c.inUsed) break;
      } else if (*line != '+' && *line != '-' && *line != ':') {
        fail(c, "the redis server sent a reply that is not RESP");
        return consumed;
      }
      if (c.inFlight == 0) {
        fail(c, "the host sent a reply nobody asked for");
        return consumed;
      }
      const bool ok = *line != '-';
      complete(c, ok, [&] { return "redis error: " + std::string(line + 1, lineEnd); });
      consumed += size;
    }
    return consumed;
  }

  void onReply(Connection& c, const wire::FrameHeader& header, const unsigned char* frame) {
    if (c.inFlight == 0) {
      fail(c, "the host sent a reply nobody asked for");
      return;
    }
    const uint64_t expected = c.ids[c.head];
    const char* text = reinterpret_cast<const char*>(frame + wire::kHeaderSize + header.recordLength);
    const bool ok = header.type == wire::FrameType::kResponse && header.correlationId == expected &&
                    (header.textLength == 0 || text[0] == '\0');
    complete(c, ok, [&] {
      std::string message;
      wire::leadingText(text, header.textLength, message);
      return header.correlationId != expected         ? std::string("a reply out of order")
             : header.type == wire::FrameType::kError ? "error frame: " + message
             : header.type == wire::FrameType::kResponse
                 ? "response with the error text \"" + message + "\""
                 : "frame type " + std::to_string(static_cast<unsigned>(header.type));
    });
  }

  // Retires the oldest request in flight with its reply's verdict; `error`
  // describes a bad reply.
  template <typename Describe>
  void complete(Connection& c, bool ok, Describe error) {
    const Clock::time_point now = Clock::now();
    const Clock::time_point sentAt = c.sentAt[c.head];
    c.head = (c.head + 1) % options_.pipeline;
    --c.inFlight;
    const bool counted = now >= countStart_ && (options_.requests != 0 || now <= end_);
    if (!ok) {
      ++tally_.errors;
      if (tally_.firstError.empty()) tally_.firstError = error();
      return;
    }
    if (!counted) return;
    ++tally_.requests;
    tally_.latencies.push_back(
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - sentAt).count()));
    tally_.lastReply = now;
  }

  void fail(Connection& c, const std::string& what) {
    ++tally_.errors;
    if (tally_.firstError.empty()) tally_.firstError = what;
    c.open = false;
    c.inFlight = 0;
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
    ::close(c.fd);
    c.fd = -1;
  }

  const LoadOptions& options_;
  const std::vector<BenchRequest>& requests_;
  std::atomic<uint64_t>& issued_;
  const Clock::time_point countStart_;
  const Clock::time_point end_;
  Clock::time_point nextSend_;  // with a rate: when the next request is due
  Clock::duration interval_{0};
  size_t cursor_ = 0;  // where pace() looks for room first
  int epoll_ = -1;
  std::vector<std::unique_ptr<Connection>> connections_;
  ThreadTally tally_;
};

uint64_t rank(const std::vector<uint64_t>& sorted, double fraction) {
  size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
  if (index > 0) --index;
  return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

LatencySummary summarize(std::vector<uint64_t>& samples) {
  LatencySummary out;
  if (samples.empty()) return out;
  std::sort(samples.begin(), samples.end());
  out.p50 = rank(samples, 0.50);
  out.p99 = rank(samples, 0.99);
  out.p999 = rank(samples, 0.999);
  out.max = samples.back();
  return out;
}

LoadResult runLoad(const LoadOptions& options, const std::vector<BenchRequest>& requests) {
  if (options.hosts.empty()) throw std::runtime_error("no host to load");
  if (requests.empty()) throw std::runtime_error("no request to send");
  if (options.connections == 0 || options.pipeline == 0) {
    throw std::runtime_error("connections and pipeline depth must be at least 1");
  }
  const unsigned threads = std::max(1u, std::min(options.threads, options.connections));
  std::vector<int> fds;
  try {
    for (unsigned i = 0; i < options.connections; ++i) {
      const std::string& address = options.hosts[i % options.hosts.size()];
      fds.push_back(connectTo(address));
      if (!options.redis) hello(fds.back(), address, options.peerProtocolVersion);
    }
  } catch (...) {
    for (int fd : fds) ::close(fd);
    throw;
  }

  std::atomic<uint64_t> issued{0};
  const Clock::time_point start = Clock::now();
  std::vector<std::unique_ptr<Loop>> loops;
  for (unsigned t = 0; t < threads; ++t)
    loops.push_back(std::make_unique<Loop>(options, requests, issued, start, options.rate / threads));
  for (size_t i = 0; i < fds.size(); ++i) loops[i % threads]->add(fds[i], i);  // each loop now owns its fds

  std::vector<ThreadTally> tallies(threads);
  std::vector<std::string> failures(threads);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      try {
        tallies[t] = loops[t]->run();
      } catch (const std::exception& e) {
        failures[t] = e.what();
      }
    });
  }
  for (auto& worker : workers) worker.join();
  loops.clear();
  for (const auto& failure : failures) {
    if (!failure.empty()) throw std::runtime_error(failure);
  }

  LoadResult result;
  std::vector<uint64_t> latencies;
  Clock::time_point last = start;
  for (auto& tally : tallies) {
    result.requests += tally.requests;
    result.errors += tally.errors;
    if (result.firstError.empty()) result.firstError = tally.firstError;
    latencies.insert(latencies.end(), tally.latencies.begin(), tally.latencies.end());
    last = std::max(last, tally.lastReply);
  }
  const Clock::time_point from = start + options.warmup;
  const Clock::time_point to = options.requests != 0 ? last : start + options.duration;
  result.seconds = to > from ? std::chrono::duration<double>(to - from).count() : 0;
  result.latency = summarize(latencies);
  return result;
}

}  // namespace bench
}  // namespace appmgr
