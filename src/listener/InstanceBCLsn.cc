// InstanceBCLsn: the instance lookup. Answers one text stream; every token
// is followed by one space and the name is escaped:
//   name propertyList [contentList]
// where the content list follows only for instances of application type 7.
#include "AppMgr/InstanceBCLsn.h"

#include <string>

#include "AppMgr/AppIdInfo.h"
#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/InstInterfaceDB.h"

#include "listener/ListenerFrame.h"
#include "listener/NumericAppId.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"
#include "stream/TextOutStream.h"

namespace {

// The only application type whose instances carry content in the stream.
constexpr unsigned long kContentAppTypeId = 7;
// Content types of Notes profiles and views; they are sent as type 1 with a
// prefix on the path.
constexpr unsigned long kNotesProfileContentType = 9;
constexpr unsigned long kNotesViewContentType = 10;
constexpr unsigned long kPlainContentType = 1;

}  // namespace

int InstanceBCLsn::lookupInstanceById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "InstanceBCLsn::lookupInstanceById";
  EvEvent ev;
  logEntry(ev, tag);
  clearPropList();
  clearContentList();
  AppIdInterfaceDB appIdDb;
  InstInterfaceDB instDb;
  Streamer streamer;
  TextOutStreamLoan streamLoan;  // the thread's stream, emptied
  TextOutStream& stream = streamLoan.get();
  std::string errorText;
  int errorCode = 0;

  try {
    const unsigned int protocolVersion = peerProtocolVersion(session, ev, tag);
    const appmanObjectReq* request = requestRecord<appmanObjectReq>(buf);
    AppIdInfo info;
    if (request == nullptr || !parseNumericAppId(request->appIdText, info)) {
      throw BCLsnException(XR_STREAM_FAILURE, "Bad Arguments used for constructing ApplicationId object.");
    }
    // The access mode stays 0: the database resolves it from the Velmora id
    // and the application id.
    int result = appIdDb.getApplicationId(info, errorText, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);

    const unsigned long instanceId = request->objectId;
    std::string name;
    std::string description;
    long flags = -1;
    unsigned long unused = 0;
    result = instDb.lookup(instanceId, name, flags, unused, unused, unused, description, errorText, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << transform_string_encode(name, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;

    result = instDb.getProperties(instanceId, request->passThrough, errorText, this, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    if (peerNeedsPasswordConversion(protocolVersion)) {
      streamer.convertPasswords(propList, CONV_PWD_INST_PROPS_LEVEL, XR_PASSWORD_VER_1);
    }
    streamer.encodePropList(propList, stream, errorText);

    if (info.appTypeId == kContentAppTypeId) {
      result = instDb.initContent(instanceId, request->passThrough, errorText, this, nullptr);
      if (result != 0) throw BCLsnException(result, errorText);
      streamer.encodeContentList(contentList, stream, errorText);
    }
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = static_cast<int>(XR_STREAM_FAILURE);
  }

  sendStreamLookupResponse(session, ev, tag, HandlerId::kLookupInstanceById, reqCode, stream, errorCode,
                           errorText);
  clearPropList();
  clearContentList();
  return errorCode;
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
  if (type == kNotesProfileContentType) {
    appendContent(contentList, kPlainContentType, XR_NOTES_PROFILE_PREFIX + path);
  } else if (type == kNotesViewContentType) {
    appendContent(contentList, kPlainContentType, XR_NOTES_VIEW_PREFIX + path);
  } else {
    appendContent(contentList, type, path);
  }
}

// The instance listener keeps no case-sensitivity state.
bool InstanceBCLsn::SetCaseSensitive(bool /*caseSensitive*/) { return false; }

InstanceBCLsn::~InstanceBCLsn() {
  clearPropList();
  clearContentList();
}
