// Load: many connections, each pipelining mixed requests; every reply must
// come back on its own connection, in order, under its request's
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
constexpr int kConnections = 32;
constexpr int kRequestsPerConnection = 300;
#else
constexpr int kConnections = 64;
constexpr int kRequestsPerConnection = 1000;
#endif
constexpr int kWindow = 8;  // requests in flight per connection

// Request number i of a connection: what it sends and what it must get back.
struct Mixed {
  unsigned long code;
  std::vector<unsigned char> record;
  std::string expectedText;  // text of the first text field of the response
  size_t textOffset;
};

Mixed mixedRequest(int connection, int i) {
  static const char* const kNames[] = {"build01", "oradb"};
  switch (i % 4) {
    case 0: {
      appmanVelmoraByIdReq req;
      req.velmoraId = 2;
      req.context = (static_cast<uint64_t>(connection) << 32) | static_cast<uint32_t>(i);
      const auto* b = reinterpret_cast<const unsigned char*>(&req);
      return {
          APPMAN_VELMORA_BY_ID_REQ, {b, b + sizeof req}, "north", offsetof(appmanVelmoraRsp, velmoraName)};
    }
    case 1: {
      appmanGlobalParamReq req;
      req.paramName = "sAuditPath";
      const auto* b = reinterpret_cast<const unsigned char*>(&req);
      return {APPMAN_GLOBAL_PARAM_REQ,
              {b, b + sizeof req},
              "/var/log/velmora audit",
              offsetof(appmanGlobalParamRsp, paramValue)};
    }
    case 2: {
      appmanVelmoraByNameReq req;
      req.velmoraName = "north";
      const auto* b = reinterpret_cast<const unsigned char*>(&req);
      return {
          APPMAN_VELMORA_BY_NAME_REQ, {b, b + sizeof req}, "north", offsetof(appmanVelmoraRsp, velmoraName)};
    }
    default: {
      appmanGlobalParamReq req;
      req.paramName = kNames[(connection + i) % 2];  // not a parameter: an error response without text
      const auto* b = reinterpret_cast<const unsigned char*>(&req);
      return {APPMAN_GLOBAL_PARAM_REQ, {b, b + sizeof req}, "", offsetof(appmanGlobalParamRsp, paramValue)};
    }
  }
}

}  // namespace

TEST_F(HostTest, ManyConnectionsWithPipelinedMixedRequestsGetTheirOwnReplies) {
  HostOptions options;
  options.maxConnections = kConnections + 8;
  startHost(options, hosttest::sampleStore());
  std::atomic<int> mismatches{0};
  std::atomic<int> replies{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < kConnections; ++c) {
    threads.emplace_back([&, c] {
      try {
        auto client = connect();
        std::vector<uint64_t> ids(kRequestsPerConnection);
        std::vector<Mixed> sent;
        sent.reserve(kRequestsPerConnection);
        int received = 0;
        for (int i = 0; i < kRequestsPerConnection; ++i) {
          sent.push_back(mixedRequest(c, i));
          // The text fields of the bytes point into strings with static storage.
          ids[i] = client->send(sent[i].code, sent[i].record.data(), sent[i].record.size());
          while (i - received + 1 >= kWindow || (i == kRequestsPerConnection - 1 && received <= i)) {
            const AppMgrReply reply = client->receive();
            const Mixed& want = sent[received];
            const bool ok = reply.isResponse() && reply.correlationId == ids[received] &&
                            reply.text(want.textOffset).value_or("") == want.expectedText &&
                            (want.code != APPMAN_VELMORA_BY_ID_REQ ||
                             reply.as<appmanVelmoraRsp>().context ==
                                 ((static_cast<uint64_t>(c) << 32) | static_cast<uint32_t>(received)));
            if (!ok) ++mismatches;
            ++replies;
            ++received;
          }
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
  EXPECT_GE(server_->requestsAnswered(), static_cast<uint64_t>(kConnections * kRequestsPerConnection));
}
