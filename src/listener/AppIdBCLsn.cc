// AppIdBCLsn: resolves a numeric or a symbolic application id into the full
// chain of ids and answers with the 56-byte record. These two handlers log
// no send line.
#include "AppMgr/AppIdBCLsn.h"

#include <string>

#include "AppMgr/AppIdInfo.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/AppIdInterfaceDB.h"

#include "listener/ListenerFrame.h"

namespace {

// Fills the record from a resolved AppIdInfo; each id is its low 32 bits.
void fillRecord(appmanAppIdRsp& rsp, const AppIdInfo& info, uint64_t context) {
  rsp.appId = static_cast<uint32_t>(info.appId);
  rsp.velmoraId = static_cast<uint32_t>(info.velmoraId);
  rsp.clientId = static_cast<uint32_t>(info.clientId);
  rsp.appIdCopy = static_cast<uint32_t>(info.appId);
  rsp.appTypeId = static_cast<uint32_t>(info.appTypeId);
  rsp.instanceId = static_cast<uint32_t>(info.instanceId);
  rsp.backupSetId = static_cast<uint32_t>(info.backupSetId);
  rsp.subclientId = static_cast<uint32_t>(info.subclientId);
  rsp.aux1 = static_cast<uint32_t>(info.aux1);
  rsp.aux2 = static_cast<uint32_t>(info.aux2);
  rsp.context = context;
}

}  // namespace

int AppIdBCLsn::getNumApplicationId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "AppIdBCLsn::getNumApplicationId";
  const auto* req = requestRecord<appmanAppIdNumReq>(buf);
  AppIdInterfaceDB db;
  AppIdInfo info;
  std::string errorText;
  appmanAppIdRsp rsp;  // zeroed by its constructor
  EvEvent ev;
  logEntry(ev, tag);

  int errorCode = 0;
  if (req == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The application id request carries no request data";
  } else {
    info.appId = req->appId;
    info.velmoraId = req->velmoraId;
    info.setAccessMode();  // 2 when both ids are set, else 0
    errorCode = db.getApplicationId(info, errorText, nullptr);
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  if (errorCode == 0) {
    fillRecord(rsp, info, req->context);
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }

  sendResponse(session, ev, tag, HandlerId::kGetNumApplicationId, reqCode, &rsp, errorCode, errorText,
               SendLine::kOmit);
  return errorCode;
}

int AppIdBCLsn::getSymApplicationId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "AppIdBCLsn::getSymApplicationId";
  const auto* req = requestRecord<appmanAppIdSymReq>(buf);
  AppIdInterfaceDB db;
  AppIdInfo info;
  std::string errorText;
  appmanAppIdRsp rsp;  // zeroed by its constructor
  EvEvent ev;
  logEntry(ev, tag);

  int errorCode = 0;
  if (req == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The application id request carries no request data";
  } else {
    info.velmoraId = req->velmoraId;
    info.clientId = req->clientId;
    info.appTypeId = req->appTypeId;
    info.instanceId = req->instanceId;
    info.backupSetId = req->backupSetId;
    info.subclientId = req->subclientId;
    info.setAccessMode();  // 6 when all six ids are set, else 0
    errorCode = db.getApplicationId(info, errorText, nullptr);
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  if (errorCode == 0) {
    fillRecord(rsp, info, req->context);
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }

  sendResponse(session, ev, tag, HandlerId::kGetSymApplicationId, reqCode, &rsp, errorCode, errorText,
               SendLine::kOmit);
  return errorCode;
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
