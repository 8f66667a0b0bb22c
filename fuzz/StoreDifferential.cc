// The differential runner: the start tree, the decoder of request sequences,
// the recording session and the comparison (see StoreDifferential.h).
#include "StoreDifferential.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"
#include "platform/XRPlatformInfo.h"
#include "platform/xrsDatabuf.h"

#include "store/ConfigTreeJson.h"
#include "store/MemoryConfigStore.h"
#include "store/SqliteConfigStore.h"

namespace differential {
namespace {

// Two Velmoras; names that sort differently by bytes and by letters, names
// repeated across parents, an application id used in both Velmoras, empty
// and escaped texts, and every kind of list the listener reads back.
constexpr char kStartTree[] = R"json({
  "format": "appmgr-config-tree",
  "version": 1,
  "globalParams": {"nMaxBackupStreams": "8", "sAuditPath": "/var/log/a b", "Zone": "+1"},
  "applicationTypes": [
    {"id": 7, "name": "File System"},
    {"id": 22, "name": "Oracle Database"},
    {"id": 53, "name": "exchange Mailbox"}
  ],
  "velmoras": [
    {"id": 2, "name": "north", "releaseId": 11, "flags": 4, "timeZoneId": 36, "hostName": "north.example.net",
     "description": "Northern data centre", "timeZoneName": "Europe/Berlin", "installDir": "/opt/velmora",
     "utcOffsetMinutes": -60,
     "clients": [
       {"id": 5, "name": "build01", "hostName": "build01.example.net", "osName": "Linux", "osVersion": "Debian 12",
        "processor": "x86_64", "versionText": "11.0.0 SP22 HPK5", "roles": 1,
        "properties": [
          {"name": "Client Description", "type": 1, "value": "build server"},
          {"name": "FS User Password", "type": 3, "value": "XRPW2:c3RvcmVkIHZhbHVl"},
          {"name": "Log Level", "type": 2, "value": "2"}],
        "instances": [
          {"id": 6, "name": "DefaultInstance", "applicationType": 7,
           "properties": [{"name": "Scan Type", "type": 2, "value": "3"}],
           "content": [{"type": 1, "path": "/"}, {"type": 4, "path": "/data/project files"}],
           "backupSets": [
             {"id": 7, "name": "defaultBackupSet",
              "properties": [{"name": "Backup Set Description", "type": 1, "value": "all local disks"}],
              "subclients": [
                {"id": 8, "name": "default", "application": {"id": 1045, "archiveGroup": 3},
                 "properties": [{"name": "Streams", "type": 2, "value": "2"},
                                {"name": "UNC Content Password", "type": 3, "value": "XRPW2:dW5j"},
                                {"name": "", "type": 1, "value": ""}],
                 "content": ["/etc", "/home/shared files"],
                 "filters": {"2": ["*.tmp", "`x"], "3": ["/var/cache"]}},
                {"id": 9, "name": "home dirs", "flags": 8, "application": {"id": 1046, "archiveGroup": 3},
                 "properties": [{"name": "Tag", "type": 1, "value": "`weekly`"}],
                 "content": ["/home"]}]}]}]},
       {"id": 10, "name": "oradb", "hostName": "oradb.example.net", "qualifier": 3, "attribute": 2,
        "osName": "Linux", "versionText": "11.0.0 SP21", "isNAS": true, "roles": 3,
        "instances": [
          {"id": 11, "name": "OracleProd", "applicationType": 22, "flags": -2, "description": "prod db",
           "clusterType": 2,
           "properties": [{"name": "Oracle Home", "type": 1, "value": "/u01/app"},
                          {"name": "Oracle Password", "type": 3, "value": "XRPW2:b3Jh"}],
           "backupSets": [
             {"id": 12, "name": "archive+logs", "flags": 8,
              "subclients": [
                {"id": 13, "name": "nightly", "application": {"id": 1047, "aux1": 4, "aux2": 9},
                 "filters": {"5": ["*.trc", "*.aud"]}}]}]},
          {"id": 16, "name": "DefaultInstance", "applicationType": 7, "cloudAppsType": 1,
           "backupSets": [
             {"id": 17, "name": "Zeta", "flags": 9, "subclients": [
                {"id": 18, "name": "default", "application": {"id": 1048, "archiveGroup": 5}},
                {"id": 19, "name": "B"}]},
             {"id": 20, "name": "defaultBackupSet"}]}]},
       {"id": 14, "name": "Mail hub", "hostName": "mail.example.net", "roles": 2, "isNonNDMP": true}]},
    {"id": 3, "name": "South",
     "clients": [
       {"id": 15, "name": "émigré", "hostName": "émigré.example.net", "roles": 1,
        "instances": [
          {"id": 21, "name": "b inst", "applicationType": 53,
           "backupSets": [
             {"id": 22, "name": "`q", "subclients": [
                {"id": 23, "name": "a", "application": {"id": 1045, "archiveGroup": 3}}]}]}]}]}
  ]
})json";

