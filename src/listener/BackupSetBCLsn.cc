// BackupSetBCLsn: the backup set lookup. Answers one text stream; every
// token is followed by one space and the name is escaped:
//   name flag propertyList
// Password properties go out as stored, whatever the peer's version.
#include "AppMgr/BackupSetBCLsn.h"

#include <string>

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/BSInterfaceDB.h"

#include "listener/ListenerFrame.h"
#include "stream/PropListSupport.h"
#include "stream/TextOutStream.h"

namespace {

// Flag bit that selects the true flag token.
constexpr long kFlagTokenBit = 0x8;

}  // namespace

int BackupSetBCLsn::lookupBackupSetById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "BackupSetBCLsn::lookupBackupSetById";
  EvEvent ev;
  logEntry(ev, tag);
  clearPropList();
  BSInterfaceDB bsDb;
  Streamer streamer;
  TextOutStreamLoan streamLoan;  // the thread's stream, emptied
  TextOutStream& stream = streamLoan.get();
  std::string errorText;
  int errorCode = 0;

  try {
    const appmanObjectReq* request = requestRecord<appmanObjectReq>(buf);
    if (request == nullptr) throw BCLsnException(XR_STREAM_FAILURE, "Bad Arguments specified.");
    const unsigned long backupSetId = request->objectId;
    std::string name;
    std::string description;
    long flags = 0;
    unsigned long unused = 0;
    int result = bsDb.lookup(backupSetId, name, flags, unused, unused, unused, description, unused, errorText,
                             nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << transform_string_encode(name, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;

    result = bsDb.getProperties(backupSetId, request->passThrough, errorText, this, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << ((flags & kFlagTokenBit) != 0 ? XR_APPMGR_PROP_TRUE_STR_VAL : XR_APPMGR_PROP_FALSE_STR_VAL)
           << stream_ws;
    streamer.encodePropList(propList, stream, errorText);
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = static_cast<int>(XR_STREAM_FAILURE);
  }

  sendStreamLookupResponse(session, ev, tag, HandlerId::kLookupBackupSetById, reqCode, stream, errorCode,
                           errorText);
  clearPropList();
  return errorCode;
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
