// GlobalPropsBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/GlobalPropsBCLsn.h"

#include "listener/ListenerFrame.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int GlobalPropsBCLsn::getProperty(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                  xrsDatabuf* /*buf*/) {
  return notBuilt("GlobalPropsBCLsn::getProperty");
}

int GlobalPropsBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kGlobalProps, reqCode)) {
    case HandlerId::kGetProperty:
      return getProperty(session, reqCode, buf);
    default:
      logUnexpected(ev, "GlobalPropsBCLsn::handleMessage", reqCode);
      return 0;
  }
}

GlobalPropsBCLsn::~GlobalPropsBCLsn() = default;
