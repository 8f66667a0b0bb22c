// BackupSetBCLsn: request routing; handlers not built yet answer nothing.
#include "AppMgr/BackupSetBCLsn.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"

namespace {
int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}
}  // namespace

int BackupSetBCLsn::lookupBackupSetById(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                        xrsDatabuf* /*buf*/) {
  return notBuilt("BackupSetBCLsn::lookupBackupSetById");
}

int BackupSetBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kBackupSet, reqCode)) {
    case HandlerId::kLookupBackupSetById:
      return lookupBackupSetById(session, reqCode, buf);
    default:
      logUnexpected(ev, "BackupSetBCLsn::handleMessage", reqCode);
      return 0;
  }
}

void BackupSetBCLsn::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                           unsigned long /*reserved*/) {
  appendProperty(propList, name, type, value);
}

void BackupSetBCLsn::clearPropList() { ::clearPropList(propList); }

BackupSetBCLsn::~BackupSetBCLsn() { clearPropList(); }
