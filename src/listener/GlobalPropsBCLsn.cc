// GlobalPropsBCLsn: reads one global parameter of the platform by name and
// answers with its value text.
#include "AppMgr/GlobalPropsBCLsn.h"

#include <cstring>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/XRGlobalParam.h"

#include "listener/ListenerFrame.h"

int GlobalPropsBCLsn::getProperty(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "GlobalPropsBCLsn::getProperty";
  const auto* req = requestRecord<appmanGlobalParamReq>(buf);
  appmanGlobalParamRsp rsp;
  XRGlobalParam params;
  std::string errorText;  // the read reports no text of its own
  EvEvent ev;
  std::string value;
  logEntry(ev, tag);
  std::memset(static_cast<void*>(&rsp), 0, sizeof rsp);

  int errorCode = 0;
  if (req == nullptr || req->paramName == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The global parameter request carries no parameter name";
  } else {
    const std::string name(req->paramName);
    errorCode = params.get(name, value, nullptr);
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  if (errorCode == 0) {
    rsp.paramValue = value.c_str();  // value lives until after the send
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }

  sendResponse(session, ev, tag, HandlerId::kGetProperty, reqCode, &rsp, errorCode, errorText);
  return errorCode;
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
