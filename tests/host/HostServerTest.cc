// The host end to end: every request code answered over the network exactly
// as the in-process entry point answers it, the limits (connections, idle
// time, request deadline, frame size), the failures the host reports itself
// and the graceful stop.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/xrsDatabuf.h"

#include "HostFixture.h"
#include "fakes/MockConfigStore.h"
#include "fakes/RecordingSession.h"
#include "host/HostSession.h"
#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

using namespace appmgr;
using namespace std::chrono_literals;
using ::testing::_;
using ::testing::Invoke;

namespace {

// One request of the walk: the record with real pointers, kept as bytes.
struct WalkCase {
  const char* what;
  unsigned long code;
  std::vector<unsigned char> record;
};

template <typename R>
WalkCase walkCase(const char* what, unsigned long code, const R& record) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  return {what, code, std::vector<unsigned char>(bytes, bytes + sizeof record)};
}

const std::string kAppIdText =
    std::to_string(hosttest::kVelmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + "1046";

std::vector<WalkCase> walkCases() {
  std::vector<WalkCase> cases;
  appmanVelmoraByIdReq velmoraById;
  velmoraById.velmoraId = 2;
  velmoraById.context = 0x101;
  cases.push_back(walkCase("Velmora by id", APPMAN_VELMORA_BY_ID_REQ, velmoraById));
  appmanVelmoraByNameReq velmoraByName;
  velmoraByName.velmoraName = "north";
  velmoraByName.context = 0x102;
  cases.push_back(walkCase("Velmora by name", APPMAN_VELMORA_BY_NAME_REQ, velmoraByName));
  appmanGlobalParamReq param;
  param.paramName = "sAuditPath";
  cases.push_back(walkCase("global parameter", APPMAN_GLOBAL_PARAM_REQ, param));
  appmanClientByIdReq clientById;
  clientById.clientId = 5;
  cases.push_back(walkCase("client by id", APPMAN_CLIENT_BY_ID_REQ, clientById));
  appmanClientByNameReq clientByName;
  clientByName.clientName = "nobody";  // not found: an error code and text, no client texts
  cases.push_back(walkCase("client by name", APPMAN_CLIENT_BY_NAME_REQ, clientByName));
  appmanClientByHostnameReq clientByHost;
  clientByHost.hostName = "oradb.example.net";
  cases.push_back(walkCase("client by host name", APPMAN_CLIENT_BY_HOSTNAME_REQ, clientByHost));
  appmanAppIdNumReq numeric;
  numeric.velmoraId = 2;
  numeric.appId = 1047;
  numeric.context = 0x103;
  cases.push_back(walkCase("numeric application id", APPMAN_NUM_APPID_REQ, numeric));
  appmanAppIdSymReq symbolic;
  symbolic.velmoraId = 2;
  symbolic.clientId = 5;
  symbolic.appTypeId = 7;
  symbolic.instanceId = 6;
  symbolic.backupSetId = 7;
  symbolic.subclientId = 9;
  cases.push_back(walkCase("symbolic application id", APPMAN_SYM_APPID_REQ, symbolic));
  appmanClientGetPropsReq clientProps;
  clientProps.clientId = 5;
  clientProps.headerValue = 3;
  cases.push_back(walkCase("client properties", APPMAN_CLIENT_GET_PROPS_REQ, clientProps));
  for (auto [what, code, id] :
       {std::tuple<const char*, unsigned long, uint64_t>{"instance", APPMAN_INSTANCE_BY_ID_REQ, 6},
        {"backup set", APPMAN_BACKUPSET_BY_ID_REQ, 7},
        {"subclient", APPMAN_SUBCLIENT_BY_ID_REQ, 9}}) {
    appmanObjectReq object;
    object.objectId = id;
    object.appIdText = kAppIdText.c_str();
    cases.push_back(walkCase(what, code, object));
  }
  appmanObjectReq files;
  files.objectId = 9;
  files.appIdText = kAppIdText.c_str();
  files.firstList = "1 /srv/new+1files ";
  files.secondList = "1 /home ";
  cases.push_back(walkCase("subclient files", APPMAN_SUBCLIENT_UPDATE_FILES_REQ, files));
  appmanObjectReq filters = files;
  filters.firstList = "1 /tmp ";
  filters.secondList = "0 ";
  cases.push_back(walkCase("subclient filters", APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, filters));
  appmanObjectReq props = files;
  props.firstList = "1 0 Streams 2 4 ";
  props.secondList = nullptr;
  cases.push_back(walkCase("subclient properties", APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, props));
  appmanClientSetPropsReq setByAppId;
  setByAppId.appId = 1045;
  setByAppId.setList = "1 0 Owner 1 ops+1team ";
  setByAppId.removeList = "0 ";
  cases.push_back(
      walkCase("client properties by application id", APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ, setByAppId));
  appmanClientSetPropsReq setProps;
  setProps.clientId = 5;
  setProps.setList = "0 ";
  setProps.removeList = "1 0 Owner 1 ` ";
  cases.push_back(walkCase("client properties set", APPMAN_CLIENT_SET_PROPS_REQ, setProps));
  appmanGeneralMsg query;
  query.data = "69649 2 0";  // velmoraVelmorasQuery
  query.context = 0x104;
  cases.push_back(walkCase("adapter query", APPMAN_DOQUERY_REQ, query));
  appmanGeneralMsg lookup;
  lookup.data = "135169 7";  // ApplicationTypeNameLookup
  lookup.context = 0x105;
  cases.push_back(walkCase("adapter lookup", APPMAN_DOLOOKUP_REQ, lookup));
  appmanAppIdNumReq notServed;
  cases.push_back(walkCase("a response code sent as a request", APPMAN_APPID_RSP, notServed));
  return cases;
}

// `bytes` with the text fields at `fields` cleared, to compare the rest.
std::vector<unsigned char> withoutTexts(std::vector<unsigned char> bytes, const appmanTextFields& fields) {
  for (size_t i = 0; i < fields.count; ++i) {
    if (fields.offsets[i] + 8 <= bytes.size()) std::memset(bytes.data() + fields.offsets[i], 0, 8);
  }
  return bytes;
}

// A store whose Velmora lookups wait, then answer from the sample tree.
// `entered` (when given) counts the lookups that started.
std::shared_ptr<::testing::NiceMock<MockConfigStore>> slowStore(
    std::chrono::milliseconds delay, std::shared_ptr<std::atomic<int>> entered = nullptr) {
  auto store = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  std::shared_ptr<MemoryConfigStore> sample = hosttest::sampleStore();
  ON_CALL(*store, findVelmora(_, _, _, _))
      .WillByDefault(Invoke(
          [sample, delay, entered](uint64_t id, const std::string& name, VelmoraRow& out, std::string& text) {
            if (entered) ++*entered;
            std::this_thread::sleep_for(delay);
            return sample->findVelmora(id, name, out, text);
          }));
  ON_CALL(*store, getGlobalParam(_, _, _))
      .WillByDefault(Invoke([sample](const std::string& name, std::string& value, std::string& text) {
        return sample->getGlobalParam(name, value, text);
      }));
  return store;
}

appmanVelmoraByIdReq velmoraRequest(uint32_t id = 2) {
  appmanVelmoraByIdReq req;
  req.velmoraId = id;
  return req;
}

}  // namespace

