// The platform's database classes over the in-memory store holding the
// shared fixture tree: the rules of their own that no request can reach
// (access modes, content types, null elements, list modes) and a missing
// store answered as an interface failure. The listener tests check what
// each request hands to the store and answers.
#include <list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/AdaptersInterfaceDB.h"
#include "platform/AppIdInterfaceDB.h"
#include "platform/ClientInterfaceDB.h"
#include "platform/PropertyBuilder.h"
#include "platform/SCInterfaceDB.h"
#include "platform/VelmoraInterfaceDB.h"
#include "platform/XRGlobalParam.h"

#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

class DatabaseClassesTest : public ::testing::Test {
 protected:
  void SetUp() override { installFixture(); }
  void TearDown() override { ConfigStore::install(nullptr); }

  // A fresh store holding the fixture tree, installed as the process store.
  void installFixture() {
    store_ = std::make_shared<MemoryConfigStore>();
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store_, errorText_), 0) << errorText_;
    ConfigStore::install(store_);
  }

  // Group `group` of subclient `id`, and the properties of an owner, as
  // "entry;" and "name=value;" lists.
  std::string entries(uint64_t id, int group) {
    std::vector<std::string> list;
    EXPECT_EQ(store_->listSubclientEntries(id, group, list, errorText_), 0);
    std::string text;
    for (const std::string& entry : list) text += entry + ";";
    return text;
  }
  std::string properties(PropertyOwner owner, uint64_t id) {
    std::vector<PropertyRow> rows;
    EXPECT_EQ(store_->listProperties(owner, id, 0, rows, errorText_), 0);
    std::string text;
    for (const PropertyRow& row : rows) text += row.name + "=" + row.value + ";";
    return text;
  }

  // A call refused for its mode: XR_BAD_ARGS with a text, and no list.
  void refused(int result) {
    EXPECT_EQ(result, static_cast<int>(XR_BAD_ARGS));
    EXPECT_FALSE(errorText_.empty());
    EXPECT_TRUE(ids_.empty() && names_.empty() && flags_.empty());
    errorText_.clear();
  }

  std::shared_ptr<MemoryConfigStore> store_;
  AdaptersInterfaceDB adapters_;
  AdaptersInterface::IdList ids_;
  AdaptersInterface::NameList names_;
  AdaptersInterface::FlagList flags_;
  std::string errorText_;
};

TEST_F(DatabaseClassesTest, EveryAccessModeResolvesFromItsOwnFields) {
  for (int mode : {0, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(mode);
    // Only the fields that the mode names are set: the application id for
    // modes 0 and 2, else names down to the mode's level and ids above it.
    AppIdInfo info;
    info.accessMode = mode;
    info.velmoraId = 2;
    if (mode <= 2) {
      info.appId = 1047;
    } else {
      info.clientId = 10;
      info.appTypeId = 22;
      if (mode == 3) info.instanceName = "OracleProd";
      if (mode > 3) info.instanceId = 11;
      if (mode <= 4) info.backupSetName = "archive+logs";
      if (mode > 4) info.backupSetId = 12;
      if (mode <= 5) info.subclientName = "nightly";
      if (mode > 5) info.subclientId = 13;
    }
    std::string errorText;
    ASSERT_EQ(AppIdInterfaceDB().getApplicationId(info, errorText, nullptr), 0) << errorText;
    EXPECT_EQ(info.accessMode, mode);
    EXPECT_EQ(
        std::vector<unsigned long>({info.appId, info.aux1, info.aux2, info.velmoraId, info.clientId,
                                    info.appTypeId, info.instanceId, info.backupSetId, info.subclientId}),
        std::vector<unsigned long>({1047, 4, 5, 2, 10, 22, 11, 12, 13}));
    EXPECT_EQ(info.instanceName + "/" + info.backupSetName + "/" + info.subclientName,
              "OracleProd/archive+logs/nightly");
  }
  for (int unusable : {1, 7}) {
    AppIdInfo info;
    info.velmoraId = 2;
    info.appId = 1047;
    info.accessMode = unusable;
    std::string errorText;
    EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, errorText, nullptr),
              static_cast<int>(XR_APPID_BAD_ARGS));
    EXPECT_FALSE(errorText.empty());
  }
}

