// ClientBCLsn: client lookups by id, name and host name, and the client
// property read and writes.
//
// Platform list text of a lookup, every token followed by one space:
//   { type value }   for the attribute types 1, 2 and 4, values escaped
// Property read text:
//   headerValue clientId propertyList
#include "AppMgr/ClientBCLsn.h"

#include <cstring>
#include <sstream>
#include <string>

#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/ClientInterfaceDB.h"

#include "listener/ListenerFrame.h"
#include "listener/PropertyUpdate.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"

namespace {

// Arguments of the ClientInterfaceDB of every client handler.
constexpr int kClientDbMode = 2;
// Platform attribute types asked for, in the order they are sent.
constexpr uint64_t kPlatformTypes[] = {1, 2, 4};
constexpr size_t kPlatformCount = sizeof kPlatformTypes / sizeof kPlatformTypes[0];

// What a lookup request asks for; `invalid` names why it cannot be served.
struct ClientQuery {
  const char* invalid = nullptr;
  uint64_t clientId = 0;
  const char* clientName = "";
  const char* hostName = "";
  uint64_t qualifier = 0;
  uint64_t context = 0;
};

void writePlatformList(const ClientPlatformInfo (&platform)[kPlatformCount], std::ostream& out) {
  for (const ClientPlatformInfo& record : platform) {
    std::string value = record.value;
    out << record.type << stream_ws
        << transform_string_encode(value, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;
  }
}

// The frame of the three lookups, which differ only in how the request is
// read.
int answerClientLookup(CSSessionWrapper& session, unsigned long reqCode, const char* tag, HandlerId handler,
                       const ClientQuery& query) {
  _AppClientInfo info;
  appmanClientRsp rsp;
  ClientInterfaceDB db(kClientDbMode, std::string());
  std::string errorText;
  ClientPlatformInfo platform[kPlatformCount];
  std::ostringstream platformList;
  EvEvent ev;
  logEntry(ev, tag);
  for (size_t i = 0; i < kPlatformCount; ++i) platform[i].type = kPlatformTypes[i];
  info.clientId = query.clientId;
  info.clientName = query.clientName;
  info.hostName = query.hostName;
  info.qualifier = query.qualifier;
  std::memset(static_cast<void*>(&rsp), 0, sizeof rsp);

  int errorCode = 0;
  if (query.invalid != nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = query.invalid;
  } else {
    errorCode = db.lookup(info, platform, errorText, nullptr);
  }
  std::string platformText;  // lives until after the send
  if (errorCode == 0) {
    rsp.clientId = static_cast<uint32_t>(info.clientId);
    rsp.clientIdLong = info.clientId;
    rsp.qualifier = info.qualifier;
    rsp.clientName = info.clientName.c_str();
    rsp.clientAttribute = static_cast<uint32_t>(info.clientAttribute);
    rsp.hostName = info.hostName.c_str();
    rsp.context = query.context;
    writePlatformList(platform, platformList);
    platformText = platformList.str();  // the string's terminator ends the text
    rsp.platformList = platformText.c_str();
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);

  sendResponse(session, ev, tag, handler, reqCode, &rsp, errorCode, errorText);
  return errorCode;
}

// setProps and setPropsByAppId: one frame, each with its own id field.
int answerSetProps(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf, const char* tag,
                   HandlerId handler) {
  const auto* req = requestRecord<appmanClientSetPropsReq>(buf);
  appmanGeneralMsg rsp;
  ClientInterfaceDB db(kClientDbMode, std::string());
  IncomingList<const ApplProperty> setList;
  IncomingList<const ApplProperty> removeList;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  std::memset(static_cast<void*>(&rsp), 0, sizeof rsp);
  const unsigned int protocolVersion = peerProtocolVersion(session, ev, tag);

  int errorCode = 0;
  try {
    if (req == nullptr) {
      errorText = "The client property update carries no request data";
      throw BCLsnException(static_cast<int>(XR_BAD_ARGS), errorText);
    }
    PropertyUpdateRequest update;
    update.id = handler == HandlerId::kSetPropsByAppId ? req->appId : req->clientId;
    update.setText = req->setList;
    update.removeText = req->removeList;
    update.flag = false;
    update.level = CONV_PWD_CLIENT_PROPS_LEVEL;
    update.protocolVersion = protocolVersion;
    applyPropertyUpdate(db, update, setList, removeList, errorText);
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = e.getErrorCode();
  }
  rsp.msgCode = propertiesId;
  rsp.errorCode = static_cast<uint32_t>(errorCode);
  setList.clear();
  removeList.clear();

  sendResponse(session, ev, tag, handler, reqCode, &rsp, errorCode, errorText);
  return errorCode;
}

}  // namespace

int ClientBCLsn::lookupClientById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const auto* req = requestRecord<appmanClientByIdReq>(buf);
  ClientQuery query;
  if (req == nullptr) {
    query.invalid = "The client lookup carries no request data";
  } else {
    query.clientId = req->clientId;
    query.qualifier = req->qualifier;
    query.context = req->context;
  }
  return answerClientLookup(session, reqCode, "ClientBCLsn::lookupClientById", HandlerId::kLookupClientById,
                            query);
}

