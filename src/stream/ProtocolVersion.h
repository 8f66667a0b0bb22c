// The protocol-version rule of the property handlers: ask the session for
// the peer's version; on failure log it and assume 0x1003. Peers of version
// 6 or lower know only password version 1 and get password values
// converted.
#ifndef SRC_STREAM_PROTOCOLVERSION_H_
#define SRC_STREAM_PROTOCOLVERSION_H_

#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"

constexpr unsigned int kDefaultProtocolVersion = 0x1003;
constexpr unsigned int kLastPasswordVersion1Protocol = 6;

// The peer's protocol version, or kDefaultProtocolVersion after logging
// "Error getting protocol version [%s]. Will use default encryption.".
unsigned int peerProtocolVersion(CSSessionWrapper& session, EvEvent& ev, const char* tag);

inline bool peerNeedsPasswordConversion(unsigned int protocolVersion) {
  return protocolVersion <= kLastPasswordVersion1Protocol;
}

#endif  // SRC_STREAM_PROTOCOLVERSION_H_
