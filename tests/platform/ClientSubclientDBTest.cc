// The client and subclient database classes over the in-memory store: the
// client lookup by each key, property writes that need their object and
// refuse null elements, updateContent's rules, each refused call leaving
// the store as it was, and reads of several groups into one BackupContent.
#include <algorithm>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "platform/ClientInterfaceDB.h"
#include "platform/PropertyBuilder.h"
#include "platform/SCInterfaceDB.h"
#include "platform/SubclientConf.h"

#include "store/MemoryConfigStore.h"

namespace {

constexpr unsigned long kSubclientId = 77;

class ClientSubclientDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClientRow client;
    client.id = 12;
    client.name = "build 01";
    client.hostName = "b.example";
    client.qualifier = 9;
    client.attribute = 3;
    client.osName = "Linux";
    client.osVersion = "6.1";
    client.processor = "x86_64";
    client.versionText = "11.0";
    store_->addClient(client);
    SubclientRow subclient;
    subclient.id = kSubclientId;
    store_->addSubclient(subclient);
    std::string errorText;
    store_->updateSubclientEntries(kSubclientId, 1, {"/a"}, {}, errorText);
    ConfigStore::install(store_);
  }
  void TearDown() override { ConfigStore::install(nullptr); }

  std::string entries(int group) {
    std::vector<std::string> list;
    std::string errorText;
    EXPECT_EQ(store_->listSubclientEntries(kSubclientId, group, list, errorText), 0);
    std::string text;
    for (const std::string& entry : list) text += entry + ";";
    return text;
  }
  std::string properties(PropertyOwner owner, uint64_t id) {
    std::vector<PropertyRow> rows;
    std::string errorText;
    EXPECT_EQ(store_->listProperties(owner, id, 0, rows, errorText), 0);
    std::string text;
    for (const PropertyRow& row : rows) text += row.name + "=" + row.value + ";";
    return text;
  }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
};

TEST_F(ClientSubclientDBTest, ClientLookupFindsByEachKeyAndFillsThePlatformTypes) {
  for (int key = 0; key < 3; ++key) {
    SCOPED_TRACE(key);
    _AppClientInfo info;
    info.clientId = key == 0 ? 12 : 0;
    info.clientName = key == 1 ? "build 01" : "";
    info.hostName = key == 2 ? "b.example" : "";
    ClientPlatformInfo platform[3];
    const uint64_t types[] = {1, 4, 3};
    for (int i = 0; i < 3; ++i) platform[i].type = types[i];
    std::string errorText;
    ASSERT_EQ(ClientInterfaceDB(2, "").lookup(info, platform, errorText, nullptr), 0) << errorText;
    EXPECT_EQ(info.clientId, 12u);
    EXPECT_EQ(info.qualifier, 9u);
    EXPECT_EQ(info.clientAttribute, 3u);
    EXPECT_EQ(info.clientName + "|" + info.hostName + "|" + info.versionText, "build 01|b.example|11.0");
    EXPECT_EQ(platform[0].value + "|" + platform[1].value + "|" + platform[2].value, "Linux|x86_64|");
  }
  _AppClientInfo missing;
  missing.clientName = "nobody";
  _AppClientInfo nothing;
  std::string errorText;
  EXPECT_EQ(ClientInterfaceDB(2, "").lookup(missing, nullptr, errorText, nullptr),
            static_cast<int>(XR_CLIENT_NOT_FOUND));
  EXPECT_EQ(ClientInterfaceDB(2, "").lookup(nothing, nullptr, errorText, nullptr),
            static_cast<int>(XR_CLIENT_NOT_FOUND));
  _AppClientInfo byId;
  byId.clientId = 12;
  ConfigStore::install(nullptr);
  EXPECT_EQ(ClientInterfaceDB(2, "").lookup(byId, nullptr, errorText, nullptr),
            static_cast<int>(XR_GET_INTERFACE_FAILED));
}

