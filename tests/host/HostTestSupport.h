// Shared pieces of the host tests and the host benchmark: a sample
// configuration tree, a log sink that drops everything, a raw peer that
// speaks bytes to the host, and a fixture that runs a host in-process on
// 127.0.0.1 with a free port.
#ifndef TESTS_HOST_HOSTTESTSUPPORT_H_
#define TESTS_HOST_HOSTTESTSUPPORT_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/EvDebug.h"

#include "host/HostOptions.h"
#include "host/HostServer.h"
#include "host/WireFormat.h"
#include "store/MemoryConfigStore.h"

namespace hosttest {

constexpr uint64_t kVelmoraId = 2;

// Velmora 2 "north", clients 5 and 10, three applications with their
// instances, backup sets and subclients, properties and content.
std::shared_ptr<MemoryConfigStore> sampleStore();

class NullLogSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

// One frame as read off the socket.
struct RawFrame {
  appmgr::wire::FrameHeader header;
  std::vector<unsigned char> record;
  std::string textArea;
  appmgr::wire::WireError error() const;  // of an error frame
};

// A blocking TCP peer that writes arbitrary bytes and reads frames.
class RawPeer {
 public:
  explicit RawPeer(uint16_t port);
  ~RawPeer();
  bool connected() const { return fd_ >= 0; }
  void sendBytes(const std::vector<unsigned char>& bytes);
  void sendHello(uint16_t major = appmgr::wire::kProtocolMajor, uint64_t correlationId = 1);
  // Reads one frame; false when the host closed the connection or nothing
  // came within `timeout`.
  bool readFrame(RawFrame& out, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the host closes the connection within `timeout` (any frames
  // before the close are skipped).
  bool closedByHost(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void close();
  // Half-closes: the host reads end of stream after what was sent.
  void shutdownWrite();
  // Closes with a reset instead of an orderly end.
  void reset();

 private:
  bool readExactly(void* out, size_t length, std::chrono::milliseconds timeout);
  int fd_ = -1;
};

// A request frame with texts flattened as a client would.
std::vector<unsigned char> requestFrame(unsigned long code, uint64_t correlationId, const void* record,
                                        size_t length);

}  // namespace hosttest

#endif  // TESTS_HOST_HOSTTESTSUPPORT_H_