// Two identical stores evolve side by side: the in-process call runs on one,
// the network call on the other, so updates compare like for like.
// In both thread modes: the library called on a handler thread, or
// (handler threads 0) on the network thread itself.
TEST_F(HostTest, EveryRequestCodeIsAnsweredAsTheInProcessEntryPointAnswersIt) {
  for (const unsigned handlerThreads : {4u, 0u}) {
    SCOPED_TRACE("handler threads " + std::to_string(handlerThreads));
    auto local = hosttest::sampleStore();
    auto remote = hosttest::sampleStore();
    HostOptions options;
    options.handlerThreads = handlerThreads;
    startHost(options, remote);
    auto client = connect();

    std::set<unsigned long> walked;
    int answered = 0;
    for (const WalkCase& c : walkCases()) {
      SCOPED_TRACE(c.what);
      walked.insert(c.code);
      ASSERT_EQ(c.record.size(),
                appmanRequestRecordLength(c.code) != 0 ? appmanRequestRecordLength(c.code) : c.record.size());
      ConfigStore::install(local);
      RecordingSession session;
      std::vector<uint64_t> aligned((c.record.size() + 7) / 8);
      std::memcpy(aligned.data(), c.record.data(), c.record.size());
      xrsDatabuf buffer;
      buffer.data = aligned.data();
      BCLsnMsgHandler::handleMessage(session, c.code, &buffer);

      ConfigStore::install(remote);
      const AppMgrReply reply = client->call(c.code, c.record.data(), c.record.size());
      EXPECT_NE(reply.correlationId, 0u);
      if (session.sent().empty()) {
        EXPECT_EQ(reply.type, wire::FrameType::kNoResponse);
        EXPECT_EQ(reply.code, c.code);
        continue;
      }
      ++answered;
      const SentResponse& sent = session.only();
      ASSERT_EQ(reply.type, wire::FrameType::kResponse) << reply.errorText;
      EXPECT_EQ(reply.code, sent.responseCode);
      EXPECT_EQ(reply.errorText, sent.errorText);
      const appmanTextFields fields = appmanResponseTextFields(sent.responseCode);
      EXPECT_EQ(withoutTexts(reply.record, fields), withoutTexts(sent.bytes, fields));
      for (size_t i = 0; i < fields.count; ++i) {
        EXPECT_EQ(reply.text(fields.offsets[i]), sent.texts.at(fields.offsets[i]))
            << "field at " << fields.offsets[i];
      }
    }
    // The 19 served codes and one near miss, each walked once; every served
    // code is answered by the library, so the walk compared a response for each.
    EXPECT_EQ(walked.size(), 20u);
    EXPECT_EQ(answered, 19);
  }
}

