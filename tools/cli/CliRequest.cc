// Filling request records and encoding the texts a user types.
#include "CliRequest.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>

#include <strings.h>

#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"

namespace appmgr {
namespace cli {

namespace {

std::string escaped(std::string text) {
  return transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol);
}

template <typename Record>
CliRequest makeRequest(const char* title, unsigned long code, ReplyKind kind, const Record& record) {
  static_assert(std::is_trivially_copyable_v<Record>);
  CliRequest request;
  request.title = title;
  request.code = code;
  request.replyKind = kind;
  request.record.resize(sizeof(Record));
  std::memcpy(request.record.data(), &record, sizeof(Record));
  request.texts.resize(appmanRequestTextFields(code).count);
  return request;
}

// An unsigned decimal of at most `max`, the whole text; throws UsageError.
uint64_t parseUnsigned(const std::string& text, uint64_t max, const std::string& what) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError(what + " must be an unsigned decimal number, not \"" + text + "\"");
  }
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (errno == ERANGE || value > max) throw UsageError(what + " is too large: " + text);
  return value;
}

CliRequest objectRequest(const char* title, unsigned long code, ReplyKind kind, uint64_t objectId,
                         int64_t passThrough) {
  appmanObjectReq record;
  record.objectId = objectId;
  record.passThrough = passThrough;
  return makeRequest(title, code, kind, record);
}

}  // namespace

AppMgrReply CliRequest::call(AppMgrClient& client) const {
  std::vector<unsigned char> bytes = record;
  const appmanTextFields fields = appmanRequestTextFields(code);
  for (size_t i = 0; i < fields.count && i < texts.size(); ++i) {
    const char* pointer = texts[i] ? texts[i]->c_str() : nullptr;
    std::memcpy(bytes.data() + fields.offsets[i], &pointer, sizeof pointer);
  }
  return client.call(code, bytes.data(), bytes.size());
}

void parseAppId(const std::string& text, uint32_t& velmoraId, uint32_t& appId) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    throw UsageError("an application id is VELMORA:APPID (for example 2:1045), not \"" + text + "\"");
  }
  velmoraId = static_cast<uint32_t>(parseUnsigned(text.substr(0, colon), UINT32_MAX, "the Velmora id"));
  appId = static_cast<uint32_t>(parseUnsigned(text.substr(colon + 1), UINT32_MAX, "the application id"));
}

std::string encodePropertyStream(const std::vector<CliProperty>& properties) {
  std::string out = std::to_string(properties.size()) + " ";
  for (const CliProperty& p : properties) {
    out += "0 " + escaped(p.name) + " " + std::to_string(p.type) + " " + escaped(p.value) + " 0 ";
  }
  return out;
}

std::string encodeContentStream(const std::vector<std::string>& paths) {
  std::string out = std::to_string(paths.size()) + " ";
  for (const std::string& path : paths) out += escaped(path) + " ";
  return out;
}

bool isPasswordProperty(const std::string& name) {
  // Every name the listener re-encrypts for an old peer, whatever the owner.
  static const std::string* const kNames[] = {&XR_PROP_FS_USER_PASSWORD,  &XR_INFORMIX_PASSWORD,
                                              &XR_ORACLE_SQL_CONNECT_PWD, &XR_ORACLE_CATALOG_CONNECT_PWD,
                                              &XR_ORACLE_PASSWORD,        &XR_ORACLE_DOMAIN_USER_PASSWORD,
                                              &XR_EXCHANGE_USERPASS,      &XR_PROP_UNC_CONTENT_PASSWORD};
  static const std::string kAdUserPassword = "AD User Password";
  const auto same = [&](const std::string& known) { return strcasecmp(known.c_str(), name.c_str()) == 0; };
  return same(kAdUserPassword) || std::any_of(std::begin(kNames), std::end(kNames),
                                              [&](const std::string* known) { return same(*known); });
}