// Client 20 and subclient 9 hold no properties in the fixture.
TEST_F(DatabaseClassesTest, PropertyWritesNeedTheirObjectAndRefuseANullPropertyWhole) {
  PropertyBuilder builder;
  std::list<const ApplProperty*> good = {builder.build("A", 1, "a", 0)};
  std::list<const ApplProperty*> withNull = {builder.build("B", 1, "b", 0), nullptr};
  ClientInterfaceDB clients(2, "");
  SCInterfaceDB subclients;
  std::string errorText;

  EXPECT_EQ(clients.setProperties(20, good, false, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(subclients.setProperties(9, good, true, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(clients.setProperties(99, good, false, errorText, nullptr, nullptr),
            static_cast<int>(XR_CLIENT_NOT_FOUND));
  EXPECT_EQ(subclients.removeProperties(99, good, true, errorText, nullptr, nullptr),
            static_cast<int>(XR_SUBCLIENT_NOT_FOUND));
  EXPECT_EQ(clients.setProperties(20, withNull, false, errorText, nullptr, nullptr),
            static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(subclients.removeProperties(9, withNull, true, errorText, nullptr, nullptr),
            static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(properties(PropertyOwner::kClient, 20), "A=a;");
  EXPECT_EQ(properties(PropertyOwner::kSubclient, 9), "A=a;");

  // A read without a callback to deliver to is refused, not followed.
  EXPECT_EQ(subclients.getProperties(9, 0, errorText, nullptr, nullptr), static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(clients.removeProperties(20, good, false, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(properties(PropertyOwner::kClient, 20), "");
  for (const std::list<const ApplProperty*>* list : {&good, &withNull}) {
    for (const ApplProperty* property : *list) delete property;
  }
}

// Subclient 9's content is "/home" and "/srv/shared profiles"; it has no filters.
TEST_F(DatabaseClassesTest, UpdateContentAppliesAllOrNothing) {
  const char* kContent = "/home;/srv/shared profiles;";
  const struct {
    unsigned long subclientId;
    int type;
    bool isContent;
    std::vector<const char*> add;
    std::vector<const char*> remove;
    uint32_t want;
    std::string content;  // group 1 afterwards
    const char* filters;  // group 2 afterwards
  } cases[] = {
      {9, 1, true, {"/b", "/home", "/b"}, {"/zz"}, 0, std::string(kContent) + "/b;", ""},
      {9, 1, true, {"/c"}, {"/c", "/home", "/srv/shared profiles"}, 0, "", ""},
      {9, 2, false, {"/p"}, {}, 0, kContent, "/p;"},
      {9, 8, false, {"/p"}, {}, 0, kContent, ""},  // the last filter group
      {9, 1, false, {"/p"}, {"/home"}, XR_BAD_CONTENT_TYPE, kContent, ""},
      {9, 2, true, {"/p"}, {"/home"}, XR_BAD_CONTENT_TYPE, kContent, ""},
      {9, 0, false, {"/p"}, {}, XR_BAD_CONTENT_TYPE, kContent, ""},
      {9, 1, true, {"/c", nullptr}, {"/home"}, XR_BAD_ARGS, kContent, ""},
      {99, 1, true, {"/c"}, {"/home"}, XR_CONTENT_INVALID_SUBCLIENT, kContent, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + (c.isContent ? " content" : " filter"));
    installFixture();  // a fresh store for every case
    std::vector<std::string> storage(c.add.size() + c.remove.size());
    SCInterface::EntryList add;
    SCInterface::EntryList remove;
    size_t next = 0;
    for (const char* entry : c.add) add.push_back(entry ? &(storage[next++] = entry) : nullptr);
    for (const char* entry : c.remove) remove.push_back(entry ? &(storage[next++] = entry) : nullptr);
    std::string errorText;
    EXPECT_EQ(SCInterfaceDB().updateContent(c.subclientId, c.type, add, remove, c.isContent, true, true,
                                            errorText, nullptr, nullptr),
              static_cast<int>(c.want));
    EXPECT_EQ(errorText.empty(), c.want == 0) << errorText;
    EXPECT_EQ(entries(9, 1), c.content);
    EXPECT_EQ(entries(9, 2), c.filters);
  }
}

TEST_F(DatabaseClassesTest, UnknownModesAreRefusedWithAText) {
  refused(adapters_.getClientList(ids_, names_, errorText_, 0, nullptr, 3));
  refused(adapters_.getClientListOfType(ids_, names_, errorText_, 0, 0, nullptr, false));
  refused(adapters_.getClientListOfType(ids_, names_, errorText_, 0, 4, nullptr, false));
  refused(adapters_.getApplicationTypes(ids_, names_, errorText_, 0, nullptr, 2));
  refused(adapters_.getInstanceList(ids_, names_, errorText_, 0, 0, nullptr, -1));
  refused(adapters_.getBackupSetList(ids_, names_, flags_, errorText_, 0, 0, 0, nullptr, 2));
  refused(adapters_.getSubclientList(ids_, names_, flags_, errorText_, 0, 0, nullptr, 5));
}

// The listener's Velmora read (numbers and name only, into reused storage)
// answers as the full lookup does, row after row on one thread, and with
// no store installed.
TEST_F(DatabaseClassesTest, VelmoraNumbersAndNameReadAsTheFullLookup) {
  const std::pair<unsigned long, const char*> keys[] = {
      {2, ""}, {0, "east"}, {3, ""}, {99, ""}, {0, "north"}, {0, "nowhere"}, {3, "north"}, {2, nullptr}};
  for (const auto& [key, keyName] : keys) {
    if (keyName == nullptr) ConfigStore::install(nullptr);
    SCOPED_TRACE(std::to_string(key) + (keyName != nullptr ? keyName : " without a store"));
    const std::string start = keyName != nullptr ? keyName : "";
    unsigned long id = key, v1 = 1, v2 = 1, v3 = 1;
    std::string name = start, t1, t2, t3, t4, error;
    int offset = 1;
    const int want =
        VelmoraInterfaceDB().lookup(id, v1, v2, v3, name, t1, t2, t3, t4, offset, "", error, nullptr);
    unsigned long id2 = key, w1 = 1, w2 = 1, w3 = 1;
    std::string name2 = start, error2;
    int offset2 = 1;
    EXPECT_EQ(VelmoraInterfaceDB().lookupNumbersAndName(id2, w1, w2, w3, name2, offset2, error2), want);
    EXPECT_EQ(error2, error);
    if (want == 0) {
      EXPECT_EQ(std::make_tuple(id2, w1, w2, w3, name2, offset2),
                std::make_tuple(id, v1, v2, v3, name, offset));
    }
  }
}

// Every class answers XR_GET_INTERFACE_FAILED with a text when no store is installed.
TEST_F(DatabaseClassesTest, NoStoreIsAnInterfaceFailure) {
  ConfigStore::install(nullptr);
  const int failed = static_cast<int>(XR_GET_INTERFACE_FAILED);
  EXPECT_EQ(adapters_.getVelmoraList(ids_, names_, errorText_, 0, nullptr, false), failed);
  std::string text;
  EXPECT_EQ(adapters_.getAppIdString(9, text, errorText_, nullptr), failed);
  EXPECT_NE(errorText_.find("no configuration store"), std::string::npos) << errorText_;
  unsigned long id = 2, v1 = 0, v2 = 0, v3 = 0;
  std::string name, t1, t2, t3, t4, velmoraError, appIdError, clientError;
  int offset = 0;
  EXPECT_EQ(
      VelmoraInterfaceDB().lookup(id, v1, v2, v3, name, t1, t2, t3, t4, offset, "", velmoraError, nullptr),
      failed);
  AppIdInfo info;
  info.accessMode = 2;
  EXPECT_EQ(AppIdInterfaceDB().getApplicationId(info, appIdError, nullptr), failed);
  EXPECT_EQ(XRGlobalParam().get("nMaxBackupStreams", text, nullptr), failed);
  _AppClientInfo client;
  client.clientId = 5;
  EXPECT_EQ(ClientInterfaceDB(2, "").lookup(client, nullptr, clientError, nullptr), failed);
  EXPECT_FALSE(velmoraError.empty() || appIdError.empty() || clientError.empty());
}

}  // namespace
