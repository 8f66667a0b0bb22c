// Access-mode rule of the application-id record.
#include "AppMgr/AppIdInfo.h"

void AppIdInfo::setAccessMode() {
  const bool names = !instanceName.empty() && !backupSetName.empty() && !subclientName.empty();
  const bool upToAppType = velmoraId != 0 && clientId != 0 && appTypeId != 0;
  if (velmoraId != 0 && appId != 0) {
    accessMode = 2;
  } else if (upToAppType && names) {
    accessMode = 3;
  } else if (upToAppType && instanceId != 0 && !backupSetName.empty() && !subclientName.empty()) {
    accessMode = 4;
  } else if (upToAppType && instanceId != 0 && backupSetId != 0 && !subclientName.empty()) {
    accessMode = 5;
  } else if (upToAppType && instanceId != 0 && backupSetId != 0 && subclientId != 0) {
    accessMode = 6;
  } else {
    accessMode = 0;
  }
}
