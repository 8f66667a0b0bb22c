// Session of one network request.
#include "host/HostSession.h"

#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"

namespace appmgr {

CZuError HostSession::getProtocolVersion(unsigned int& version) {
  if (peerProtocolVersion_ == 0) return CZuError(-1, "the peer did not report its protocol version");
  version = peerProtocolVersion_;
  return CZuError();
}

CZuError HostSession::send(unsigned long responseCode, const void* record, unsigned int length,
                           const std::string& errorText) {
  if (++sends_ > 1) {
    EvEvent ev;
    ev.Error("HostSession::send", "Second response [%#lx] to one request dropped", responseCode);
    return CZuError(-1, "a response was already sent for this request");
  }
  responseCode_ = responseCode;
  response_ = wire::flattenRecord(record, record != nullptr ? length : 0,
                                  appmanResponseTextFields(responseCode), errorText);
  return CZuError();
}

}  // namespace appmgr
