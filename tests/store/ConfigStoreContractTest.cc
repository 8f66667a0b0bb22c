// The contract every configuration store keeps, run against the in-memory
// store, the SQLite store (on disk and in memory) and the PostgreSQL store
// (when a test server is named by APPMGR_TEST_PG; skipped otherwise):
// lookups found and not found, list order, property and entry updates,
// refusals that write nothing, and whole-tree replacement.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "fakes/PgTestDatabase.h"
#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

template <typename Backend>
class ConfigStoreContract : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!Backend::available(why)) GTEST_SKIP() << why;
    store_ = Backend::open(dir_, tree_);
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *tree_, errorText_), 0) << errorText_;
  }

  std::vector<PropertyRow> properties(PropertyOwner owner, uint64_t id) {
    std::vector<PropertyRow> rows;
    EXPECT_EQ(store_->listProperties(owner, id, 0, rows, errorText_), 0) << errorText_;
    return rows;
  }
  static std::vector<std::string> names(const std::vector<PropertyRow>& rows) {
    std::vector<std::string> out;
    for (const PropertyRow& row : rows) out.push_back(row.name + "=" + row.value);
    return out;
  }
  std::vector<std::string> entries(uint64_t subclientId, int group) {
    std::vector<std::string> out;
    EXPECT_EQ(store_->listSubclientEntries(subclientId, group, out, errorText_), 0) << errorText_;
    return out;
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
};

using Backends = ::testing::Types<MemoryBackend, SqliteFileBackend, SqliteMemoryBackend, PgBackend>;
TYPED_TEST_SUITE(ConfigStoreContract, Backends, BackendName);

TYPED_TEST(ConfigStoreContract, FindsVelmoraByIdOrNameAndReportsMissingOnes) {
  VelmoraRow row;
  ASSERT_EQ(this->store_->findVelmora(2, "", row, this->errorText_), 0);
  EXPECT_EQ(row.name, "north");
  EXPECT_EQ(row.releaseId, 11u);
  EXPECT_EQ(row.flags, 4u);
  EXPECT_EQ(row.timeZoneName, "Europe/Berlin");
  EXPECT_EQ(row.utcOffsetMinutes, 60);
  ASSERT_EQ(this->store_->findVelmora(0, "east", row, this->errorText_), 0);
  EXPECT_EQ(row.id, 3u);
  // A name, when given, wins over the id.
  EXPECT_EQ(this->store_->findVelmora(2, "nowhere", row, this->errorText_),
            static_cast<int>(XR_VELMORA_NOT_FOUND));
  EXPECT_EQ(this->store_->findVelmora(77, "", row, this->errorText_), static_cast<int>(XR_VELMORA_NOT_FOUND));
  EXPECT_FALSE(this->errorText_.empty());
}

TYPED_TEST(ConfigStoreContract, ReadsGlobalParameters) {
  std::string value;
  ASSERT_EQ(this->store_->getGlobalParam("sAuditPath", value, this->errorText_), 0);
  EXPECT_EQ(value, "/var/log/audit dir");
  EXPECT_EQ(this->store_->getGlobalParam("sAuditpath", value, this->errorText_),
            static_cast<int>(XR_INVALID_GLOBAL_PROP));
}

TYPED_TEST(ConfigStoreContract, FindsClientsByIdNameAndHostName) {
  ClientRow match, row;
  match.id = 5;
  ASSERT_EQ(this->store_->findClient(ClientKey::kId, match, row, this->errorText_), 0);
  EXPECT_EQ(row.name, "build01");
  EXPECT_EQ(row.velmoraId, 2u);
  EXPECT_EQ(row.qualifier, 3u);
  EXPECT_EQ(row.attribute, 9u);
  EXPECT_EQ(row.osName, "Linux");
  EXPECT_EQ(row.osVersion, "6.1");
  EXPECT_EQ(row.processor, "x86_64");
  EXPECT_EQ(row.versionText, "11.0.0 SP22 HPK5");
  EXPECT_FALSE(row.isNAS);
  EXPECT_TRUE(row.isNonNDMP);

  match = ClientRow();
  match.name = "oradb";
  ASSERT_EQ(this->store_->findClient(ClientKey::kName, match, row, this->errorText_), 0);
  EXPECT_EQ(row.id, 10u);
  EXPECT_TRUE(row.isNAS);

  // Two clients share the host name: the one with the lower id is found.
  match = ClientRow();
  match.hostName = "shared.example.net";
  ASSERT_EQ(this->store_->findClient(ClientKey::kHostName, match, row, this->errorText_), 0);
  EXPECT_EQ(row.id, 5u);

  for (ClientKey key : {ClientKey::kId, ClientKey::kName, ClientKey::kHostName}) {
    ClientRow missing;
    missing.id = 99;
    missing.name = "nobody";
    missing.hostName = "nowhere.example.net";
    EXPECT_EQ(this->store_->findClient(key, missing, row, this->errorText_),
              static_cast<int>(XR_CLIENT_NOT_FOUND));
  }
}

