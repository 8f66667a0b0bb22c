// AdaptersInterfaceDB over the in-memory store: what every list's filters,
// order and flags select, the checks of the mode arguments, the lookups,
// and a missing store.
#include <functional>
#include <memory>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/AdaptersInterfaceDB.h"
#include "platform/MemoryConfigStore.h"

namespace {

using IdList = AdaptersInterface::IdList;
using NameList = AdaptersInterface::NameList;
using FlagList = AdaptersInterface::FlagList;

// "id name[ flag]" per entry, joined with "|".
std::string joined(const IdList& ids, const NameList& names, const FlagList* flags = nullptr) {
  std::string out;
  auto name = names.begin();
  auto flag = flags != nullptr ? flags->begin() : FlagList::const_iterator();
  for (unsigned long id : ids) {
    out += (out.empty() ? "" : "|") + std::to_string(id) + " " + *name++;
    if (flags != nullptr) out += *flag++ ? " 1" : " 0";
  }
  return out;
}

std::string joined(const NameList& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : "|") + name;
  return out;
}

template <typename Row>
Row named(uint64_t id, const char* name) {
  Row row;
  row.id = id;
  row.name = name;
  return row;
}

class AdaptersInterfaceDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_->addVelmora(named<VelmoraRow>(2, "north"));
    store_->addVelmora(named<VelmoraRow>(3, "east"));
    for (const auto& [id, velmoraId, name] :
         {std::tuple{5, 2, "build01"}, {10, 2, "oradb"}, {20, 3, "idle"}}) {
      ClientRow client = named<ClientRow>(id, name);
      client.velmoraId = velmoraId;
      store_->addClient(client);
    }
    store_->setClientRoles(5, ConfigStore::kClientRoleDataAgent);
    store_->setClientRoles(10, ConfigStore::kClientRoleDataAgent | ConfigStore::kClientRoleMediaAgent);
    store_->setClientRoles(20, ConfigStore::kClientRoleMediaAgent);
    store_->addApplicationType(7, "File System");
    store_->addApplicationType(22, "Oracle Database");
    store_->addApplicationType(99, "Unused");
    // id, name, flags, then: client, application type (instances); instance,
    // client, application type (backup sets); backup set, client (subclients).
    for (const auto& [id, name, client, appType] :
         {std::tuple{6, "DefaultInstance", 5, 7}, {11, "OracleProd", 10, 22}, {14, "Another", 10, 7}}) {
      InstanceRow row = named<InstanceRow>(id, name);
      row.clientId = client;
      row.appTypeId = appType;
      row.velmoraId = 2;
      store_->addInstance(row);
    }
    for (const auto& [id, name, flags, instance, client, appType] :
         {std::tuple{7, "defaultBackupSet", 8, 6, 5, 7},
          {12, "archive", 7, 11, 10, 22},
          {15, "b set", 16, 14, 10, 7}}) {
      BackupSetRow row = named<BackupSetRow>(id, name);
      row.flags = flags;
      row.instanceId = instance;
      row.clientId = client;
      row.appTypeId = appType;
      store_->addBackupSet(row);
    }
    for (const auto& [id, name, flags] : {std::tuple{8, "default", 8}, {9, "home dirs", 0}}) {
      SubclientRow row = named<SubclientRow>(id, name);
      row.flags = flags;
      row.backupSetId = 7;
      row.instanceId = 6;
      row.clientId = 5;
      store_->addSubclient(row);
    }
    store_->addApplication({1045, 0, 0, 2, 5, 7, 6, 7, 8, "DefaultInstance", "defaultBackupSet", "system"});
    store_->addApplication(
        {1046, 0, 0, 2, 5, 7, 6, 7, 9, "DefaultInstance", "defaultBackupSet", "home dirs"});
    store_->addApplication({1047, 0, 0, 2, 10, 22, 11, 12, 13, "OracleProd", "archive", "nightly"});
    store_->assignArchiveGroup(2, 1045, 3);
    store_->assignArchiveGroup(2, 1047, 3);
    store_->assignArchiveGroup(2, 1046, 4);
    ConfigStore::install(store_);
  }
  void TearDown() override { ConfigStore::install(nullptr); }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
  AdaptersInterfaceDB db_;
  IdList ids_;
  NameList names_;
  FlagList flags_;
  std::string errorText_;
};

}  // namespace

