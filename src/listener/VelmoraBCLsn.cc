// VelmoraBCLsn: reads one Velmora record by id or by name and answers with
// the fixed 72-byte record.
#include "AppMgr/VelmoraBCLsn.h"

#include <cstring>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/VelmoraInterfaceDB.h"

#include "listener/ListenerFrame.h"

namespace {

// Inputs and outputs of one Velmora lookup. The four further texts of
// VelmoraInterfaceDB::lookup are not used by the record, so the lookup
// reads the numbers and the name only.
struct VelmoraLookup {
  unsigned long id = 0;
  unsigned long value1 = 0;
  unsigned long value2 = 0;
  unsigned long value3 = 0;
  std::string name;
  int signedValue = 0;
};

int runLookup(VelmoraLookup& lookup, std::string& errorText) {
  VelmoraInterfaceDB db;
  return db.lookupNumbersAndName(lookup.id, lookup.value1, lookup.value2, lookup.value3, lookup.name,
                                 lookup.signedValue, errorText);
}

// Fills the record from a successful lookup. velmoraName points into
// lookup.name, which must outlive the send.
void fillRecord(appmanVelmoraRsp& rsp, const VelmoraLookup& lookup, uint64_t context) {
  rsp.velmoraId = static_cast<uint32_t>(lookup.id);
  rsp.value1 = static_cast<uint32_t>(lookup.value1);
  rsp.value2 = static_cast<uint32_t>(lookup.value2);
  rsp.idCopy = lookup.id;
  rsp.velmoraName = lookup.name.c_str();
  rsp.signedValue = lookup.signedValue;
  rsp.value3 = static_cast<uint32_t>(lookup.value3);
  rsp.context = context;
}

void clearRecord(appmanVelmoraRsp& rsp) { std::memset(static_cast<void*>(&rsp), 0, sizeof rsp); }

}  // namespace

int VelmoraBCLsn::lookupVelmoraById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "VelmoraBCLsn::lookupVelmoraById";
  const auto* req = requestRecord<appmanVelmoraByIdReq>(buf);
  appmanVelmoraByIdRsp rsp;
  VelmoraLookup lookup;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  clearRecord(rsp);

  int errorCode = 0;
  if (req == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The Velmora request carries no request data";
  } else {
    lookup.id = req->velmoraId;  // the request holds a 32-bit id
    errorCode = runLookup(lookup, errorText);
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  if (errorCode == 0) {
    fillRecord(rsp, lookup, req->context);
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }

  sendResponse(session, ev, tag, HandlerId::kLookupVelmoraById, reqCode, &rsp, errorCode, errorText);
  return errorCode;
}

int VelmoraBCLsn::lookupVelmoraByName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* tag = "VelmoraBCLsn::lookupVelmoraByName";
  const auto* req = requestRecord<appmanVelmoraByNameReq>(buf);
  appmanVelmoraByNameRsp rsp;
  VelmoraLookup lookup;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  clearRecord(rsp);

  int errorCode = 0;
  if (req == nullptr || req->velmoraName == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The Velmora request carries no Velmora name";
  } else {
    lookup.name = req->velmoraName;
    errorCode = runLookup(lookup, errorText);
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  if (errorCode == 0) {
    fillRecord(rsp, lookup, req->context);
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }

  sendResponse(session, ev, tag, HandlerId::kLookupVelmoraByName, reqCode, &rsp, errorCode, errorText);
  return errorCode;
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