bool isEncryptedPassword(const std::string& value) {
  const auto body = [&](const char* alphabet) {
    return value.size() > 6 && value.find_first_not_of(alphabet, 6) == std::string::npos;
  };
  if (value.rfind("XRPW1:", 0) == 0) return body("0123456789abcdefABCDEF");
  if (value.rfind("XRPW2:", 0) == 0) {
    return body("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
  }
  return false;
}

ParsedEdits parsePropertyEdits(const PropertyEdits& edits) {
  ParsedEdits parsed;
  std::map<std::string, size_t> byName;
  const auto add = [&](ParsedEdits::Set set) {
    const auto [it, added] = byName.emplace(set.name, parsed.sets.size());
    if (!added) throw UsageError("property \"" + set.name + "\" is set twice");
    parsed.sets.push_back(std::move(set));
  };
  for (const std::string& edit : edits.sets) {
    const size_t eq = edit.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw UsageError("--set takes NAME=VALUE, not \"" + edit + "\"");
    }
    ParsedEdits::Set set{edit.substr(0, eq), std::nullopt, edit.substr(eq + 1), false};
    // A password typed in plain text would travel and be stored in the clear.
    if (isPasswordProperty(set.name) && !isEncryptedPassword(set.value)) {
      throw UsageError("\"" + set.name + "\" holds a password: give it with --set-secret '" + set.name +
                       "', which reads it without echo and sends it encrypted");
    }
    add(std::move(set));
  }
  for (const std::string& name : edits.secrets) {
    if (name.empty()) throw UsageError("--set-secret takes a property name");
    add({name, std::nullopt, "", true});
  }
  for (const std::string& edit : edits.setTypes) {
    const size_t eq = edit.find('=');
    if (eq == std::string::npos || eq == 0) {
      throw UsageError("--set-type takes NAME=TYPE, not \"" + edit + "\"");
    }
    const auto found = byName.find(edit.substr(0, eq));
    if (found == byName.end()) {
      throw UsageError("--set-type names \"" + edit.substr(0, eq) + "\", which no --set gives a value");
    }
    parsed.sets[found->second].type =
        static_cast<int>(parseUnsigned(edit.substr(eq + 1), INT32_MAX, "a property type"));
  }
  for (const std::string& name : edits.removes) {
    if (name.empty()) throw UsageError("--remove takes a property name");
    parsed.removes.push_back(name);
  }
  if (parsed.sets.empty() && parsed.removes.empty()) {
    throw UsageError("give at least one --set, --set-secret or --remove");
  }
  return parsed;
}

bool ParsedEdits::typesKnown() const {
  return std::all_of(sets.begin(), sets.end(), [](const Set& set) { return set.type.has_value(); });
}

void ParsedEdits::withTypesFrom(const std::map<std::string, int>& existing) {
  for (Set& set : sets) {
    if (set.type) continue;
    const auto found = existing.find(set.name);
    if (found == existing.end()) {
      throw UsageError("property \"" + set.name + "\" is new: give its type with --set-type '" + set.name +
                       "=TYPE' (1 text, 2 number, 3 password)");
    }
    set.type = found->second;
  }
}

void encodePropertyEdits(const ParsedEdits& edits, std::string& setList, std::string& removeList) {
  std::vector<CliProperty> sets, removes;
  for (const ParsedEdits::Set& set : edits.sets) sets.push_back({set.name, set.type.value(), set.value});
  for (const std::string& name : edits.removes) removes.push_back({name, 1, ""});
  setList = encodePropertyStream(sets);
  removeList = encodePropertyStream(removes);
}

CliRequest velmoraById(uint32_t velmoraId) {
  appmanVelmoraByIdReq record;
  record.velmoraId = velmoraId;
  return makeRequest("velmora get", APPMAN_VELMORA_BY_ID_REQ, ReplyKind::kVelmora, record);
}

