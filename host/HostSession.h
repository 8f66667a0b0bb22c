// The session the host passes to the listener library for one request: it
// reports the peer's protocol version from the hello and turns the one send
// of the handler into a response frame's record and text area, copying the
// texts while they are still alive.
#ifndef HOST_HOSTSESSION_H_
#define HOST_HOSTSESSION_H_

#include <cstdint>
#include <string>

#include "platform/CSSessionWrapper.h"

#include "host/WireFormat.h"

namespace appmgr {

class HostSession final : public CSSessionWrapper {
 public:
  // peerProtocolVersion 0 means the peer did not say: getProtocolVersion
  // then fails and the library falls back to its default.
  explicit HostSession(uint32_t peerProtocolVersion) : peerProtocolVersion_(peerProtocolVersion) {}

  CZuError getProtocolVersion(unsigned int& version) override;
  // The first send is kept; a later one is refused with an error status and
  // logged, so a request never gets two replies.
  CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                const std::string& errorText) override;

  bool answered() const { return sends_ > 0; }
  int sends() const { return sends_; }
  unsigned long responseCode() const { return responseCode_; }
  // The response in wire form; valid when answered().
  const wire::FlatRecord& response() const { return response_; }

 private:
  uint32_t peerProtocolVersion_;
  int sends_ = 0;
  unsigned long responseCode_ = 0;
  wire::FlatRecord response_;
};

}  // namespace appmgr

#endif  // HOST_HOSTSESSION_H_
