// Application-type classification, version-text parsing and the machine and
// client questions that other modules ask before they create subclients or
// route requests.
#include "AppMgr/PlatformHelpers.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "AppMgr/BasicConversion.h"
#include "platform/AppTypes.h"
#include "platform/ClientProperties.h"
#include "platform/CloudAppsInstance.h"
#include "platform/DistributedClusterInstance.h"
#include "platform/EvDebug.h"
#include "platform/XRClient.h"
#include "platform/XRPlatformInfo.h"

namespace {

bool isOneOf(unsigned long appType, std::initializer_list<unsigned long> types) {
  return std::find(types.begin(), types.end(), appType) != types.end();
}

// File-system and database agents whose stream count depends on the
// client's release.
bool isReleaseDependentType(int appType) {
  return appType >= 0 && isOneOf(static_cast<unsigned long>(appType),
                                 {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 38, 42, 43, 63, 74});
}

// Reads the decimal digits at `pos`, moving it past them. Returns whether
// there was at least one; `value` then holds their atoi value.
bool readDigits(const std::string& text, size_t& pos, int& value) {
  const size_t start = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  if (pos == start) return false;
  value = std::atoi(text.substr(start, pos - start).c_str());
  return true;
}

constexpr int kDefaultStreams = 4;

}  // namespace

bool IsUnixTypeFS(unsigned long appType) {
  return isOneOf(appType, {13, 17, 18, 19, 20, 21, 29, 36, 38, 40, 48, 63, 64, 66, 74, 75, 88});
}

int GetSCPQvlType(unsigned long appType) {
  if (isOneOf(appType, {1, 93})) return 1;
  if (isOneOf(appType, {11, 33, 34, 42, 43, 91})) return 2;
  if (isOneOf(appType, {17, 18, 19, 20, 21, 29, 36, 38, 63, 74})) return 3;
  if (isOneOf(appType, {12, 86})) return 4;
  return 0;
}

bool IsBackupSetCaseSensitive(unsigned long appType) { return isOneOf(appType, {4, 16, 70}); }

void ParseSPVersionInfo(std::string text, int& servicePack, int& update) {
  servicePack = 0;
  update = 0;
  trimWhiteSpace(text);
  if (text.empty()) return;

  size_t pos = 0;
  if (const size_t sp = text.find("SP"); sp != std::string::npos) {
    pos = sp + 2;
  } else if (const size_t dot = text.find('.'); dot != std::string::npos) {
    pos = dot + 1;
  }
  if (pos == 0 || pos >= text.size()) return;

  readDigits(text, pos, servicePack);
  if (pos >= text.size()) return;

  if (const size_t hpk = text.find("HPK"); hpk != std::string::npos) {
    pos = hpk + 3;
  } else if (const size_t dot = text.find('.', pos); dot != std::string::npos) {
    pos = dot + 1;
  }
  readDigits(text, pos, update);
  // A letter after the numbers is an update of its own: 'a' is 1, 'b' is 2.
  if (pos < text.size() && text[pos] != '+' && text[pos] != '-') {
    update = static_cast<signed char>(text[pos]) - 96;
  }
}

time_t AppTimeStampTotime_t(const tagTIMESTAMP_STRUCT* timestamp) {
  if (timestamp == nullptr) return static_cast<time_t>(-1);
  struct tm calendar;
  std::memset(&calendar, 0, sizeof(calendar));
  calendar.tm_mday = timestamp->day;
  calendar.tm_mon = timestamp->month - 1;
  calendar.tm_year = timestamp->year - 1900;
  calendar.tm_isdst = -1;
  return mktime(&calendar);
}

void GetProcessNameAndID(char* name) {
  static constexpr char kProcessName[] = "RedAveVar";
  if (name != nullptr) std::memcpy(name, kProcessName, sizeof(kProcessName));
}

bool isCloudLaptopPlatform() {
  static constexpr char kTag[] = "::isCloudLaptopPlatform";
  EvEvent event;
  XRPlatformInfo info;
  info.setFocus(XRPI_Focus::getFocus());
  const bool cloudLaptop = info.IsCloudLaptopClient() != 0;

  // Caching stays off unless the key exists and holds 0.
  uint32_t cachingDisabled = 1;
  unsigned long configured = 0;
  if (info.getNumber("Quarvel", "sDisableCloudCaching", &configured) != 0) {
    cachingDisabled = static_cast<uint32_t>(configured);
  } else {
    cachingDisabled = 1;
  }

  if (cachingDisabled != 0) {
    event.DebugLvl(
        6, kTag, "AppMgr Cloud caching is disabled. Not using AppMgrCloud. Will route requests to RedAveVar");
    return false;
  }
  if (cloudLaptop) {
    event.DebugLvl(
        6, kTag,
        "This is a cloud laptop client. AppMgrCloud will be loaded and client caching will be used.");
  }
  return cloudLaptop;
}

int getDefaultNumberofBackupStreams(int appType, int clientId, int instanceId, void* context) {
  if (isReleaseDependentType(appType)) {
    if (clientId <= 0 || appType == 38) return kDefaultStreams;
    const unsigned long client = static_cast<unsigned long>(clientId);

    int release = 0;
    int servicePack = 0;
    std::string versionText;
    if (ClientProperties(client).getVersionInfo(versionText, context) == 0) {
      release = std::atoi(versionText.substr(0, 2).c_str());
      int update = 0;
      ParseSPVersionInfo(versionText, servicePack, update);
    }
    if (release != 0 && release <= 10) return kDefaultStreams;
    if (release == 11 && servicePack >= 22) return 0;

    XRClient xrClient(client);
    bool isNAS = false;
    if (xrClient.isNASClient(isNAS, nullptr) == 0 && isNAS) return 0;
    bool isNonNDMP = false;
    if ((xrClient.isNonNDMPClient(isNonNDMP, nullptr) == 0 && isNonNDMP) || release > 11) return 0;
    return kDefaultStreams;
  }

  switch (appType) {
    case 64: {
      if (instanceId <= 0) return kDefaultStreams;
      App::DistributedClusterType clusterType = static_cast<App::DistributedClusterType>(0);
      DistributedClusterInstance(static_cast<unsigned long>(instanceId)).getClusterType(clusterType, context);
      return clusterType == 1 || clusterType == 15 ? kDefaultStreams : 0;
    }
    case 106:
      return 5;
    case 12:
      return 2;
    case 134: {
      if (instanceId <= 0) return -1;
      App::CloudAppsInstanceType instanceType = static_cast<App::CloudAppsInstanceType>(0);
      CloudAppsInstance(static_cast<unsigned long>(instanceId)).getInstanceType(instanceType, context);
      return instanceType == 33 || instanceType == 34 ? 0 : -1;
    }
    default:
      return -1;
  }
}