CliRequest velmoraByName(const std::string& name) {
  CliRequest request =
      makeRequest("velmora find", APPMAN_VELMORA_BY_NAME_REQ, ReplyKind::kVelmora, appmanVelmoraByNameReq());
  request.texts[0] = name;
  return request;
}

CliRequest globalParam(const std::string& name) {
  CliRequest request =
      makeRequest("param get", APPMAN_GLOBAL_PARAM_REQ, ReplyKind::kGlobalParam, appmanGlobalParamReq());
  request.texts[0] = name;
  return request;
}

CliRequest clientById(uint32_t clientId) {
  appmanClientByIdReq record;
  record.clientId = clientId;
  return makeRequest("client get", APPMAN_CLIENT_BY_ID_REQ, ReplyKind::kClient, record);
}

CliRequest clientByName(const std::string& name) {
  CliRequest request =
      makeRequest("client get", APPMAN_CLIENT_BY_NAME_REQ, ReplyKind::kClient, appmanClientByNameReq());
  request.texts[0] = name;
  return request;
}

CliRequest clientByHostname(const std::string& hostName) {
  CliRequest request = makeRequest("client get", APPMAN_CLIENT_BY_HOSTNAME_REQ, ReplyKind::kClient,
                                   appmanClientByHostnameReq());
  request.texts[0] = hostName;
  return request;
}

CliRequest clientProps(uint32_t clientId, uint64_t headerValue, int64_t scope) {
  appmanClientGetPropsReq record;
  record.clientId = clientId;
  record.headerValue = headerValue;
  record.propertyScope = scope;
  return makeRequest("client props", APPMAN_CLIENT_GET_PROPS_REQ, ReplyKind::kClientProps, record);
}

CliRequest clientSetProps(uint32_t clientId, const ParsedEdits& edits) {
  appmanClientSetPropsReq record;
  record.clientId = clientId;
  CliRequest request =
      makeRequest("client set-props", APPMAN_CLIENT_SET_PROPS_REQ, ReplyKind::kUpdate, record);
  std::string setList, removeList;
  encodePropertyEdits(edits, setList, removeList);
  request.texts = {setList, removeList};
  return request;
}

CliRequest clientSetPropsByAppId(uint64_t appId, const ParsedEdits& edits) {
  appmanClientSetPropsReq record;
  record.appId = appId;
  CliRequest request =
      makeRequest("client set-props", APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, ReplyKind::kUpdate, record);
  std::string setList, removeList;
  encodePropertyEdits(edits, setList, removeList);
  request.texts = {setList, removeList};
  return request;
}

CliRequest numericAppId(uint32_t velmoraId, uint32_t appId) {
  appmanAppIdNumReq record;
  record.velmoraId = velmoraId;
  record.appId = appId;
  return makeRequest("appid", APPMAN_NUM_APPID_REQ, ReplyKind::kAppId, record);
}

CliRequest symbolicAppId(const SymbolicAppId& ids) {
  appmanAppIdSymReq record;
  record.velmoraId = ids.velmoraId;
  record.clientId = ids.clientId;
  record.appTypeId = ids.appTypeId;
  record.instanceId = ids.instanceId;
  record.backupSetId = ids.backupSetId;
  record.subclientId = ids.subclientId;
  return makeRequest("appid", APPMAN_SYM_APPID_REQ, ReplyKind::kAppId, record);
}

CliRequest instanceById(uint64_t instanceId, const std::string& appIdText, int64_t passThrough) {
  uint32_t velmoraId = 0, appId = 0;
  parseAppId(appIdText, velmoraId, appId);
  CliRequest request =
      objectRequest("instance", APPMAN_INSTANCE_BY_ID_REQ, ReplyKind::kInstance, instanceId, passThrough);
  request.texts[0] = appIdText;
  return request;
}

CliRequest backupSetById(uint64_t backupSetId, int64_t passThrough) {
  return objectRequest("backup-set", APPMAN_BACKUPSET_BY_ID_REQ, ReplyKind::kBackupSet, backupSetId,
                       passThrough);
}

