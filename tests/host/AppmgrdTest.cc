// appmgrd as a child process: its exit codes and messages for a bad command
// line or a store it cannot open, and a whole run: readiness line, requests,
// SIGHUP reopening the log file, SIGTERM stopping it with exit 0 and a sound
// store file. With a PostgreSQL server (APPMGR_TEST_PG), two appmgrd on one
// catalog: an update through one is read through the other at once, and
// sixteen connections over both updating one subclient lose nothing; two
// hosts on a server of their own that is restarted under load. SIGKILL
// under load loses no acknowledged update of an SQLite store.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/PgTestDatabase.h"
#include "fakes/StoreFixtures.h"
#include "fakes/TempDir.h"
#include "host/AppMgrClient.h"
#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

#ifndef APPMGRD_PATH
#error "APPMGRD_PATH names the appmgrd binary under test"
#endif

namespace {

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// A running appmgrd whose stdout (and, when asked, stderr) is a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

Child startAppmgrd(const std::vector<std::string>& args, bool captureErr = false) {
  int out[2];
  int err[2] = {-1, -1};
  if (::pipe(out) != 0 || (captureErr && ::pipe(err) != 0)) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    if (captureErr) ::dup2(err[1], 2);
    std::vector<char*> argv = {const_cast<char*>(APPMGRD_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(APPMGRD_PATH, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  if (captureErr) ::close(err[1]);
  return {pid, out[0], err[0]};
}

// One line of the child's stdout, waiting at most 20 s.
std::string readLine(int fd) {
  std::string line;
  char c = 0;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20000) <= 0 || ::read(fd, &c, 1) != 1 || c == '\n') return line;
    line.push_back(c);
  }
}

int waitExit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

off_t fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Runs appmgrd with `args` to its end.
Outcome runAppmgrd(const std::vector<std::string>& args) {
  const Child child = startAppmgrd(args, true);
  Outcome outcome;
  if (child.pid <= 0) return outcome;
  outcome.out = readAll(child.out);
  outcome.err = readAll(child.err);
  ::close(child.out);
  ::close(child.err);
  outcome.exitCode = waitExit(child.pid);
  return outcome;
}

}  // namespace

TEST(Appmgrd, RefusesABadCommandLineOrAStoreItCannotOpen) {
  const std::string scratch = ::testing::TempDir() + "appmgrd-refused-" + std::to_string(::getpid()) + ".db";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {"listen address without port", {"--listen", "127.0.0.1", "--store", "x.db"}, 2, "HOST:PORT"},
      {"both store kinds", {"--store", "a.db", "--store-json", "b.json"}, 2, "excludes"},
      {"no store at all", {"--registry", "/nonexistent/registry.ini"}, 3, "no store given"},
      {"missing JSON store", {"--store-json", "/nonexistent/tree.json"}, 3, "/nonexistent/tree.json"},
      {"unreachable PostgreSQL store",
       {"--store", "host=/nonexistent/pg dbname=catalog"},
       3,
       "cannot open the PostgreSQL store: cannot connect to PostgreSQL"},
      {"PostgreSQL pool of no connections",
       {"--store", "dbname=catalog", "--store-pool", "0"},
       2,
       "store-pool"},
      {"all addresses without TLS",
       {"--listen", "0.0.0.0:0", "--store", scratch},
       4,
       "--tls-cert FILE --tls-key"},
      {"TLS key without certificate", {"--tls-key", "host.key", "--store", scratch}, 4, "--tls-cert"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = runAppmgrd(c.args);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find("listening on"), std::string::npos);
  }
  for (const std::string& f : {scratch, scratch + "-wal", scratch + "-shm"}) std::remove(f.c_str());
}

