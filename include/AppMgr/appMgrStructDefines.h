// Request and response records exchanged with the host, the request and
// response codes, the adapter query and lookup type numbers and the
// object-kind numbers. Every record is a plain structure of fixed layout in
// native byte order; text fields are pointers to NUL-terminated text lent by
// their owner (the request buffer for requests, the handler for responses,
// valid until the send has returned). Sizes and offsets are pinned below.
#ifndef APPMGR_APPMGRSTRUCTDEFINES_H_
#define APPMGR_APPMGRSTRUCTDEFINES_H_

#include <cstddef>
#include <cstdint>

// ---- Request codes ----
constexpr unsigned long APPMAN_VELMORA_BY_ID_REQ = 0x1a001011;
constexpr unsigned long APPMAN_VELMORA_BY_NAME_REQ = 0x1a001021;
constexpr unsigned long APPMAN_GLOBAL_PARAM_REQ = 0x1a001031;
constexpr unsigned long APPMAN_CLIENT_BY_ID_REQ = 0x1a001111;
constexpr unsigned long APPMAN_CLIENT_BY_NAME_REQ = 0x1a001121;
constexpr unsigned long APPMAN_CLIENT_BY_HOSTNAME_REQ = 0x1a001123;
constexpr unsigned long APPMAN_NUM_APPID_REQ = 0x1a002011;
constexpr unsigned long APPMAN_SYM_APPID_REQ = 0x1a002012;
constexpr unsigned long APPMAN_CLIENT_GET_PROPS_REQ = 0x1a003011;
constexpr unsigned long APPMAN_INSTANCE_BY_ID_REQ = 0x1a003111;
constexpr unsigned long APPMAN_BACKUPSET_BY_ID_REQ = 0x1a003211;
constexpr unsigned long APPMAN_SUBCLIENT_BY_ID_REQ = 0x1a003311;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_FILES_REQ = 0x1a004011;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ = 0x1a004021;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_PROPS_REQ = 0x1a004031;
constexpr unsigned long APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ = 0x1a004051;
constexpr unsigned long APPMAN_CLIENT_SET_PROPS_REQ = 0x1a004061;
constexpr unsigned long APPMAN_DOQUERY_REQ = 0x1a006011;
constexpr unsigned long APPMAN_DOLOOKUP_REQ = 0x1a006111;

// ---- Response codes ----
constexpr unsigned long APPMAN_VELMORA_BY_ID_RSP = 0x1a001012;
constexpr unsigned long APPMAN_VELMORA_BY_NAME_RSP = 0x1a001022;
constexpr unsigned long APPMAN_GLOBAL_PARAM_RSP = 0x1a001032;
constexpr unsigned long APPMAN_CLIENT_BY_ID_RSP = 0x1a001112;
constexpr unsigned long APPMAN_CLIENT_BY_NAME_RSP = 0x1a001122;
constexpr unsigned long APPMAN_CLIENT_BY_HOSTNAME_RSP = 0x1a001124;
constexpr unsigned long APPMAN_APPID_RSP = 0x1a002013;
constexpr unsigned long APPMAN_PROPERTY_STREAM_RSP = 0x1a003912;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_FILES_RSP = 0x1a004012;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_FILTERS_RSP = 0x1a004022;
constexpr unsigned long APPMAN_SUBCLIENT_UPDATE_PROPS_RSP = 0x1a004032;
constexpr unsigned long APPMAN_CLIENT_SET_PROPS_BY_APPID_RSP = 0x1a004052;
constexpr unsigned long APPMAN_CLIENT_SET_PROPS_RSP = 0x1a004062;
constexpr unsigned long APPMAN_DOQUERY_RSP = 0x1a006012;
constexpr unsigned long APPMAN_DOLOOKUP_RSP = 0x1a006112;

// ---- Adapter query types (first number of a APPMAN_DOQUERY_REQ text) ----
constexpr uint32_t velmoraVelmorasQuery = 0x11011;
constexpr uint32_t velmoraClientsQuery = 0x11021;
constexpr uint32_t velmoraMediaAgentQuery = 0x11031;
constexpr uint32_t clientApplicationsQuery = 0x12011;
constexpr uint32_t clientApplicationTypesQuery = 0x12021;
constexpr uint32_t clientInstancesQuery = 0x12031;
constexpr uint32_t clientBackupSetsQuery = 0x12041;
constexpr uint32_t clientBackupSetsNoInstanceQuery = 0x12051;
constexpr uint32_t clientSubclientsQuery = 0x12061;
constexpr uint32_t archiveGroupApplicationsQuery = 0x12071;
constexpr uint32_t instanceListFromAppTypeQuery = 0x12081;
constexpr uint32_t clientBackupSetsWithInstance = 0x12091;

