// The protocol-version rule of the property handlers.
#include "stream/ProtocolVersion.h"

unsigned int peerProtocolVersion(CSSessionWrapper& session, EvEvent& ev, const char* tag) {
  unsigned int version = 0;
  const CZuError status = session.getProtocolVersion(version);
  if (status.IsError()) {
    ev.Debug(tag, "Error getting protocol version [%s]. Will use default encryption.",
             status.AsString().c_str());
    version = kDefaultProtocolVersion;
  }
  return version;
}
