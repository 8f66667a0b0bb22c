// The contract every configuration store keeps, run against the in-memory
// store, the SQLite store (on disk and in memory) and the PostgreSQL store
// (when a test server is named by APPMGR_TEST_PG; skipped otherwise):
// lookups found and not found, list order, property and entry updates,
// refusals that write nothing, whole-tree replacement and the JSON form of
// a tree read back byte for byte.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "fakes/PgTestDatabase.h"
#include "fakes/StoreFixtures.h"
#include "store/AuditTrail.h"
#include "store/ConfigTreeJson.h"

namespace {

// Every field of a row joined with "|", so that one comparison checks them all.
template <typename... T>
std::string join(const T&... parts) {
  std::ostringstream out;
  ((out << parts << '|'), ...);
  return out.str();
}
std::string fields(const VelmoraRow& r) {
  return join(r.id, r.name, r.releaseId, r.flags, r.timeZoneId, r.hostName, r.description, r.timeZoneName,
              r.installDir, r.utcOffsetMinutes);
}
std::string fields(const ClientRow& r) {
  return join(r.id, r.velmoraId, r.name, r.hostName, r.qualifier, r.attribute, r.osName, r.osVersion,
              r.processor, r.versionText, r.isNAS, r.isNonNDMP);
}
std::string fields(const InstanceRow& r) {
  return join(r.id, r.name, r.flags, r.clientId, r.appTypeId, r.velmoraId, r.description, r.clusterType,
              r.cloudAppsType);
}
std::string fields(const BackupSetRow& r) {
  return join(r.id, r.name, r.flags, r.instanceId, r.clientId, r.appTypeId, r.description, r.subclientCount);
}
std::string fields(const SubclientRow& r) {
  return join(r.id, r.name, r.flags, r.backupSetId, r.instanceId, r.clientId, r.description);
}
std::string fields(const ApplicationRow& r) {
  return join(r.appId, r.aux1, r.aux2, r.velmoraId, r.clientId, r.appTypeId, r.instanceId, r.backupSetId,
              r.subclientId, r.instanceName, r.backupSetName, r.subclientName);
}

template <typename Backend>
class ConfigStoreContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!Backend::available(why)) GTEST_SKIP() << why;
    store_ = Backend::open(dir_, tree_);
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *tree_, errorText_), 0) << errorText_;
  }

  // The properties of an owner as "name=value" (types checked where they
  // matter). These reads, like the database classes' own, go into vectors
  // reused from read to read: each must replace what the last one left.
  std::vector<std::string> names(PropertyOwner owner, uint64_t id,
                                 std::vector<PropertyRow>* rowsOut = nullptr) {
    EXPECT_EQ(store_->listProperties(owner, id, 0, rows_, errorText_), 0) << errorText_;
    std::vector<std::string> out;
    for (const PropertyRow& row : rows_) out.push_back(row.name + "=" + row.value);
    if (rowsOut != nullptr) *rowsOut = rows_;
    return out;
  }
  std::vector<std::string> entries(uint64_t subclientId, int group) {
    EXPECT_EQ(store_->listSubclientEntries(subclientId, group, entries_, errorText_), 0) << errorText_;
    return entries_;
  }
  std::string exported() {
    std::string text;
    EXPECT_EQ(exportConfigTreeJson(*tree_, text, errorText_), 0) << errorText_;
    return text;
  }

  TempDir dir_;
  std::shared_ptr<ConfigStore> store_;
  ConfigTreeStore* tree_ = nullptr;
  std::string errorText_;
  std::vector<PropertyRow> rows_;
  std::vector<std::string> entries_;
};

using Strings = std::vector<std::string>;
constexpr unsigned long kMaxType = std::numeric_limits<unsigned long>::max();
using Backends = ::testing::Types<MemoryBackend, SqliteFileBackend, SqliteMemoryBackend, PgBackend>;
TYPED_TEST_SUITE(ConfigStoreContract, Backends, BackendName);

