// VelmoraBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/VelmoraBCLsn.h"

#include "listener/ListenerFrame.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int VelmoraBCLsn::lookupVelmoraById(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                    xrsDatabuf* /*buf*/) {
  return notBuilt("VelmoraBCLsn::lookupVelmoraById");
}

int VelmoraBCLsn::lookupVelmoraByName(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                      xrsDatabuf* /*buf*/) {
  return notBuilt("VelmoraBCLsn::lookupVelmoraByName");
}

int VelmoraBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kVelmora, reqCode)) {
    case HandlerId::kLookupVelmoraById:
      return lookupVelmoraById(session, reqCode, buf);
    case HandlerId::kLookupVelmoraByName:
      return lookupVelmoraByName(session, reqCode, buf);
    default:
      logUnexpected(ev, "VelmoraBCLsn::handleMessage", reqCode);
      return 0;
  }
}