TYPED_TEST(ConfigStoreContract, FindsInstancesBackupSetsAndSubclientsWithTheirParents) {
  InstanceRow instance;
  ASSERT_EQ(this->store_->findInstance(6, instance, this->errorText_), 0);
  EXPECT_EQ(instance.name, "DefaultInstance");
  EXPECT_EQ(instance.flags, -3);
  EXPECT_EQ(instance.clientId, 5u);
  EXPECT_EQ(instance.appTypeId, 7u);
  EXPECT_EQ(instance.velmoraId, 2u);
  EXPECT_EQ(instance.description, "fs");
  EXPECT_EQ(instance.clusterType, 1);
  EXPECT_EQ(instance.cloudAppsType, 2);

  BackupSetRow set;
  ASSERT_EQ(this->store_->findBackupSet(7, set, this->errorText_), 0);
  EXPECT_EQ(set.name, "defaultBackupSet");
  EXPECT_EQ(set.flags, 1);
  EXPECT_EQ(set.instanceId, 6u);
  EXPECT_EQ(set.clientId, 5u);
  EXPECT_EQ(set.appTypeId, 7u);
  EXPECT_EQ(set.description, "all disks");
  EXPECT_EQ(set.subclientCount, 2u);

  SubclientRow subclient;
  ASSERT_EQ(this->store_->findSubclient(8, subclient, this->errorText_), 0);
  EXPECT_EQ(subclient.name, "default");
  EXPECT_EQ(subclient.flags, 16);
  EXPECT_EQ(subclient.backupSetId, 7u);
  EXPECT_EQ(subclient.instanceId, 6u);
  EXPECT_EQ(subclient.clientId, 5u);
  EXPECT_EQ(subclient.description, "everything");

  EXPECT_EQ(this->store_->findInstance(7, instance, this->errorText_),
            static_cast<int>(XR_INSTANCE_NOT_FOUND));
  EXPECT_EQ(this->store_->findBackupSet(8, set, this->errorText_), static_cast<int>(XR_BACKUPSET_NOT_FOUND));
  EXPECT_EQ(this->store_->findSubclient(7, subclient, this->errorText_),
            static_cast<int>(XR_SUBCLIENT_NOT_FOUND));
}

