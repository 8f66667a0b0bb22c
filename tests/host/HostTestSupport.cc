// Host test support.
#include "HostTestSupport.h"

#include <cerrno>
#include <stdexcept>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "store/ConfigTreeJson.h"

namespace hosttest {

using namespace appmgr;

std::shared_ptr<MemoryConfigStore> sampleStore() {
  // The tree sits at examples/ of the source tree this file belongs to.
  const std::string self = __FILE__;
  const std::string path = self.substr(0, self.rfind("/tests/host/")) + "/examples/sample-tree.json";
  auto store = std::make_shared<MemoryConfigStore>();
  std::string errorText;
  if (importConfigTreeFile(path, *store, errorText) != 0) throw std::runtime_error(path + ": " + errorText);
  return store;
}

wire::WireError RawFrame::error() const {
  wire::ErrorRecord out;
  return wire::decodeRecord(record.data(), record.size(), out) ? out.error : wire::WireError{0};
}

RawPeer::RawPeer(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close();
  int one = 1;
  if (fd_ >= 0) ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void RawPeer::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void RawPeer::reset() {
  const linger abort{1, 0};
  if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close();
}

void RawPeer::sendBytes(const std::vector<unsigned char>& bytes) {
  for (size_t done = 0; fd_ >= 0 && done < bytes.size();) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;  // the host closed; the test reads the outcome
    done += static_cast<size_t>(n);
  }
}

void RawPeer::sendHello() {
  wire::HelloRecord hello;
  hello.peerProtocolVersion = 7;
  sendBytes(frame(wire::FrameType::kHello, 0, 1, wire::encodeRecord(hello), ""));
}

namespace {

// Waits for readable data (or the close) until `until`.
bool readable(int fd, std::chrono::steady_clock::time_point until) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
  pollfd p{fd, POLLIN, 0};
  return fd >= 0 && left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

}  // namespace

bool RawPeer::readExactly(void* out, size_t length, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (size_t done = 0; done < length;) {
    if (!readable(fd_, until)) return false;
    const ssize_t n = ::recv(fd_, static_cast<unsigned char*>(out) + done, length - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool RawPeer::readFrame(RawFrame& out, std::chrono::milliseconds timeout) {
  unsigned char header[wire::kHeaderSize];
  if (!readExactly(header, sizeof header, timeout)) return false;
  out.header = wire::decodeHeader(header);
  out.record.assign(out.header.recordLength, 0);
  out.textArea.assign(out.header.textLength, '\0');
  return readExactly(out.record.data(), out.record.size(), timeout) &&
         readExactly(out.textArea.data(), out.textArea.size(), timeout);
}

bool RawPeer::closedByHost(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  char sink[4096];
  while (fd_ >= 0) {
    if (!readable(fd_, until)) return false;
    const ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0) return false;
  }
  return true;
}

std::vector<unsigned char> frame(wire::FrameType type, uint64_t code, uint64_t correlationId,
                                 const std::vector<unsigned char>& record, const std::string& textArea) {
  wire::FrameHeader header;
  header.type = type;
  header.code = code;
  header.correlationId = correlationId;
  return wire::buildFrame(header, record, textArea);
}

std::vector<unsigned char> requestFrame(unsigned long code, uint64_t correlationId, const void* record,
                                        size_t length) {
  const wire::FlatRecord flat =
      wire::flattenRecord(record, length, appmanRequestTextFields(code), std::string());
  return frame(wire::FrameType::kRequest, code, correlationId, flat.record, flat.textArea);
}

}  // namespace hosttest
