// Requests per second of appmgrd for Velmora-by-id lookups: an in-process
// host on 127.0.0.1 with the sample tree, and N client connections each
// calling one request at a time for a fixed time.
//
// Usage: host_throughput [seconds-per-run] [connections...]   (default: 5 1 50)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"

#include "HostTestSupport.h"
#include "host/AppMgrClient.h"
#include "host/HostServer.h"

namespace {

double measure(const std::string& address, int connections, std::chrono::seconds duration) {
  std::atomic<bool> go{false};
  std::atomic<bool> done{false};
  std::atomic<uint64_t> calls{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int c = 0; c < connections; ++c) {
    threads.emplace_back([&] {
      try {
        auto client = appmgr::AppMgrClient::connect(address);
        appmanVelmoraByIdReq req;
        req.velmoraId = static_cast<uint32_t>(hosttest::kVelmoraId);
        while (!go) std::this_thread::yield();
        uint64_t mine = 0;
        while (!done) {
          const appmgr::AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
          if (!reply.isResponse() || reply.as<appmanVelmoraRsp>().velmoraId != req.velmoraId) ++failures;
          ++mine;
        }
        calls += mine;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "connection failed: %s\n", e.what());
        ++failures;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let every client connect
  const auto start = std::chrono::steady_clock::now();
  go = true;
  std::this_thread::sleep_for(duration);
  done = true;
  for (auto& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failures > 0) std::fprintf(stderr, "%d failed requests or connections\n", failures.load());
  return static_cast<double>(calls) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  std::vector<int> runs;
  for (int i = 2; i < argc; ++i) runs.push_back(std::atoi(argv[i]));
  if (runs.empty()) runs = {1, 50};

  EvLog::setSink(std::make_shared<hosttest::NullLogSink>());
  appmgr::HostOptions options;
  appmgr::HostServer server(options, hosttest::sampleStore());
  std::string error;
  if (!server.start(error)) {
    std::fprintf(stderr, "host_throughput: %s\n", error.c_str());
    return 1;
  }
  std::printf("host: %u network threads, %u handler threads, %u cores\n", options.networkThreads,
              options.handlerThreads, std::thread::hardware_concurrency());
  for (int connections : runs) {
    const double rate = measure(server.listenAddress(), connections, std::chrono::seconds(seconds));
    std::printf("Velmora by id, %d connection%s: %.0f requests/s\n", connections, connections == 1 ? "" : "s",
                rate);
    std::fflush(stdout);
  }
  server.stop();
  return 0;
}