TEST_F(HostTest, ServesAUnixSocketToo) {
  HostOptions options;
  options.unixSocketPath = ::testing::TempDir() + "appmgrd-test-" + std::to_string(::getpid()) + ".sock";
  startHost(options, hosttest::sampleStore());
  auto client = AppMgrClient::connect("unix:" + options.unixSocketPath);
  const appmanVelmoraByIdReq req = velmoraRequest();
  EXPECT_EQ(client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req).as<appmanVelmoraRsp>().velmoraId, 2u);
  client.reset();
  server_->stop();
  EXPECT_NE(::access(options.unixSocketPath.c_str(), F_OK), 0) << "the socket file is removed on stop";
}

TEST_F(HostTest, RefusesConnectionsBeyondTheLimit) {
  HostOptions options;
  options.maxConnections = 2;
  startHost(options, hosttest::sampleStore());
  auto first = connect();
  auto second = connect();
  hosttest::RawPeer third(server_->port());
  hosttest::RawFrame frame;
  ASSERT_TRUE(third.readFrame(frame));
  EXPECT_EQ(frame.header.type, wire::FrameType::kError);
  EXPECT_EQ(frame.error(), wire::WireError::kTooManyConnections);
  EXPECT_TRUE(third.closedByHost());
  first.reset();
  for (int i = 0; i < 100 && server_->connections() > 1; ++i) std::this_thread::sleep_for(10ms);
  expectServing();
}

