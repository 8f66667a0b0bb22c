// ClientBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/ClientBCLsn.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int ClientBCLsn::lookupClientById(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                  xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::lookupClientById");
}

int ClientBCLsn::lookupClientByName(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                    xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::lookupClientByName");
}

int ClientBCLsn::lookupClientByHostname(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                        xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::lookupClientByHostname");
}

int ClientBCLsn::setProps(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/, xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::setProps");
}

int ClientBCLsn::setPropsByAppId(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                 xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::setPropsByAppId");
}

int ClientBCLsn::getProps(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/, xrsDatabuf* /*buf*/) {
  return notBuilt("ClientBCLsn::getProps");
}

int ClientBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kClient, reqCode)) {
    case HandlerId::kLookupClientById:
      return lookupClientById(session, reqCode, buf);
    case HandlerId::kLookupClientByName:
      return lookupClientByName(session, reqCode, buf);
    case HandlerId::kLookupClientByHostname:
      return lookupClientByHostname(session, reqCode, buf);
    case HandlerId::kSetProps:
      return setProps(session, reqCode, buf);
    case HandlerId::kSetPropsByAppId:
      return setPropsByAppId(session, reqCode, buf);
    case HandlerId::kGetProps:
      return getProps(session, reqCode, buf);
    default:
      logUnexpected(ev, "ClientBCLsn::handleMessage", reqCode);
      return 0;
  }
}

void ClientBCLsn::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                        unsigned long /*reserved*/) {
  appendProperty(propList, name, type, value);
}

void ClientBCLsn::clearPropList() { ::clearPropList(propList); }

ClientBCLsn::~ClientBCLsn() = default;