// Ids of the tree, their neighbours, ids of other kinds and the limits of
// the 32- and 64-bit fields that carry them.
const uint64_t kIds[] = {0,
                         1,
                         2,
                         3,
                         4,
                         5,
                         6,
                         7,
                         8,
                         9,
                         10,
                         11,
                         12,
                         13,
                         14,
                         15,
                         16,
                         17,
                         18,
                         19,
                         20,
                         21,
                         22,
                         23,
                         24,
                         53,
                         99,
                         1045,
                         1046,
                         1047,
                         1048,
                         1049,
                         0x7fffffffULL,
                         0x80000000ULL,
                         0xffffffffULL,
                         0x100000000ULL,
                         0x100000005ULL,
                         0x7fffffffffffffffULL,
                         0x8000000000000000ULL,
                         0x8000000000000005ULL,
                         0xffffffffffffffffULL};

const char* const kVelmoraNames[] = {"north", "South", "south", "NORTH", "", "north ", "nowhere"};
const char* const kClientNames[] = {"build01", "oradb", "Mail hub", "émigré",
                                    "BUILD01", "",      "mail hub", "ghost"};
const char* const kHostNames[] = {"build01.example.net", "oradb.example.net", "mail.example.net",
                                  "émigré.example.net",  "MAIL.example.net",  "",
                                  "nowhere.example.net"};
const char* const kParamNames[] = {"nMaxBackupStreams", "sAuditPath", "Zone", "zone", "", "sMissing"};
const char* const kPropertyNames[] = {"Client Description",
                                      "Log Level",
                                      "FS User Password",
                                      "AD User Password",
                                      "User",
                                      "Oracle Home",
                                      "Oracle Password",
                                      "oracle password",
                                      "Streams",
                                      "streams",
                                      "UNC Content Password",
                                      "Tag",
                                      "",
                                      "New Prop",
                                      "a+b",
                                      "`x",
                                      "\xe2\x9c\x93 check",
                                      "Z",
                                      "z",
                                      "x y z"};
const char* const kValues[] = {"",  "1",  "2",          "build server", "x y",    "+",      "+1",
                               "`", "``", "XRPW2:AAAA", "\xc3\xbc",     "a\tb c", "0 0 0 0"};
const char* const kPaths[] = {"/",    "/etc", "/home/shared files", "*.tmp",        "",     "`",
                              "/a+b", "/ETC", "/var/cache",         "C:\\Data Dir", "/x/y", "/\xc3\x84"};

// Numbers of the listener's streams: counts, types and group numbers as text.
const char* const kTypeTokens[] = {"1",           "2",          "3",           "0", "-1", "2147483647",
                                   "-2147483648", "4294967295", "99999999999", "x", "1"};
const char* const kGroupTokens[] = {"2", "3", "4",  "5",  "8",          "2", "1",
                                    "9", "0", "-1", "12", "2147483647", "x"};

// Ids of one kind in the tree, for the fields that name one.
const uint64_t kVelmoraIds[] = {2, 3};
const uint64_t kClientIds[] = {5, 10, 14, 15};
const uint64_t kTypeIds[] = {7, 22, 53};
const uint64_t kInstanceIds[] = {6, 11, 16, 21};
const uint64_t kBackupSetIds[] = {7, 12, 17, 20, 22};
const uint64_t kSubclientIds[] = {8, 9, 13, 18, 19, 23};
const uint64_t kAppIds[] = {1045, 1046, 1047, 1048};
const uint64_t kArchiveGroupIds[] = {3, 5};
// The client property writes take either an application or a client id.
const uint64_t kAppOrClientIds[] = {1045, 1046, 1047, 1048, 5, 10, 14, 15};

// The (Velmora, application) pairs of the tree.
const uint64_t kApplications[][2] = {{2, 1045}, {2, 1046}, {2, 1047}, {2, 1048}, {3, 1045}};