CliRequest subclientById(uint64_t subclientId, const std::string& appIdText, int64_t passThrough) {
  uint32_t velmoraId = 0, appId = 0;
  parseAppId(appIdText, velmoraId, appId);
  CliRequest request = objectRequest("subclient get", APPMAN_SUBCLIENT_BY_ID_REQ, ReplyKind::kSubclient,
                                     subclientId, passThrough);
  request.texts[0] = appIdText;
  return request;
}

CliRequest subclientUpdateContent(uint64_t subclientId, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove) {
  CliRequest request = objectRequest("subclient content", APPMAN_SUBCLIENT_UPDATE_FILES_REQ,
                                     ReplyKind::kUpdate, subclientId, 0);
  request.texts[1] = encodeContentStream(add);
  request.texts[2] = encodeContentStream(remove);
  return request;
}

CliRequest subclientUpdateFilters(uint64_t subclientId, int group, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove) {
  CliRequest request = objectRequest("subclient filters", APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ,
                                     ReplyKind::kUpdate, subclientId, 0);
  // One group: "1 GROUP <content stream>" and, for the same group, the removals.
  request.texts[1] = "1 " + std::to_string(group) + " " + encodeContentStream(add);
  request.texts[2] = encodeContentStream(remove);
  return request;
}

CliRequest subclientSetProps(uint64_t subclientId, const ParsedEdits& edits) {
  CliRequest request = objectRequest("subclient set-props", APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
                                     ReplyKind::kUpdate, subclientId, 0);
  std::string setList, removeList;
  encodePropertyEdits(edits, setList, removeList);
  request.texts[1] = setList;
  request.texts[2] = removeList;
  return request;
}

const std::vector<AdapterQuery>& adapterQueries() {
  using A = QueryArg;
  using R = ReplyKind;
  static const std::vector<AdapterQuery> kQueries = {
      {"velmoras",
       velmoraVelmorasQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora},
       R::kQueryIds,
       "Velmora ids (all of them without --velmora)",
       "appmgr query velmoras"},
      {"clients",
       velmoraClientsQuery,
       APPMAN_DOQUERY_REQ,
       {A::kNone, A::kVelmora},
       R::kQueryIds,
       "Client ids of a Velmora",
       "appmgr query clients --velmora 2"},
      {"media-agents",
       velmoraMediaAgentQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora},
       R::kQueryIds,
       "Media-agent client ids of a Velmora",
       "appmgr query media-agents --velmora 2"},
      {"applications",
       clientApplicationsQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora, A::kClient, A::kType, A::kInstance, A::kBackupSet},
       R::kQueryNames,
       "Application ids of a client, narrowed by type, instance and backup set",
       "appmgr query applications --velmora 2 --client 5"},
      {"application-types",
       clientApplicationTypesQuery,
       APPMAN_DOQUERY_REQ,
       {A::kClient},
       R::kQueryIdNames,
       "Application types of which a client has an instance",
       "appmgr query application-types --client 10"},
      {"instances",
       clientInstancesQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora, A::kClient, A::kType},
       R::kQueryIdNames,
       "Instances of a client",
       "appmgr query instances --velmora 2 --client 5"},
      {"instances-of-type",
       instanceListFromAppTypeQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora, A::kType},
       R::kQueryIdNames,
       "Instances of an application type on any client",
       "appmgr query instances-of-type --velmora 2 --type 22"},
      {"backup-sets",
       clientBackupSetsQuery,
       APPMAN_DOQUERY_REQ,
       {A::kType, A::kNone, A::kInstance},
       R::kQueryIdFlagNames,
       "Backup sets of an instance",
       "appmgr query backup-sets --type 22 --instance 11"},
      {"client-backup-sets",
       clientBackupSetsNoInstanceQuery,
       APPMAN_DOQUERY_REQ,
       {A::kClient, A::kNone, A::kType},
       R::kQueryIdFlagNames,
       "Backup sets of a client and application type",
       "appmgr query client-backup-sets --client 5 --type 7"},
      {"instance-backup-sets",
       clientBackupSetsWithInstance,
       APPMAN_DOQUERY_REQ,
       {A::kClient, A::kNone, A::kType, A::kNone, A::kInstance},
       R::kQueryIdFlagNames,
       "Backup sets of a client, application type and instance",
       "appmgr query instance-backup-sets --client 10 --type 22 --instance 11"},
      {"subclients",
       clientSubclientsQuery,
       APPMAN_DOQUERY_REQ,
       {A::kClient, A::kNone, A::kBackupSet},
       R::kQueryIdNames,
       "Subclients of a backup set",
       "appmgr query subclients --client 5 --backup-set 7"},
      {"archive-group",
       archiveGroupApplicationsQuery,
       APPMAN_DOQUERY_REQ,
       {A::kVelmora, A::kArchiveGroup},
       R::kQueryNames,
       "Application ids of an archive group",
       "appmgr query archive-group --velmora 2 --archive-group 3"},
  };
  return kQueries;
}