// ---- Adapter lookup types (first number of a APPMAN_DOLOOKUP_REQ text) ----
constexpr uint32_t ApplicationTypeNameLookup = 0x21001;
constexpr uint32_t ApplicationIdLookup = 0x21002;
constexpr uint32_t ClientIdLookupFromInstanceId = 0x21003;
constexpr uint32_t LookupInstNameFromId = 0x21004;
constexpr uint32_t ClientChallenge = 0x31001;  // same family, not served here

// ---- Object kinds (msgCode of the update responses) ----
constexpr uint32_t backupFilesId = 0x100;
constexpr uint32_t backupFiltersId = 0x200;
constexpr uint32_t backupTablespacesId = 0x400;
constexpr uint32_t propertiesId = 0x800;

// ---- Shared response record; also carries the adapter requests ----
struct appmanGeneralMsg {
  uint32_t msgCode = 0;
  uint32_t pad0 = 0;
  const char* data = nullptr;  // response text, or null when there is none
  uint64_t context = 0;        // correlation value (adapters copy it from the request)
  uint32_t errorCode = 0;
  uint32_t reserved = 0;
};
static_assert(sizeof(appmanGeneralMsg) == 32);
static_assert(offsetof(appmanGeneralMsg, msgCode) == 0);
static_assert(offsetof(appmanGeneralMsg, data) == 8);
static_assert(offsetof(appmanGeneralMsg, context) == 16);
static_assert(offsetof(appmanGeneralMsg, errorCode) == 24);
static_assert(offsetof(appmanGeneralMsg, reserved) == 28);

// ---- Velmora ----
struct appmanVelmoraByIdReq {
  uint32_t velmoraId = 0;
  uint32_t pad0 = 0;
  uint64_t unused[3] = {0, 0, 0};
  uint64_t context = 0;
};
static_assert(sizeof(appmanVelmoraByIdReq) == 40);
static_assert(offsetof(appmanVelmoraByIdReq, velmoraId) == 0);
static_assert(offsetof(appmanVelmoraByIdReq, context) == 32);

struct appmanVelmoraByNameReq {
  const char* velmoraName = nullptr;
  uint64_t unused = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanVelmoraByNameReq) == 24);
static_assert(offsetof(appmanVelmoraByNameReq, velmoraName) == 0);
static_assert(offsetof(appmanVelmoraByNameReq, context) == 16);

struct appmanVelmoraRsp {
  uint32_t velmoraId = 0;
  uint32_t value1 = 0;
  uint32_t value2 = 0;
  uint32_t pad0 = 0;
  uint64_t idCopy = 0;
  const char* velmoraName = nullptr;
  uint64_t reserved = 0;
  int64_t signedValue = 0;
  uint32_t value3 = 0;
  uint32_t pad1 = 0;
  uint64_t context = 0;
  uint32_t errorCode = 0;
  uint32_t pad2 = 0;
};
using appmanVelmoraByIdRsp = appmanVelmoraRsp;
using appmanVelmoraByNameRsp = appmanVelmoraRsp;
static_assert(sizeof(appmanVelmoraRsp) == 72);
static_assert(offsetof(appmanVelmoraRsp, velmoraId) == 0);
static_assert(offsetof(appmanVelmoraRsp, value1) == 4);
static_assert(offsetof(appmanVelmoraRsp, value2) == 8);
static_assert(offsetof(appmanVelmoraRsp, idCopy) == 16);
static_assert(offsetof(appmanVelmoraRsp, velmoraName) == 24);
static_assert(offsetof(appmanVelmoraRsp, reserved) == 32);
static_assert(offsetof(appmanVelmoraRsp, signedValue) == 40);
static_assert(offsetof(appmanVelmoraRsp, value3) == 48);
static_assert(offsetof(appmanVelmoraRsp, context) == 56);
static_assert(offsetof(appmanVelmoraRsp, errorCode) == 64);

// ---- Global parameters ----
struct appmanGlobalParamReq {
  const char* paramName = nullptr;
};
static_assert(sizeof(appmanGlobalParamReq) == 8);
static_assert(offsetof(appmanGlobalParamReq, paramName) == 0);

