// SubclientBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/SubclientBCLsn.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int SubclientBCLsn::lookupSubclientById(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                        xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::lookupSubclientById");
}

int SubclientBCLsn::updateProperties(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                     xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateProperties");
}

int SubclientBCLsn::updateFiles(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateFiles");
}

int SubclientBCLsn::updateFilters(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                  xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateFilters");
}

int SubclientBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kSubclient, reqCode)) {
    case HandlerId::kLookupSubclientById:
      return lookupSubclientById(session, reqCode, buf);
    case HandlerId::kUpdateProperties:
      return updateProperties(session, reqCode, buf);
    case HandlerId::kUpdateFiles:
      return updateFiles(session, reqCode, buf);
    case HandlerId::kUpdateFilters:
      return updateFilters(session, reqCode, buf);
    default:
      logUnexpected(ev, "SubclientBCLsn::handleMessage", reqCode);
      return 0;
  }
}

void SubclientBCLsn::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                           unsigned long /*reserved*/) {
  appendProperty(propList, name, type, value);
}

void SubclientBCLsn::clearPropList() { ::clearPropList(propList); }

SubclientBCLsn::~SubclientBCLsn() { clearPropList(); }
