// Load: many connections, each pipelining mixed requests; every reply must
// come back on its own connection, once, in order, under its request's
// correlation id and with that request's answer.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"

using namespace appmgr;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kConnections = 32, kRequestsPerConnection = 300;
#else
constexpr int kConnections = 64, kRequestsPerConnection = 1000;
#endif
constexpr int kWindow = 8;  // requests in flight per connection

TEST_F(HostTest, ManyConnectionsWithPipelinedMixedRequestsGetTheirOwnReplies) {
  HostOptions options;
  options.maxConnections = kConnections + 8;
  startHost(options);
  std::atomic<int> mismatches{0}, replies{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < kConnections; ++c) {
    threads.emplace_back([&, c] {
      // Request i: a Velmora by id whose context tells (c, i) apart, a
      // parameter, a Velmora by name, a client name that is no parameter
      // (an error response without text).
      const auto context = [c](int i) { return (static_cast<uint64_t>(c) << 32) | static_cast<uint32_t>(i); };
      const char* const names[] = {"build01", "oradb"};
      const auto send = [&](AppMgrClient& client, int i) {
        appmanVelmoraByIdReq byId;
        byId.velmoraId = 2;
        byId.context = context(i);
        appmanGlobalParamReq param;
        param.paramName = i % 4 == 1 ? "sAuditPath" : names[(c + i) % 2];
        appmanVelmoraByNameReq byName;
        byName.velmoraName = "north";
        if (i % 4 == 0) return client.send(APPMAN_VELMORA_BY_ID_REQ, &byId, sizeof byId);
        if (i % 4 == 2) return client.send(APPMAN_VELMORA_BY_NAME_REQ, &byName, sizeof byName);
        return client.send(APPMAN_GLOBAL_PARAM_REQ, &param, sizeof param);
      };
      const auto expected = [&](const AppMgrReply& reply, int i) {
        switch (i % 4) {
          case 0:
            return reply.as<appmanVelmoraRsp>().context == context(i) &&
                   reply.text(offsetof(appmanVelmoraRsp, velmoraName)) == "north";
          case 2:
            return reply.code == APPMAN_VELMORA_BY_NAME_RSP &&
                   reply.text(offsetof(appmanVelmoraRsp, velmoraName)) == "north";
          default:
            return reply.text(offsetof(appmanGlobalParamRsp, paramValue)).value_or("") ==
                   (i % 4 == 1 ? "/var/log/velmora audit" : "");
        }
      };
      try {
        auto client = connect();
        std::vector<uint64_t> ids;
        for (int received = 0; received < kRequestsPerConnection;) {
          if (ids.size() < static_cast<size_t>(kRequestsPerConnection) && ids.size() - received < kWindow) {
            ids.push_back(send(*client, static_cast<int>(ids.size())));
            continue;
          }
          const AppMgrReply reply = client->receive();
          if (!reply.isResponse() || reply.correlationId != ids[received] || !expected(reply, received))
            ++mismatches;
          ++replies;
          ++received;
        }
      } catch (const std::exception& e) {
        ADD_FAILURE() << "connection " << c << ": " << e.what();
        ++mismatches;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(replies.load(), kConnections * kRequestsPerConnection);
  EXPECT_EQ(server_->requestsAnswered(), static_cast<uint64_t>(kConnections * kRequestsPerConnection));
}

}  // namespace