TEST(Appmgrd, ServesUntilSigtermAndReopensItsLogOnSighup) {
  const std::string base = ::testing::TempDir() + "appmgrd-run-" + std::to_string(::getpid());
  const std::string db = base + ".db";
  const std::string log = base + ".log";
  for (const std::string& f : {db, db + "-wal", db + "-shm", log, log + ".1"}) std::remove(f.c_str());

  const Child child =
      startAppmgrd({"--store", db, "--log", log, "--listen", "127.0.0.1:0", "--threads", "2"});
  ASSERT_GT(child.pid, 0);
  const std::string ready = readLine(child.out);
  const std::string prefix = "listening on 127.0.0.1:";
  ASSERT_EQ(ready.compare(0, prefix.size(), prefix), 0) << "readiness line: " << ready;
  {
    auto client = appmgr::AppMgrClient::connect(ready.substr(std::string("listening on ").size()));
    EXPECT_EQ(client->health().state, appmgr::wire::HealthRecord::kServing);
    appmanVelmoraByIdReq req;
    req.velmoraId = 2;  // the new store is empty: a not-found response
    const appmgr::AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
    EXPECT_NE(reply.as<appmanVelmoraRsp>().errorCode, 0u);

    // Log rotation: move the file away, SIGHUP, and the next lines go to a new file.
    ASSERT_EQ(std::rename(log.c_str(), (log + ".1").c_str()), 0);
    ASSERT_EQ(::kill(child.pid, SIGHUP), 0);
    for (int i = 0; i < 200 && fileSize(log) < 0; ++i) ::usleep(10000);
    client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    EXPECT_GE(fileSize(log), 0) << "SIGHUP opened a new log file";
  }
  ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
  EXPECT_EQ(waitExit(child.pid), 0);
  ::close(child.out);

  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
  std::vector<std::string> problems;
  ASSERT_EQ(store->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty());
  store.reset();
  for (const std::string& f : {db, db + "-wal", db + "-shm", log, log + ".1"}) std::remove(f.c_str());
}

// ---- Two hosts on one PostgreSQL catalog ----

namespace {

// An appmgrd serving a PostgreSQL store; stopped with SIGTERM at the end.
struct PostgresHost {
  Child child;
  std::string address;

  explicit PostgresHost(const std::string& conninfo) {
    child = startAppmgrd(
        {"--store", conninfo, "--listen", "127.0.0.1:0", "--handler-threads", "8", "--store-pool", "8"});
    const std::string ready = readLine(child.out);
    const std::string prefix = "listening on ";
    if (ready.compare(0, prefix.size(), prefix) == 0) address = ready.substr(prefix.size());
  }
  ~PostgresHost() {
    if (child.pid > 0) {
      ::kill(child.pid, SIGTERM);
      waitExit(child.pid);
      ::close(child.out);
    }
  }
};

// The subclient lookup's stream, or the failure.
std::string lookupSubclient(appmgr::AppMgrClient& client) {
  const appmanObjectReq req = subclientRequest();
  const appmgr::AppMgrReply reply = client.call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  if (!reply.isResponse()) return "error frame: " + reply.errorText;
  const auto rsp = reply.as<appmanGeneralMsg>();
  if (rsp.errorCode != 0) return "error " + std::to_string(rsp.errorCode) + ": " + reply.errorText;
  return reply.text(offsetof(appmanGeneralMsg, data)).value_or("");
}

// 0 or the error code of an update.
uint32_t update(appmgr::AppMgrClient& client, unsigned long code, const std::string& first,
                const std::string& second) {
  const appmanObjectReq req = subclientRequest(first.c_str(), second.c_str());
  const appmgr::AppMgrReply reply = client.call(code, &req, sizeof req);
  return reply.isResponse() ? reply.as<appmanGeneralMsg>().errorCode : 0xffffffffu;
}

class TwoHosts : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    const std::string server = serverConnInfo(why);
    if (server.empty()) GTEST_SKIP() << why;
    // The catalog: the store fixture in a schema of its own.
    store_ = openPgTestStore(server, PgConfigStore::Options(), &schema_);
    std::string errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store_, errorText), 0) << errorText;
    conninfo_ = pgTestWithSetting(server, "options", "-csearch_path=" + schema_);
    for (auto& host : hosts_) {
      host = std::make_unique<PostgresHost>(conninfo_);
      ASSERT_FALSE(host->address.empty()) << "appmgrd did not start on " << conninfo_;
    }
  }

  // The server of the catalog: the suite's, unless a fixture brings its own.
  virtual std::string serverConnInfo(std::string& why) { return pgTestConnInfo(why); }

  std::shared_ptr<PgConfigStore> store_;
  std::string schema_;
  std::string conninfo_;
  std::unique_ptr<PostgresHost> hosts_[2];
};