// The adapter types with the kind of each number they read, in order: v
// Velmora, c client, t application type, i instance, b backup set, s
// subclient, g archive group, ? read and not used.
struct AdapterShape {
  int64_t type;
  const char* numbers;
};
const AdapterShape kQueries[] = {{velmoraVelmorasQuery, "v?"},
                                 {velmoraClientsQuery, "?v"},
                                 {velmoraMediaAgentQuery, "v"},
                                 {clientApplicationsQuery, "vctib"},
                                 {clientApplicationTypesQuery, "c?"},
                                 {clientInstancesQuery, "vct?"},
                                 {clientBackupSetsQuery, "t?i"},
                                 {clientBackupSetsNoInstanceQuery, "c?t?"},
                                 {clientSubclientsQuery, "c?b"},
                                 {archiveGroupApplicationsQuery, "vg"},
                                 {instanceListFromAppTypeQuery, "vt"},
                                 {clientBackupSetsWithInstance, "c?t?i"},
                                 {ClientChallenge, "c"},
                                 {0, "?"},
                                 {-1, "?"}};
const AdapterShape kLookups[] = {{ApplicationTypeNameLookup, "t"},    {ApplicationIdLookup, "s"},
                                 {ClientIdLookupFromInstanceId, "i"}, {LookupInstNameFromId, "i"},
                                 {velmoraVelmorasQuery, "v"},         {0, "?"}};

// Applications of the tree with their chain of ids, for requests that name
// one by its ids: velmora, client, type, instance, backup set, subclient.
const uint32_t kChains[][6] = {{2, 5, 7, 6, 7, 8},     {2, 5, 7, 6, 7, 9},      {2, 10, 22, 11, 12, 13},
                               {2, 10, 7, 16, 17, 18}, {3, 15, 53, 21, 22, 23}, {2, 10, 7, 16, 17, 19}};

// The input as a source of choices; past its end every read is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }

  uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

  uint64_t raw64() {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<uint64_t>(byte()) << (8 * i);
    return value;
  }

  template <typename T, size_t N>
  const T& pick(const T (&table)[N]) {
    return table[byte() % N];
  }

  // An id of the table, or (from byte 240 on) eight raw bytes.
  uint64_t id() {
    const uint8_t b = byte();
    return b < 240 ? kIds[b % std::size(kIds)] : raw64();
  }

  // Mostly an id of `favourites` or 0 (the wildcard of the lists), else
  // as id().
  template <size_t N>
  uint64_t id(const uint64_t (&favourites)[N]) {
    const uint8_t b = byte();
    if (b < 112) return favourites[b % N];
    if (b < 136) return 0;
    return b < 240 ? kIds[b % std::size(kIds)] : raw64();
  }

  // A short text of raw bytes (never NUL).
  std::string rawText() {
    const size_t length = byte() % 24;
    std::string text;
    for (size_t i = 0; i < length && !empty(); ++i) {
      const char c = static_cast<char>(byte());
      text += c == '\0' ? ' ' : c;
    }
    return text;
  }

  // A word of `words`, sometimes raw bytes instead.
  template <size_t N>
  std::string word(const char* const (&words)[N]) {
    const uint8_t b = byte();
    return b < 232 ? std::string(words[b % N]) : rawText();
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

// One request, independent of any store: its record with the text fields
// left empty, and the texts (nullopt: a null pointer).
struct Request {
  unsigned long code = 0;
  std::vector<unsigned char> record;
  std::vector<std::pair<size_t, std::optional<std::string>>> texts;
  int peer = 0;  // 0: protocol 7, 1: protocol 6, 2: the version query fails
  bool noRecord = false;
};

template <typename T>
void put(Request& request, size_t offset, T value) {
  std::memcpy(request.record.data() + offset, &value, sizeof value);
}

// Makes text valid UTF-8: every byte that does not start a complete,
// shortest-form sequence of a scalar value becomes '?'.
std::string validUtf8(const std::string& text) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t length = 0;
    uint32_t value = 0;
    if (c < 0x80) {
      length = 1;
      value = c;
    } else if (c >= 0xc2 && c <= 0xdf) {
      length = 2;
      value = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
      length = 3;
      value = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      length = 4;
      value = c & 0x07;
    }
    bool ok = length > 0 && i + length <= n;
    for (size_t k = 1; ok && k < length; ++k) {
      ok = (s[i + k] & 0xc0) == 0x80;
      value = (value << 6) | (s[i + k] & 0x3f);
    }
    if (ok && length == 3) ok = value >= 0x800 && (value < 0xd800 || value > 0xdfff);
    if (ok && length == 4) ok = value >= 0x10000 && value <= 0x10ffff;
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  return out;
}

class Decoder {
 public:
  Decoder(Input& in, const Options& options) : in_(in), options_(options) {}