TEST_F(AdaptersInterfaceDBTest, IdNameListsFollowTheirFiltersAndOrder) {
  const struct {
    const char* what;
    std::function<int(AdaptersInterfaceDB&, IdList&, NameList&, std::string&)> call;
    const char* want;
  } cases[] = {
      {"every Velmora",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getVelmoraList(i, n, e, 0, nullptr, false); },
       "2 north|3 east"},
      {"one Velmora",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getVelmoraList(i, n, e, 3, nullptr, false); },
       "3 east"},
      {"Velmoras by name",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getVelmoraList(i, n, e, 0, nullptr, true); },
       "3 east|2 north"},
      {"every client",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getClientList(i, n, e, 0, nullptr, 2); },
       "5 build01|10 oradb|20 idle"},
      {"clients with instances",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getClientList(i, n, e, 0, nullptr, 1); },
       "5 build01|10 oradb"},
      {"clients of Velmora 3",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getClientList(i, n, e, 3, nullptr, 2); },
       "20 idle"},
      {"media agents",
       [](auto& db, auto& i, auto& n, auto& e) {
         return db.getClientListOfType(i, n, e, 0, 2, nullptr, false);
       },
       "10 oradb|20 idle"},
      {"media agents of Velmora 2",
       [](auto& db, auto& i, auto& n, auto& e) {
         return db.getClientListOfType(i, n, e, 2, 2, nullptr, false);
       },
       "10 oradb"},
      {"types on client 10",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getApplicationTypes(i, n, e, 10, nullptr, 1); },
       "7 File System|22 Oracle Database"},
      {"types on client 20",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getApplicationTypes(i, n, e, 20, nullptr, 1); },
       ""},
      {"every type",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getApplicationTypes(i, n, e, 20, nullptr, 0); },
       "7 File System|22 Oracle Database|99 Unused"},
      {"instances of client 10 by name",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getInstanceList(i, n, e, 10, 2, 0, nullptr, 1); },
       "14 Another|11 OracleProd"},
      {"instances of client 10 by id",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getInstanceList(i, n, e, 10, 2, 0, nullptr, 0); },
       "11 OracleProd|14 Another"},
      {"instances of type 7 on any client",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getInstanceList(i, n, e, 2, 7, nullptr, 0); },
       "6 DefaultInstance|14 Another"},
      {"instances of another Velmora",
       [](auto& db, auto& i, auto& n, auto& e) { return db.getInstanceList(i, n, e, 3, 0, nullptr, 0); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ids_.assign({99});  // replaced, not appended to
    names_.assign({"stale"});
    ASSERT_EQ(c.call(db_, ids_, names_, errorText_), 0) << errorText_;
    EXPECT_EQ(joined(ids_, names_), c.want);
  }
}

TEST_F(AdaptersInterfaceDBTest, BackupSetAndSubclientListsCarryFlagBitThree) {
  ASSERT_EQ(db_.getBackupSetList(ids_, names_, flags_, errorText_, 0, 7, 0, nullptr, 0), 0);
  EXPECT_EQ(joined(ids_, names_, &flags_), "7 defaultBackupSet 1|15 b set 0");
  ASSERT_EQ(db_.getBackupSetList(ids_, names_, flags_, errorText_, 10, 0, 0, nullptr, 1), 0);
  EXPECT_EQ(joined(ids_, names_, &flags_), "12 archive 0|15 b set 0");  // flags 7 and 16
  ASSERT_EQ(db_.getBackupSetList(ids_, names_, flags_, errorText_, 10, 22, 11, nullptr, 1), 0);
  EXPECT_EQ(joined(ids_, names_, &flags_), "12 archive 0");
  ASSERT_EQ(db_.getSubclientList(ids_, names_, flags_, errorText_, 5, 7, nullptr, 1), 0);
  EXPECT_EQ(joined(ids_, names_, &flags_), "8 default 1|9 home dirs 0");
  ASSERT_EQ(db_.getSubclientList(ids_, names_, flags_, errorText_, 0, 12, nullptr, 1), 0);
  EXPECT_EQ(joined(ids_, names_, &flags_), "");
}

