// Shared pieces of the host tests and the host benchmark: the sample
// configuration tree, a log sink that drops everything, and a raw peer that
// speaks bytes to the host.
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

// examples/sample-tree.json in a memory store: Velmora 2 "north", clients 5
// and 10, applications 2:1045 to 2:1047 with their instances, backup sets
// and subclients, properties and content.
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
  appmgr::wire::WireError error() const;  // of an error frame; 0 when the record does not decode
};

// A blocking TCP peer that writes arbitrary bytes and reads frames.
class RawPeer {
 public:
  explicit RawPeer(uint16_t port);
  ~RawPeer() { close(); }
  bool connected() const { return fd_ >= 0; }
  void sendBytes(const std::vector<unsigned char>& bytes);
  void sendHello();
  // Reads one frame; false when the host closed or nothing came within `timeout`.
  bool readFrame(RawFrame& out, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the host closes within `timeout` (frames before the close are skipped).
  bool closedByHost(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void close();
  void reset();  // closes with a reset instead of an orderly end

 private:
  bool readExactly(void* out, size_t length, std::chrono::milliseconds timeout);
  int fd_ = -1;
};

// A frame of `type` with `record` and `textArea`.
std::vector<unsigned char> frame(appmgr::wire::FrameType type, uint64_t code, uint64_t correlationId,
                                 const std::vector<unsigned char>& record, const std::string& textArea);
// A request frame with texts flattened as a client would.
std::vector<unsigned char> requestFrame(unsigned long code, uint64_t correlationId, const void* record,
                                        size_t length);

}  // namespace hosttest

#endif  // TESTS_HOST_HOSTTESTSUPPORT_H_