  Request next() {
    Request request;
    const uint8_t kind = in_.byte() % 20;
    const uint8_t flags = in_.byte();
    request.peer = (flags & 3) == 2 ? 1 : (flags & 3) == 3 ? 2 : 0;
    request.noRecord = (flags & 0xfc) == 0xfc;
    switch (kind) {
      case 0: {
        begin<appmanVelmoraByIdReq>(request, APPMAN_VELMORA_BY_ID_REQ);
        put(request, offsetof(appmanVelmoraByIdReq, velmoraId), static_cast<uint32_t>(in_.id(kVelmoraIds)));
        put(request, offsetof(appmanVelmoraByIdReq, context), in_.id());
        break;
      }
      case 1:
        begin<appmanVelmoraByNameReq>(request, APPMAN_VELMORA_BY_NAME_REQ);
        text(request, offsetof(appmanVelmoraByNameReq, velmoraName), in_.word(kVelmoraNames));
        put(request, offsetof(appmanVelmoraByNameReq, context), in_.id());
        break;
      case 2:
        begin<appmanGlobalParamReq>(request, APPMAN_GLOBAL_PARAM_REQ);
        text(request, offsetof(appmanGlobalParamReq, paramName), in_.word(kParamNames));
        break;
      case 3:
        begin<appmanClientByIdReq>(request, APPMAN_CLIENT_BY_ID_REQ);
        put(request, offsetof(appmanClientByIdReq, clientId), static_cast<uint32_t>(in_.id(kClientIds)));
        put(request, offsetof(appmanClientByIdReq, qualifier), in_.id());
        put(request, offsetof(appmanClientByIdReq, context), in_.id());
        break;
      case 4:
        begin<appmanClientByNameReq>(request, APPMAN_CLIENT_BY_NAME_REQ);
        text(request, offsetof(appmanClientByNameReq, clientName), in_.word(kClientNames));
        put(request, offsetof(appmanClientByNameReq, qualifier), static_cast<uint32_t>(in_.id()));
        break;
      case 5:
        begin<appmanClientByHostnameReq>(request, APPMAN_CLIENT_BY_HOSTNAME_REQ);
        text(request, offsetof(appmanClientByHostnameReq, hostName), in_.word(kHostNames));
        put(request, offsetof(appmanClientByHostnameReq, qualifier), static_cast<uint32_t>(in_.id()));
        break;
      case 6:
        begin<appmanAppIdNumReq>(request, APPMAN_NUM_APPID_REQ);
        put(request, offsetof(appmanAppIdNumReq, velmoraId), static_cast<uint32_t>(in_.id(kVelmoraIds)));
        put(request, offsetof(appmanAppIdNumReq, appId), static_cast<uint32_t>(in_.id(kAppIds)));
        break;
      case 7:
        symbolicAppId(request);
        break;
      case 8:
        begin<appmanClientGetPropsReq>(request, APPMAN_CLIENT_GET_PROPS_REQ);
        put(request, offsetof(appmanClientGetPropsReq, clientId), static_cast<uint32_t>(in_.id(kClientIds)));
        put(request, offsetof(appmanClientGetPropsReq, headerValue), in_.id());
        put(request, offsetof(appmanClientGetPropsReq, propertyScope), static_cast<int64_t>(in_.id()));
        break;
      case 9:
      case 10:
      case 11: {
        const unsigned long codes[] = {APPMAN_INSTANCE_BY_ID_REQ, APPMAN_BACKUPSET_BY_ID_REQ,
                                       APPMAN_SUBCLIENT_BY_ID_REQ};
        objectRequest(request, codes[kind - 9], kind == 9 ? 0 : kind == 10 ? 1 : 2);
        text(request, offsetof(appmanObjectReq, appIdText), appIdText());
        break;
      }
      case 12:
        objectRequest(request, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, 2);
        text(request, offsetof(appmanObjectReq, firstList), contentList());
        text(request, offsetof(appmanObjectReq, secondList), contentList());
        break;
      case 13: {
        objectRequest(request, APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, 2);
        std::string first, second;
        filterLists(first, second);
        text(request, offsetof(appmanObjectReq, firstList), first);
        text(request, offsetof(appmanObjectReq, secondList), second);
        break;
      }
      case 14:
        objectRequest(request, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, 2);
        text(request, offsetof(appmanObjectReq, firstList), propertyList());
        text(request, offsetof(appmanObjectReq, secondList), propertyList());
        break;
      case 15:
      case 16:
        begin<appmanClientSetPropsReq>(
            request, kind == 15 ? APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ : APPMAN_CLIENT_SET_PROPS_REQ);
        put(request, offsetof(appmanClientSetPropsReq, appId), in_.id(kAppOrClientIds));
        put(request, offsetof(appmanClientSetPropsReq, clientId), static_cast<uint32_t>(in_.id(kClientIds)));
        text(request, offsetof(appmanClientSetPropsReq, setList), propertyList());
        text(request, offsetof(appmanClientSetPropsReq, removeList), propertyList());
        break;
      case 17:
      case 18:
        begin<appmanGeneralMsg>(request, kind == 17 ? APPMAN_DOQUERY_REQ : APPMAN_DOLOOKUP_REQ);
        text(request, offsetof(appmanGeneralMsg, data), adapterText(kind == 17));
        put(request, offsetof(appmanGeneralMsg, context), in_.id());
        break;
      default:  // a code next to served ones: never answered
        begin<appmanObjectReq>(request, APPMAN_SUBCLIENT_BY_ID_REQ + 1);
        break;
    }
    return request;
  }