struct appmanGlobalParamRsp {
  const char* paramValue = nullptr;  // null on failure
  uint32_t errorCode = 0;
  uint32_t pad0 = 0;
};
static_assert(sizeof(appmanGlobalParamRsp) == 16);
static_assert(offsetof(appmanGlobalParamRsp, paramValue) == 0);
static_assert(offsetof(appmanGlobalParamRsp, errorCode) == 8);

// ---- Application ids ----
struct appmanAppIdNumReq {
  uint32_t velmoraId = 0;
  uint32_t appId = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanAppIdNumReq) == 16);
static_assert(offsetof(appmanAppIdNumReq, velmoraId) == 0);
static_assert(offsetof(appmanAppIdNumReq, appId) == 4);
static_assert(offsetof(appmanAppIdNumReq, context) == 8);

struct appmanAppIdSymReq {
  uint32_t unused = 0;
  uint32_t velmoraId = 0;
  uint32_t clientId = 0;
  uint32_t appTypeId = 0;
  uint32_t instanceId = 0;
  uint32_t backupSetId = 0;
  uint32_t subclientId = 0;
  uint32_t pad0 = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanAppIdSymReq) == 40);
static_assert(offsetof(appmanAppIdSymReq, velmoraId) == 4);
static_assert(offsetof(appmanAppIdSymReq, clientId) == 8);
static_assert(offsetof(appmanAppIdSymReq, appTypeId) == 12);
static_assert(offsetof(appmanAppIdSymReq, instanceId) == 16);
static_assert(offsetof(appmanAppIdSymReq, backupSetId) == 20);
static_assert(offsetof(appmanAppIdSymReq, subclientId) == 24);
static_assert(offsetof(appmanAppIdSymReq, context) == 32);

struct appmanAppIdRsp {
  uint32_t appId = 0;
  uint32_t velmoraId = 0;
  uint32_t clientId = 0;
  uint32_t appIdCopy = 0;
  uint32_t appTypeId = 0;
  uint32_t instanceId = 0;
  uint32_t backupSetId = 0;
  uint32_t subclientId = 0;
  uint32_t aux1 = 0;
  uint32_t aux2 = 0;
  uint64_t context = 0;
  uint32_t errorCode = 0;
  uint32_t pad0 = 0;
};
static_assert(sizeof(appmanAppIdRsp) == 56);
static_assert(offsetof(appmanAppIdRsp, appId) == 0);
static_assert(offsetof(appmanAppIdRsp, velmoraId) == 4);
static_assert(offsetof(appmanAppIdRsp, clientId) == 8);
static_assert(offsetof(appmanAppIdRsp, appIdCopy) == 12);
static_assert(offsetof(appmanAppIdRsp, appTypeId) == 16);
static_assert(offsetof(appmanAppIdRsp, instanceId) == 20);
static_assert(offsetof(appmanAppIdRsp, backupSetId) == 24);
static_assert(offsetof(appmanAppIdRsp, subclientId) == 28);
static_assert(offsetof(appmanAppIdRsp, aux1) == 32);
static_assert(offsetof(appmanAppIdRsp, aux2) == 36);
static_assert(offsetof(appmanAppIdRsp, context) == 40);
static_assert(offsetof(appmanAppIdRsp, errorCode) == 48);

// ---- Clients ----
struct appmanClientByIdReq {
  uint32_t clientId = 0;
  uint8_t unused[12] = {};
  uint64_t qualifier = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanClientByIdReq) == 32);
static_assert(offsetof(appmanClientByIdReq, clientId) == 0);
static_assert(offsetof(appmanClientByIdReq, qualifier) == 16);
static_assert(offsetof(appmanClientByIdReq, context) == 24);

struct appmanClientByNameReq {
  const char* clientName = nullptr;
  uint32_t qualifier = 0;
  uint32_t unused = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanClientByNameReq) == 24);
static_assert(offsetof(appmanClientByNameReq, clientName) == 0);
static_assert(offsetof(appmanClientByNameReq, qualifier) == 8);
static_assert(offsetof(appmanClientByNameReq, context) == 16);

struct appmanClientByHostnameReq {
  const char* hostName = nullptr;
  uint32_t qualifier = 0;
  uint32_t unused = 0;
  uint64_t context = 0;
};
static_assert(sizeof(appmanClientByHostnameReq) == 24);
static_assert(offsetof(appmanClientByHostnameReq, hostName) == 0);
static_assert(offsetof(appmanClientByHostnameReq, qualifier) == 8);
static_assert(offsetof(appmanClientByHostnameReq, context) == 16);