TEST_F(AdaptersInterfaceDBTest, ApplicationListsAnswerNumericApplicationIds) {
  ASSERT_EQ(db_.getAppIdList(names_, errorText_, 5, 2, 0, 0, 0, nullptr, false), 0);
  EXPECT_EQ(joined(names_), "2:1045|2:1046");
  ASSERT_EQ(db_.getAppIdList(names_, errorText_, 5, 2, 0, 0, 0, nullptr, true), 0);
  EXPECT_EQ(joined(names_), "2:1046|2:1045");  // "home dirs" before "system"
  ASSERT_EQ(db_.getAppIdList(names_, errorText_, 0, 0, 22, 11, 12, nullptr, false), 0);
  EXPECT_EQ(joined(names_), "2:1047");

  bool nonEmpty = false;
  ASSERT_EQ(db_.getApplications(names_, 2, 3, nonEmpty, errorText_, nullptr), 0);
  EXPECT_EQ(joined(names_), "2:1045|2:1047");
  EXPECT_TRUE(nonEmpty);
  ASSERT_EQ(db_.getApplications(names_, 3, 3, nonEmpty, errorText_, nullptr), 0);
  EXPECT_EQ(joined(names_), "");
  EXPECT_FALSE(nonEmpty);
}

TEST_F(AdaptersInterfaceDBTest, LookupsAnswerOrNameWhatIsMissing) {
  std::string text;
  ASSERT_EQ(db_.getApplicationTypeName(22, text, errorText_, nullptr), 0);
  EXPECT_EQ(text, "Oracle Database");
  ASSERT_EQ(db_.getAppIdString(9, text, errorText_, nullptr), 0);
  EXPECT_EQ(text, "2:1046");
  unsigned long clientId = 0, velmoraId = 0;
  ASSERT_EQ(db_.getClientId(11, clientId, velmoraId, errorText_, nullptr), 0);
  EXPECT_EQ(std::to_string(clientId) + " " + std::to_string(velmoraId), "10 2");

  EXPECT_EQ(db_.getApplicationTypeName(8, text, errorText_, nullptr), static_cast<int>(XR_APPTYPE_NOT_FOUND));
  EXPECT_EQ(db_.getAppIdString(77, text, errorText_, nullptr), static_cast<int>(XR_APPID_NOT_FOUND));
  EXPECT_EQ(db_.getClientId(1, clientId, velmoraId, errorText_, nullptr),
            static_cast<int>(XR_INSTANCE_NOT_FOUND));
}

TEST_F(AdaptersInterfaceDBTest, UnknownModesAndMissingStoreFailWithATextAndNoList) {
  const std::function<int(AdaptersInterfaceDB&, IdList&, NameList&, FlagList&, std::string&)> badModes[] = {
      [](auto& db, auto& i, auto& n, auto&, auto& e) { return db.getClientList(i, n, e, 0, nullptr, 0); },
      [](auto& db, auto& i, auto& n, auto&, auto& e) { return db.getClientList(i, n, e, 0, nullptr, 3); },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getClientListOfType(i, n, e, 0, 0, nullptr, 0);
      },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getClientListOfType(i, n, e, 0, 4, nullptr, 0);
      },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getClientListOfType(i, n, e, 0, -1, nullptr, 0);
      },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getApplicationTypes(i, n, e, 0, nullptr, 2);
      },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getInstanceList(i, n, e, 0, 0, 0, nullptr, 2);
      },
      [](auto& db, auto& i, auto& n, auto&, auto& e) {
        return db.getInstanceList(i, n, e, 0, 0, nullptr, -1);
      },
      [](auto& db, auto& i, auto& n, auto& f, auto& e) {
        return db.getBackupSetList(i, n, f, e, 0, 0, 0, nullptr, 2);
      },
      [](auto& db, auto& i, auto& n, auto& f, auto& e) {
        return db.getSubclientList(i, n, f, e, 0, 0, nullptr, 5);
      },
  };
  for (const auto& call : badModes) {
    errorText_.clear();
    EXPECT_EQ(call(db_, ids_, names_, flags_, errorText_), static_cast<int>(XR_BAD_ARGS));
    EXPECT_FALSE(errorText_.empty());
    EXPECT_TRUE(ids_.empty() && names_.empty() && flags_.empty());
  }

  ConfigStore::install(nullptr);
  EXPECT_EQ(db_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, false),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
  std::string text;
  EXPECT_EQ(db_.getAppIdString(9, text, errorText_, nullptr), static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_NE(errorText_.find("no configuration store"), std::string::npos) << errorText_;
}