TEST_F(ClientSubclientDBTest, PropertyWritesNeedTheirObjectAndRefuseANullPropertyWhole) {
  PropertyBuilder builder;
  std::list<const ApplProperty*> good = {builder.build("A", 1, "a", 0)};
  std::list<const ApplProperty*> withNull = {builder.build("B", 1, "b", 0), nullptr};
  ClientInterfaceDB clients(2, "");
  SCInterfaceDB subclients;
  std::string errorText;

  EXPECT_EQ(clients.setProperties(12, good, false, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(subclients.setProperties(kSubclientId, good, true, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(clients.setProperties(99, good, false, errorText, nullptr, nullptr),
            static_cast<int>(XR_CLIENT_NOT_FOUND));
  EXPECT_EQ(subclients.removeProperties(99, good, true, errorText, nullptr, nullptr),
            static_cast<int>(XR_SUBCLIENT_NOT_FOUND));
  EXPECT_EQ(clients.setProperties(12, withNull, false, errorText, nullptr, nullptr),
            static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(subclients.removeProperties(kSubclientId, withNull, true, errorText, nullptr, nullptr),
            static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(properties(PropertyOwner::kClient, 12), "A=a;");
  EXPECT_EQ(properties(PropertyOwner::kClient, 99), "");
  EXPECT_EQ(properties(PropertyOwner::kSubclient, kSubclientId), "A=a;");

  // A read without a callback to deliver to is refused, not followed.
  EXPECT_EQ(subclients.getProperties(kSubclientId, 0, errorText, nullptr, nullptr),
            static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(clients.removeProperties(12, good, false, errorText, nullptr, nullptr), 0);
  EXPECT_EQ(properties(PropertyOwner::kClient, 12), "");
  for (const std::list<const ApplProperty*>* list : {&good, &withNull}) {
    for (const ApplProperty* property : *list) delete property;
  }
}

TEST_F(ClientSubclientDBTest, UpdateContentAppliesAllOrNothing) {
  const struct {
    unsigned long subclientId;
    int type;
    bool isContent;
    std::vector<const char*> add;
    std::vector<const char*> remove;
    uint32_t want;
    const char* content;  // group 1 afterwards
    const char* filters;  // group 2 afterwards
  } cases[] = {
      {kSubclientId, 1, true, {"/b", "/a", "/b"}, {"/zz"}, 0, "/a;/b;", ""},
      {kSubclientId, 1, true, {"/c"}, {"/c", "/a"}, 0, "", ""},
      {kSubclientId, 2, false, {"/p"}, {}, 0, "/a;", "/p;"},
      {kSubclientId, 8, false, {"/p"}, {}, 0, "/a;", ""},  // the last filter group
      {kSubclientId, 1, false, {"/p"}, {"/a"}, XR_BAD_CONTENT_TYPE, "/a;", ""},
      {kSubclientId, 2, true, {"/p"}, {"/a"}, XR_BAD_CONTENT_TYPE, "/a;", ""},
      {kSubclientId, 9, false, {"/p"}, {}, XR_BAD_CONTENT_TYPE, "/a;", ""},
      {kSubclientId, 0, false, {"/p"}, {}, XR_BAD_CONTENT_TYPE, "/a;", ""},
      {kSubclientId, 1, true, {"/c", nullptr}, {"/a"}, XR_BAD_ARGS, "/a;", ""},
      {kSubclientId, 1, true, {"/c"}, {nullptr}, XR_BAD_ARGS, "/a;", ""},
      {99, 1, true, {"/c"}, {"/a"}, XR_CONTENT_INVALID_SUBCLIENT, "/a;", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + (c.isContent ? " content" : " filter"));
    store_ = std::make_shared<MemoryConfigStore>();  // a fresh store for every case
    SetUp();
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
    EXPECT_EQ(entries(1), c.content);
    EXPECT_EQ(entries(2), c.filters);
  }
}

// One BackupContent serves reads of groups of different sizes in a row (it
// reuses its entries); each read leaves exactly that group's entries, and a
// failed read leaves it empty.
TEST_F(ClientSubclientDBTest, SuccessiveGroupReadsReplaceTheEntries) {
  std::string errorText;
  const std::string longEntry(40, 'x');  // not a short string
  store_->updateSubclientEntries(kSubclientId, 1, {"/b", longEntry}, {}, errorText);
  store_->updateSubclientEntries(kSubclientId, 2, {"*.tmp"}, {}, errorText);
  store_->updateSubclientEntries(kSubclientId, 4, {"/c", "/d", "/e", "/f"}, {}, errorText);
  const auto text = [](const BackupContent& content) {
    std::string t;
    for (const std::string* entry : content) t += *entry + ";";
    return t;
  };
  SubclientConf conf(kSubclientId);
  BackupContent content;
  ASSERT_EQ(conf.getFiles(content, nullptr, false), 0);
  EXPECT_EQ(text(content), "/a;/b;" + longEntry + ";");
  const std::pair<unsigned int, std::string> reads[] = {
      {2, "*.tmp;"}, {3, ""}, {4, "/c;/d;/e;/f;"}, {2, "*.tmp;"}, {4, "/c;/d;/e;/f;"}};
  for (const auto& [type, want] : reads) {
    ASSERT_EQ(conf.getFilters(type, content, nullptr, true, true, false), 0);
    EXPECT_EQ(text(content), want) << type;
    EXPECT_EQ(content.size(), static_cast<size_t>(std::count(want.begin(), want.end(), ';')));
  }
  EXPECT_EQ(conf.getFilters(9, content, nullptr, true, true, false), static_cast<int>(XR_BAD_CONTENT_TYPE));
  EXPECT_EQ(content.size(), 0u);
  ASSERT_EQ(conf.getFilters(4, content, nullptr, true, true, false), 0);
  SubclientConf missing(kSubclientId + 1);
  EXPECT_EQ(missing.getFiles(content, nullptr, false), static_cast<int>(XR_CONTENT_INVALID_SUBCLIENT));
  EXPECT_EQ(content.size(), 0u);
}

}  // namespace
