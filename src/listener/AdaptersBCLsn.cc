// AdaptersBCLsn: not built yet; every request is logged as unexpected.
#include "AppMgr/AdaptersBCLsn.h"

#include "listener/ListenerFrame.h"

#define APPMGR_ADAPTER_STUB(name)                                                                          \
  int AdaptersBCLsn::name(CSSessionWrapper& /*session*/, unsigned long /*reqCode*/, xrsDatabuf* /*buf*/) { \
    return 0;                                                                                              \
  }
APPMGR_ADAPTER_STUB(getVelmoraList)
APPMGR_ADAPTER_STUB(getClientList)
APPMGR_ADAPTER_STUB(getClientListOfType)
APPMGR_ADAPTER_STUB(getAppIdList)
APPMGR_ADAPTER_STUB(getApplicationTypes)
APPMGR_ADAPTER_STUB(getInstanceList)
APPMGR_ADAPTER_STUB(getBackupSetList)
APPMGR_ADAPTER_STUB(getSubclientList)
APPMGR_ADAPTER_STUB(getApplications)
APPMGR_ADAPTER_STUB(getApplicationTypeName)
APPMGR_ADAPTER_STUB(getAppIdString)
APPMGR_ADAPTER_STUB(getClientId)
APPMGR_ADAPTER_STUB(getInstanceName)
#undef APPMGR_ADAPTER_STUB

int AdaptersBCLsn::handleMessage(CSSessionWrapper& /*session*/, unsigned long reqCode, xrsDatabuf* /*buf*/) {
  EvEvent ev;
  logUnexpected(ev, "AdaptersBCLsn::handleMessage", reqCode);
  return 0;
}