TYPED_TEST(ConfigStoreContract, FindsAnApplicationByEachKeyAndNothingOnAnyMismatch) {
  ApplicationRow full;
  full.appId = 1047;
  full.velmoraId = 2;
  full.clientId = 10;
  full.appTypeId = 22;
  full.instanceId = 11;
  full.backupSetId = 12;
  full.subclientId = 13;
  full.instanceName = "OracleProd";
  full.backupSetName = "archive+logs";
  full.subclientName = "nightly";
  for (ApplicationKey key :
       {ApplicationKey::kNumeric, ApplicationKey::kNames, ApplicationKey::kInstanceAndNames,
        ApplicationKey::kBackupSetAndName, ApplicationKey::kIds}) {
    SCOPED_TRACE(static_cast<int>(key));
    ApplicationRow out;
    ASSERT_EQ(this->store_->findApplication(key, full, out, this->errorText_), 0) << this->errorText_;
    EXPECT_EQ(out.appId, 1047u);
    EXPECT_EQ(out.aux1, 4u);
    EXPECT_EQ(out.aux2, 5u);
    EXPECT_EQ(out.velmoraId, 2u);
    EXPECT_EQ(out.clientId, 10u);
    EXPECT_EQ(out.appTypeId, 22u);
    EXPECT_EQ(out.instanceId, 11u);
    EXPECT_EQ(out.backupSetId, 12u);
    EXPECT_EQ(out.subclientId, 13u);
    EXPECT_EQ(out.instanceName, "OracleProd");
    EXPECT_EQ(out.backupSetName, "archive+logs");
    EXPECT_EQ(out.subclientName, "nightly");
  }
  // Each key fails when one of its own fields is wrong.
  struct Miss {
    ApplicationKey key;
    void (*spoil)(ApplicationRow&);
  };
  const Miss misses[] = {
      {ApplicationKey::kNumeric, [](ApplicationRow& r) { r.velmoraId = 3; }},
      {ApplicationKey::kNumeric, [](ApplicationRow& r) { r.appId = 1048; }},
      {ApplicationKey::kNames, [](ApplicationRow& r) { r.appTypeId = 7; }},
      {ApplicationKey::kNames, [](ApplicationRow& r) { r.backupSetName = "archive logs"; }},
      {ApplicationKey::kInstanceAndNames, [](ApplicationRow& r) { r.instanceId = 6; }},
      {ApplicationKey::kInstanceAndNames, [](ApplicationRow& r) { r.subclientName = "Nightly"; }},
      {ApplicationKey::kBackupSetAndName, [](ApplicationRow& r) { r.backupSetId = 7; }},
      {ApplicationKey::kBackupSetAndName, [](ApplicationRow& r) { r.clientId = 5; }},
      {ApplicationKey::kIds, [](ApplicationRow& r) { r.subclientId = 8; }},
      {ApplicationKey::kIds, [](ApplicationRow& r) { r.velmoraId = 3; }},
  };
  for (const Miss& miss : misses) {
    ApplicationRow match = full, out;
    miss.spoil(match);
    EXPECT_EQ(this->store_->findApplication(miss.key, match, out, this->errorText_),
              static_cast<int>(XR_APPID_NOT_FOUND))
        << static_cast<int>(miss.key);
  }
}

TYPED_TEST(ConfigStoreContract, SetPropertiesReplacesInPlaceAndAppendsNewNames) {
  std::vector<PropertyRow> update = {{"Log Level", 2, "5"}, {"New One", 1, "a+b `c`"}, {"Another", 3, ""}};
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kClient, 5, update, this->errorText_), 0);
  EXPECT_EQ(this->names(this->properties(PropertyOwner::kClient, 5)),
            (std::vector<std::string>{"Client Description=build server", "Log Level=5", "New One=a+b `c`",
                                      "Another="}));
  EXPECT_EQ(this->properties(PropertyOwner::kClient, 5)[3].type, 3u);
  // The same name twice in one call: the last value wins, in the first place.
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kSubclient, 9,
                                        {{"x", 1, "1"}, {"y", 1, "2"}, {"x", 2, "3"}}, this->errorText_),
            0);
  const std::vector<PropertyRow> rows = this->properties(PropertyOwner::kSubclient, 9);
  EXPECT_EQ(this->names(rows), (std::vector<std::string>{"x=3", "y=2"}));
  EXPECT_EQ(rows[0].type, 2u);
}

TYPED_TEST(ConfigStoreContract, RemovePropertiesIgnoresUnknownNamesAndReaddingAppends) {
  ASSERT_EQ(this->store_->removeProperties(PropertyOwner::kClient, 5, {"Client Description", "Not There"},
                                           this->errorText_),
            0);
  EXPECT_EQ(this->names(this->properties(PropertyOwner::kClient, 5)),
            (std::vector<std::string>{"Log Level=2"}));
  ASSERT_EQ(this->store_->setProperties(PropertyOwner::kClient, 5, {{"Client Description", 1, "back"}},
                                        this->errorText_),
            0);
  EXPECT_EQ(this->names(this->properties(PropertyOwner::kClient, 5)),
            (std::vector<std::string>{"Log Level=2", "Client Description=back"}));
  ASSERT_EQ(this->store_->removeProperties(PropertyOwner::kClient, 5, {}, this->errorText_), 0);
  EXPECT_EQ(this->properties(PropertyOwner::kClient, 5).size(), 2u);
}