struct appmanClientRsp {
  uint32_t clientId = 0;
  uint32_t pad0 = 0;
  uint64_t clientIdLong = 0;
  uint64_t qualifier = 0;
  const char* clientName = nullptr;
  uint32_t clientAttribute = 0;
  uint32_t pad1 = 0;
  const char* hostName = nullptr;
  uint64_t spare = 0;
  const char* platformList = nullptr;
  uint64_t context = 0;
  uint32_t errorCode = 0;
  uint32_t pad2 = 0;
};
using appmanClientByIdRsp = appmanClientRsp;
using appmanClientByNameRsp = appmanClientRsp;
static_assert(sizeof(appmanClientRsp) == 80);
static_assert(offsetof(appmanClientRsp, clientId) == 0);
static_assert(offsetof(appmanClientRsp, clientIdLong) == 8);
static_assert(offsetof(appmanClientRsp, qualifier) == 16);
static_assert(offsetof(appmanClientRsp, clientName) == 24);
static_assert(offsetof(appmanClientRsp, clientAttribute) == 32);
static_assert(offsetof(appmanClientRsp, hostName) == 40);
static_assert(offsetof(appmanClientRsp, spare) == 48);
static_assert(offsetof(appmanClientRsp, platformList) == 56);
static_assert(offsetof(appmanClientRsp, context) == 64);
static_assert(offsetof(appmanClientRsp, errorCode) == 72);

struct appmanClientGetPropsReq {
  uint32_t clientId = 0;
  uint8_t unused[12] = {};
  uint64_t headerValue = 0;   // written back as the first token of the text
  int64_t propertyScope = 0;  // passed to the database unchanged
};
static_assert(sizeof(appmanClientGetPropsReq) == 32);
static_assert(offsetof(appmanClientGetPropsReq, clientId) == 0);
static_assert(offsetof(appmanClientGetPropsReq, headerValue) == 16);
static_assert(offsetof(appmanClientGetPropsReq, propertyScope) == 24);

struct appmanClientSetPropsReq {
  uint64_t unused0 = 0;
  uint64_t appId = 0;
  uint64_t unused1 = 0;
  uint32_t clientId = 0;
  uint32_t aux = 0;
  const char* setList = nullptr;
  const char* removeList = nullptr;
};
static_assert(sizeof(appmanClientSetPropsReq) == 48);
static_assert(offsetof(appmanClientSetPropsReq, appId) == 8);
static_assert(offsetof(appmanClientSetPropsReq, clientId) == 24);
static_assert(offsetof(appmanClientSetPropsReq, aux) == 28);
static_assert(offsetof(appmanClientSetPropsReq, setList) == 32);
static_assert(offsetof(appmanClientSetPropsReq, removeList) == 40);

// ---- Instance, backup set and subclient requests ----
struct appmanObjectReq {
  uint64_t unused = 0;
  uint64_t objectId = 0;            // instance, backup set or subclient id
  int64_t passThrough = 0;          // handed to the database layer unchanged
  const char* appIdText = nullptr;  // "<velmoraId><delimiter><appId>"
  const char* firstList = nullptr;  // update requests: list texts
  const char* secondList = nullptr;
};
static_assert(sizeof(appmanObjectReq) == 48);
static_assert(offsetof(appmanObjectReq, objectId) == 8);
static_assert(offsetof(appmanObjectReq, passThrough) == 16);
static_assert(offsetof(appmanObjectReq, appIdText) == 24);
static_assert(offsetof(appmanObjectReq, firstList) == 32);
static_assert(offsetof(appmanObjectReq, secondList) == 40);

// ---- Text fields of response records ----
// Offsets of the text-pointer fields of the record sent under a response
// code. A session marshals the text behind each non-null field together with
// the record; the texts die when send returns.
struct appmanTextFields {
  size_t count;
  size_t offsets[3];
};