TYPED_TEST(ConfigStoreContract, FindsEachObjectWithEveryFieldAndItsParents) {
  ConfigStore& s = *this->store_;
  std::string& e = this->errorText_;
  VelmoraRow velmora;
  ASSERT_EQ(s.findVelmora(2, "", velmora, e), 0);
  EXPECT_EQ(fields(velmora),
            "2|north|11|4|36|north.example.net|Northern data centre|Europe/Berlin|/opt/velmora|60|");
  ASSERT_EQ(s.findVelmora(0, "east", velmora, e), 0);
  EXPECT_EQ(velmora.id, 3u);
  std::string value;
  ASSERT_EQ(s.getGlobalParam("sAuditPath", value, e), 0);
  EXPECT_EQ(value, "/var/log/audit dir");

  // Each key reads its own field only: the others name other clients.
  ClientRow match, client;
  match.id = 20;
  match.name = "oradb";
  match.hostName = "shared.example.net";
  ASSERT_EQ(s.findClient(ClientKey::kId, match, client, e), 0);
  EXPECT_EQ(fields(client), "20|3|sydney||0|0|||||0|0|");
  ASSERT_EQ(s.findClient(ClientKey::kName, match, client, e), 0);
  EXPECT_EQ(fields(client), "10|2|oradb|shared.example.net|0|0|||||1|0|");
  // Two clients share the host name: the one with the lower id is found.
  ASSERT_EQ(s.findClient(ClientKey::kHostName, match, client, e), 0);
  EXPECT_EQ(fields(client), "5|2|build01|shared.example.net|3|9|Linux|6.1|x86_64|11.0.0 SP22 HPK5|0|1|");
  match.hostName = "SHARED.Example.NET";  // host names compare without regard to ASCII case
  ASSERT_EQ(s.findClient(ClientKey::kHostName, match, client, e), 0);
  EXPECT_EQ(client.id, 5u);

  InstanceRow instance;
  ASSERT_EQ(s.findInstance(6, instance, e), 0);
  EXPECT_EQ(fields(instance), "6|DefaultInstance|-3|5|7|2|fs|1|2|");
  BackupSetRow set;
  ASSERT_EQ(s.findBackupSet(7, set, e), 0);
  EXPECT_EQ(fields(set), "7|defaultBackupSet|1|6|5|7|all disks|2|");
  SubclientRow subclient;
  ASSERT_EQ(s.findSubclient(8, subclient, e), 0);
  EXPECT_EQ(fields(subclient), "8|default|16|7|6|5|everything|");
  ASSERT_EQ(s.findApplicationTypeName(22, value, e), 0);
  EXPECT_EQ(value, "Oracle Database");
  ApplicationRow app;
  ASSERT_EQ(s.findApplicationBySubclient(13, app, e), 0);
  EXPECT_EQ(fields(app), "1047|4|5|2|10|22|11|12|13|OracleProd|archive+logs|nightly|");
}

TYPED_TEST(ConfigStoreContract, AMissingObjectIsReportedWithItsOwnCode) {
  ConfigStore& s = *this->store_;
  std::string& e = this->errorText_;
  VelmoraRow velmora;
  ClientRow client, missing;
  missing.id = 99;
  missing.name = "nobody";
  missing.hostName = "nowhere.example.net";
  InstanceRow instance;
  BackupSetRow set;
  SubclientRow subclient;
  ApplicationRow app;
  std::string text;
  Strings list;
  const struct {
    const char* title;
    std::function<int()> call;
    uint32_t code;
  } cases[] = {
      {"Velmora id", [&] { return s.findVelmora(77, "", velmora, e); }, XR_VELMORA_NOT_FOUND},
      {"global parameter (case counts)", [&] { return s.getGlobalParam("sAuditpath", text, e); },
       XR_INVALID_GLOBAL_PROP},
      {"client id", [&] { return s.findClient(ClientKey::kId, missing, client, e); }, XR_CLIENT_NOT_FOUND},
      {"client name", [&] { return s.findClient(ClientKey::kName, missing, client, e); },
       XR_CLIENT_NOT_FOUND},
      {"instance", [&] { return s.findInstance(7, instance, e); }, XR_INSTANCE_NOT_FOUND},
      {"backup set", [&] { return s.findBackupSet(8, set, e); }, XR_BACKUPSET_NOT_FOUND},
      {"subclient", [&] { return s.findSubclient(7, subclient, e); }, XR_SUBCLIENT_NOT_FOUND},
      {"application type", [&] { return s.findApplicationTypeName(99, text, e); }, XR_APPTYPE_NOT_FOUND},
      {"application of a subclient", [&] { return s.findApplicationBySubclient(7, app, e); },
       XR_APPID_NOT_FOUND},
      {"entries of a subclient", [&] { return s.listSubclientEntries(77, 1, list, e); },
       XR_CONTENT_INVALID_SUBCLIENT},
  };
  for (const auto& c : cases) {
    e.clear();
    EXPECT_EQ(c.call(), static_cast<int>(c.code)) << c.title;
    EXPECT_FALSE(e.empty()) << c.title;
  }
}

TYPED_TEST(ConfigStoreContract, FindsAnApplicationByEachKeyAndNothingOnAnyMismatch) {
  ApplicationRow full;  // every field of application 1047 (found by its subclient in the test above)
  ASSERT_EQ(this->store_->findApplicationBySubclient(13, full, this->errorText_), 0);
  for (ApplicationKey key :
       {ApplicationKey::kNumeric, ApplicationKey::kNames, ApplicationKey::kInstanceAndNames,
        ApplicationKey::kBackupSetAndName, ApplicationKey::kIds}) {
    ApplicationRow out;
    ASSERT_EQ(this->store_->findApplication(key, full, out, this->errorText_), 0) << this->errorText_;
    EXPECT_EQ(fields(out), "1047|4|5|2|10|22|11|12|13|OracleProd|archive+logs|nightly|")
        << static_cast<int>(key);
  }
  // Each key fails when one of its own fields is wrong.
  const struct {
    ApplicationKey key;
    void (*spoil)(ApplicationRow&);
  } misses[] = {
      {ApplicationKey::kNumeric, [](ApplicationRow& r) { r.velmoraId = 3; }},
      {ApplicationKey::kNames, [](ApplicationRow& r) { r.backupSetName = "archive logs"; }},
      {ApplicationKey::kInstanceAndNames, [](ApplicationRow& r) { r.subclientName = "Nightly"; }},
      {ApplicationKey::kBackupSetAndName, [](ApplicationRow& r) { r.backupSetId = 7; }},
      {ApplicationKey::kIds, [](ApplicationRow& r) { r.subclientId = 8; }},
  };
  for (const auto& miss : misses) {
    ApplicationRow match = full, out;
    miss.spoil(match);
    EXPECT_EQ(this->store_->findApplication(miss.key, match, out, this->errorText_),
              static_cast<int>(XR_APPID_NOT_FOUND))
        << static_cast<int>(miss.key);
  }
}