 private:
  template <typename Record>
  void begin(Request& request, unsigned long code) {
    request.code = code;
    request.record.assign(sizeof(Record), 0);
  }

  // A text field; byte 255 of the selector makes it a null pointer.
  void text(Request& request, size_t offset, std::string value) {
    if (in_.byte() == 255) {
      request.texts.emplace_back(offset, std::nullopt);
      return;
    }
    if (options_.utf8Only) value = validUtf8(value);
    request.texts.emplace_back(offset, std::move(value));
  }

  // An instance (0), backup set (1) or subclient (2) request.
  void objectRequest(Request& request, unsigned long code, int kind) {
    begin<appmanObjectReq>(request, code);
    const uint64_t id = kind == 0   ? in_.id(kInstanceIds)
                        : kind == 1 ? in_.id(kBackupSetIds)
                                    : in_.id(kSubclientIds);
    put(request, offsetof(appmanObjectReq, objectId), id);
    put(request, offsetof(appmanObjectReq, passThrough), static_cast<int64_t>(in_.id()));
  }

  // The application ids, mostly of an application of the tree with at most
  // one of them changed.
  void symbolicAppId(Request& request) {
    begin<appmanAppIdSymReq>(request, APPMAN_SYM_APPID_REQ);
    uint32_t ids[6];
    const uint8_t how = in_.byte();
    for (int i = 0; i < 6; ++i) ids[i] = kChains[how % std::size(kChains)][i];
    if (how >= 128) ids[in_.byte() % 6] = static_cast<uint32_t>(in_.id());
    const size_t offsets[] = {
        offsetof(appmanAppIdSymReq, velmoraId),   offsetof(appmanAppIdSymReq, clientId),
        offsetof(appmanAppIdSymReq, appTypeId),   offsetof(appmanAppIdSymReq, instanceId),
        offsetof(appmanAppIdSymReq, backupSetId), offsetof(appmanAppIdSymReq, subclientId)};
    for (int i = 0; i < 6; ++i) put(request, offsets[i], ids[i]);
  }

  // "<velmora>:<application>", mostly of an application of the tree, or a
  // broken form of it.
  std::string appIdText() {
    const uint8_t how = in_.byte() % 8;
    const uint8_t which = in_.byte();
    const auto& known = kApplications[which % std::size(kApplications)];
    const std::string velmora = std::to_string(which < 160 ? known[0] : in_.id(kVelmoraIds));
    const std::string app = std::to_string(which < 160 ? known[1] : in_.id(kAppIds));
    switch (how) {
      case 5:
        return velmora + app;  // no delimiter
      case 6:
        return " " + velmora + " : " + app + "x";
      case 7:
        return in_.rawText();
      default:
        return velmora + ":" + app;
    }
  }

  // What separates two tokens: mostly one space.
  std::string separator() {
    const uint8_t b = in_.byte();
    if (b < 232) return " ";
    const char* const kOthers[] = {"\t", "\n", "  ", "", " \v", "\r\n", " ", " "};
    return kOthers[b % std::size(kOthers)];
  }

  // A list's count token for `n` entries: mostly n.
  std::string count(size_t n) {
    const uint8_t b = in_.byte();
    if (b < 216) return std::to_string(n);
    const std::string kOthers[] = {std::to_string(n + 1),
                                   n > 0 ? std::to_string(n - 1) : "0",
                                   "0",
                                   "18446744073709551616",
                                   "-1",
                                   "x",
                                   "",
                                   std::to_string(n) + "x"};
    return kOthers[b % std::size(kOthers)];
  }

