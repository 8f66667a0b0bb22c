// The request table as data.
#include "listener/RequestTable.h"

#include <cstdlib>
#include <iterator>

#include "AppMgr/appMgrStructDefines.h"

namespace {
constexpr unsigned int kGeneral = sizeof(appmanGeneralMsg);
}  // namespace

extern const RequestRow kRequestTable[] = {
    {APPMAN_VELMORA_BY_ID_REQ, ListenerId::kVelmora, HandlerId::kLookupVelmoraById, APPMAN_VELMORA_BY_ID_RSP,
     sizeof(appmanVelmoraByIdRsp)},
    {APPMAN_VELMORA_BY_NAME_REQ, ListenerId::kVelmora, HandlerId::kLookupVelmoraByName,
     APPMAN_VELMORA_BY_NAME_RSP, sizeof(appmanVelmoraByNameRsp)},
    {APPMAN_GLOBAL_PARAM_REQ, ListenerId::kGlobalProps, HandlerId::kGetProperty, APPMAN_GLOBAL_PARAM_RSP,
     sizeof(appmanGlobalParamRsp)},
    {APPMAN_CLIENT_BY_ID_REQ, ListenerId::kClient, HandlerId::kLookupClientById, APPMAN_CLIENT_BY_ID_RSP,
     sizeof(appmanClientByIdRsp)},
    {APPMAN_CLIENT_BY_NAME_REQ, ListenerId::kClient, HandlerId::kLookupClientByName,
     APPMAN_CLIENT_BY_NAME_RSP, sizeof(appmanClientByNameRsp)},
    {APPMAN_CLIENT_BY_HOSTNAME_REQ, ListenerId::kClient, HandlerId::kLookupClientByHostname,
     APPMAN_CLIENT_BY_HOSTNAME_RSP, sizeof(appmanClientByNameRsp)},
    {APPMAN_NUM_APPID_REQ, ListenerId::kAppId, HandlerId::kGetNumApplicationId, APPMAN_APPID_RSP,
     sizeof(appmanAppIdRsp)},
    {APPMAN_SYM_APPID_REQ, ListenerId::kAppId, HandlerId::kGetSymApplicationId, APPMAN_APPID_RSP,
     sizeof(appmanAppIdRsp)},
    {APPMAN_CLIENT_GET_PROPS_REQ, ListenerId::kClient, HandlerId::kGetProps, APPMAN_PROPERTY_STREAM_RSP,
     kGeneral},
    {APPMAN_INSTANCE_BY_ID_REQ, ListenerId::kInstance, HandlerId::kLookupInstanceById,
     APPMAN_PROPERTY_STREAM_RSP, kGeneral},
    {APPMAN_BACKUPSET_BY_ID_REQ, ListenerId::kBackupSet, HandlerId::kLookupBackupSetById,
     APPMAN_PROPERTY_STREAM_RSP, kGeneral},
    {APPMAN_SUBCLIENT_BY_ID_REQ, ListenerId::kSubclient, HandlerId::kLookupSubclientById,
     APPMAN_PROPERTY_STREAM_RSP, kGeneral},
    {APPMAN_SUBCLIENT_UPDATE_FILES_REQ, ListenerId::kSubclient, HandlerId::kUpdateFiles,
     APPMAN_SUBCLIENT_UPDATE_FILES_RSP, kGeneral},
    {APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, ListenerId::kSubclient, HandlerId::kUpdateFilters,
     APPMAN_SUBCLIENT_UPDATE_FILTERS_RSP, kGeneral},
    {APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, ListenerId::kSubclient, HandlerId::kUpdateProperties,
     APPMAN_SUBCLIENT_UPDATE_PROPS_RSP, kGeneral},
    {APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, ListenerId::kClient, HandlerId::kSetPropsByAppId,
     APPMAN_CLIENT_SET_PROPS_BY_APPID_RSP, kGeneral},
    {APPMAN_CLIENT_SET_PROPS_REQ, ListenerId::kClient, HandlerId::kSetProps, APPMAN_CLIENT_SET_PROPS_RSP,
     kGeneral},
    {APPMAN_DOQUERY_REQ, ListenerId::kAdapters, HandlerId::kDoQuery, APPMAN_DOQUERY_RSP, kGeneral},
    {APPMAN_DOLOOKUP_REQ, ListenerId::kAdapters, HandlerId::kDoLookup, APPMAN_DOLOOKUP_RSP, kGeneral},
};
extern const size_t kRequestTableSize = std::size(kRequestTable);

const RequestRow* findRequest(unsigned long requestCode) {
  for (size_t i = 0; i < kRequestTableSize; ++i) {
    if (kRequestTable[i].requestCode == requestCode) return &kRequestTable[i];
  }
  return nullptr;
}

HandlerId handlerFor(ListenerId listener, unsigned long requestCode) {
  const RequestRow* row = findRequest(requestCode);
  return row != nullptr && row->listener == listener ? row->handler : HandlerId::kNone;
}

const RequestRow& rowOf(HandlerId handler) {
  for (size_t i = 0; i < kRequestTableSize; ++i) {
    if (kRequestTable[i].handler == handler) return kRequestTable[i];
  }
  std::abort();  // every handler has a row; a missing one is a programming error
}