TYPED_TEST(ConfigStoreContract, SetAndRemovePropertiesKeepListOrder) {
  std::vector<PropertyRow> rows;
  ASSERT_EQ(
      this->store_->setProperties(
          PropertyOwner::kClient, 5,
          {{"Log Level", 2, "5"}, {"New One", 1, "a+b `c`"}, {"Another", kMaxType, ""}}, this->errorText_),
      0);
  EXPECT_EQ(this->names(PropertyOwner::kClient, 5, &rows),
            (Strings{"Client Description=build server", "Log Level=5", "New One=a+b `c`", "Another="}));
  EXPECT_EQ(rows[3].type, kMaxType);
  EXPECT_TRUE(this->names(PropertyOwner::kClient, 10).empty()) << "another client was written";
  // The same name twice in one call: the last value wins, in the first place.
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kSubclient, 9,
                                        {{"x", 1, "1"}, {"y", 1, "2"}, {"x", 2, "3"}}, this->errorText_),
            0);
  EXPECT_EQ(this->names(PropertyOwner::kSubclient, 9, &rows), (Strings{"x=3", "y=2"}));
  EXPECT_EQ(rows[0].type, 2u);

  ASSERT_EQ(
      this->store_->setProperties(PropertyOwner::kClient, 10, {{"Log Level", 1, "other"}}, this->errorText_),
      0);
  ASSERT_EQ(this->store_->removeProperties(PropertyOwner::kClient, 5,
                                           {"Client Description", "Log Level", "Absent"}, this->errorText_),
            0);
  EXPECT_EQ(this->names(PropertyOwner::kClient, 5), (Strings{"New One=a+b `c`", "Another="}));
  EXPECT_EQ(this->names(PropertyOwner::kClient, 10), (Strings{"Log Level=other"}));
  // A name set again after its removal goes to the end; an empty removal changes nothing.
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kClient, 5, {{"Client Description", 1, "back"}},
                                        this->errorText_),
            0);
  ASSERT_EQ(this->store_->removeProperties(PropertyOwner::kClient, 5, {}, this->errorText_), 0);
  EXPECT_EQ(this->names(PropertyOwner::kClient, 5),
            (Strings{"New One=a+b `c`", "Another=", "Client Description=back"}));
}

// Owners of every kind share id 1 and a property name: a write to one
// owner reaches no other kind.
TYPED_TEST(ConfigStoreContract, PropertyWritesReachOnlyTheirOwnerKind) {
  const char tree[] = R"({"format": "appmgr-config-tree", "version": 1,
    "applicationTypes": [{"id": 1, "name": "t"}],
    "velmoras": [{"id": 1, "name": "v", "clients": [{"id": 1, "name": "c",
      "properties": [{"name": "p", "type": 1, "value": "0"}],
      "instances": [{"id": 1, "name": "i", "applicationType": 1,
        "properties": [{"name": "p", "type": 1, "value": "1"}],
        "backupSets": [{"id": 1, "name": "b", "properties": [{"name": "p", "type": 1, "value": "2"}],
          "subclients": [{"id": 1, "name": "s", "properties": [{"name": "p", "type": 1, "value": "3"}]}]}]}]}]}]})";
  const PropertyOwner kinds[] = {PropertyOwner::kClient, PropertyOwner::kInstance, PropertyOwner::kBackupSet,
                                 PropertyOwner::kSubclient};
  for (int written = 0; written < 4; ++written) {
    ASSERT_EQ(importConfigTreeJson(tree, *this->tree_, this->errorText_), 0) << this->errorText_;
    ASSERT_EQ(this->store_->setProperties(kinds[written], 1, {{"p", 1, "new"}}, this->errorText_), 0);
    ASSERT_EQ(this->store_->removeProperties(kinds[(written + 1) % 4], 1, {"p"}, this->errorText_), 0);
    for (int kind = 0; kind < 4; ++kind) {
      const std::string expected = kind == written             ? "p=new"
                                   : kind == (written + 1) % 4 ? ""
                                                               : "p=" + std::to_string(kind);
      EXPECT_EQ(this->names(kinds[kind], 1), expected.empty() ? Strings{} : Strings{expected})
          << "written " << written << ", read " << kind;
    }
  }
}