TEST_F(HostTest, AnswersADeadlineErrorAndGoesOnWithTheNextRequest) {
  HostOptions options;
  options.requestDeadline = 100ms;
  startHost(options, slowStore(600ms));
  auto client = connect();
  const appmanVelmoraByIdReq req = velmoraRequest();
  const AppMgrReply late = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(late.isError());
  EXPECT_EQ(late.error, wire::WireError::kDeadlineExceeded);
  EXPECT_EQ(late.code, APPMAN_VELMORA_BY_ID_REQ);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);
  // The late answer of the library is dropped, never delivered as a second reply.
  std::this_thread::sleep_for(700ms);
  appmanGlobalParamReq param;
  param.paramName = "sAuditPath";
  const AppMgrReply next = client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
  ASSERT_TRUE(next.isResponse());
  EXPECT_EQ(next.text(offsetof(appmanGlobalParamRsp, paramValue)), "/var/log/velmora audit");
}

TEST_F(HostTest, ReportsFailuresOfTheHostItselfAsErrorFrames) {
  auto throwing = std::make_shared<::testing::NiceMock<MockConfigStore>>();
  ON_CALL(*throwing, findVelmora(_, _, _, _)).WillByDefault(Invoke([](auto, auto&, auto&, auto&) -> int {
    throw std::runtime_error("disk on fire");
  }));
  startHost(HostOptions(), throwing);
  auto client = connect();
  const appmanVelmoraByIdReq req = velmoraRequest();
  AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kHandlerFailed);
  EXPECT_THAT(reply.errorText, ::testing::HasSubstr("disk on fire"));

  ConfigStore::install(nullptr);
  reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kStoreUnavailable);
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);  // health needs no store
}

TEST_F(HostTest, AnswerAboveTheFrameLimitBecomesAnErrorFrame) {
  HostOptions options;
  options.maxFrameSize = 4096;
  auto store = hosttest::sampleStore();
  store->addGlobalParam("sHuge", std::string(5000, 'x'));
  startHost(options, store);
  auto client = connect();
  EXPECT_EQ(client->hostHello().maxFrameSize, 4096u);
  appmanGlobalParamReq param;
  param.paramName = "sHuge";
  const AppMgrReply reply = client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kResponseTooLarge);
  param.paramName = "sAuditPath";
  EXPECT_TRUE(client->call(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param).isResponse());
}

TEST_F(HostTest, ReportsThePeerProtocolVersionOfTheHello) {
  // Passwords are re-encrypted for old peers only; the library learns the
  // version through the session, so a version-0 hello makes it fall back.
  startHost();
  AppMgrClientOptions old;
  old.peerProtocolVersion = 0;
  auto client = AppMgrClient::connect(server_->listenAddress(), old);
  const appmanVelmoraByIdReq req = velmoraRequest();
  EXPECT_TRUE(client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req).isResponse());
  HostSession session(0);
  unsigned int version = 5;
  EXPECT_TRUE(session.getProtocolVersion(version).IsError());
  EXPECT_EQ(version, 5u);
  HostSession known(0x1003);
  EXPECT_FALSE(known.getProtocolVersion(version).IsError());
  EXPECT_EQ(version, 0x1003u);
}