  // A token written as the listener's peers write it (escaped), or now and
  // then as it is.
  std::string token(std::string value) {
    if (in_.byte() < 240) transform_string_encode(value, ' ', '+');
    return value;
  }

  // The end of a list text: mostly as built, sometimes cut short or with
  // something after it.
  std::string finish(std::string text) {
    const uint8_t b = in_.byte();
    if (b >= 244) {
      size_t at = in_.byte() % (text.size() + 1);
      // Cut between characters, so that a valid text stays valid UTF-8.
      while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xc0) == 0x80) --at;
      text.resize(at);
    } else if (b >= 236) {
      text += in_.rawText();
    }
    return text;
  }

  std::string propertyList() {
    const size_t n = in_.byte() % 4;
    std::string text = count(n) + separator();
    for (size_t i = 0; i < n; ++i) {
      text += "0" + separator();
      text += token(in_.word(kPropertyNames)) + separator();
      text += in_.pick(kTypeTokens) + separator();
      text += token(in_.word(kValues)) + separator();
      text += (in_.byte() < 240 ? "0" : "-7") + separator();
    }
    return finish(text);
  }

  std::string contentStream() {
    const size_t n = in_.byte() % 4;
    std::string text = count(n) + separator();
    for (size_t i = 0; i < n; ++i) text += token(in_.word(kPaths)) + separator();
    return text;
  }

  std::string contentList() { return finish(contentStream()); }

  // The group count and, per group, its number and first content stream in
  // `first`; the second content streams in `second`.
  void filterLists(std::string& first, std::string& second) {
    const size_t n = in_.byte() % 4;
    first = count(n) + separator();
    for (size_t i = 0; i < n; ++i) {
      first += std::string(in_.pick(kGroupTokens)) + separator();
      first += contentStream();
      second += contentStream();
    }
    first = finish(first);
    second = finish(second);
  }

  // A query or lookup type and its numbers (now and then one more or
  // fewer), each mostly an id of the kind the type reads there.
  std::string adapterText(bool query) {
    const AdapterShape& shape = query ? in_.pick(kQueries) : in_.pick(kLookups);
    std::string text = (in_.byte() >= 248 ? " " : "") + std::to_string(shape.type);
    const size_t wanted = std::strlen(shape.numbers);
    const uint8_t b = in_.byte();
    const size_t n = b < 208 ? wanted : b % (wanted + 2);
    for (size_t i = 0; i < n; ++i) {
      text += separator();
      const uint8_t how = in_.byte();
      if (how >= 248) {
        text += how < 252 ? "-1" : "x";
        continue;
      }
      switch (i < wanted ? shape.numbers[i] : '?') {
        case 'v':
          text += std::to_string(in_.id(kVelmoraIds));
          break;
        case 'c':
          text += std::to_string(in_.id(kClientIds));
          break;
        case 't':
          text += std::to_string(in_.id(kTypeIds));
          break;
        case 'i':
          text += std::to_string(in_.id(kInstanceIds));
          break;
        case 'b':
          text += std::to_string(in_.id(kBackupSetIds));
          break;
        case 's':
          text += std::to_string(in_.id(kSubclientIds));
          break;
        case 'g':
          text += std::to_string(in_.id(kArchiveGroupIds));
          break;
        default:
          text += std::to_string(in_.id());
      }
    }
    return finish(text);
  }

  Input& in_;
  const Options& options_;
};

// One answer as the peer would see it.
struct Answer {
  int result = 0;
  int sends = 0;
  unsigned long responseCode = 0;
  unsigned int length = 0;
  std::vector<unsigned char> record;  // text pointers zeroed
  std::vector<std::optional<std::string>> texts;
  std::string errorText;

  bool operator==(const Answer& other) const {
    return result == other.result && sends == other.sends && responseCode == other.responseCode &&
           length == other.length && record == other.record && texts == other.texts &&
           errorText == other.errorText;
  }
};

// Copies the record of the last send and every text it points to while
// they are still the handler's.
class RecordingSession final : public CSSessionWrapper {
 public:
  RecordingSession(int peer, Answer& answer) : peer_(peer), answer_(answer) {}

  CZuError getProtocolVersion(unsigned int& version) override {
    if (peer_ == 2) return CZuError(-1, "no protocol version");
    version = peer_ == 1 ? 6 : 7;
    return CZuError();
  }

  CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                const std::string& errorText) override {
    ++answer_.sends;
    answer_.responseCode = responseCode;
    answer_.length = length;
    answer_.errorText = errorText;
    answer_.texts.clear();
    const auto* bytes = static_cast<const unsigned char*>(record);
    answer_.record.assign(bytes, bytes == nullptr ? bytes : bytes + length);
    if (bytes == nullptr) return CZuError();
    const appmanTextFields fields = appmanResponseTextFields(responseCode);
    for (size_t i = 0; i < fields.count; ++i) {
      if (fields.offsets[i] + sizeof(const char*) > length) continue;
      const char* text = nullptr;
      std::memcpy(&text, bytes + fields.offsets[i], sizeof text);
      answer_.texts.push_back(text == nullptr ? std::nullopt : std::optional<std::string>(text));
      std::memset(answer_.record.data() + fields.offsets[i], 0, sizeof text);
    }
    return CZuError();
  }

 private:
  int peer_;
  Answer& answer_;
};

Answer serve(const Request& request, const StoreUnderTest& target) {
  // Fresh copies per store: each run reads its own request buffer.
  std::vector<unsigned char> record = request.record;
  std::vector<std::unique_ptr<char[]>> texts;
  for (const auto& [offset, value] : request.texts) {
    const char* pointer = nullptr;
    if (value) {
      texts.emplace_back(new char[value->size() + 1]);
      std::memcpy(texts.back().get(), value->c_str(), value->size() + 1);
      pointer = texts.back().get();
    }
    std::memcpy(record.data() + offset, &pointer, sizeof pointer);
  }
  xrsDatabuf buf;
  buf.data = request.noRecord ? nullptr : record.data();
  buf.length = request.noRecord ? 0 : record.size();
  buf.capacity = buf.length;

  Answer answer;
  RecordingSession session(request.peer, answer);
  ConfigStore::install(target.store);
  {
    // One request as the host runs it.
    const ConfigStore::RequestScope scope(target.store);
    answer.result = BCLsnMsgHandler::handleMessage(session, request.code, &buf);
  }
  ConfigStore::install(nullptr);
  return answer;
}

void printText(const char* label, const std::string& text) {
  std::fprintf(stderr, "    %s \"", label);
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\')
      std::fputc(c, stderr);
    else
      std::fprintf(stderr, "\\x%02x", c);
  }
  std::fprintf(stderr, "\"\n");
}

void printAnswer(const std::string& store, const Answer& answer) {
  std::fprintf(stderr, "  %s: result %d, %d send(s), response %#lx, length %u\n    record", store.c_str(),
               answer.result, answer.sends, answer.responseCode, answer.length);
  for (unsigned char c : answer.record) std::fprintf(stderr, " %02x", c);
  std::fprintf(stderr, "\n");
  for (const auto& text : answer.texts) {
    if (text)
      printText("text", *text);
    else
      std::fprintf(stderr, "    text (null)\n");
  }
  printText("error text", answer.errorText);
}

// The private directory of the SQLite store files; removed at exit, and
// before the abort of a finding (which skips the exit handlers).
std::string gSqliteDirectory;

void removeSqliteDirectory() {
  if (gSqliteDirectory.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(gSqliteDirectory, ignored);
}

[[noreturn]] void differs(const char* what) {
  std::fprintf(stderr, "stores differ: %s\n", what);
  removeSqliteDirectory();
  std::abort();
}

// Every string of the tree with the bytes of 0x80 and above (and the
// backslash) written as \xNN, so that a tree that the JSON form cannot hold
// can still be compared byte for byte.
void escapeTree(ConfigTree& tree) {
  const auto escape = [](std::string& s) {
    std::string out;
    for (unsigned char c : s) {
      if (c < 0x80 && c != '\\') {
        out += static_cast<char>(c);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
      }
    }
    s = std::move(out);
  };
  for (auto& [name, value] : tree.globalParams) escape(name), escape(value);
  for (auto& row : tree.applicationTypes) escape(row.name);
  for (auto& row : tree.velmoras) {
    for (std::string* s : {&row.name, &row.hostName, &row.description, &row.timeZoneName, &row.installDir})
      escape(*s);
  }
  for (auto& row : tree.clients) {
    for (std::string* s :
         {&row.name, &row.hostName, &row.osName, &row.osVersion, &row.processor, &row.versionText})
      escape(*s);
  }
  for (auto& row : tree.instances) escape(row.name), escape(row.description);
  for (auto& row : tree.backupSets) escape(row.name), escape(row.description);
  for (auto& row : tree.subclients) escape(row.name), escape(row.description);
  for (auto& row : tree.applications) {
    for (std::string* s : {&row.instanceName, &row.backupSetName, &row.subclientName}) escape(*s);
  }
  for (auto& owned : tree.properties) {
    for (auto& property : owned.properties) escape(property.name), escape(property.value);
  }
  for (auto& content : tree.instanceContent) {
    for (auto& row : content.content) escape(row.path);
  }
  for (auto& group : tree.subclientEntries) {
    for (auto& entry : group.entries) escape(entry);
  }
}

// The store's exported tree; when the JSON form cannot hold it (texts that
// are not UTF-8), the failure followed by the escaped tree.
std::string exportedTree(const StoreUnderTest& target) {
  std::string text, errorText;
  const int result = exportConfigTreeJson(*target.tree, text, errorText);
  if (result == 0) return text;
  ConfigTree tree;
  std::string readError;
  const int read = target.tree->readTree(tree, readError);
  std::string escaped, formatError;
  if (read == 0) {
    escapeTree(tree);
    formatConfigTreeJson(tree, escaped, formatError);
  }
  return "export failed with " + std::to_string(result) + ": " + errorText + "\nread " +
         std::to_string(read) + ": " + readError + "\n" + escaped + formatError;
}

void reset(const StoreUnderTest& target) {
  std::string errorText;
  if (target.tree->replaceTree(startTree(), errorText) != 0) {
    std::fprintf(stderr, "%s: cannot load the start tree: %s\n", target.name.c_str(), errorText.c_str());
    removeSqliteDirectory();
    std::abort();
  }
}

// Drops every log line: the runner compares answers, not logs.
class NullLogSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

}  // namespace

