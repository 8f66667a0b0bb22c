// The Velmora, application-id and global-parameter database classes over
// the in-memory store: field mapping, access modes and a missing store.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/VelmoraInterfaceDB.h"
#include "platform/XRGlobalParam.h"

#include "store/MemoryConfigStore.h"

namespace {

class ReferenceDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_->addVelmora({2, "north", 11, 12, 13, "north.example", "main", "UTC", "/opt/vm", -60});
    store_->addApplication({23, 3, 4, 2, 5, 29, 6, 7, 8, "inst", "bs", "sc"});
    store_->addGlobalParam("nStreams", "4");
    ConfigStore::install(store_);
  }
  void TearDown() override { ConfigStore::install(nullptr); }

  // Looks up Velmora `id` or `name`; the outputs are joined with "|".
  static int lookupVelmora(unsigned long id, std::string name, std::string& outputs, std::string& errorText) {
    unsigned long v1 = 0, v2 = 0, v3 = 0;
    std::string t1, t2, t3, t4;
    int offset = 0;
    const int result =
        VelmoraInterfaceDB().lookup(id, v1, v2, v3, name, t1, t2, t3, t4, offset, "", errorText, nullptr);
    for (const std::string& part : {std::to_string(id), name, std::to_string(v1), std::to_string(v2),
                                    std::to_string(v3), t1, t2, t3, t4, std::to_string(offset)}) {
      outputs += part + "|";
    }
    return result;
  }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
};

TEST_F(ReferenceDBTest, VelmoraLookupFillsEveryOutputByIdOrByName) {
  for (const auto& [id, name] : {std::pair<unsigned long, std::string>{2, ""}, {0, "north"}}) {
    std::string outputs, errorText;
    ASSERT_EQ(lookupVelmora(id, name, outputs, errorText), 0) << errorText;
    EXPECT_EQ(outputs, "2|north|11|12|13|north.example|main|UTC|/opt/vm|-60|");
  }
}

TEST_F(ReferenceDBTest, EveryAccessModeResolvesFromItsOwnFields) {
  for (int mode : {0, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(mode);
    // Only the fields that the mode names are set: the application id for
    // modes 0 and 2, else names down to the mode's level and ids above it.
    AppIdInfo info;
    info.accessMode = mode;
    info.velmoraId = 2;
    if (mode <= 2) {
      info.appId = 23;
    } else {
      info.clientId = 5;
      info.appTypeId = 29;
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
  for (int unusable : {1, 7}) {
    AppIdInfo info;
    info.velmoraId = 2;
    info.appId = 23;
    info.accessMode = unusable;
    std::string errorText;
    EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, errorText, nullptr),
              static_cast<int>(XR_APPID_BAD_ARGS));
    EXPECT_FALSE(errorText.empty());
  }
}

TEST_F(ReferenceDBTest, GlobalParamReturnsTheStoreCodeAndNoStoreIsAnInterfaceFailure) {
  std::string value;
  EXPECT_EQ(XRGlobalParam().get("nStreams", value, nullptr), 0);
  EXPECT_EQ(value, "4");
  EXPECT_EQ(XRGlobalParam().get("nMissing", value, nullptr), static_cast<int>(XR_INVALID_GLOBAL_PROP));

  ConfigStore::install(nullptr);
  std::string outputs, velmoraError, appIdError;
  EXPECT_EQ(lookupVelmora(2, "", outputs, velmoraError), static_cast<int>(XR_GET_INTERFACE_FAILED));
  AppIdInfo info;
  info.accessMode = 2;
  EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, appIdError, nullptr),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_EQ(XRGlobalParam().get("nStreams", value, nullptr), static_cast<int>(XR_GET_INTERFACE_FAILED));
  EXPECT_FALSE(velmoraError.empty());
  EXPECT_FALSE(appIdError.empty());
}

}  // namespace
