// Small questions about application types, clients and the local machine:
// application-type classification, version-text parsing, timestamp
// conversion, the process name, the cloud-laptop routing test and the
// default backup-stream count. None of them keeps state or throws.
#ifndef APPMGR_PLATFORMHELPERS_H_
#define APPMGR_PLATFORMHELPERS_H_

#include <ctime>
#include <string>

#include "AppMgr/AppMgrExport.h"
#include "AppMgr/OdbcTimestamp.h"

// True for the Unix file-system application types.
APPMGR_EXPORT bool IsUnixTypeFS(unsigned long appType);

// The agent class (1 to 4) of an application type for subclient policies;
// 0 for every other type.
APPMGR_EXPORT int GetSCPQvlType(unsigned long appType);

// True when backup set names of the application type compare
// case-sensitively.
APPMGR_EXPORT bool IsBackupSetCaseSensitive(unsigned long appType);

// Splits a version text such as "11.0.0 SP22 HPK5", "SP12a" or "11.20.35"
// into a service-pack number and an update number; both are 0 when the text
// does not carry them. A letter suffix counts as an update ('a' is 1).
APPMGR_EXPORT void ParseSPVersionInfo(std::string versionText, int& servicePack, int& update);

// Local midnight at the start of the timestamp's date; -1 when mktime cannot
// represent it. The time of day and the fraction are not read.
APPMGR_EXPORT time_t AppTimeStampTotime_t(const tagTIMESTAMP_STRUCT* timestamp);

// Writes the process name "RedAveVar" with its NUL (10 bytes) into `name`,
// which must hold at least 10 bytes.
APPMGR_EXPORT void GetProcessNameAndID(char* name);

// True when requests use the cloud path: cloud caching is enabled (section
// "Quarvel", value "sDisableCloudCaching" present and 0) and this machine is
// a cloud laptop client.
APPMGR_EXPORT bool isCloudLaptopPlatform();

// The default number of data streams for a new subclient of `appType` on the
// client or instance given; 0 and -1 are answers in their own right.
// `context` is passed unchanged to the platform queries that take one.
APPMGR_EXPORT int getDefaultNumberofBackupStreams(int appType, int clientId, int instanceId, void* context);

#endif  // APPMGR_PLATFORMHELPERS_H_
