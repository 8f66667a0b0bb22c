// SubclientBCLsn: the subclient lookup, and the subclient property, content
// and filter updates. The lookup answers one text stream; every token is
// followed by one space, names and entries are escaped:
//   name flag propertyList tail
//   tail = "0"                                    application types 2, 3, 4, 16, 22, 23
//        | count {entry} "7" {t count {entry}}    otherwise, for t = 2..8
// The filter update reads two texts of whitespace-separated tokens:
//   first  = groupCount { group contentList }
//   second = { contentList }                      one per group, in step
#include "AppMgr/SubclientBCLsn.h"

#include <charconv>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "AppMgr/AppIdInfo.h"
#include "AppMgr/BCLsnException.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/BackupContent.h"
#include "platform/SCInterfaceDB.h"
#include "platform/SubclientConf.h"
#include "platform/ThreadScratch.h"

#include "listener/ListenerFrame.h"
#include "listener/NumericAppId.h"
#include "listener/PropertyUpdate.h"
#include "stream/ListDecoder.h"
#include "stream/PropListSupport.h"
#include "stream/PropertyTextWriter.h"
#include "stream/ProtocolVersion.h"
#include "stream/TextOutStream.h"
#include "util/TokenCodec.h"

namespace {

// Flag bit that selects the true flag token.
constexpr long kFlagTokenBit = 0x8;
// The entry group of the backup content, and the filter groups written
// after it, in this order.
constexpr unsigned int kContentGroup = 1;
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

// The writers below put their text in place at the end of the lookup's
// TextOutStream: it only grows, so the formatted entry points of a stream
// (a sentry and a state check per call, a locale for numbers) would add
// nothing but their cost.

// Writes a number and the separator, in plain decimal.
void writeNumber(TextOutStream& stream, unsigned long number) {
  char* p = stream.room(24);
  p = std::to_chars(p, p + 23, number).ptr;
  *p++ = ' ';
  stream.commit(p);
}

const std::string& entryText(const std::string* entry) { return *entry; }
const std::string& entryText(const std::string& entry) { return entry; }

// Writes the count of entries and then each entry, escaped, each followed
// by the separator, in place at the end of the stream's text. `entries` is
// a BackupContent (string pointers) or the vector of a direct read.
template <typename Entries>
void writeEntries(const Entries& entries, TextOutStream& stream) {
  size_t room = 24;  // the count
  for (const auto& entry : entries) room += maxEncodedLength(entryText(entry).size()) + 1;
  char* p = stream.room(room);
  p = std::to_chars(p, p + 24, entries.size()).ptr;
  *p++ = ' ';
  for (const auto& entry : entries) {
    const std::string& path = entryText(entry);
    p = putEncodedToken(p, path.data(), path.size());
    *p++ = ' ';
  }
  stream.commit(p);
}

// Writes `text` escaped and the separator, in place.
void writeToken(const std::string& text, TextOutStream& stream) {
  char* p = putEncodedToken(stream.room(maxEncodedLength(text.size()) + 1), text.data(), text.size());
  *p++ = ' ';
  stream.commit(p);
}

// Entries of a group that the thread keeps for the next lookup at most.
constexpr size_t kMaxKeptEntries = 1024;

// Content type of the backup content in updateContent.
constexpr int kBackupContentType = 1;

constexpr char kNoRequestData[] = "The subclient update carries no request data";

// Decodes the next content list of `text` into `list` (what
// Streamer::extractContentList decodes from a stream of the text); throws
// on failure.
void extractEntries(ListDecoder& text, IncomingList<std::string>& list, std::string& errorText) {
  const int result = text.contents(
      [&list](std::string_view path) {
        auto entry = std::make_unique<std::string>(path);
        list.items().push_back(entry.get());
        entry.release();
      },
      errorText);
  if (result != 0) throw BCLsnException(result, errorText);
}

// Reads the next signed 32-bit number of the filter text into `number`;
// throws 0xC201 with `what` as the error text when there is none.
void readFilterNumber(ListDecoder& text, int& number, const char* what, std::string& errorText) {
  if (!text.number(number)) {
    errorText = what;
    throw BCLsnException(static_cast<int>(XR_STREAM_FAILURE), errorText);
  }
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
    writeToken(name, stream);  // escaped as transform_string_encode does

    // Properties that go out as stored are encoded as they arrive, from
    // views of the store's rows, without a heap record per property; the
    // content and filters are read into reused storage, without a list node
    // per entry. Passwords for an old peer are re-encrypted in the records
    // of propList first, and a class derived from this listener receives its
    // properties through its own callback and its entries through
    // BackupContent, as always.
    const bool convert = peerNeedsPasswordConversion(protocolVersion);
    const bool plainListener = typeid(*this) == typeid(SubclientBCLsn);
    const bool direct = !convert && plainListener;
    PropertyTextWriter properties;
    result = direct ? scDb.visitProperties(subclientId, request->passThrough, errorText, properties)
                    : scDb.getProperties(subclientId, request->passThrough, errorText, this, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
    stream << ((flags & kFlagTokenBit) != 0 ? XR_APPMGR_PROP_TRUE_STR_VAL : XR_APPMGR_PROP_FALSE_STR_VAL)
           << stream_ws;
    if (direct) {
      properties.writeTo(stream);
    } else {
      if (convert) streamer.convertPasswords(propList, CONV_PWD_SC_PROPS_LEVEL, XR_PASSWORD_VER_1);
      streamer.encodePropList(propList, stream, errorText);
    }

    if (skipsContent(info.appTypeId)) {
      writeNumber(stream, 0);
    } else {
      SubclientConf conf(subclientId);
      BackupContent content;
      // On the direct route each group is read into its own reused vector,
      // so that its strings keep their room from one request to the next.
      ScratchLoan<std::vector<std::vector<std::string>>> groups;
      groups.get().resize(kLastFilterType + 1);
      std::vector<std::string>* entries = nullptr;
      auto read = [&](unsigned int group) {
        if (plainListener) {
          entries = &groups.get()[group];
          result = group == kContentGroup ? conf.readFiles(*entries) : conf.readFilters(group, *entries);
        } else {
          result = group == kContentGroup ? conf.getFiles(content, nullptr, false)
                                          : conf.getFilters(group, content, nullptr, true, true, false);
        }
        if (result != 0) throw BCLsnException(result, errorText);
      };
      auto write = [&] {
        if (!plainListener) {
          writeEntries(content, stream);
          return;
        }
        writeEntries(*entries, stream);
        // A rare long group is not kept for the thread's next request.
        if (entries->size() > kMaxKeptEntries) std::vector<std::string>().swap(*entries);
      };
      read(kContentGroup);
      write();
      writeNumber(stream, kFilterGroupCount);
      for (unsigned int type = kFirstFilterType; type <= kLastFilterType; ++type) {
        read(type);
        writeNumber(stream, type);
        write();
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

int SubclientBCLsn::updateProperties(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "SubclientBCLsn::updateProperties";
  const auto* request = requestRecord<appmanObjectReq>(buf);
  appmanGeneralMsg response;
  SCInterfaceDB scDb;
  IncomingList<const ApplProperty> setList;
  IncomingList<const ApplProperty> removeList;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  int errorCode = 0;

  try {
    const unsigned int protocolVersion = peerProtocolVersion(session, ev, tag);
    if (request == nullptr) {
      errorText = kNoRequestData;
      throw BCLsnException(static_cast<int>(XR_BAD_ARGS), errorText);
    }
    PropertyUpdateRequest update;
    update.id = request->objectId;
    update.setText = request->firstList;
    update.removeText = request->secondList;
    update.flag = true;
    update.level = CONV_PWD_SC_PROPS_LEVEL;
    update.protocolVersion = protocolVersion;
    applyPropertyUpdate(scDb, update, setList, removeList, errorText);
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = e.getErrorCode();
  }

  response.msgCode = propertiesId;
  response.errorCode = static_cast<uint32_t>(errorCode);
  setList.clear();
  removeList.clear();
  sendResponse(session, ev, tag, HandlerId::kUpdateProperties, reqCode, &response, errorCode, errorText);
  return errorCode;
}

int SubclientBCLsn::updateFiles(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "SubclientBCLsn::updateFiles";
  const auto* request = requestRecord<appmanObjectReq>(buf);
  appmanGeneralMsg response;
  SCInterfaceDB scDb;
  IncomingList<std::string> first;
  IncomingList<std::string> second;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  int errorCode = 0;

  try {
    if (request == nullptr) {
      errorText = kNoRequestData;
      throw BCLsnException(static_cast<int>(XR_BAD_ARGS), errorText);
    }
    ListDecoder firstText(textOrEmpty(request->firstList));
    ListDecoder secondText(textOrEmpty(request->secondList));
    extractEntries(firstText, first, errorText);
    extractEntries(secondText, second, errorText);
    const int result = scDb.updateContent(request->objectId, kBackupContentType, first.items(),
                                          second.items(), true, true, true, errorText, nullptr, nullptr);
    if (result != 0) throw BCLsnException(result, errorText);
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = e.getErrorCode();
  }

  response.msgCode = backupFilesId;
  response.errorCode = static_cast<uint32_t>(errorCode);
  first.clear();
  second.clear();
  sendResponse(session, ev, tag, HandlerId::kUpdateFiles, reqCode, &response, errorCode, errorText);
  return errorCode;
}

int SubclientBCLsn::updateFilters(CSSessionWrapper& session, unsigned long reqCode, xrsDatabuf* buf) {
  const char* const tag = "SubclientBCLsn::updateFilters";
  const auto* request = requestRecord<appmanObjectReq>(buf);
  appmanGeneralMsg response;
  SCInterfaceDB scDb;
  IncomingList<std::string> first;
  IncomingList<std::string> second;
  std::string errorText;
  EvEvent ev;
  logEntry(ev, tag);
  int errorCode = 0;

  try {
    if (request == nullptr) {
      errorText = kNoRequestData;
      throw BCLsnException(static_cast<int>(XR_BAD_ARGS), errorText);
    }
    ListDecoder firstText(textOrEmpty(request->firstList));
    ListDecoder secondText(textOrEmpty(request->secondList));
    int groupCount = 0;  // a blank text holds no group
    if (!firstText.atEnd()) {
      readFilterNumber(firstText, groupCount, "Error extracting content group count", errorText);
    }
    // Each group is applied at once; a group number that cannot be read ends
    // the request, so the loop never runs past what the text holds.
    for (int i = 0; i < groupCount; ++i) {
      int group = 0;
      readFilterNumber(firstText, group, "Error extracting content group", errorText);
      extractEntries(firstText, first, errorText);
      extractEntries(secondText, second, errorText);
      const int result = scDb.updateContent(request->objectId, group, first.items(), second.items(), false,
                                            true, true, errorText, nullptr, nullptr);
      if (result != 0) throw BCLsnException(result, errorText);
      first.clear();
      second.clear();
    }
  } catch (BCLsnException& e) {
    ev.Debug(tag, "%s", e.toString().c_str());
    errorCode = e.getErrorCode();
  }

  response.msgCode = propertiesId;
  response.errorCode = static_cast<uint32_t>(errorCode);
  first.clear();
  second.clear();
  sendResponse(session, ev, tag, HandlerId::kUpdateFilters, reqCode, &response, errorCode, errorText);
  return errorCode;
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
