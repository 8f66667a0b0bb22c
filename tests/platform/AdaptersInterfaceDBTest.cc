// AdaptersInterfaceDB over the in-memory store holding the shared fixture
// tree. The store's own filtering and ordering have their contract suite;
// here each call must hand its arguments to the right store parameters,
// map its order and mode arguments, replace the caller's lists, and refuse
// unknown modes or a missing store.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/AdaptersInterfaceDB.h"

#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

using IdList = AdaptersInterface::IdList;
using NameList = AdaptersInterface::NameList;
using FlagList = AdaptersInterface::FlagList;

class AdaptersInterfaceDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = std::make_shared<MemoryConfigStore>();
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText_), 0) << errorText_;
    ConfigStore::install(store);
  }
  void TearDown() override { ConfigStore::install(nullptr); }

  // The entries of the lists that the call giving `result` filled, as
  // "id name[ flag]" joined with "|" (names alone when there are no ids).
  std::string got(int result, bool withFlags = false) {
    EXPECT_EQ(result, 0) << errorText_;
    std::string out;
    auto id = ids_.begin();
    auto flag = flags_.begin();
    for (const std::string& name : names_) {
      out += (out.empty() ? "" : "|") + (ids_.empty() ? "" : std::to_string(*id++) + " ") + name;
      if (withFlags) out += *flag++ ? " 1" : " 0";
    }
    ids_.clear();
    return out;
  }
  // A call refused for its mode: XR_BAD_ARGS with a text, and no list.
  void refused(int result) {
    EXPECT_EQ(result, static_cast<int>(XR_BAD_ARGS));
    EXPECT_FALSE(errorText_.empty());
    EXPECT_TRUE(ids_.empty() && names_.empty() && flags_.empty());
    errorText_.clear();
  }

  AdaptersInterfaceDB db_;
  IdList ids_;
  NameList names_;
  FlagList flags_;
  std::string errorText_;
};

}  // namespace

// Each filter is given a value that selects something only in its own
// place, so an argument passed in another place empties the list. The same
// lists are reused for every call, so each call must replace them.
TEST_F(AdaptersInterfaceDBTest, ArgumentsReachTheirStoreParametersAndOrderIsMapped) {
  EXPECT_EQ(got(db_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, true)), "3 east|2 north");
  EXPECT_EQ(got(db_.getVelmoraList(ids_, names_, errorText_, 2, nullptr, false)), "2 north");
  EXPECT_EQ(got(db_.getClientList(ids_, names_, errorText_, 3, nullptr, 2)), "20 sydney");
  EXPECT_EQ(got(db_.getClientList(ids_, names_, errorText_, 0, nullptr, 1)), "5 build01|10 oradb");
  EXPECT_EQ(got(db_.getClientListOfType(ids_, names_, errorText_, 2, 2, nullptr, false)), "10 oradb");
  EXPECT_EQ(got(db_.getApplicationTypes(ids_, names_, errorText_, 10, nullptr, 1)), "22 Oracle Database");
  EXPECT_EQ(got(db_.getApplicationTypes(ids_, names_, errorText_, 10, nullptr, 0)),
            "7 File System|22 Oracle Database|30 Unused");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 5, 2, 7, nullptr, 0)), "6 DefaultInstance");
  EXPECT_EQ(got(db_.getInstanceList(ids_, names_, errorText_, 2, 22, nullptr, 0)), "11 OracleProd");
  // Backup sets and subclients carry flag bit three (flags 1, 8, 16, 8 here).
  EXPECT_EQ(got(db_.getBackupSetList(ids_, names_, flags_, errorText_, 5, 7, 6, nullptr, 0), true),
            "7 defaultBackupSet 0");
  EXPECT_EQ(got(db_.getBackupSetList(ids_, names_, flags_, errorText_, 0, 0, 0, nullptr, 1), true),
            "12 archive+logs 1|7 defaultBackupSet 0");
  EXPECT_EQ(got(db_.getSubclientList(ids_, names_, flags_, errorText_, 5, 7, nullptr, 1), true),
            "8 default 0|9 home dirs 1");
  EXPECT_EQ(got(db_.getAppIdList(names_, errorText_, 5, 2, 0, 0, 0, nullptr, false)), "2:1045|2:1046");
  EXPECT_EQ(got(db_.getAppIdList(names_, errorText_, 0, 0, 22, 11, 12, nullptr, false)), "2:1047");
  bool nonEmpty = false;
  EXPECT_EQ(got(db_.getApplications(names_, 2, 40, nonEmpty, errorText_, nullptr)), "2:1045|2:1047");
  EXPECT_TRUE(nonEmpty);
  EXPECT_EQ(got(db_.getApplications(names_, 3, 40, nonEmpty, errorText_, nullptr)), "");
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