TYPED_TEST(ConfigStoreContract, PropertyListsAreSeparatePerOwnerKind) {
  // Id 7 is both a backup set and (as a subclient id) nothing; id 6 is an instance.
  EXPECT_EQ(this->names(this->properties(PropertyOwner::kBackupSet, 7)),
            (std::vector<std::string>{"Backup Set Description=all local disks"}));
  EXPECT_EQ(this->names(this->properties(PropertyOwner::kInstance, 6)),
            (std::vector<std::string>{"Scan Type=3"}));
  EXPECT_TRUE(this->properties(PropertyOwner::kSubclient, 7).empty());
  EXPECT_TRUE(this->properties(PropertyOwner::kClient, 99).empty());  // unknown owner: an empty list
}

TYPED_TEST(ConfigStoreContract, PropertyWritesForMissingOwnersFailAndWriteNothing) {
  const std::string before = this->exported();
  struct Case {
    PropertyOwner owner;
    uint64_t id;
    uint32_t code;
  };
  for (const Case& c : {Case{PropertyOwner::kClient, 6, XR_CLIENT_NOT_FOUND},
                        Case{PropertyOwner::kInstance, 5, XR_INSTANCE_NOT_FOUND},
                        Case{PropertyOwner::kBackupSet, 8, XR_BACKUPSET_NOT_FOUND},
                        Case{PropertyOwner::kSubclient, 7, XR_SUBCLIENT_NOT_FOUND}}) {
    EXPECT_EQ(this->store_->setProperties(c.owner, c.id, {{"p", 1, "v"}}, this->errorText_),
              static_cast<int>(c.code));
    EXPECT_EQ(this->store_->removeProperties(c.owner, c.id, {"p"}, this->errorText_),
              static_cast<int>(c.code));
  }
  EXPECT_EQ(this->exported(), before);
}

