// The Velmora, application-id and global-parameter database classes over
// the in-memory store: field mapping, access modes and a missing store.
#include <memory>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/MemoryConfigStore.h"
#include "platform/VelmoraInterfaceDB.h"
#include "platform/XRGlobalParam.h"

namespace {

ApplicationRow sampleApplication() {
  ApplicationRow row;
  row.appId = 23;
  row.aux1 = 3;
  row.aux2 = 4;
  row.velmoraId = 2;
  row.clientId = 5;
  row.appTypeId = 29;
  row.instanceId = 6;
  row.backupSetId = 7;
  row.subclientId = 8;
  row.instanceName = "inst";
  row.backupSetName = "bs";
  row.subclientName = "sc";
  return row;
}

class ReferenceDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VelmoraRow velmora;
    velmora.id = 2;
    velmora.name = "north";
    velmora.releaseId = 11;
    velmora.flags = 12;
    velmora.timeZoneId = 13;
    velmora.hostName = "north.example";
    velmora.description = "main";
    velmora.timeZoneName = "UTC";
    velmora.installDir = "/opt/vm";
    velmora.utcOffsetMinutes = -60;
    store_->addVelmora(velmora);
    store_->addApplication(sampleApplication());
    store_->addGlobalParam("nStreams", "4");
    ConfigStore::install(store_);
  }
  void TearDown() override { ConfigStore::install(nullptr); }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
};

}  // namespace

TEST_F(ReferenceDBTest, VelmoraLookupFillsEveryOutputByIdOrByName) {
  for (const auto& [id, name] : {std::pair<unsigned long, std::string>{2, ""}, {0, "north"}}) {
    unsigned long outId = id, v1 = 0, v2 = 0, v3 = 0;
    std::string outName = name, t1, t2, t3, t4, errorText;
    int offset = 0;
    ASSERT_EQ(VelmoraInterfaceDB().lookup(outId, v1, v2, v3, outName, t1, t2, t3, t4, offset, "", errorText,
                                          nullptr),
              0);
    EXPECT_EQ(outId, 2u);
    EXPECT_EQ(outName, "north");
    EXPECT_EQ(std::vector<unsigned long>({v1, v2, v3}), std::vector<unsigned long>({11, 12, 13}));
    EXPECT_EQ(std::vector<std::string>({t1, t2, t3, t4}),
              std::vector<std::string>({"north.example", "main", "UTC", "/opt/vm"}));
    EXPECT_EQ(offset, -60);
  }
}

TEST_F(ReferenceDBTest, EveryAccessModeResolvesFromItsOwnFields) {
  for (int mode : {0, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(mode);
    // Only the fields that the mode names are set.
    AppIdInfo info;
    info.accessMode = mode;
    info.velmoraId = 2;
    if (mode <= 2) {
      info.appId = 23;
    } else {
      info.clientId = 5;
      info.appTypeId = 29;
      // Names down to the mode's level, ids above it.
      if (mode == 3) info.instanceName = "inst";
      if (mode > 3) info.instanceId = 6;
      if (mode <= 4) info.backupSetName = "bs";
      if (mode > 4) info.backupSetId = 7;
      if (mode <= 5) info.subclientName = "sc";
      if (mode > 5) info.subclientId = 8;
    }
    std::string errorText;
    ASSERT_EQ(AppIdInterfaceDB().getApplicationId(info, errorText, nullptr), 0) << errorText;
    EXPECT_EQ(info.accessMode, mode);
    EXPECT_EQ(
        std::vector<unsigned long>({info.appId, info.aux1, info.aux2, info.velmoraId, info.clientId,
                                    info.appTypeId, info.instanceId, info.backupSetId, info.subclientId}),
        std::vector<unsigned long>({23, 3, 4, 2, 5, 29, 6, 7, 8}));
    EXPECT_EQ(info.instanceName + "/" + info.backupSetName + "/" + info.subclientName, "inst/bs/sc");
  }
}

TEST_F(ReferenceDBTest, UnusableAccessModesAreBadArgsWithText) {
  AppIdInfo zeroWithoutAppId;
  zeroWithoutAppId.velmoraId = 2;
  AppIdInfo modeOne = zeroWithoutAppId;
  modeOne.appId = 23;
  modeOne.accessMode = 1;
  AppIdInfo modeSeven = modeOne;
  modeSeven.accessMode = 7;
  for (AppIdInfo info : {zeroWithoutAppId, modeOne, modeSeven}) {
    std::string errorText;
    EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, errorText, nullptr),
              static_cast<int>(XR_APPID_BAD_ARGS));
    EXPECT_FALSE(errorText.empty());
  }
}

TEST_F(ReferenceDBTest, GlobalParamReturnsTheStoreCode) {
  std::string value;
  EXPECT_EQ(XRGlobalParam().get("nStreams", value, nullptr), 0);
  EXPECT_EQ(value, "4");
  EXPECT_EQ(XRGlobalParam().get("nMissing", value, nullptr), static_cast<int>(XR_INVALID_GLOBAL_PROP));
}

TEST_F(ReferenceDBTest, NoStoreIsAnInterfaceFailure) {
  ConfigStore::install(nullptr);
  unsigned long id = 2, v1 = 0, v2 = 0, v3 = 0;
  std::string name, t1, t2, t3, t4, velmoraError, appIdError, value;
  int offset = 0;
  EXPECT_EQ(
      VelmoraInterfaceDB().lookup(id, v1, v2, v3, name, t1, t2, t3, t4, offset, "", velmoraError, nullptr),
      static_cast<int>(XR_GET_INTERFACE_FAILED));
  AppIdInfo info;
  info.accessMode = 2;
  EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, appIdError, nullptr),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_EQ(XRGlobalParam().get("nStreams", value, nullptr), static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_FALSE(velmoraError.empty());
  EXPECT_FALSE(appIdError.empty());
}