void initialize() {
  // An empty platform configuration: no password key file.
  setenv(kPlatformConfigEnv, "/dev/null", 1);
  XRPlatformInfo::reload();
  EvLog::setSink(std::make_shared<NullLogSink>());
}

const ConfigTree& startTree() {
  static const ConfigTree tree = [] {
    ConfigTree parsed;
    std::string errorText;
    if (parseConfigTreeJson(kStartTree, parsed, errorText) != 0) {
      std::fprintf(stderr, "the start tree does not parse: %s\n", errorText.c_str());
      std::abort();
    }
    return parsed;
  }();
  return tree;
}

StoreUnderTest openMemoryStore() {
  auto store = std::make_shared<MemoryConfigStore>();
  ConfigTreeStore* tree = store.get();
  return {"memory", std::move(store), tree};
}

StoreUnderTest openSqliteStore() {
  // A file with its pool of connections, as a host serves one; on tmpfs
  // where there is one, so that the syncs of each commit cost nothing.
  if (gSqliteDirectory.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                          : tmp != nullptr && *tmp != '\0'          ? tmp
                                                                    : "/tmp";
    pattern += "/appmgr-differential-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    gSqliteDirectory = pattern;
    std::atexit(removeSqliteDirectory);
  }
  static int count = 0;
  const std::string path = gSqliteDirectory + "/store" + std::to_string(count++) + ".db";
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  if (SqliteConfigStore::open(path, store, errorText) != 0) {
    std::fprintf(stderr, "cannot open an SQLite store: %s\n", errorText.c_str());
    std::abort();
  }
  ConfigTreeStore* tree = store.get();
  return {"SQLite", std::move(store), tree};
}

void runSequence(const uint8_t* data, size_t size, const std::vector<StoreUnderTest>& stores,
                 const Options& options) {
  for (const StoreUnderTest& target : stores) reset(target);
  Input in(data, size);
  Decoder decoder(in, options);
  for (size_t i = 0; i < kMaxRequests && !in.empty(); ++i) {
    const Request request = decoder.next();
    const Answer expected = serve(request, stores[0]);
    for (size_t s = 1; s < stores.size(); ++s) {
      const Answer answer = serve(request, stores[s]);
      if (answer == expected) continue;
      std::fprintf(stderr, "request %zu (code %#lx, peer %d%s):\n", i, request.code, request.peer,
                   request.noRecord ? ", no record" : "");
      for (const auto& [offset, value] : request.texts) {
        if (value) printText(("text at " + std::to_string(offset)).c_str(), *value);
      }
      printAnswer(stores[0].name, expected);
      printAnswer(stores[s].name, answer);
      differs("answers");
    }
  }
  const std::string expected = exportedTree(stores[0]);
  for (size_t s = 1; s < stores.size(); ++s) {
    const std::string tree = exportedTree(stores[s]);
    if (tree == expected) continue;
    std::fprintf(stderr, "exported tree of %s:\n%s\nexported tree of %s:\n%s\n", stores[0].name.c_str(),
                 expected.c_str(), stores[s].name.c_str(), tree.c_str());
    differs("exported trees");
  }
}

}  // namespace differential