int ClientBCLsn::lookupClientByName(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const auto* req = requestRecord<appmanClientByNameReq>(buf);
  ClientQuery query;
  if (req == nullptr || req->clientName == nullptr) {
    query.invalid = "The client lookup carries no client name";
  } else {
    query.clientName = req->clientName;
    query.qualifier = req->qualifier;
    query.context = req->context;
  }
  return answerClientLookup(session, reqCode, "ClientBCLsn::lookupClientByName",
                            HandlerId::kLookupClientByName, query);
}

int ClientBCLsn::lookupClientByHostname(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const auto* req = requestRecord<appmanClientByHostnameReq>(buf);
  ClientQuery query;
  if (req == nullptr || req->hostName == nullptr) {
    query.invalid = "The client lookup carries no host name";
  } else {
    query.hostName = req->hostName;
    query.qualifier = req->qualifier;
    query.context = req->context;
  }
  return answerClientLookup(session, reqCode, "ClientBCLsn::lookupClientByHostname",
                            HandlerId::kLookupClientByHostname, query);
}

int ClientBCLsn::setProps(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  return answerSetProps(session, reqCode, buf, "ClientBCLsn::setProps", HandlerId::kSetProps);
}

int ClientBCLsn::setPropsByAppId(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  return answerSetProps(session, reqCode, buf, "ClientBCLsn::setPropsByAppId", HandlerId::kSetPropsByAppId);
}

int ClientBCLsn::getProps(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "ClientBCLsn::getProps";
  const auto* req = requestRecord<appmanClientGetPropsReq>(buf);
  appmanGeneralMsg rsp;
  ClientInterfaceDB db(kClientDbMode, std::string());
  Streamer streamer;
  std::ostringstream stream;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  const unsigned int protocolVersion = peerProtocolVersion(session, ev, tag);
  clearPropList();
  std::memset(static_cast<void*>(&rsp), 0, sizeof rsp);

  int errorCode = 0;
  if (req == nullptr) {
    errorCode = static_cast<int>(XR_BAD_ARGS);
    errorText = "The client property request carries no request data";
  } else {
    errorCode = db.getProperties(req->clientId, req->propertyScope, errorText, this, nullptr);
  }
  std::string text;  // lives until after the send
  if (errorCode == 0) {
    stream << req->headerValue << stream_ws << req->clientId << stream_ws;
    if (peerNeedsPasswordConversion(protocolVersion)) {
      streamer.convertPasswords(propList, CONV_PWD_CLIENT_PROPS_LEVEL, XR_PASSWORD_VER_1);
    }
    streamer.encodePropList(propList, stream, errorText);
    text = stream.str();  // the string's terminator ends the text
    rsp.msgCode = static_cast<uint32_t>(APPMAN_PROPERTY_STREAM_RSP);
    rsp.data = text.c_str();
  } else {
    ev.Debug(tag, "Error [%s]", errorText.c_str());
  }
  rsp.errorCode = static_cast<uint32_t>(errorCode);

  sendResponse(session, ev, tag, HandlerId::kGetProps, reqCode, &rsp, errorCode, errorText);
  clearPropList();
  return errorCode;
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

// Frees any record left by a request that ended in an exception from
// outside the library.
ClientBCLsn::~ClientBCLsn() { clearPropList(); }
