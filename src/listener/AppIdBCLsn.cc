// AppIdBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/AppIdBCLsn.h"

#include "listener/ListenerFrame.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int AppIdBCLsn::getNumApplicationId(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                    xrsDatabuf* /*buf*/) {
  return notBuilt("AppIdBCLsn::getNumApplicationId");
}

int AppIdBCLsn::getSymApplicationId(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                    xrsDatabuf* /*buf*/) {
  return notBuilt("AppIdBCLsn::getSymApplicationId");
}

int AppIdBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kAppId, reqCode)) {
    case HandlerId::kGetNumApplicationId:
      return getNumApplicationId(session, reqCode, buf);
    case HandlerId::kGetSymApplicationId:
      return getSymApplicationId(session, reqCode, buf);
    default:
      logUnexpected(ev, "AppIdBCLsn::handleMessage", reqCode);
      return 0;
  }
}