constexpr appmanTextFields appmanResponseTextFields(unsigned long responseCode) {
  switch (responseCode) {
    case APPMAN_VELMORA_BY_ID_RSP:
    case APPMAN_VELMORA_BY_NAME_RSP:
      return {1, {offsetof(appmanVelmoraRsp, velmoraName), 0, 0}};
    case APPMAN_GLOBAL_PARAM_RSP:
      return {1, {offsetof(appmanGlobalParamRsp, paramValue), 0, 0}};
    case APPMAN_CLIENT_BY_ID_RSP:
    case APPMAN_CLIENT_BY_NAME_RSP:
    case APPMAN_CLIENT_BY_HOSTNAME_RSP:
      return {3,
              {offsetof(appmanClientRsp, clientName), offsetof(appmanClientRsp, hostName),
               offsetof(appmanClientRsp, platformList)}};
    case APPMAN_APPID_RSP:
      return {0, {0, 0, 0}};
    default:  // every other response is an appmanGeneralMsg
      return {1, {offsetof(appmanGeneralMsg, data), 0, 0}};
  }
}

// ---- Text fields and record length of request records ----
// The mirror of appmanResponseTextFields for the request side: the offsets
// of the text-pointer fields of the record a request code carries. A host
// that receives records from the network rebuilds these pointers.
constexpr appmanTextFields appmanRequestTextFields(unsigned long requestCode) {
  switch (requestCode) {
    case APPMAN_VELMORA_BY_NAME_REQ:
      return {1, {offsetof(appmanVelmoraByNameReq, velmoraName), 0, 0}};
    case APPMAN_GLOBAL_PARAM_REQ:
      return {1, {offsetof(appmanGlobalParamReq, paramName), 0, 0}};
    case APPMAN_CLIENT_BY_NAME_REQ:
      return {1, {offsetof(appmanClientByNameReq, clientName), 0, 0}};
    case APPMAN_CLIENT_BY_HOSTNAME_REQ:
      return {1, {offsetof(appmanClientByHostnameReq, hostName), 0, 0}};
    case APPMAN_INSTANCE_BY_ID_REQ:
    case APPMAN_BACKUPSET_BY_ID_REQ:
    case APPMAN_SUBCLIENT_BY_ID_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILES_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ:
    case APPMAN_SUBCLIENT_UPDATE_PROPS_REQ:
      return {3,
              {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
               offsetof(appmanObjectReq, secondList)}};
    case APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ:
    case APPMAN_CLIENT_SET_PROPS_REQ:
      return {2,
              {offsetof(appmanClientSetPropsReq, setList), offsetof(appmanClientSetPropsReq, removeList), 0}};
    case APPMAN_DOQUERY_REQ:
    case APPMAN_DOLOOKUP_REQ:
      return {1, {offsetof(appmanGeneralMsg, data), 0, 0}};
    default:  // the records without texts, and codes that are not served
      return {0, {0, 0, 0}};
  }
}

// The size of the request record of a served request code; 0 for a code
// that is not served.
constexpr size_t appmanRequestRecordLength(unsigned long requestCode) {
  switch (requestCode) {
    case APPMAN_VELMORA_BY_ID_REQ:
      return sizeof(appmanVelmoraByIdReq);
    case APPMAN_VELMORA_BY_NAME_REQ:
      return sizeof(appmanVelmoraByNameReq);
    case APPMAN_GLOBAL_PARAM_REQ:
      return sizeof(appmanGlobalParamReq);
    case APPMAN_CLIENT_BY_ID_REQ:
      return sizeof(appmanClientByIdReq);
    case APPMAN_CLIENT_BY_NAME_REQ:
      return sizeof(appmanClientByNameReq);
    case APPMAN_CLIENT_BY_HOSTNAME_REQ:
      return sizeof(appmanClientByHostnameReq);
    case APPMAN_NUM_APPID_REQ:
      return sizeof(appmanAppIdNumReq);
    case APPMAN_SYM_APPID_REQ:
      return sizeof(appmanAppIdSymReq);
    case APPMAN_CLIENT_GET_PROPS_REQ:
      return sizeof(appmanClientGetPropsReq);
    case APPMAN_INSTANCE_BY_ID_REQ:
    case APPMAN_BACKUPSET_BY_ID_REQ:
    case APPMAN_SUBCLIENT_BY_ID_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILES_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ:
    case APPMAN_SUBCLIENT_UPDATE_PROPS_REQ:
      return sizeof(appmanObjectReq);
    case APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ:
    case APPMAN_CLIENT_SET_PROPS_REQ:
      return sizeof(appmanClientSetPropsReq);
    case APPMAN_DOQUERY_REQ:
    case APPMAN_DOLOOKUP_REQ:
      return sizeof(appmanGeneralMsg);
    default:
      return 0;
  }
}

#endif  // APPMGR_APPMGRSTRUCTDEFINES_H_