TEST_F(TwoHosts, AnUpdateThroughOneIsSeenThroughTheOtherAtOnce) {
  auto a = appmgr::AppMgrClient::connect(hosts_[0]->address);
  auto b = appmgr::AppMgrClient::connect(hosts_[1]->address);
  for (int i = 0; i < 10; ++i) {
    appmgr::AppMgrClient& writer = i % 2 == 0 ? *a : *b;
    appmgr::AppMgrClient& reader = i % 2 == 0 ? *b : *a;
    const std::string path = "/round" + std::to_string(i);
    const std::string value = "v" + std::to_string(i);
    ASSERT_EQ(update(writer, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 " + path, "0"), 0u);
    ASSERT_EQ(update(writer, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, "1 0 Round 1 " + value + " 0", "0"), 0u);
    const std::string seen = lookupSubclient(reader);
    EXPECT_NE(seen.find(path), std::string::npos) << seen;
    EXPECT_NE(seen.find("Round 1 " + value + " "), std::string::npos) << seen;
  }
}

TEST_F(TwoHosts, SixteenConnectionsUpdatingOneSubclientLoseNoUpdate) {
  constexpr int kConnections = 16;
  constexpr int kSteps = 24;
  std::vector<std::string> failures(kConnections);
  std::vector<std::thread> threads;
  for (int t = 0; t < kConnections; ++t) {
    threads.emplace_back([&, t] {
      auto client = appmgr::AppMgrClient::connect(hosts_[t % 2]->address);
      const std::string me = "c" + std::to_string(t) + "-";
      for (int step = 0; step < kSteps && failures[t].empty(); ++step) {
        // Each connection adds its own paths and properties and removes
        // some of them again, so every serial order ends in the same sets.
        uint32_t result =
            update(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 /" + me + std::to_string(step),
                   step % 3 == 2 ? "1 /" + me + std::to_string(step - 1) : "0");
        if (result == 0) {
          result = update(*client, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
                          "1 0 " + me + std::to_string(step % 5) + " 1 " + std::to_string(step) + " 0",
                          step % 4 == 3 ? "1 0 " + me + std::to_string((step + 1) % 5) + " 0 ` 0" : "0");
        }
        if (result != 0) failures[t] = "step " + std::to_string(step) + ": error " + std::to_string(result);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kConnections; ++t) EXPECT_EQ(failures[t], "") << "connection " << t;

  // The same steps, one after another, on a memory store.
  MemoryConfigStore replay;
  std::string errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, replay, errorText), 0);
  for (int t = 0; t < kConnections; ++t) {
    const std::string me = "c" + std::to_string(t) + "-";
    for (int step = 0; step < kSteps; ++step) {
      std::vector<std::string> remove;
      if (step % 3 == 2) remove.push_back("/" + me + std::to_string(step - 1));
      ASSERT_EQ(replay.updateSubclientEntries(8, kSubclientContentGroup, {"/" + me + std::to_string(step)},
                                              remove, errorText),
                0);
      ASSERT_EQ(replay.setProperties(PropertyOwner::kSubclient, 8,
                                     {{me + std::to_string(step % 5), 1, std::to_string(step)}}, errorText),
                0);
      if (step % 4 == 3) {
        ASSERT_EQ(replay.removeProperties(PropertyOwner::kSubclient, 8, {me + std::to_string((step + 1) % 5)},
                                          errorText),
                  0);
      }
    }
  }
  const auto sortedState = [](ConfigStore& store) {
    std::vector<std::string> out, entries;
    std::vector<PropertyRow> rows;
    std::string text;
    EXPECT_EQ(store.listProperties(PropertyOwner::kSubclient, 8, 0, rows, text), 0) << text;
    EXPECT_EQ(store.listSubclientEntries(8, kSubclientContentGroup, entries, text), 0) << text;
    for (const PropertyRow& row : rows) out.push_back(row.name + "=" + row.value);
    out.insert(out.end(), entries.begin(), entries.end());
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(sortedState(*store_), sortedState(replay));
}

// ---- The catalog's server restarted under load ----

// Two hosts on a throwaway PostgreSQL server of their own (started with
// scripts/pg-test-cluster.sh and a private state file), so that restarting
// it disturbs no other test.
class TwoHostsOnTheirOwnServer : public TwoHosts {
 protected:
  void SetUp() override {
    std::string why;
    if (pgTestConnInfo(why).empty()) GTEST_SKIP() << why;
    std::string out;
    const int started = cluster("start", out);
    // A suite run against a remote server may have no server programs here.
    if (started != 0 && out.find("no PostgreSQL server found") != std::string::npos) GTEST_SKIP() << out;
    ASSERT_EQ(started, 0) << out;
    const std::string prefix = "export APPMGR_TEST_PG='";
    const size_t at = out.find(prefix);
    ASSERT_NE(at, std::string::npos) << "pg-test-cluster.sh start printed: " << out;
    server_ = out.substr(at + prefix.size(), out.find('\'', at + prefix.size()) - at - prefix.size());
    TwoHosts::SetUp();
  }
  void TearDown() override {
    for (auto& host : hosts_) host.reset();
    store_.reset();
    std::string out;
    if (std::filesystem::exists(state_.file("cluster"))) cluster("stop", out);
  }
  std::string serverConnInfo(std::string&) override { return server_; }

  // Runs the cluster script with this fixture's state file: its exit
  // status, and its output in `out`.
  int cluster(const std::string& command, std::string& out) {
    const std::string line = "APPMGR_PG_STATE='" + state_.file("cluster") +
                             "' '" APPMGR_SOURCE_DIR "/scripts/pg-test-cluster.sh' " + command + " 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return -1;
    out = readAll(::fileno(pipe));
    return ::pclose(pipe);
  }

  TempDir state_;
  std::string server_;
};

// 0 or the error code of the subclient lookup; 0xffffffff for an error frame.
uint32_t lookupCode(appmgr::AppMgrClient& client) {
  const appmanObjectReq req = subclientRequest();
  const appmgr::AppMgrReply reply = client.call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  return reply.isResponse() ? reply.as<appmanGeneralMsg>().errorCode : 0xffffffffu;
}

TEST_F(TwoHostsOnTheirOwnServer, RequestsDuringARestartFailCleanlyAndLaterOnesSucceed) {
  using Clock = std::chrono::steady_clock;
  struct Request {
    Clock::time_point start, end;
    bool isUpdate;
    int step;
    uint32_t result;
  };
  constexpr int kClients = 6;
  std::atomic<bool> stop{false};
  std::vector<std::vector<Request>> requests(kClients);
  std::vector<std::thread> threads;
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&, t] {
      auto client = appmgr::AppMgrClient::connect(hosts_[t % 2]->address);
      for (int step = 0; !stop; ++step) {
        Request r{Clock::now(), {}, step % 2 == 1, step, 0};
        // Each client sets its own property to the step number: the last
        // value the store holds tells whether an update that answered 0 was lost.
        r.result = r.isUpdate
                       ? update(*client, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
                                "1 0 restart" + std::to_string(t) + " 1 " + std::to_string(step) + " 0", "0")
                       : lookupCode(*client);
        r.end = Clock::now();
        requests[t].push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const Clock::time_point restartStart = Clock::now();
  std::string restartOutput;
  const int restarted = cluster("restart", restartOutput);
  const Clock::time_point restartEnd = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(restarted, 0) << restartOutput;

  // Both hosts ran through it.
  for (auto& host : hosts_) {
    int status = 0;
    EXPECT_EQ(::waitpid(host->child.pid, &status, WNOHANG), 0) << "appmgrd ended";
  }
  size_t before = 0, during = 0, failedDuring = 0, after = 0;
  Clock::duration longest{};
  for (int t = 0; t < kClients; ++t) {
    SCOPED_TRACE("client " + std::to_string(t));
    int lastSuccess = -1, lastSent = -1;
    for (const Request& r : requests[t]) {
      longest = std::max(longest, r.end - r.start);
      if (r.end < restartStart) {
        ++before;
        EXPECT_EQ(r.result, 0u) << "step " << r.step << " before the restart";
      } else if (r.start > restartEnd) {
        ++after;
        EXPECT_EQ(r.result, 0u) << "step " << r.step << " after the restart";
      } else {
        ++during;
        // A response, no error frame: an update answers the store's code
        // for an unreachable server, the lookup its fixed stream failure.
        if (r.result != 0) {
          ++failedDuring;
          EXPECT_EQ(r.result, r.isUpdate ? XR_GET_INTERFACE_FAILED : XR_STREAM_FAILURE)
              << "step " << r.step << " during the restart";
        }
      }
      if (r.isUpdate) {
        lastSent = r.step;
        if (r.result == 0) lastSuccess = r.step;
      }
    }
    // The store holds the last update that answered 0, or a later one
    // whose answer was lost with its connection.
    std::vector<PropertyRow> rows;
    std::string errorText;
    ASSERT_EQ(store_->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0) << errorText;
    const auto held = std::find_if(rows.begin(), rows.end(), [&](const PropertyRow& row) {
      return row.name == "restart" + std::to_string(t);
    });
    ASSERT_NE(held, rows.end());
    const int value = std::stoi(held->value);
    EXPECT_GE(value, lastSuccess);
    EXPECT_LE(value, lastSent);
  }
  // The store's retries are bounded (5 tries, waits of 20 ms doubling): no
  // request waits out the restart.
  EXPECT_LT(longest, std::chrono::seconds(5));
  EXPECT_GT(before, 0u);
  EXPECT_GT(after, 0u);
  std::printf(
      "restart took %lld ms; requests: %zu before, %zu during (%zu failed), %zu after; longest %lld ms\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(restartEnd - restartStart).count()),
      before, during, failedDuring, after,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()));
}

// ---- SIGKILL under load ----

// Four clients add paths to a subclient as fast as the host answers; the
// host is killed with SIGKILL at a random moment and started again on the
// same file, three times. The file must stay sound and hold every path
// whose update the host acknowledged.
TEST(Appmgrd, EveryAcknowledgedUpdateSurvivesSigkillUnderLoad) {
  const std::string base = ::testing::TempDir() + "appmgrd-kill-" + std::to_string(::getpid());
  const std::string db = base + ".db";
  const std::string log = base + ".log";
  const auto removeFiles = [&] {
    for (const std::string& f : {db, db + "-wal", db + "-shm", log}) std::remove(f.c_str());
  };
  removeFiles();
  {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  constexpr int kRounds = 3;
  constexpr int kClients = 4;
  std::vector<std::string> acknowledged;
  std::mutex acknowledgedMutex;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const Child child =
        startAppmgrd({"--store", db, "--log", log, "--listen", "127.0.0.1:0", "--threads", "2"});
    ASSERT_GT(child.pid, 0);
    const std::string ready = readLine(child.out);
    const std::string prefix = "listening on ";
    ASSERT_EQ(ready.compare(0, prefix.size(), prefix), 0) << "readiness line: " << ready;
    const std::string address = ready.substr(prefix.size());
    std::atomic<int> updates{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([&, c] {
        try {
          auto client = appmgr::AppMgrClient::connect(address);
          for (int step = 0;; ++step) {
            const std::string path =
                "/r" + std::to_string(round) + "c" + std::to_string(c) + "s" + std::to_string(step);
            if (update(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 " + path, "0") != 0) return;
            ++updates;
            std::lock_guard<std::mutex> lock(acknowledgedMutex);
            acknowledged.push_back(path);
          }
        } catch (const appmgr::AppMgrClientError&) {
          // The host died under the request: it was never acknowledged.
        }
      });
    }
    for (int i = 0; i < 500 && updates.load() < 20; ++i) ::usleep(2000);
    ::usleep(static_cast<useconds_t>(1000 * (20 + 60 * round)));
    ASSERT_EQ(::kill(child.pid, SIGKILL), 0);
    for (std::thread& thread : clients) thread.join();
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_GT(updates.load(), 0) << "the clients got no update through before the kill";
  }

  // A last start on the file shows it serves, then the file is checked.
  const Child child = startAppmgrd({"--store", db, "--log", log, "--listen", "127.0.0.1:0"});
  ASSERT_GT(child.pid, 0);
  const std::string ready = readLine(child.out);
  ASSERT_EQ(ready.compare(0, 13, "listening on "), 0) << ready;
  {
    auto client = appmgr::AppMgrClient::connect(ready.substr(13));
    EXPECT_EQ(lookupSubclient(*client).find("error"), std::string::npos);
  }
  ::kill(child.pid, SIGTERM);
  EXPECT_EQ(waitExit(child.pid), 0);
  ::close(child.out);

  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
  std::vector<std::string> problems;
  ASSERT_EQ(store->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty()) << problems.front();
  std::vector<std::string> entries;
  ASSERT_EQ(store->listSubclientEntries(8, kSubclientContentGroup, entries, errorText), 0) << errorText;
  const std::set<std::string> present(entries.begin(), entries.end());
  size_t missing = 0;
  for (const std::string& path : acknowledged) missing += present.count(path) == 0 ? 1 : 0;
  EXPECT_EQ(missing, 0u) << "of " << acknowledged.size() << " acknowledged updates";
  store.reset();
  removeFiles();
}

}  // namespace