const std::vector<AdapterQuery>& adapterLookups() {
  using A = QueryArg;
  using R = ReplyKind;
  static const std::vector<AdapterQuery> kLookups = {
      {"app-type-name",
       ApplicationTypeNameLookup,
       APPMAN_DOLOOKUP_REQ,
       {A::kType},
       R::kLookupName,
       "Name of an application type",
       "appmgr lookup app-type-name 7"},
      {"app-id",
       ApplicationIdLookup,
       APPMAN_DOLOOKUP_REQ,
       {A::kSubclient},
       R::kLookupName,
       "Application id (VELMORA:APPID) of a subclient",
       "appmgr lookup app-id 9"},
      {"client-of-instance",
       ClientIdLookupFromInstanceId,
       APPMAN_DOLOOKUP_REQ,
       {A::kInstance},
       R::kLookupClientOfInstance,
       "Client and Velmora of an instance",
       "appmgr lookup client-of-instance 11"},
      {"instance-name",
       LookupInstNameFromId,
       APPMAN_DOLOOKUP_REQ,
       {A::kInstance},
       R::kLookupName,
       "Name of an instance",
       "appmgr lookup instance-name 6"},
  };
  return kLookups;
}

CliRequest adapterRequest(const AdapterQuery& query, const QueryValues& values, uint64_t context) {
  std::string text = std::to_string(query.type);
  size_t last = 0;  // numbers after the last named one are left out (they read as 0)
  for (size_t i = 0; i < 5; ++i) {
    if (query.numbers[i] != QueryArg::kNone) last = i + 1;
  }
  for (size_t i = 0; i < last; ++i) {
    uint64_t n = 0;
    switch (query.numbers[i]) {
      case QueryArg::kVelmora:
        n = values.velmora;
        break;
      case QueryArg::kClient:
        n = values.client;
        break;
      case QueryArg::kType:
        n = values.type;
        break;
      case QueryArg::kInstance:
        n = values.instance;
        break;
      case QueryArg::kBackupSet:
        n = values.backupSet;
        break;
      case QueryArg::kSubclient:
        n = values.subclient;
        break;
      case QueryArg::kArchiveGroup:
        n = values.archiveGroup;
        break;
      case QueryArg::kNone:
        break;
    }
    text += " " + std::to_string(n);
  }
  appmanGeneralMsg record;
  record.context = context;
  const std::string title = std::string(query.code == APPMAN_DOQUERY_REQ ? "query " : "lookup ") + query.name;
  CliRequest request = makeRequest("", query.code, query.replyKind, record);
  request.title = title;
  request.texts[0] = text;
  return request;
}

}  // namespace cli
}  // namespace appmgr