// Requests in flight when the stop comes are answered, or their client sees
// the connection close; nothing hangs and the store is released.
TEST_F(HostTest, GracefulStopFinishesRequestsInFlight) {
  constexpr int kClients = 6;
  constexpr int kPerClient = 4;
  auto entered = std::make_shared<std::atomic<int>>(0);
  auto store = slowStore(150ms, entered);
  std::weak_ptr<ConfigStore> weakStore = store;
  HostOptions options;
  options.handlerThreads = kClients;
  startHost(options, store);
  store.reset();
  std::vector<std::unique_ptr<AppMgrClient>> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(connect());
  for (auto& client : clients) {
    for (int r = 0; r < kPerClient; ++r) {
      const appmanVelmoraByIdReq req = velmoraRequest();
      client->send(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    }
  }
  // Stop while the first request of each client is inside the library.
  for (int i = 0; i < 500 && *entered < kClients; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_GE(*entered, kClients);
  const auto before = std::chrono::steady_clock::now();
  server_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);

  int answered = 0;
  for (auto& client : clients) {
    int mine = 0;
    try {
      for (int r = 0; r < kPerClient; ++r) {
        const AppMgrReply reply = client->receive();
        ASSERT_TRUE(reply.isResponse()) << reply.errorText;
        EXPECT_EQ(reply.as<appmanVelmoraRsp>().velmoraId, 2u);
        ++mine;
      }
    } catch (const AppMgrClientError&) {
      EXPECT_FALSE(client->isOpen());
    }
    EXPECT_GE(mine, 1) << "the request in flight is answered before the close";
    answered += mine;
  }
  EXPECT_GE(answered, kClients);
  EXPECT_EQ(ConfigStore::current(), nullptr);
  EXPECT_TRUE(weakStore.expired()) << "the host released the store";
  EXPECT_THROW(connect(), AppMgrClientError);
}

// The same stop on the SQLite store, with updates in flight: every update
// the host answered is in the file, and the file passes integrity_check.
TEST_F(HostTest, GracefulStopWithUpdatesInFlightLeavesASoundStoreFile) {
  const std::string path = ::testing::TempDir() + "appmgrd-stop-" + std::to_string(::getpid()) + ".db";
  std::remove(path.c_str());
  std::string errorText;
  {
    std::shared_ptr<SqliteConfigStore> sqlite;
    ASSERT_EQ(SqliteConfigStore::open(path, sqlite, errorText), 0) << errorText;
    // The shipped sample tree has the same subclient 9 of application 2:1046.
    ASSERT_EQ(importConfigTreeFile(std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json", *sqlite,
                                   errorText),
              0)
        << errorText;
    startHost(HostOptions(), sqlite);
  }
  constexpr int kClients = 4;
  constexpr int kPerClient = 50;
  std::vector<std::unique_ptr<AppMgrClient>> clients;
  std::vector<std::vector<std::string>> lists(kClients);
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(connect());
    for (int r = 0; r < kPerClient; ++r) {
      lists[c].push_back("1 /stop/c" + std::to_string(c) + "r" + std::to_string(r) + " ");
      appmanObjectReq update;
      update.objectId = 9;
      update.appIdText = kAppIdText.c_str();
      update.firstList = lists[c].back().c_str();
      update.secondList = "0 ";
      clients[c]->send(APPMAN_SUBCLIENT_UPDATE_FILES_REQ, &update, sizeof update);
    }
  }
  std::thread stopper([this] { server_->stop(); });
  std::vector<std::string> answered;
  for (int c = 0; c < kClients; ++c) {
    try {
      for (int r = 0; r < kPerClient; ++r) {
        const AppMgrReply reply = clients[c]->receive();
        if (!reply.isResponse() || reply.as<appmanGeneralMsg>().errorCode != 0) {
          ADD_FAILURE() << "update not applied: " << reply.errorText;
          break;
        }
        answered.push_back("/stop/c" + std::to_string(c) + "r" + std::to_string(r));
      }
    } catch (const AppMgrClientError&) {
      // The stop closed this connection; what was answered before counts.
    }
  }
  stopper.join();
  server_.reset();

  std::shared_ptr<SqliteConfigStore> reopened;
  ASSERT_EQ(SqliteConfigStore::open(path, reopened, errorText), 0) << errorText;
  std::vector<std::string> problems;
  ASSERT_EQ(reopened->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty()) << problems.front();
  std::vector<std::string> content;
  ASSERT_EQ(reopened->listSubclientEntries(9, kSubclientContentGroup, content, errorText), 0) << errorText;
  for (const std::string& entry : answered) {
    EXPECT_NE(std::find(content.begin(), content.end(), entry), content.end()) << entry << " was answered";
  }
  reopened.reset();
  std::remove(path.c_str());
  std::remove((path + "-wal").c_str());
  std::remove((path + "-shm").c_str());
}