TYPED_TEST(ConfigStoreContract, RefusedWritesWriteNothing) {
  const std::string before = this->exported();
  const struct {
    PropertyOwner owner;
    uint64_t id;
    uint32_t code;
  } owners[] = {{PropertyOwner::kClient, 6, XR_CLIENT_NOT_FOUND},
                {PropertyOwner::kInstance, 5, XR_INSTANCE_NOT_FOUND},
                {PropertyOwner::kBackupSet, 8, XR_BACKUPSET_NOT_FOUND},
                {PropertyOwner::kSubclient, 7, XR_SUBCLIENT_NOT_FOUND}};
  for (const auto& c : owners) {
    EXPECT_EQ(this->store_->setProperties(c.owner, c.id, {{"p", 1, "v"}}, this->errorText_),
              static_cast<int>(c.code));
    EXPECT_EQ(this->store_->removeProperties(c.owner, c.id, {"p"}, this->errorText_),
              static_cast<int>(c.code));
  }
  EXPECT_EQ(this->store_->updateSubclientEntries(7, 2, {"/x"}, {}, this->errorText_),
            static_cast<int>(XR_CONTENT_INVALID_SUBCLIENT));
  for (int group : {0, kLastFilterGroup + 1, -2}) {
    EXPECT_EQ(this->store_->updateSubclientEntries(8, group, {"/x"}, {"/proc"}, this->errorText_),
              static_cast<int>(XR_BAD_CONTENT_TYPE))
        << group;
  }
  EXPECT_EQ(this->exported(), before);
}

