// Updates over the in-memory store followed by the read that shows them:
// client properties through getProps, and subclient properties, content and
// filters through the subclient lookup.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"

#include "fakes/RecordingSession.h"
#include "fakes/RequestBuilder.h"
#include "store/MemoryConfigStore.h"

namespace {

constexpr size_t kText = offsetof(appmanGeneralMsg, data);

class MemoryStoreRoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClientRow client;
    client.id = 12;
    client.name = "build01";
    store_->addClient(client);
    store_->addApplication({1045, 0, 0, 2, 12, 33, 6, 7, 77, "inst", "bs", "sc"});
    SubclientRow subclient;
    subclient.id = 77;
    subclient.name = "sc";
    store_->addSubclient(subclient);
    std::string errorText;
    store_->setProperties(PropertyOwner::kClient, 12, {{"Keep", 1, "k"}, {"Old", 1, "x"}}, errorText);
    store_->setProperties(PropertyOwner::kSubclient, 77, {{"Old", 1, "x"}}, errorText);
    store_->updateSubclientEntries(77, 1, {"/a"}, {}, errorText);
    store_->updateSubclientEntries(77, 2, {"/proc"}, {}, errorText);
    ConfigStore::install(store_);
    EvLog::setSink(std::make_shared<MemoryLogSink>());
  }
  void TearDown() override {
    ConfigStore::install(nullptr);
    EvLog::setSink(nullptr);
  }

  // Sends one request and returns its result; the answer's text, if any,
  // goes to `text`.
  template <typename Record>
  int send(unsigned long code, const Record& record, std::string* text = nullptr) {
    Request<Record> req(record);
    RecordingSession session;
    const int result = BCLsnMsgHandler::handleMessage(session, code, req.buf());
    if (text != nullptr) *text = session.only().text(kText).value_or("(null)");
    return result;
  }
  static appmanObjectReq subclientRequest(const char* first, const char* second) {
    appmanObjectReq req;
    req.objectId = 77;
    req.appIdText = "2:1045";
    req.firstList = first;
    req.secondList = second;
    return req;
  }

  std::shared_ptr<MemoryConfigStore> store_ = std::make_shared<MemoryConfigStore>();
};

TEST_F(MemoryStoreRoundTripTest, ClientPropertiesReadBackExactlyAsSet) {
  appmanClientSetPropsReq set;
  set.clientId = 12;
  set.setList = "2 0 Keep 1 k2 0 0 Log+1Level 1 2 0";
  set.removeList = "2 0 Old 1 ` 0 0 Never+1Set 1 ` 0";
  ASSERT_EQ(send(APPMAN_CLIENT_SET_PROPS_REQ, set), 0);

  appmanClientGetPropsReq get;
  get.clientId = 12;
  get.headerValue = 5;
  std::string text;
  ASSERT_EQ(send(APPMAN_CLIENT_GET_PROPS_REQ, get, &text), 0);
  EXPECT_EQ(text, "5 12 2 0 Keep 1 k2 0 Log+1Level 1 2 ");

  // An application id that names no client changes nothing.
  set.appId = 1045;
  EXPECT_EQ(send(APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, set), static_cast<int>(XR_CLIENT_NOT_FOUND));
  ASSERT_EQ(send(APPMAN_CLIENT_GET_PROPS_REQ, get, &text), 0);
  EXPECT_EQ(text, "5 12 2 0 Keep 1 k2 0 Log+1Level 1 2 ");
}

TEST_F(MemoryStoreRoundTripTest, SubclientLookupShowsExactlyTheUpdatedState) {
  ASSERT_EQ(send(APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, subclientRequest("1 0 Streams 2 4 0", "1 0 Old 0 ` 0")),
            0);
  // Adding what is there is a no-op; removals follow additions.
  ASSERT_EQ(send(APPMAN_SUBCLIENT_UPDATE_FILES_REQ, subclientRequest("3 /b /a /my+1c", "2 /a /zz")), 0);
  ASSERT_EQ(send(APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ,
                 subclientRequest("2 2 1 /tmp 3 1 /home/*/.cache", "1 /proc 0")),
            0);
  // Group 4 is applied before the unreadable group number ends the request.
  EXPECT_EQ(send(APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, subclientRequest("3 4 1 /x", "")),
            static_cast<int>(XR_STREAM_FAILURE));
  // A refused group changes nothing of its own.
  EXPECT_EQ(send(APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, subclientRequest("1 9 1 /y", "")),
            static_cast<int>(XR_BAD_CONTENT_TYPE));

  std::string text;
  ASSERT_EQ(send(APPMAN_SUBCLIENT_BY_ID_REQ, subclientRequest(nullptr, nullptr), &text), 0);
  EXPECT_EQ(text,
            "sc false 1 0 Streams 2 4 2 /b /my+1c 7 2 1 /tmp 3 1 /home/*/.cache 4 1 /x 5 0 6 0 7 0 8 0 ");
}

}  // namespace
