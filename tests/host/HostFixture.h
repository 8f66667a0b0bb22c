// Fixture of the host tests: silences the log, runs a host in-process on
// 127.0.0.1 with a free port, and stops it and uninstalls its store after
// the test.
#ifndef TESTS_HOST_HOSTFIXTURE_H_
#define TESTS_HOST_HOSTFIXTURE_H_

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

#include "HostTestSupport.h"
#include "host/AppMgrClient.h"
#include "host/HostServer.h"
#include "store/ConfigStore.h"

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { EvLog::setSink(std::make_shared<hosttest::NullLogSink>()); }
  void TearDown() override {
    if (server_) server_->stop();
    server_.reset();
    ConfigStore::install(nullptr);
    EvLog::setSink(nullptr);
  }

  void startHost(appmgr::HostOptions options = {},
                 std::shared_ptr<ConfigStore> store = hosttest::sampleStore()) {
    server_ = std::make_unique<appmgr::HostServer>(options, std::move(store));
    std::string error;
    ASSERT_TRUE(server_->start(error)) << error;
    ASSERT_NE(server_->port(), 0);
  }
  std::unique_ptr<appmgr::AppMgrClient> connect(const appmgr::AppMgrClientOptions& options = {}) {
    return appmgr::AppMgrClient::connect(server_->listenAddress(), options);
  }
  // Waits up to `timeout` for the host to hold at most `count` connections; their number then.
  size_t awaitConnections(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (server_->connections() > count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return server_->connections();
  }
  // The host still answers a fresh connection.
  void expectServing() { EXPECT_EQ(connect()->health().state, appmgr::wire::HealthRecord::kServing); }

  std::unique_ptr<appmgr::HostServer> server_;
};

#endif  // TESTS_HOST_HOSTFIXTURE_H_