// Entries are listed in order per group; an update adds each entry once, then removes.
TYPED_TEST(ConfigStoreContract, ListsContentAndEntriesAndUpdatesThemPerGroup) {
  std::vector<ContentRow> rows;
  ASSERT_EQ(this->store_->listInstanceContent(6, rows, this->errorText_), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(join(rows[0].type, rows[0].path, rows[1].type, rows[1].path), "1|/|4|/data/project files|");
  ASSERT_EQ(this->store_->listInstanceContent(11, rows, this->errorText_), 0);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(this->entries(8, kSubclientContentGroup), Strings{"/"});
  EXPECT_EQ(this->entries(8, 2), (Strings{"/proc", "/tmp/*.swp"}));
  EXPECT_EQ(this->entries(8, 4), Strings{"/var/cache"});
  EXPECT_TRUE(this->entries(8, 3).empty());
  EXPECT_TRUE(this->entries(13, kSubclientContentGroup).empty());

  // "/" is there already; "/opt" comes twice; "/tmp/*.swp" sits in another group.
  ASSERT_EQ(this->store_->updateSubclientEntries(8, kSubclientContentGroup, {"/opt", "/", "/opt", "/srv x"},
                                                 {"/tmp/*.swp"}, this->errorText_),
            0);
  EXPECT_EQ(this->entries(8, kSubclientContentGroup), (Strings{"/", "/opt", "/srv x"}));
  EXPECT_EQ(this->entries(8, 2), (Strings{"/proc", "/tmp/*.swp"}));
  // Removal comes after addition: an entry in both lists ends up absent.
  ASSERT_EQ(
      this->store_->updateSubclientEntries(8, 2, {"/sys"}, {"/proc", "/sys", "/absent"}, this->errorText_),
      0);
  EXPECT_EQ(this->entries(8, 2), Strings{"/tmp/*.swp"});
  ASSERT_EQ(this->store_->updateSubclientEntries(8, kLastFilterGroup, {"*.iso"}, {}, this->errorText_), 0);
  EXPECT_EQ(this->entries(8, kLastFilterGroup), Strings{"*.iso"});
  EXPECT_TRUE(this->entries(9, kLastFilterGroup).empty());
}

// ---- The audit trail ----

// Each change writes one entry with exactly what it changed, by the thread's
// actor; a refused write writes none. The store was imported in SetUp, so
// the trail starts with that import.
TYPED_TEST(ConfigStoreContract, EachChangeRecordsOneEntryWithItsExactChange) {
  ConfigStore& s = *this->store_;
  std::string& e = this->errorText_;
  const AuditActor host{"127.0.0.1:5321 subject=\"CN=ops\"", 0x1a004061, "APPMAN_CLIENT_SET_PROPS_REQ"};
  const struct {
    const char* title;
    std::function<int()> change;
    const char* object;  // "" when the write is refused and records nothing
    const char* detail;
  } cases[] = {
      {"properties set: new, retyped, unchanged",
       [&] {
         return s.setProperties(PropertyOwner::kClient, 5,
                                {{"Owner", 1, "QA \"team\" \xc3\xbc\n"},
                                 {"Log Level", 3, "5"},
                                 {"Client Description", 1, "build server"}},
                                e);
       },
       "client:5",
       R"({"changed":true,"set":[{"name":"Owner","type":1,"old":null,"new":"QA \"team\" ü\n"},)"
       R"({"name":"Log Level","type":3,"oldType":2,"old":"2","new":"5"}]})"},
      {"properties removed, one of them absent",
       [&] {
         return s.removeProperties(PropertyOwner::kSubclient, 8, {"Absent", "Streams"}, e);
       },
       "subclient:8", R"({"changed":true,"removed":[{"name":"Streams","type":2,"old":"2"}]})"},
      {"nothing to remove", [&] { return s.removeProperties(PropertyOwner::kInstance, 6, {"Absent"}, e); },
       "instance:6", R"({"changed":false,"removed":[]})"},
      {"entries added and removed, one both",
       [&] {
         return s.updateSubclientEntries(8, 2, {"/new", "/proc", "/sys"}, {"/sys", "/tmp/*.swp"}, e);
       },
       "subclient:8", R"({"changed":true,"group":2,"added":["/new"],"removed":["/tmp/*.swp"]})"},
      {"an empty removal names nothing", [&] { return s.removeProperties(PropertyOwner::kClient, 5, {}, e); },
       "", ""},
      {"refused",
       [&] {
         return s.setProperties(PropertyOwner::kBackupSet, 8, {{"p", 1, "v"}}, e) == 0 ? -1 : 0;
       },
       "", ""},
      {"whole tree", [&] { return importConfigTreeJson(kStoreFixtureJson, *this->tree_, e); }, "tree:0",
       R"({"changed":true,"replaced":{"velmoras":2,"clients":3,"instances":2,"backupSets":2,"subclients":3,)"
       R"("properties":5,"subclientEntries":6,"globalParams":2}})"},
  };
  std::vector<AuditEntry> trail;
  ASSERT_EQ(s.readAudit(AuditFilter(), trail, e), 0) << e;
  ASSERT_EQ(trail.size(), 1u);
  uint64_t lastSeq = trail[0].seq;
  for (const auto& c : cases) {
    const int64_t before = auditNowUs();
    {
      const ConfigStore::ActorScope actor(host);
      ASSERT_EQ(c.change(), 0) << c.title << ": " << e;
    }
    ASSERT_EQ(s.readAudit(AuditFilter(), trail, e), 0) << e;
    if (*c.object == '\0') {
      EXPECT_EQ(trail[0].seq, lastSeq) << c.title;
      continue;
    }
    const AuditEntry& entry = trail[0];
    EXPECT_GT(entry.seq, lastSeq) << c.title;
    lastSeq = entry.seq;
    EXPECT_EQ(entry.objectKind + ":" + std::to_string(entry.objectId), c.object) << c.title;
    EXPECT_EQ(entry.change, c.detail) << c.title;
    EXPECT_EQ(join(entry.who, entry.requestCode, entry.requestName),
              join(host.who, 0x1a004061, host.requestName));
    EXPECT_TRUE(entry.timeUs >= before && entry.timeUs <= auditNowUs()) << c.title;
  }
  EXPECT_EQ(trail.size(), 6u);
  // Without an actor, the change is the library's own.
  ASSERT_EQ(s.setProperties(PropertyOwner::kClient, 10, {{"p", 1, "v"}}, e), 0);
  ASSERT_EQ(s.readAudit(AuditFilter(), trail, e), 0);
  EXPECT_EQ(join(trail[0].who, trail[0].requestCode, trail[0].requestName), "library|0||");
}

TYPED_TEST(ConfigStoreContract, ReadsTheTrailNewestFirstByObjectTimeAndLimitAndPrunesTheOldest) {
  ConfigStore& s = *this->store_;
  std::string& e = this->errorText_;
  for (const char* value : {"1", "2", "3"}) {  // apart in time, so that each has a time of its own
    for (PropertyOwner owner : {PropertyOwner::kSubclient, PropertyOwner::kClient}) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      ASSERT_EQ(s.setProperties(owner, owner == PropertyOwner::kClient ? 5 : 9, {{"p", 1, value}}, e), 0)
          << e;
    }
  }
  std::vector<AuditEntry> all;
  ASSERT_EQ(s.readAudit(AuditFilter(), all, e), 0);
  ASSERT_EQ(all.size(), 7u);                               // the import of SetUp, then six changes
  const auto positions = [&](const AuditFilter& filter) {  // in `all`, from 1
    std::vector<AuditEntry> rows;
    EXPECT_EQ(s.readAudit(filter, rows, e), 0) << e;
    std::string out;
    for (const AuditEntry& row : rows) {
      for (size_t i = 0; i < all.size(); ++i) out += all[i].seq == row.seq ? std::to_string(i + 1) + " " : "";
    }
    return out;
  };
  const auto filter = [](const char* kind, uint64_t id, int64_t since, int64_t until, uint64_t limit) {
    AuditFilter f;
    f.objectKind = kind;
    f.objectId = id;
    f.sinceUs = since;
    f.untilUs = until;
    f.limit = limit;
    return f;
  };
  const int64_t mid = all[3].timeUs;  // the third change
  const struct {
    AuditFilter filter;
    const char* expected;
  } cases[] = {
      {filter("", 0, INT64_MIN, INT64_MAX, 2), "1 2 "},
      {filter("subclient", 9, INT64_MIN, INT64_MAX, 0), "2 4 6 "},
      {filter("client", 9, INT64_MIN, INT64_MAX, 0), ""},
      {filter("client", 5, mid, INT64_MAX, 0), "1 3 "},
      {filter("", 0, INT64_MIN, mid, 0), "4 5 6 7 "},
      {filter("subclient", 9, mid, mid, 5), "4 "},
  };
  for (const auto& c : cases)
    EXPECT_EQ(positions(c.filter), c.expected) << c.filter.objectKind << c.filter.limit;
  uint64_t deleted = 0;
  ASSERT_EQ(s.pruneAudit(mid + 1, 2, deleted, e), 0) << e;
  EXPECT_EQ(deleted, 2u);
  ASSERT_EQ(s.pruneAudit(mid + 1, 100, deleted, e), 0) << e;
  EXPECT_EQ(deleted, 2u);
  std::vector<AuditEntry> left;
  ASSERT_EQ(s.readAudit(AuditFilter(), left, e), 0);
  ASSERT_EQ(left.size(), 3u);
  EXPECT_EQ(left.back().seq, all[2].seq);
}

// ---- Adapter lists ----

std::string joined(const std::vector<ConfigStore::AdapterListRow>& rows) {
  std::string out;
  for (const auto& row : rows)
    out += (out.empty() ? "" : ",") + std::to_string(row.id) + " " + row.name + (row.flag ? " +" : "");
  return out;
}

std::string joined(const std::vector<ApplicationRow>& rows) {
  std::string out;
  for (const ApplicationRow& row : rows) out += (out.empty() ? "" : ",") + std::to_string(row.appId);
  return out;
}

using Rows = std::vector<ConfigStore::AdapterListRow>;
constexpr ConfigStore::ListOrder kById = ConfigStore::ListOrder::kById;
constexpr ConfigStore::ListOrder kByName = ConfigStore::ListOrder::kByName;
constexpr uint32_t kData = ConfigStore::kClientRoleDataAgent;
constexpr uint32_t kMedia = ConfigStore::kClientRoleMediaAgent;
// A row of the table below: the call on store s into rows r.
#define LIST(call) [](ConfigStore& s, Rows& r, std::string& e) { return s.call; }

TYPED_TEST(ConfigStoreContract, AdapterListsTakeZeroAsAnyAndKeepTheirOrder) {
  const struct {
    const char* title;
    std::function<int(ConfigStore&, Rows&, std::string&)> list;
    const char* expected;
  } cases[] = {
      {"every Velmora by id", LIST(listVelmoras(0, kById, r, e)), "2 north,3 east"},
      {"every Velmora by name", LIST(listVelmoras(0, kByName, r, e)), "3 east,2 north"},
      {"clients of a Velmora", LIST(listClients(2, 2, r, e)), "5 build01,10 oradb"},
      {"clients with an instance", LIST(listClients(0, 1, r, e)), "5 build01,10 oradb"},
      {"media agents anywhere", LIST(listClientsOfType(0, kMedia, kById, r, e)), "10 oradb,20 sydney"},
      {"data agents of a Velmora by name", LIST(listClientsOfType(2, kData, kByName, r, e)),
       "5 build01,10 oradb"},
      {"every application type", LIST(listApplicationTypes(0, 0, r, e)),
       "7 File System,22 Oracle Database,30 Unused"},
      {"types of a client", LIST(listApplicationTypes(10, 1, r, e)), "22 Oracle Database"},
      {"types in use", LIST(listApplicationTypes(0, 1, r, e)), "7 File System,22 Oracle Database"},
      {"every instance", LIST(listInstances(0, 0, 0, kById, r, e)), "6 DefaultInstance,11 OracleProd"},
      {"instances of a client", LIST(listInstances(2, 5, 0, kByName, r, e)), "6 DefaultInstance"},
      {"instances of a type", LIST(listInstances(0, 0, 22, kById, r, e)), "11 OracleProd"},
      {"filters combine", LIST(listInstances(2, 5, 22, kById, r, e)), ""},
      {"every backup set", LIST(listBackupSets(0, 0, 0, kById, r, e)),
       "7 defaultBackupSet,12 archive+logs +"},
      {"backup sets by name", LIST(listBackupSets(0, 0, 0, kByName, r, e)),
       "12 archive+logs +,7 defaultBackupSet"},
      {"backup sets of a type", LIST(listBackupSets(0, 22, 0, kById, r, e)), "12 archive+logs +"},
      {"backup sets of an instance of another client", LIST(listBackupSets(10, 0, 6, kById, r, e)), ""},
      {"every subclient", LIST(listSubclients(0, 0, kById, r, e)), "8 default,9 home dirs +,13 nightly"},
      {"subclients of a backup set", LIST(listSubclients(0, 12, kById, r, e)), "13 nightly"},
  };
  for (const auto& c : cases) {
    Rows rows = {{99, "stale", true}};
    EXPECT_EQ(c.list(*this->store_, rows, this->errorText_), 0) << c.title;
    EXPECT_EQ(joined(rows), c.expected) << c.title;
  }
}

TYPED_TEST(ConfigStoreContract, ListsApplicationsByTheirChainAndArchiveGroup) {
  const struct {
    uint64_t velmora, client, type, instance, backupSet;
    const char* expected;
  } cases[] = {{0, 0, 0, 0, 0, "1045,1046,1047"},
               {2, 5, 0, 0, 0, "1045,1046"},
               {0, 0, 22, 0, 0, "1047"},
               {0, 0, 0, 6, 0, "1045,1046"},
               {0, 0, 0, 0, 12, "1047"},
               {3, 0, 0, 0, 0, ""},
               {0, 10, 0, 6, 0, ""}};
  std::vector<ApplicationRow> apps;
  for (const auto& c : cases) {
    for (ConfigStore::ListOrder order : {kById, kByName}) {
      EXPECT_EQ(this->store_->listApplications(c.velmora, c.client, c.type, c.instance, c.backupSet, order,
                                               apps, this->errorText_),
                0);
      EXPECT_EQ(joined(apps), c.expected)
          << c.velmora << " " << c.client << " " << c.type << " " << c.instance << " " << c.backupSet;
    }
  }
  ASSERT_EQ(this->store_->listApplications(0, 0, 0, 0, 12, kById, apps, this->errorText_), 0);
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(fields(apps[0]), "1047|4|5|2|10|22|11|12|13|OracleProd|archive+logs|nightly|");
  const struct {
    uint64_t velmora, group;
    const char* expected;
  } groups[] = {{0, 0, "1045,1047"}, {2, 40, "1045,1047"}, {0, 41, ""}, {3, 0, ""}};
  for (const auto& g : groups) {
    EXPECT_EQ(this->store_->listArchiveGroupApplications(g.velmora, g.group, apps, this->errorText_), 0);
    EXPECT_EQ(joined(apps), g.expected) << g.velmora << " " << g.group;
  }
}

// ---- The tree as a whole, and its JSON form ----

TYPED_TEST(ConfigStoreContract, TheSampleTreeComesBackByteForByte) {
  const std::string path = std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json";
  std::ifstream in(path, std::ios::binary);
  const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(sample.empty()) << path;
  ASSERT_EQ(importConfigTreeFile(path, *this->tree_, this->errorText_), 0) << this->errorText_;
  EXPECT_EQ(this->exported(), sample);
}

// Every member of every object holds a value, among them values equal to a
// type's default that still mean something (archive group 0, an empty
// entry, property type 0) and the ends of each number's range: the export
// holds exactly what was imported, and export -> import -> export is
// byte for byte.
TYPED_TEST(ConfigStoreContract, EveryMemberSurvivesExportImportExport) {
  const char full[] = R"({"format": "appmgr-config-tree", "version": 1,
    "globalParams": {"a": "1", "p": ""},
    "applicationTypes": [{"id": 9223372036854775807, "name": "t \"quoted\""}],
    "velmoras": [{"id": 1, "name": "v", "releaseId": 18446744073709551615, "flags": 9223372036854775808,
      "timeZoneId": 1, "hostName": "h", "description": "d\nline", "timeZoneName": "Z", "installDir": "/i",
      "utcOffsetMinutes": -2147483648,
      "clients": [{"id": 2, "name": "c", "hostName": "ch", "qualifier": 18446744073709551615, "attribute": 1,
        "osName": "o", "osVersion": "ov", "processor": "p", "versionText": "vt", "isNAS": true, "isNonNDMP": true,
        "roles": 4294967295, "properties": [{"name": "", "type": 0, "value": ""}],
        "instances": [{"id": 3, "name": "i", "applicationType": 9223372036854775807,
          "flags": -9223372036854775808, "description": "id", "clusterType": 2147483647,
          "cloudAppsType": -1, "properties": [{"name": "ip", "type": 18446744073709551615, "value": "x"}],
          "content": [{"type": 0, "path": "/c"}],
          "backupSets": [{"id": 4, "name": "b", "flags": -1, "description": "bd",
            "properties": [{"name": "bp", "type": 1, "value": "y"}],
            "subclients": [{"id": 5, "name": "s", "flags": 9223372036854775807, "description": "sd",
              "application": {"id": 6, "aux1": 18446744073709551615, "aux2": 1, "archiveGroup": 0},
              "properties": [{"name": "sp", "type": 2, "value": "Gr\u00f6\u00dfe \u20ac"}],
              "content": [""], "filters": {"2": ["a"], "8": ["", "z"]}}]}]}]}]}]})";
  ASSERT_EQ(importConfigTreeJson(full, *this->tree_, this->errorText_), 0) << this->errorText_;
  const std::string first = this->exported();
  EXPECT_EQ(nlohmann::json::parse(first), nlohmann::json::parse(full));
  ASSERT_EQ(importConfigTreeJson(first, *this->tree_, this->errorText_), 0) << this->errorText_;
  EXPECT_EQ(this->exported(), first);
}

// ---- The SQL stores: a failure part way through a write ----

template <typename Backend>
class SqlStoreContract : public ConfigStoreContract<Backend> {};
using SqlBackends = ::testing::Types<SqliteFileBackend, SqliteMemoryBackend, PgBackend>;
TYPED_TEST_SUITE(SqlStoreContract, SqlBackends, BackendName);

// A tree refused after the old rows were deleted and most new ones written
// (its last properties name a subclient that is not in it): the refusal is
// a returned code, not an exception, and still nothing of it is visible.
TYPED_TEST(SqlStoreContract, ATreeRefusedPartWayByAnErrorCodeWritesNothing) {
  const std::string before = this->exported();
  ConfigTree tree;
  ASSERT_EQ(parseConfigTreeJson(kStoreFixtureJson, tree, this->errorText_), 0);
  for (PropertyRow& row : tree.properties[0].properties) row.value = "changed";
  tree.properties.push_back({PropertyOwner::kSubclient, 77, {{"p", 1, "v"}}});
  EXPECT_EQ(this->tree_->replaceTree(tree, this->errorText_), static_cast<int>(XR_SUBCLIENT_NOT_FOUND));
  EXPECT_EQ(this->exported(), before);
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kClient, 5, {{"after", 1, "1"}}, this->errorText_), 0)
      << this->errorText_;
  EXPECT_EQ(this->names(PropertyOwner::kClient, 5).back(), "after=1");
}

// Any text of an entry comes back from its JSON line (quotes, control
// characters, non-ASCII, a very long value); a byte that is not UTF-8 comes
// back as the code point of its number. Times read back as written.
TEST(AuditEntryJson, AnyTextComesBackFromItsLineAndTimesParse) {
  AuditEntry entry;
  entry.seq = 42;
  entry.timeUs = 1765179041123456;
  entry.who = "127.0.0.1:1 subject=\"CN=a\\b\"";
  entry.requestCode = 0x1a004061;
  entry.objectKind = "client";
  entry.objectId = std::numeric_limits<uint64_t>::max();
  const std::string awkward =
      std::string("tab\t nul") + '\0' + "\x01 \xc3\xa9 \xe2\x82\xac \xff|" + std::string(100000, 'x');
  AuditChange change(AuditChange::Kind::kSetProperties);
  change.set("p\"1", 3, true, 2, awkward, "");
  entry.change = change.json();
  AuditEntry back;
  std::string why;
  ASSERT_TRUE(parseAuditEntryJson(auditEntryJson(entry), back, why)) << why;
  EXPECT_EQ(join(back.seq, formatAuditTime(back.timeUs), back.who, back.requestCode, back.objectKind,
                 back.objectId),
            join(42, "2025-12-08T07:30:41.123456Z", entry.who, 0x1a004061, "client", entry.objectId));
  std::string expected = awkward;
  expected.replace(expected.find('\xff'), 1, "\xc3\xbf");
  EXPECT_EQ(nlohmann::json::parse(back.change)["set"][0]["old"], expected);
  EXPECT_FALSE(parseAuditEntryJson(R"({"seq":1})", back, why));
  const struct {
    const char* text;
    int64_t expected;  // -1: refused
  } times[] = {{"2026-12-08", 1796688000000000},
               {"2026-12-08T07:30:00.12Z", 1796715000120000},
               {"2026-13-01", -1},
               {"2026-12-08T25:00:00", -1},
               {"2026-12-08T07:30:00.", -1},
               {"2026-12-08 07:30:00", -1}};
  for (const auto& t : times) {
    int64_t value = -1;
    EXPECT_EQ(parseAuditTime(t.text, value) ? value : -1, t.expected) << t.text;
  }
}

// An entry that cannot be written fails its change, which then leaves
// nothing behind (a trigger, put in by another program, refuses entries).
TEST(SqliteAudit, AnEntryThatCannotBeWrittenFailsTheChange) {
  TempDir dir;
  ConfigTreeStore* tree = nullptr;
  std::shared_ptr<ConfigStore> store = SqliteFileBackend::open(dir, tree);
  std::string e;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *tree, e), 0) << e;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.file("store.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(
                db, "CREATE TRIGGER refuse BEFORE INSERT ON audit BEGIN SELECT RAISE(ABORT, 'no room'); END",
                nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string before = [&] {
    std::string text;
    EXPECT_EQ(exportConfigTreeJson(*tree, text, e), 0);
    return text;
  }();
  EXPECT_NE(store->setProperties(PropertyOwner::kClient, 5, {{"Log Level", 2, "9"}}, e), 0);
  EXPECT_NE(e.find("no room"), std::string::npos) << e;
  EXPECT_NE(store->updateSubclientEntries(8, 1, {"/x"}, {"/"}, e), 0);
  EXPECT_NE(importConfigTreeJson("{\"format\": \"appmgr-config-tree\", \"version\": 1}", *tree, e), 0);
  std::string after;
  ASSERT_EQ(exportConfigTreeJson(*tree, after, e), 0);
  EXPECT_EQ(after, before);
}

}  // namespace
