// InstanceBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/InstanceBCLsn.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int InstanceBCLsn::lookupInstanceById(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                      xrsDatabuf* /*buf*/) {
  return notBuilt("InstanceBCLsn::lookupInstanceById");
}

int InstanceBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kInstance, reqCode)) {
    case HandlerId::kLookupInstanceById:
      return lookupInstanceById(session, reqCode, buf);
    default:
      logUnexpected(ev, "InstanceBCLsn::handleMessage", reqCode);
      return 0;
  }
}

void InstanceBCLsn::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                          unsigned long /*reserved*/) {
  appendProperty(propList, name, type, value);
}

void InstanceBCLsn::clearPropList() { ::clearPropList(propList); }

void InstanceBCLsn::clearContentList() { ::clearContentList(contentList); }

void InstanceBCLsn::initContentCallback(unsigned long type, std::string path) {
  appendContent(contentList, type, path);
}

bool InstanceBCLsn::SetCaseSensitive(bool /*caseSensitive*/) { return false; }

InstanceBCLsn::~InstanceBCLsn() {
  clearPropList();
  clearContentList();
}
