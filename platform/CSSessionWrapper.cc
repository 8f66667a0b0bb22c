// Base of the host sessions.
#include "platform/CSSessionWrapper.h"

CSSessionWrapper::~CSSessionWrapper() = default;

CZuError CSSessionWrapper::getProtocolVersion(unsigned int& /*version*/) {
  return CZuError(-1, "The session does not know the peer's protocol version");
}
