// AdaptersInterfaceDB over the in-memory store: what every list's filters,
// order and flags select, the checks of the mode arguments, the lookups,
// and a missing store.
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

  // The entries of the lists that the call giving `result` filled.
  std::string got(int result) {
    EXPECT_EQ(result, 0) << errorText_;
    return joined(ids_, names_, withFlags_ ? &flags_ : nullptr);
  }
  std::string gotNames(int result) {
    EXPECT_EQ(result, 0) << errorText_;
    return joined(names_);
  }
  // A call refused for its mode: XR_BAD_ARGS with a text, and no list.
  void refused(int result) {
    EXPECT_EQ(result, static_cast<int>(XR_BAD_ARGS));
    EXPECT_FALSE(errorText_.empty());
    EXPECT_TRUE(ids_.empty() && names_.empty() && flags_.empty());
    errorText_.clear();
  }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
  AdaptersInterfaceDB db_;
  IdList ids_;
  NameList names_;
  FlagList flags_;
  bool withFlags_ = false;
  std::string errorText_;
};

}  // namespace

// The same lists are reused for every call, so each call must replace them.
TEST_F(AdaptersInterfaceDBTest, IdNameListsFollowTheirFiltersAndOrder) {
  EXPECT_EQ(got(db_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, false)), "2 north|3 east");
  EXPECT_EQ(got(db_.getVelmoraList(ids_, names_, errorText_, 3, nullptr, false)), "3 east");
  EXPECT_EQ(got(db_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, true)), "3 east|2 north");
  EXPECT_EQ(got(db_.getClientList(ids_, names_, errorText_, 0, nullptr, 2)), "5 build01|10 oradb|20 idle");
  EXPECT_EQ(got(db_.getClientList(ids_, names_, errorText_, 0, nullptr, 1)), "5 build01|10 oradb");
  EXPECT_EQ(got(db_.getClientListOfType(ids_, names_, errorText_, 0, 2, nullptr, false)), "10 oradb|20 idle");
  EXPECT_EQ(got(db_.getClientListOfType(ids_, names_, errorText_, 2, 2, nullptr, false)), "10 oradb");
  EXPECT_EQ(got(db_.getApplicationTypes(ids_, names_, errorText_, 10, nullptr, 1)),
            "7 File System|22 Oracle Database");
  EXPECT_EQ(got(db_.getApplicationTypes(ids_, names_, errorText_, 20, nullptr, 1)), "");
  EXPECT_EQ(got(db_.getApplicationTypes(ids_, names_, errorText_, 20, nullptr, 0)),
            "7 File System|22 Oracle Database|99 Unused");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 10, 2, 0, nullptr, 1)),
            "14 Another|11 OracleProd");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 10, 2, 0, nullptr, 0)),
            "11 OracleProd|14 Another");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 2, 7, nullptr, 0)),
            "6 DefaultInstance|14 Another");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 3, 0, nullptr, 0)), "");
}

TEST_F(AdaptersInterfaceDBTest, BackupSetAndSubclientListsCarryFlagBitThree) {
  withFlags_ = true;
  EXPECT_EQ(got(db_.getBackupSetList(ids_, names_, flags_, errorText_, 0, 7, 0, nullptr, 0)),
            "7 defaultBackupSet 1|15 b set 0");
  EXPECT_EQ(got(db_.getBackupSetList(ids_, names_, flags_, errorText_, 10, 0, 0, nullptr, 1)),
            "12 archive 0|15 b set 0");  // flags 7 and 16
  EXPECT_EQ(got(db_.getBackupSetList(ids_, names_, flags_, errorText_, 10, 22, 11, nullptr, 1)),
            "12 archive 0");
  EXPECT_EQ(got(db_.getSubclientList(ids_, names_, flags_, errorText_, 5, 7, nullptr, 1)),
            "8 default 1|9 home dirs 0");
  EXPECT_EQ(got(db_.getSubclientList(ids_, names_, flags_, errorText_, 0, 12, nullptr, 1)), "");
}

TEST_F(AdaptersInterfaceDBTest, ApplicationListsAnswerNumericApplicationIds) {
  EXPECT_EQ(gotNames(db_.getAppIdList(names_, errorText_, 5, 2, 0, 0, 0, nullptr, false)), "2:1045|2:1046");
  EXPECT_EQ(gotNames(db_.getAppIdList(names_, errorText_, 5, 2, 0, 0, 0, nullptr, true)),
            "2:1046|2:1045");  // "home dirs" before "system"
  EXPECT_EQ(gotNames(db_.getAppIdList(names_, errorText_, 0, 0, 22, 11, 12, nullptr, false)), "2:1047");
  bool nonEmpty = false;
  EXPECT_EQ(gotNames(db_.getApplications(names_, 2, 3, nonEmpty, errorText_, nullptr)), "2:1045|2:1047");
  EXPECT_TRUE(nonEmpty);
  EXPECT_EQ(gotNames(db_.getApplications(names_, 3, 3, nonEmpty, errorText_, nullptr)), "");
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

TEST_F(AdaptersInterfaceDBTest, UnknownModesAndMissingStoreFailWithAText) {
  refused(db_.getClientList(ids_, names_, errorText_, 0, nullptr, 3));
  refused(db_.getClientListOfType(ids_, names_, errorText_, 0, 0, nullptr, false));
  refused(db_.getClientListOfType(ids_, names_, errorText_, 0, 4, nullptr, false));
  refused(db_.getApplicationTypes(ids_, names_, errorText_, 0, nullptr, 2));
  refused(db_.getInstanceList(ids_, names_, errorText_, 0, 0, nullptr, -1));
  refused(db_.getBackupSetList(ids_, names_, flags_, errorText_, 0, 0, 0, nullptr, 2));
  refused(db_.getSubclientList(ids_, names_, flags_, errorText_, 0, 0, nullptr, 5));

  ConfigStore::install(nullptr);
  EXPECT_EQ(db_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, false),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
  std::string text;
  EXPECT_EQ(db_.getAppIdString(9, text, errorText_, nullptr), static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_NE(errorText_.find("no configuration store"), std::string::npos) << errorText_;
}