// A request on the thread (as appmgrd opens around each message) changes
// no result: lookups, refusals and writes answer as they do alone, every
// write is seen by the reads after it, and nested requests count as one.
TYPED_TEST(ConfigStoreContract, InsideARequestResultsAreUnchangedAndWritesAreSeen) {
  ConfigStore& store = *this->store_;
  std::string& errorText = this->errorText_;
  {
    const ConfigStore::RequestScope request(this->store_);
    VelmoraRow row;
    EXPECT_EQ(store.findVelmora(77, "", row, errorText), static_cast<int>(XR_VELMORA_NOT_FOUND));
    ASSERT_EQ(store.findVelmora(2, "", row, errorText), 0) << errorText;
    EXPECT_EQ(row.name, "north");
    EXPECT_EQ(store.setProperties(PropertyOwner::kClient, 6, {{"p", 1, "v"}}, errorText),
              static_cast<int>(XR_CLIENT_NOT_FOUND));
    ASSERT_EQ(store.setProperties(PropertyOwner::kClient, 5, {{"in request", 1, "1"}}, errorText), 0)
        << errorText;
    std::vector<std::string> seen = this->names(this->properties(PropertyOwner::kClient, 5));
    EXPECT_NE(std::find(seen.begin(), seen.end(), "in request=1"), seen.end());
    {
      const ConfigStore::RequestScope nested(this->store_);
      ASSERT_EQ(store.updateSubclientEntries(8, 2, {"/nested"}, {"/proc"}, errorText), 0) << errorText;
      EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/tmp/*.swp", "/nested"}));
    }
    EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/tmp/*.swp", "/nested"}));
    ASSERT_EQ(store.removeProperties(PropertyOwner::kClient, 5, {"in request"}, errorText), 0) << errorText;
    seen = this->names(this->properties(PropertyOwner::kClient, 5));
    EXPECT_EQ(std::find(seen.begin(), seen.end(), "in request=1"), seen.end());
  }
  const ConfigStore::RequestScope none(nullptr);  // a host without a store
  EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/tmp/*.swp", "/nested"}));
}

TYPED_TEST(ConfigStoreContract, ListsInstanceContentInOrder) {
  std::vector<ContentRow> rows;
  ASSERT_EQ(this->store_->listInstanceContent(6, rows, this->errorText_), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].path, "/");
  EXPECT_EQ(rows[0].type, 1u);
  EXPECT_EQ(rows[1].path, "/data/project files");
  EXPECT_EQ(rows[1].type, 4u);
  ASSERT_EQ(this->store_->listInstanceContent(11, rows, this->errorText_), 0);
  EXPECT_TRUE(rows.empty());
}

TYPED_TEST(ConfigStoreContract, ListsSubclientEntriesPerGroup) {
  EXPECT_EQ(this->entries(8, kSubclientContentGroup), (std::vector<std::string>{"/"}));
  EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/proc", "/tmp/*.swp"}));
  EXPECT_EQ(this->entries(8, 4), (std::vector<std::string>{"/var/cache"}));
  EXPECT_TRUE(this->entries(8, 3).empty());
  EXPECT_TRUE(this->entries(13, kSubclientContentGroup).empty());
  std::vector<std::string> out;
  EXPECT_EQ(this->store_->listSubclientEntries(77, 1, out, this->errorText_),
            static_cast<int>(XR_CONTENT_INVALID_SUBCLIENT));
}

TYPED_TEST(ConfigStoreContract, UpdateSubclientEntriesAddsOnceThenRemoves) {
  // "/" is there already; "/opt" comes twice; "/tmp/*.swp" sits in another group.
  ASSERT_EQ(this->store_->updateSubclientEntries(8, kSubclientContentGroup, {"/opt", "/", "/opt", "/srv x"},
                                                 {"/tmp/*.swp"}, this->errorText_),
            0);
  EXPECT_EQ(this->entries(8, kSubclientContentGroup), (std::vector<std::string>{"/", "/opt", "/srv x"}));
  EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/proc", "/tmp/*.swp"}));
  // Removal comes after addition: an entry in both lists ends up absent.
  ASSERT_EQ(
      this->store_->updateSubclientEntries(8, 2, {"/sys"}, {"/proc", "/sys", "/absent"}, this->errorText_),
      0);
  EXPECT_EQ(this->entries(8, 2), (std::vector<std::string>{"/tmp/*.swp"}));
  ASSERT_EQ(this->store_->updateSubclientEntries(8, kLastFilterGroup, {"*.iso"}, {}, this->errorText_), 0);
  EXPECT_EQ(this->entries(8, kLastFilterGroup), (std::vector<std::string>{"*.iso"}));
}

TYPED_TEST(ConfigStoreContract, RefusedEntryUpdatesWriteNothing) {
  const std::string before = this->exported();
  EXPECT_EQ(this->store_->updateSubclientEntries(7, 2, {"/x"}, {}, this->errorText_),
            static_cast<int>(XR_CONTENT_INVALID_SUBCLIENT));
  for (int group : {0, kLastFilterGroup + 1, -2}) {
    EXPECT_EQ(this->store_->updateSubclientEntries(8, group, {"/x"}, {"/proc"}, this->errorText_),
              static_cast<int>(XR_BAD_CONTENT_TYPE))
        << group;
  }
  EXPECT_EQ(this->exported(), before);
}

TYPED_TEST(ConfigStoreContract, ReadsBackTheTreeItWasGivenAndReplacesItWhole) {
  ConfigTree fixture;
  ASSERT_EQ(parseConfigTreeJson(kStoreFixtureJson, fixture, this->errorText_), 0);
  std::string expected;
  ASSERT_EQ(formatConfigTreeJson(fixture, expected, this->errorText_), 0);
  EXPECT_EQ(this->exported(), expected);

  const char smaller[] = R"({"format": "appmgr-config-tree", "version": 1,
      "velmoras": [{"id": 9, "name": "only"}]})";
  ASSERT_EQ(importConfigTreeJson(smaller, *this->tree_, this->errorText_), 0) << this->errorText_;
  VelmoraRow row;
  EXPECT_EQ(this->store_->findVelmora(9, "", row, this->errorText_), 0);
  EXPECT_EQ(this->store_->findVelmora(2, "", row, this->errorText_), static_cast<int>(XR_VELMORA_NOT_FOUND));
  EXPECT_TRUE(this->properties(PropertyOwner::kClient, 5).empty());
  std::string value;
  EXPECT_EQ(this->store_->getGlobalParam("sAuditPath", value, this->errorText_),
            static_cast<int>(XR_INVALID_GLOBAL_PROP));
}

// ---- Adapter lists and lookups ----

std::string joined(const std::vector<ConfigStore::AdapterListRow>& rows) {
  std::string out;
  for (const ConfigStore::AdapterListRow& row : rows) {
    out += (out.empty() ? "" : ",") + std::to_string(row.id) + " " + row.name + (row.flag ? " +" : "");
  }
  return out;
}

std::string joined(const std::vector<ApplicationRow>& rows) {
  std::string out;
  for (const ApplicationRow& row : rows) out += (out.empty() ? "" : ",") + std::to_string(row.appId);
  return out;
}

constexpr ConfigStore::ListOrder kById = ConfigStore::ListOrder::kById;
constexpr ConfigStore::ListOrder kByName = ConfigStore::ListOrder::kByName;

TYPED_TEST(ConfigStoreContract, AdapterListsTakeZeroAsAnyAndKeepTheirOrder) {
  using Rows = std::vector<ConfigStore::AdapterListRow>;
  using List = std::function<int(ConfigStore&, Rows&, std::string&)>;
  const struct {
    const char* title;
    List list;
    const char* expected;
  } cases[] = {
      {"every Velmora by id",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listVelmoras(0, kById, r, e); },
       "2 north,3 east"},
      {"every Velmora by name",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listVelmoras(0, kByName, r, e); },
       "3 east,2 north"},
      {"one Velmora", [](ConfigStore& s, Rows& r, std::string& e) { return s.listVelmoras(2, kById, r, e); },
       "2 north"},
      {"no Velmora", [](ConfigStore& s, Rows& r, std::string& e) { return s.listVelmoras(9, kById, r, e); },
       ""},
      {"clients of a Velmora",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listClients(2, 2, r, e); },
       "5 build01,10 oradb"},
      {"every client", [](ConfigStore& s, Rows& r, std::string& e) { return s.listClients(0, 2, r, e); },
       "5 build01,10 oradb,20 sydney"},
      {"clients with an instance",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listClients(0, 1, r, e); },
       "5 build01,10 oradb"},
      {"media agents anywhere",
       [](ConfigStore& s, Rows& r, std::string& e) {
         return s.listClientsOfType(0, ConfigStore::kClientRoleMediaAgent, kById, r, e);
       },
       "10 oradb,20 sydney"},
      {"data agents of a Velmora by name",
       [](ConfigStore& s, Rows& r, std::string& e) {
         return s.listClientsOfType(2, ConfigStore::kClientRoleDataAgent, kByName, r, e);
       },
       "5 build01,10 oradb"},
      {"data agents of Velmora 3",
       [](ConfigStore& s, Rows& r, std::string& e) {
         return s.listClientsOfType(3, ConfigStore::kClientRoleDataAgent, kById, r, e);
       },
       ""},
      {"every application type",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listApplicationTypes(0, 0, r, e); },
       "7 File System,22 Oracle Database,30 Unused"},
      {"types of a client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listApplicationTypes(10, 1, r, e); },
       "22 Oracle Database"},
      {"types in use",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listApplicationTypes(0, 1, r, e); },
       "7 File System,22 Oracle Database"},
      {"every instance",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listInstances(0, 0, 0, kById, r, e); },
       "6 DefaultInstance,11 OracleProd"},
      {"instances of a client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listInstances(2, 5, 0, kByName, r, e); },
       "6 DefaultInstance"},
      {"instances of a type",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listInstances(0, 0, 22, kById, r, e); },
       "11 OracleProd"},
      {"instances of another Velmora",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listInstances(3, 0, 0, kById, r, e); }, ""},
      {"filters combine",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listInstances(2, 5, 22, kById, r, e); }, ""},
      {"every backup set",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listBackupSets(0, 0, 0, kById, r, e); },
       "7 defaultBackupSet,12 archive+logs +"},
      {"backup sets by name",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listBackupSets(0, 0, 0, kByName, r, e); },
       "12 archive+logs +,7 defaultBackupSet"},
      {"backup sets of a client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listBackupSets(5, 0, 0, kById, r, e); },
       "7 defaultBackupSet"},
      {"backup sets of a type",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listBackupSets(0, 22, 0, kById, r, e); },
       "12 archive+logs +"},
      {"backup sets of an instance of another client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listBackupSets(10, 0, 6, kById, r, e); }, ""},
      {"every subclient",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listSubclients(0, 0, kById, r, e); },
       "8 default,9 home dirs +,13 nightly"},
      {"subclients of a client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listSubclients(5, 0, kByName, r, e); },
       "8 default,9 home dirs +"},
      {"subclients of a backup set",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listSubclients(0, 12, kById, r, e); },
       "13 nightly"},
      {"subclients of a backup set of another client",
       [](ConfigStore& s, Rows& r, std::string& e) { return s.listSubclients(10, 7, kById, r, e); }, ""},
  };
  for (const auto& c : cases) {
    Rows rows = {{99, "stale", true}};
    EXPECT_EQ(c.list(*this->store_, rows, this->errorText_), 0) << c.title;
    EXPECT_EQ(joined(rows), c.expected) << c.title;
  }
}

TYPED_TEST(ConfigStoreContract, ListsApplicationsByTheirChainAndArchiveGroup) {
  using Apps = std::vector<ApplicationRow>;
  const struct {
    uint64_t velmora, client, type, instance, backupSet;
    const char* expected;
  } cases[] = {
      {0, 0, 0, 0, 0, "1045,1046,1047"},
      {2, 5, 0, 0, 0, "1045,1046"},
      {0, 0, 22, 0, 0, "1047"},
      {0, 0, 0, 6, 0, "1045,1046"},
      {0, 0, 0, 0, 12, "1047"},
      {3, 0, 0, 0, 0, ""},
      {0, 10, 0, 6, 0, ""},
  };
  for (const auto& c : cases) {
    for (ConfigStore::ListOrder order : {kById, kByName}) {
      Apps apps;
      EXPECT_EQ(this->store_->listApplications(c.velmora, c.client, c.type, c.instance, c.backupSet, order,
                                               apps, this->errorText_),
                0);
      EXPECT_EQ(joined(apps), c.expected)
          << c.velmora << " " << c.client << " " << c.type << " " << c.instance << " " << c.backupSet;
    }
  }
  Apps apps;
  ASSERT_EQ(this->store_->listApplications(0, 0, 0, 0, 12, kById, apps, this->errorText_), 0);
  ASSERT_EQ(apps.size(), 1u);
  EXPECT_EQ(apps[0].velmoraId, 2u);
  EXPECT_EQ(apps[0].instanceName, "OracleProd");
  EXPECT_EQ(apps[0].subclientId, 13u);
  EXPECT_EQ(apps[0].aux2, 5u);

  const struct {
    uint64_t velmora, group;
    const char* expected;
  } groups[] = {{0, 0, "1045,1047"}, {2, 40, "1045,1047"}, {0, 41, ""}, {3, 0, ""}};
  for (const auto& g : groups) {
    EXPECT_EQ(this->store_->listArchiveGroupApplications(g.velmora, g.group, apps, this->errorText_), 0);
    EXPECT_EQ(joined(apps), g.expected) << g.velmora << " " << g.group;
  }
}

TYPED_TEST(ConfigStoreContract, LooksUpApplicationTypeNamesAndApplicationsBySubclient) {
  std::string name;
  ASSERT_EQ(this->store_->findApplicationTypeName(22, name, this->errorText_), 0);
  EXPECT_EQ(name, "Oracle Database");
  EXPECT_EQ(this->store_->findApplicationTypeName(99, name, this->errorText_),
            static_cast<int>(XR_APPTYPE_NOT_FOUND));
  ApplicationRow app;
  ASSERT_EQ(this->store_->findApplicationBySubclient(13, app, this->errorText_), 0);
  EXPECT_EQ(app.appId, 1047u);
  EXPECT_EQ(app.aux1, 4u);
  EXPECT_EQ(app.backupSetName, "archive+logs");
  EXPECT_EQ(this->store_->findApplicationBySubclient(7, app, this->errorText_),
            static_cast<int>(XR_APPID_NOT_FOUND));
}

}  // namespace
