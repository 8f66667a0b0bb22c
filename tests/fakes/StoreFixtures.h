// A small configuration tree in JSON for the store tests, and the store
// kinds that the contract suite runs against (PostgreSQL's is in
// PgTestDatabase.h). A kind that cannot run here says why in available().
#ifndef TESTS_FAKES_STOREFIXTURES_H_
#define TESTS_FAKES_STOREFIXTURES_H_

#include <memory>
#include <stdexcept>
#include <string>

#include "AppMgr/appMgrStructDefines.h"

#include "fakes/TempDir.h"
#include "store/ConfigStore.h"
#include "store/ConfigTree.h"
#include "store/MemoryConfigStore.h"
#include "store/SqliteConfigStore.h"

// Velmora 2 "north" and 3 "east"; clients 5 build01 (data agent) and 10
// oradb (data and media agent), both on host shared.example.net, and 20
// sydney (media agent, no instance) in Velmora 3; application types 7, 22
// and 30 (no instance); instance 6 (type 7, content) with backup set 7 and
// subclients 8 and 9 (flag bit 8; application ids 1045 and 1046); instance
// 11 (type 22) with backup set 12 (flag bit 8) and subclient 13
// (application id 1047, aux 4 and 5). Applications 1045 and 1047 belong to
// archive group 40.
inline const char kStoreFixtureJson[] = R"json({
  "format": "appmgr-config-tree",
  "version": 1,
  "globalParams": {"nMaxBackupStreams": "8", "sAuditPath": "/var/log/audit dir"},
  "applicationTypes": [{"id": 7, "name": "File System"}, {"id": 22, "name": "Oracle Database"},
                       {"id": 30, "name": "Unused"}],
  "velmoras": [
    {"id": 2, "name": "north", "releaseId": 11, "flags": 4, "timeZoneId": 36, "hostName": "north.example.net",
     "description": "Northern data centre", "timeZoneName": "Europe/Berlin", "installDir": "/opt/velmora",
     "utcOffsetMinutes": 60,
     "clients": [
       {"id": 5, "name": "build01", "hostName": "shared.example.net", "qualifier": 3, "attribute": 9,
        "osName": "Linux", "osVersion": "6.1", "processor": "x86_64", "versionText": "11.0.0 SP22 HPK5",
        "isNonNDMP": true, "roles": 1,
        "properties": [{"name": "Client Description", "type": 1, "value": "build server"},
                       {"name": "Log Level", "type": 2, "value": "2"}],
        "instances": [
          {"id": 6, "name": "DefaultInstance", "applicationType": 7, "flags": -3, "description": "fs",
           "clusterType": 1, "cloudAppsType": 2,
           "properties": [{"name": "Scan Type", "type": 2, "value": "3"}],
           "content": [{"type": 1, "path": "/"}, {"type": 4, "path": "/data/project files"}],
           "backupSets": [
             {"id": 7, "name": "defaultBackupSet", "flags": 1, "description": "all disks",
              "properties": [{"name": "Backup Set Description", "type": 1, "value": "all local disks"}],
              "subclients": [
                {"id": 8, "name": "default", "flags": 16, "description": "everything",
                 "application": {"id": 1045, "archiveGroup": 40},
                 "properties": [{"name": "Streams", "type": 2, "value": "2"}],
                 "content": ["/"], "filters": {"2": ["/proc", "/tmp/*.swp"], "4": ["/var/cache"]}},
                {"id": 9, "name": "home dirs", "flags": 8, "application": {"id": 1046},
                 "content": ["/home", "/srv/shared profiles"]}]}]}]},
       {"id": 10, "name": "oradb", "hostName": "shared.example.net", "isNAS": true, "roles": 3,
        "instances": [
          {"id": 11, "name": "OracleProd", "applicationType": 22,
           "backupSets": [
             {"id": 12, "name": "archive+logs", "flags": 8,
              "subclients": [{"id": 13, "name": "nightly", "application": {"id": 1047, "aux1": 4, "aux2": 5, "archiveGroup": 40}}]}]}]}]},
    {"id": 3, "name": "east", "clients": [{"id": 20, "name": "sydney", "roles": 2}]}]
})json";

struct MemoryBackend {
  static constexpr const char* kName = "Memory";
  static bool available(std::string&) { return true; }
  static std::shared_ptr<ConfigStore> open(const TempDir&, ConfigTreeStore*& tree) {
    auto store = std::make_shared<MemoryConfigStore>();
    tree = store.get();
    return store;
  }
};

template <bool kOnDisk>
struct SqliteBackend {
  static constexpr const char* kName = kOnDisk ? "SqliteFile" : "SqliteMemory";
  static bool available(std::string&) { return true; }
  static std::shared_ptr<ConfigStore> open(const TempDir& dir, ConfigTreeStore*& tree) {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    if (SqliteConfigStore::open(kOnDisk ? dir.file("store.db") : SqliteConfigStore::kInMemory, store,
                                errorText) != 0) {
      throw std::runtime_error(errorText);
    }
    tree = store.get();
    return store;
  }
};
using SqliteFileBackend = SqliteBackend<true>;
using SqliteMemoryBackend = SqliteBackend<false>;

// Names the typed tests after their backend.
struct BackendName {
  template <typename Backend>
  static std::string GetName(int) {
    return Backend::kName;
  }
};

// A request naming the fixture's subclient 8 (application 2:1045), with
// the given lists.
inline appmanObjectReq subclientRequest(const char* first = nullptr, const char* second = nullptr) {
  appmanObjectReq req;
  req.objectId = 8;
  req.appIdText = "2:1045";
  req.firstList = first;
  req.secondList = second;
  return req;
}

#endif  // TESTS_FAKES_STOREFIXTURES_H_
