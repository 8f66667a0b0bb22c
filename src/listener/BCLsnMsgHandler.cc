// Dispatch: the request table names the listener; the listener is built on
// this stack for the one request and destroyed after it.
#include "AppMgr/BCLsnMsgHandler.h"

#include "AppMgr/AdaptersBCLsn.h"
#include "AppMgr/AppIdBCLsn.h"
#include "AppMgr/BackupSetBCLsn.h"
#include "AppMgr/ClientBCLsn.h"
#include "AppMgr/GlobalPropsBCLsn.h"
#include "AppMgr/InstanceBCLsn.h"
#include "AppMgr/SubclientBCLsn.h"
#include "AppMgr/VelmoraBCLsn.h"

#include "listener/ListenerFrame.h"
#include "listener/RequestTable.h"
#include "store/ConfigStore.h"

namespace {
template <typename Listener>
int serve(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  Listener listener;
  return listener.handleMessage(session, reqCode, buf);
}
}  // namespace

int BCLsnMsgHandler::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "BCLsnMsgHandler::handleMessage";
  const RequestRow* row = findRequest(reqCode);
  if (row == nullptr) {
    EvEvent ev;
    logUnexpected(ev, tag, reqCode);
    return 0;
  }
  // The audit trail names the request of every change it makes (a host has
  // named it already, with its peer).
  AuditActor actor = ConfigStore::currentActor();
  if (actor.requestCode == 0) actor.requestCode = reqCode;
  const ConfigStore::ActorScope audit(actor);
  switch (row->listener) {
    case ListenerId::kVelmora:
      return serve<VelmoraBCLsn>(session, reqCode, buf);
    case ListenerId::kGlobalProps:
      return serve<GlobalPropsBCLsn>(session, reqCode, buf);
    case ListenerId::kClient:
      return serve<ClientBCLsn>(session, reqCode, buf);
    case ListenerId::kAppId:
      return serve<AppIdBCLsn>(session, reqCode, buf);
    case ListenerId::kInstance:
      return serve<InstanceBCLsn>(session, reqCode, buf);
    case ListenerId::kBackupSet:
      return serve<BackupSetBCLsn>(session, reqCode, buf);
    case ListenerId::kSubclient:
      return serve<SubclientBCLsn>(session, reqCode, buf);
    case ListenerId::kAdapters:
      return serve<AdaptersBCLsn>(session, reqCode, buf);
  }
  return 0;
}
