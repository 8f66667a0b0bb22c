// SubclientBCLsn: the subclient lookup, and the routing of the subclient
// property, content and filter updates. The lookup answers one text stream;
// every token is followed by one space, names and entries are escaped:
//   name flag propertyList tail
//   tail = "0"                                    application types 2, 3, 4, 16, 22, 23
//        | count {entry} "7" {t count {entry}}    otherwise, for t = 2..8
#include "AppMgr/SubclientBCLsn.h"

#include <sstream>
#include <string>

#include "AppMgr/AppIdInfo.h"
#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/BackupContent.h"
#include "platform/SCInterfaceDB.h"
#include "platform/SubclientConf.h"

#include "listener/ListenerFrame.h"
#include "listener/NumericAppId.h"
#include "stream/PropListSupport.h"
#include "stream/ProtocolVersion.h"

namespace {

// Flag bit that selects the true flag token.
constexpr long kFlagTokenBit = 0x8;
// The filter groups written after the content, in this order.
constexpr unsigned int kFirstFilterType = 2;
constexpr unsigned int kLastFilterType = 8;
constexpr unsigned int kFilterGroupCount = kLastFilterType - kFirstFilterType + 1;

// Application types whose subclients are sent without content and filters.
bool skipsContent(unsigned long appTypeId) {
  switch (appTypeId) {
    case 2:
    case 3:
    case 4:
    case 16:
    case 22:
    case 23:
      return true;
    default:
      return false;
  }
}

// Writes the count of entries and then each entry, escaped.
void writeEntries(const BackupContent& content, std::ostream& stream) {
  stream << content.size() << stream_ws;
  for (const std::string* entry : content) {
    std::string token = *entry;
    stream << transform_string_encode(token, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;
  }
}

int notBuilt(const char* tag) {
  EvEvent ev;
  ev.Debug(tag, "Handler not available in this build");
  return 0;
}

}  // namespace

int SubclientBCLsn::lookupSubclientById(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "SubclientBCLsn::lookupSubclientById";
  EvEvent ev;
  logEntry(ev, tag);
  clearPropList();
  AppIdInterfaceDB appIdDb;
  SCInterfaceDB scDb;
  Streamer streamer;
  std::ostringstream stream;
  std::string errorText;
  int errorCode = 0;

  try {
    const unsigned int protocolVersion = peerProtocolVersion(session, ev, tag);
    const appmanObjectReq* request = requestRecord<appmanObjectReq>(buf);
    AppIdInfo info;
    if (request == nullptr || !parseNumericAppId(request->appIdText, info)) {
      throw BCLsnException(XR_STREAM_FAILURE, "Bad Arguments used for constructing ApplicationId object.");
    }
    info.setAccessMode();
    int result = appIdDb.getApplicationId(info, errorText, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);

    const unsigned long subclientId = request->objectId;
    std::string name;
    std::string description;
    long flags = 0;
    unsigned long unused = 0;
    result = scDb.lookup(subclientId, name, flags, unused, unused, unused, description, errorText, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << transform_string_encode(name, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;

    result = scDb.getProperties(subclientId, request->passThrough, errorText, this, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << ((flags & kFlagTokenBit) != 0 ? XR_APPMGR_PROP_TRUE_STR_VAL : XR_APPMGR_PROP_FALSE_STR_VAL)
           << stream_ws;
    if (peerNeedsPasswordConversion(protocolVersion)) {
      streamer.convertPasswords(propList, CONV_PWD_SC_PROPS_LEVEL, XR_PASSWORD_VER_1);
    }
    streamer.encodePropList(propList, stream, errorText);

    if (skipsContent(info.appTypeId)) {
      stream << 0 << stream_ws;
    } else {
      SubclientConf conf(subclientId);
      BackupContent content;
      result = conf.getFiles(content, nullptr, false);
      if (result != 0) throw BCLsnException(result, errorText);
      writeEntries(content, stream);
      stream << kFilterGroupCount << stream_ws;
      for (unsigned int type = kFirstFilterType; type <= kLastFilterType; ++type) {
        result = conf.getFilters(type, content, nullptr, true, true, false);
        if (result != 0) throw BCLsnException(result, errorText);
        stream << type << stream_ws;
        writeEntries(content, stream);
      }
    }
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = static_cast<int>(XR_STREAM_FAILURE);
  }

  sendStreamLookupResponse(session, ev, tag, HandlerId::kLookupSubclientById, reqCode, stream, errorCode,
                           errorText);
  clearPropList();
  return errorCode;
}

int SubclientBCLsn::updateProperties(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                     xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateProperties");
}

int SubclientBCLsn::updateFiles(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateFiles");
}

int SubclientBCLsn::updateFilters(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/,
                                  xrsDatabuf* /*buf*/) {
  return notBuilt("SubclientBCLsn::updateFilters");
}

int SubclientBCLsn::handleMessage(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  EvEvent ev;
  switch (handlerFor(ListenerId::kSubclient, reqCode)) {
    case HandlerId::kLookupSubclientById:
      return lookupSubclientById(session, reqCode, buf);
    case HandlerId::kUpdateProperties:
      return updateProperties(session, reqCode, buf);
    case HandlerId::kUpdateFiles:
      return updateFiles(session, reqCode, buf);
    case HandlerId::kUpdateFilters:
      return updateFilters(session, reqCode, buf);
    default:
      logUnexpected(ev, "SubclientBCLsn::handleMessage", reqCode);
      return 0;
  }
}

void SubclientBCLsn::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                           unsigned long /*reserved*/) {
  appendProperty(propList, name, type, value);
}

void SubclientBCLsn::clearPropList() { ::clearPropList(propList); }

SubclientBCLsn::~SubclientBCLsn() { clearPropList(); }
