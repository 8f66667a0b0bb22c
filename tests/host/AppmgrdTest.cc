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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/PgTestDatabase.h"
#include "fakes/StoreFixtures.h"
#include "fakes/TempDir.h"
#include "host/AppMgrClient.h"
#include "store/AuditTrail.h"
#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

#ifndef APPMGRD_PATH
#error "APPMGRD_PATH names the appmgrd binary under test"
#endif

namespace {

using appmgr::AppMgrClient;

std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

int waitExit(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A running appmgrd whose stdout is a pipe. With `awaitReady`, `address`
// holds what its readiness line "listening on ADDRESS" names; without, its
// stderr is a pipe too. Stopped with SIGTERM at the end unless it was reaped.
struct Appmgrd {
  pid_t pid = -1;
  int out = -1, err = -1;
  std::string ready, address;

  explicit Appmgrd(const std::vector<std::string>& args, bool awaitReady = true) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::dup2(outPipe[1], 1);
      if (!awaitReady) ::dup2(errPipe[1], 2);  // a serving appmgrd's stderr stays the test's
      std::vector<char*> argv = {const_cast<char*>(APPMGRD_PATH)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(APPMGRD_PATH, argv.data());
      ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out = outPipe[0];
    err = errPipe[0];
    if (!awaitReady) return;
    ready = readLine();
    if (ready.rfind("listening on ", 0) == 0) address = ready.substr(13);
  }
  // The next line of stdout, waiting at most 20 s.
  std::string readLine() {
    std::string line;
    for (char c = 0;;) {
      pollfd p{out, POLLIN, 0};
      if (::poll(&p, 1, 20000) <= 0 || ::read(out, &c, 1) != 1 || c == '\n') return line;
      line.push_back(c);
    }
  }
  ~Appmgrd() {
    if (pid > 0) stop(SIGTERM);
    ::close(out);
    ::close(err);
  }
  // Sends `signal` and reaps the process: its exit code, -1 for a signal.
  int stop(int signal) {
    ::kill(pid, signal);
    const int code = waitExit(pid);
    pid = -1;
    return code;
  }
};

// Runs appmgrd to its exit: the exit code, and what it wrote to stderr and stdout.
std::pair<int, std::string> runToExit(const std::vector<std::string>& args) {
  Appmgrd child(args, false);
  const std::string out = readAll(child.out), err = readAll(child.err);
  const int code = waitExit(child.pid);
  child.pid = -1;
  return {code, err + out};
}

std::string readFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// The store file `db` is sound; its subclient 8's content when asked.
void expectSoundStore(const std::string& db, std::vector<std::string>* content = nullptr) {
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
  std::vector<std::string> problems;
  ASSERT_EQ(store->checkIntegrity(problems, errorText), 0) << errorText;
  EXPECT_TRUE(problems.empty()) << problems.front();
  if (content != nullptr) store->listSubclientEntries(8, kSubclientContentGroup, *content, errorText);
}

TEST(Appmgrd, RefusesABadCommandLineOrAStoreItCannotOpen) {
  TempDir dir;
  const std::string tree = APPMGR_SOURCE_DIR "/examples/sample-tree.json", garbage = dir.file("garbage.db"),
                    sock = dir.file("s");
  std::ofstream(garbage) << "not a database";
  const struct {
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
      {"0.0.0.0 without TLS", {"--listen", "0.0.0.0:0", "--store-json", tree}, 4, "--tls-cert FILE"},
      {"metrics off loopback",
       {"--metrics", "0.0.0.0:0", "--store-json", tree},
       4,
       "(--metrics): metrics are"},
      {"access log in a missing directory",
       {"--access-log", "/no/dir/a.log", "--store-json", tree},
       5,
       "/no/dir"},
      {"TLS key without certificate", {"--tls-key", "host.key", "--store-json", tree}, 4, "--tls-cert"},
      {"missing SQLite store", {"--store", dir.file("confg.db")}, 4, "create it with \"appmgr store init"},
      {"not a store", {"--store", garbage}, 3, "fails SQLite's quick check: file is not a database"},
      {"socket dir missing", {"--store-json", tree, "--unix", "/no/dir/s"}, 4, "unix:/no/dir/s (--unix)"},
      {"version", {"--version"}, 0, "appmgrd " APPMGR_PROJECT_VERSION},
      {"unknown group", {"--store-json", tree, "--unix", sock, "--unix-group", "no"}, 4, "(--unix-group)"},
      {"socket mode not octal", {"--store-json", tree, "--unix-mode", "0680"}, 2, "--unix-mode takes octal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [code, text] = runToExit(c.args);
    EXPECT_EQ(code, c.exitCode) << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
    EXPECT_EQ(text.find("listening on"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("confg.db"))) << "a refused store is not created";
  EXPECT_FALSE(std::filesystem::exists(sock)) << "a refused socket is not created";
}

TEST(Appmgrd, TakesSettingsFromAConfigFileWhereTheCommandLineWins) {
  TempDir dir;
  const std::string conf = dir.file("appmgrd.conf"), file = dir.file("file.db"), flag = dir.file("flag.db");
  const std::string example = APPMGR_SOURCE_DIR "/examples/appmgrd.conf";
  const struct {
    std::string config;  // written to `conf` and given with --config, unless empty
    std::vector<std::string> args;
    std::string message;  // exit code 4
  } cases[] = {
      {"# comment\nstore = " + file + "\n", {}, "no store at " + file},
      {"store = " + file + "\n", {"--store", flag}, "no store at " + flag},
      {"\n\nlistne = 127.0.0.1:0\n", {}, conf + ":3: unknown key \"listne\""},
      {"threads = 0\n", {"--store", flag}, conf + ":1: key \"threads\""},
      {"listen\n", {}, conf + ":1: expected KEY = VALUE"},
      {"listen = 127.0.0.1\n", {}, "--listen takes HOST:PORT"},
      {"", {"--config", example, "--store", flag}, "no store at " + flag},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    std::ofstream(conf) << c.config;
    std::vector<std::string> args = c.args;
    if (!c.config.empty()) args.insert(args.begin(), {"--config", conf});
    const auto [code, text] = runToExit(args);
    EXPECT_EQ(code, 4) << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
  // The shipped example names every long flag.
  const std::string help = runToExit({"--help"}).second, shipped = readFile(example);
  for (size_t at = 0; (at = help.find("  --", at)) != std::string::npos; at += 4) {
    const std::string key = help.substr(at + 4, help.find_first_of(" =\n", at + 4) - at - 4);
    EXPECT_TRUE(key == "help" || key == "version" || key == "config" ||
                shipped.find(key + " = ") != std::string::npos)
        << key;
  }
}

// The next datagram on `fd` within 20 s, "" without one.
std::string receive(int fd) {
  pollfd p{fd, POLLIN, 0};
  char buffer[4096];
  const ssize_t n = ::poll(&p, 1, 20000) > 0 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

TEST(Appmgrd, TellsSystemdItIsReadyOnceItAcceptsAndWhenItStops) {
  TempDir dir;
  const std::string notify = dir.file("notify.sock"), socket = dir.file("host.sock");
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", notify.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::setenv("NOTIFY_SOCKET", notify.c_str(), 1);
  ::setenv("WATCHDOG_USEC", "100000", 1);
  Appmgrd child({"--store", dir.file("n.db"), "--create-store", "--unix", socket, "--unix-mode", "0640",
                 "--log", dir.file("n.log"), "--log-level", "debug"});
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");
  const std::string ready = receive(fd);
  EXPECT_EQ(ready.rfind("READY=1\nSTATUS=appmgrd ", 0), 0u) << ready;
  EXPECT_EQ(receive(fd), "WATCHDOG=1");
  appmanVelmoraByIdReq req;
  req.velmoraId = 2;
  EXPECT_TRUE(
      AppMgrClient::connect("unix:" + socket)->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req).isResponse());
  struct stat st {};
  ASSERT_EQ(::stat(socket.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(child.stop(SIGTERM), 0);
  std::string last;
  do last = receive(fd);
  while (last == "WATCHDOG=1");  // keep-alives until the stop
  EXPECT_EQ(last, "STOPPING=1");
  ::close(fd);
  EXPECT_NE(readFile(dir.file("n.log")).find("BCLsn::"), std::string::npos) << "the library's lines at debug";
}

// systemd's own check of the shipped unit, its ExecStart pointed at the binary under test.
TEST(Appmgrd, ShippedSystemdUnitVerifies) {
  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) GTEST_SKIP() << "no systemd-analyze";
  TempDir dir;
  const std::string unit = dir.file("appmgrd.service");
  const std::string command = "sed 's|/usr/local/bin/appmgrd|" APPMGRD_PATH "|' " APPMGR_SOURCE_DIR
                              "/examples/appmgrd.service >" +
                              unit + " && systemd-analyze verify " + unit + " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  const std::string output = readAll(::fileno(pipe));
  EXPECT_EQ(::pclose(pipe), 0) << output;
  EXPECT_EQ(output, "") << "systemd-analyze verify complains";
}

TEST(Appmgrd, RefusesAPostgreSQLSchemaWithoutAStoreUnlessAskedToCreateOne) {
  std::string why;
  const std::string server = pgTestConnInfo(why);
  if (server.empty()) GTEST_SKIP() << why;
  const std::string schema = pgTestSchemaName();
  pgTestExecute(server, "SELECT format('CREATE SCHEMA %I', $1::text)", {schema}, true);
  const std::string conninfo = pgTestWithSetting(server, "options", "-csearch_path=" + schema);
  {
    const auto [code, text] = runToExit({"--store", conninfo});
    EXPECT_EQ(code, 4) << text;
    EXPECT_NE(text.find("holds no store; create it with \"appmgr store init"), std::string::npos) << text;
    Appmgrd created({"--store", conninfo, "--create-store"});
    EXPECT_NE(created.readLine().find("(PostgreSQL, schema version "), std::string::npos);
  }
  pgTestDropSchema(server, schema);
}

TEST(Appmgrd, ServesUntilSigtermAndReopensItsLogOnSighup) {
  TempDir dir;
  const std::string db = dir.file("run.db"), log = dir.file("run.log"), access = dir.file("access.log");
  Appmgrd child({"--store", db, "--create-store", "--log", log, "--listen", "localhost:0", "--threads", "2",
                 "--access-log", access});
  ASSERT_TRUE(child.ready.rfind("listening on 127.0.0.1:", 0) == 0 ||
              child.ready.rfind("listening on [::1]:", 0) == 0)
      << "readiness line: " << child.ready;
  const std::string banner = child.readLine();
  for (const std::string& part : std::vector<std::string>{
           "appmgrd " APPMGR_PROJECT_VERSION, " serving " + db + " (SQLite, schema version ",
           ": 0 Velmoras, 0 clients, 0 subclients)",
           " on tcp " + child.address + " (TLS off); 2 network threads"}) {
    EXPECT_NE(banner.find(part), std::string::npos) << part << " in " << banner;
  }
  {
    // A name that resolves to loopback serves, and the client library takes one too.
    auto client = AppMgrClient::connect("localhost:" + child.address.substr(child.address.rfind(':') + 1));
    EXPECT_EQ(client->health().state, appmgr::wire::HealthRecord::kServing);
    appmanVelmoraByIdReq req;
    req.velmoraId = 2;  // the new store is empty: a not-found response
    const appmgr::AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
    EXPECT_NE(reply.as<appmanVelmoraRsp>().errorCode, 0u);
    appmgr::AppMgrReply malformed = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req - 8);
    EXPECT_FALSE(malformed.isResponse());

    // Log rotation: move the file away, SIGHUP, and the next lines go to a new file.
    ASSERT_EQ(std::rename(log.c_str(), (log + ".1").c_str()), 0);
    ASSERT_EQ(::kill(child.pid, SIGHUP), 0);
    for (int i = 0; i < 200 && !std::filesystem::exists(log); ++i) ::usleep(10000);
    client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    EXPECT_TRUE(std::filesystem::exists(log)) << "SIGHUP opened a new log file";
  }
  EXPECT_EQ(child.stop(SIGTERM), 0);
  expectSoundStore(db);
  const std::string lines = readFile(log + ".1");  // at the default level, info
  EXPECT_NE(lines.find("[appmgrd] INFO appmgrd "), std::string::npos) << lines;
  EXPECT_EQ(lines.find("[VelmoraBCLsn"), std::string::npos) << "no library lines at info: " << lines;
  // One access line per request (the last after SIGHUP): the listener's error, the malformed one.
  const std::string accessLines = readFile(access);
  for (const std::string& part :
       std::vector<std::string>{"[access] INFO peer=",
                                " id=3 request=0x1a001011 APPMAN_VELMORA_BY_ID_REQ object=2 "
                                "result=XR_VELMORA_NOT_FOUND/0x20001 library_us=",
                                "[access] ERROR peer=",
                                " id=4 request=0x1a001011 APPMAN_VELMORA_BY_ID_REQ "
                                "result=error_frame:malformed_request library_us=0 total_us="}) {
    EXPECT_NE(accessLines.find(part), std::string::npos) << part << " in " << accessLines;
  }
  EXPECT_EQ(std::count(accessLines.begin(), accessLines.end(), '\n'), 3) << accessLines;
}

// The subclient lookup's stream, or the failure.
std::string lookupSubclient(AppMgrClient& client) {
  const appmanObjectReq req = subclientRequest();
  const appmgr::AppMgrReply reply = client.call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  if (!reply.isResponse()) return "error frame: " + reply.errorText;
  const uint32_t error = reply.as<appmanGeneralMsg>().errorCode;
  if (error != 0) return "error " + std::to_string(error) + ": " + reply.errorText;
  return reply.text(offsetof(appmanGeneralMsg, data)).value_or("");
}

// 0 or the error code of an update (or of the lookup, without `first`);
// 0xffffffff for an error frame.
uint32_t call(AppMgrClient& client, unsigned long code, const std::string& first = "",
              const std::string& second = "0") {
  const appmanObjectReq req =
      first.empty() ? subclientRequest() : subclientRequest(first.c_str(), second.c_str());
  const appmgr::AppMgrReply reply = client.call(code, &req, sizeof req);
  return reply.isResponse() ? reply.as<appmanGeneralMsg>().errorCode : 0xffffffffu;
}

// ---- Two hosts on one PostgreSQL catalog ----

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
    const std::string conninfo = pgTestWithSetting(server, "options", "-csearch_path=" + schema_);
    for (auto& host : hosts_) {
      host = std::make_unique<Appmgrd>(std::vector<std::string>{
          "--store", conninfo, "--listen", "127.0.0.1:0", "--handler-threads", "8", "--store-pool", "8"});
      ASSERT_FALSE(host->address.empty()) << "appmgrd did not start on " << conninfo;
    }
  }
  // The server of the catalog: the suite's, unless a fixture brings its own.
  virtual std::string serverConnInfo(std::string& why) { return pgTestConnInfo(why); }
  // Runs `steps` on `clients` connections spread over both hosts, each on its own thread.
  void onClients(int clients, const std::function<void(int, AppMgrClient&)>& steps) {
    std::vector<std::thread> threads;
    for (int t = 0; t < clients; ++t)
      threads.emplace_back([&, t] { steps(t, *AppMgrClient::connect(hosts_[t % 2]->address)); });
    for (std::thread& thread : threads) thread.join();
  }
  std::vector<PropertyRow> properties() {
    std::vector<PropertyRow> rows;
    std::string errorText;
    EXPECT_EQ(store_->listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0) << errorText;
    return rows;
  }

  std::shared_ptr<PgConfigStore> store_;
  std::string schema_;
  std::unique_ptr<Appmgrd> hosts_[2];
};

TEST_F(TwoHosts, AnUpdateThroughOneIsSeenThroughTheOtherAtOnce) {
  auto a = AppMgrClient::connect(hosts_[0]->address);
  auto b = AppMgrClient::connect(hosts_[1]->address);
  for (int i = 0; i < 10; ++i) {
    AppMgrClient& writer = i % 2 == 0 ? *a : *b;
    const std::string path = "/round" + std::to_string(i), value = "v" + std::to_string(i);
    ASSERT_EQ(call(writer, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 " + path), 0u);
    ASSERT_EQ(call(writer, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ, "1 0 Round 1 " + value + " 0"), 0u);
    const std::string seen = lookupSubclient(i % 2 == 0 ? *b : *a);
    EXPECT_NE(seen.find(path), std::string::npos) << seen;
    EXPECT_NE(seen.find("Round 1 " + value + " "), std::string::npos) << seen;
  }
}

TEST_F(TwoHosts, SixteenConnectionsUpdatingOneSubclientLoseNoUpdate) {
  constexpr int kConnections = 16, kSteps = 24;
  // Each connection adds its own paths and properties and removes some of
  // them again, so every serial order ends in the same sets; the same steps
  // run one after another on a memory store give the expected state.
  const auto path = [](int t, int step) { return "/c" + std::to_string(t) + "-" + std::to_string(step); };
  const auto prop = [](int t, int n) { return "c" + std::to_string(t) + "-" + std::to_string(n % 5); };
  std::vector<std::string> failures(kConnections);
  onClients(kConnections, [&](int t, AppMgrClient& client) {
    for (int step = 0; step < kSteps && failures[t].empty(); ++step) {
      uint32_t result = call(client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 " + path(t, step),
                             step % 3 == 2 ? "1 " + path(t, step - 1) : "0");
      if (result == 0)
        result = call(client, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
                      "1 0 " + prop(t, step) + " 1 " + std::to_string(step) + " 0",
                      step % 4 == 3 ? "1 0 " + prop(t, step + 1) + " 0 ` 0" : "0");
      if (result != 0) failures[t] = "step " + std::to_string(step) + ": error " + std::to_string(result);
    }
  });
  MemoryConfigStore replay;
  std::string errorText;
  ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, replay, errorText), 0);
  for (int t = 0; t < kConnections; ++t) {
    EXPECT_EQ(failures[t], "") << "connection " << t;
    for (int step = 0; step < kSteps; ++step) {
      std::vector<std::string> remove;
      if (step % 3 == 2) remove.push_back(path(t, step - 1));
      replay.updateSubclientEntries(8, kSubclientContentGroup, {path(t, step)}, remove, errorText);
      replay.setProperties(PropertyOwner::kSubclient, 8, {{prop(t, step), 1, std::to_string(step)}},
                           errorText);
      if (step % 4 == 3)
        replay.removeProperties(PropertyOwner::kSubclient, 8, {prop(t, step + 1)}, errorText);
    }
  }
  const auto sortedState = [&](ConfigStore& store) {
    std::vector<std::string> out, entries;
    std::vector<PropertyRow> rows;
    EXPECT_EQ(store.listProperties(PropertyOwner::kSubclient, 8, 0, rows, errorText), 0) << errorText;
    EXPECT_EQ(store.listSubclientEntries(8, kSubclientContentGroup, entries, errorText), 0) << errorText;
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
    std::string why, out;
    if (pgTestConnInfo(why).empty()) GTEST_SKIP() << why;
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
  // Runs the cluster script with this fixture's state file: its exit status, its output in `out`.
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

TEST_F(TwoHostsOnTheirOwnServer, RequestsDuringARestartFailCleanlyAndLaterOnesSucceed) {
  using Clock = std::chrono::steady_clock;
  std::atomic<bool> stop{false};
  Clock::time_point restartStart, restartEnd;  // written before `stop`
  std::string restartOutput;
  int restarted = -1;
  std::thread restarter([&] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    restartStart = Clock::now();
    restarted = cluster("restart", restartOutput);
    restartEnd = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop = true;
  });
  std::atomic<size_t> before{0}, after{0};
  onClients(6, [&](int t, AppMgrClient& client) {
    struct Request {
      Clock::time_point start, end;
      int step;
      uint32_t result;
    };
    std::vector<Request> requests;
    // Each client sets its own property to the step number: the last value
    // the store holds tells whether an update that answered 0 was lost.
    for (int step = 0; !stop; ++step) {
      const Clock::time_point start = Clock::now();
      const uint32_t result =
          step % 2 == 1 ? call(client, APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
                               "1 0 restart" + std::to_string(t) + " 1 " + std::to_string(step) + " 0")
                        : call(client, APPMAN_SUBCLIENT_BY_ID_REQ);
      requests.push_back({start, Clock::now(), step, result});
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    int lastSuccess = -1, lastSent = -1;
    for (const Request& r : requests) {
      const bool isUpdate = r.step % 2 == 1, clear = r.end < restartStart || r.start > restartEnd;
      (r.end < restartStart ? before : after) += clear ? 1 : 0;
      // The store's retries are bounded (5 tries, waits of 20 ms doubling).
      EXPECT_LT(r.end - r.start, std::chrono::seconds(5)) << "no request waits out the restart";
      // During the restart: a response, no error frame; an update answers the
      // store's code for an unreachable server, the lookup its fixed stream failure.
      const uint32_t failure = isUpdate ? XR_GET_INTERFACE_FAILED : XR_STREAM_FAILURE;
      EXPECT_TRUE(r.result == 0 || (!clear && r.result == failure)) << "step " << r.step << ": " << r.result;
      if (isUpdate) lastSent = r.step;
      if (isUpdate && r.result == 0) lastSuccess = r.step;
    }
    // The store holds the last update that answered 0, or a later one
    // whose answer was lost with its connection.
    const std::vector<PropertyRow> rows = properties();
    const auto held = std::find_if(rows.begin(), rows.end(), [&](const PropertyRow& row) {
      return row.name == "restart" + std::to_string(t);
    });
    ASSERT_NE(held, rows.end());
    EXPECT_GE(std::stoi(held->value), lastSuccess);
    EXPECT_LE(std::stoi(held->value), lastSent);
  });
  restarter.join();
  EXPECT_EQ(restarted, 0) << restartOutput;
  for (auto& host : hosts_) EXPECT_EQ(::waitpid(host->pid, nullptr, WNOHANG), 0) << "appmgrd ran through it";
  EXPECT_GT(before.load(), 0u);
  EXPECT_GT(after.load(), 0u);
}

// ---- SIGKILL under load ----

// Four clients add paths to a subclient as fast as the host answers; the
// host is killed with SIGKILL at a random moment and started again on the
// same file, three times. The file must stay sound and hold every path
// whose update the host acknowledged.
TEST(Appmgrd, EveryAcknowledgedUpdateSurvivesSigkillUnderLoad) {
  TempDir dir;
  const std::string db = dir.file("kill.db"), log = dir.file("kill.log");
  {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  const std::vector<std::string> args = {"--store",     db,          "--log", log, "--listen",
                                         "127.0.0.1:0", "--threads", "2"};
  std::vector<std::string> acknowledged;
  std::mutex acknowledgedMutex;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Appmgrd child(args);
    ASSERT_FALSE(child.address.empty()) << "readiness line: " << child.ready;
    std::atomic<int> updates{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) {
      clients.emplace_back([&, c] {
        try {
          auto client = AppMgrClient::connect(child.address);
          for (int step = 0;; ++step) {
            const std::string path =
                "/r" + std::to_string(round) + "c" + std::to_string(c) + "s" + std::to_string(step);
            if (call(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 " + path) != 0) return;
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
    EXPECT_EQ(child.stop(SIGKILL), -1);
    for (std::thread& thread : clients) thread.join();
    EXPECT_GT(updates.load(), 0) << "the clients got no update through before the kill";
  }
  // A last start on the file shows it serves, then the file is checked.
  {
    Appmgrd child(args);
    ASSERT_FALSE(child.address.empty()) << child.ready;
    EXPECT_EQ(lookupSubclient(*AppMgrClient::connect(child.address)).find("error"), std::string::npos);
    EXPECT_EQ(child.stop(SIGTERM), 0);
  }
  std::vector<std::string> entries;
  expectSoundStore(db, &entries);
  const std::set<std::string> present(entries.begin(), entries.end());
  size_t missing = 0;
  for (const std::string& path : acknowledged) missing += present.count(path) == 0 ? 1 : 0;
  EXPECT_EQ(missing, 0u) << "of " << acknowledged.size() << " acknowledged updates";
  // The audit trail: exactly one entry for each path the store holds (the
  // acknowledged ones among them) and none for an update that did not happen.
  std::shared_ptr<SqliteConfigStore> store;
  std::string errorText;
  std::vector<AuditEntry> trail;
  ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
  ASSERT_EQ(store->readAudit(AuditFilter(), trail, errorText), 0) << errorText;
  std::map<std::string, int> recorded;  // change -> entries
  for (const AuditEntry& entry : trail) recorded[entry.change] += entry.objectKind == "subclient" ? 1 : 0;
  size_t added = 0;
  for (const std::string& path : present) {
    if (path.rfind("/r", 0) != 0) continue;
    ++added;
    EXPECT_EQ(
        recorded[R"({"changed":true,"group":1,"added":[)" + auditJsonString(path) + R"(],"removed":[]})"], 1)
        << path;
  }
  EXPECT_EQ(trail.size(), added + 1) << "the import, then one entry per update that happened";
}

// A 1.1 client reads the trail, each change with the peer that made it; a
// client that said 1.0 in its hello is refused the audit frame, as a 1.0
// host would refuse it.
TEST(Appmgrd, ServesTheAuditTrailToA11ClientOnly) {
  TempDir dir;
  const std::string db = dir.file("audit.db");
  {
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(db, store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeJson(kStoreFixtureJson, *store, errorText), 0) << errorText;
  }
  Appmgrd child({"--store", db, "--listen", "127.0.0.1:0", "--audit-retention-days", "1"});
  ASSERT_FALSE(child.address.empty()) << child.ready;
  auto client = AppMgrClient::connect(child.address);
  ASSERT_EQ(call(*client, APPMAN_SUBCLIENT_UPDATE_FILES_REQ, "1 /audited"), 0u);
  appmgr::wire::AuditReadRecord read;
  read.objectKind = 4;  // subclient
  read.objectId = 8;
  const appmgr::AppMgrAuditReply reply = client->readAudit(read);
  ASSERT_EQ(reply.entries.size(), 1u) << reply.errorText;
  AuditEntry entry;
  std::string why;
  ASSERT_TRUE(parseAuditEntryJson(reply.entries[0], entry, why)) << why;
  EXPECT_EQ(entry.who.rfind("127.0.0.1:", 0), 0u) << entry.who;
  EXPECT_EQ(
      entry.requestName + " " + entry.change,
      R"(APPMAN_SUBCLIENT_UPDATE_FILES_REQ {"changed":true,"group":1,"added":["/audited"],"removed":[]})");

  namespace wire = appmgr::wire;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port =
      htons(static_cast<uint16_t>(std::stoi(child.address.substr(child.address.rfind(':') + 1))));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const auto exchange = [&](wire::FrameType type, const std::vector<unsigned char>& record) {
    wire::FrameHeader header;
    header.type = type;
    const std::vector<unsigned char> frame = wire::buildFrame(header, record, std::string());
    EXPECT_EQ(::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL), static_cast<ssize_t>(frame.size()));
    unsigned char bytes[wire::kHeaderSize];
    EXPECT_EQ(::recv(fd, bytes, sizeof bytes, MSG_WAITALL), static_cast<ssize_t>(sizeof bytes));
    const wire::FrameHeader answer = wire::decodeHeader(bytes);
    std::vector<char> body(answer.bodySize());
    if (!body.empty()) ::recv(fd, body.data(), body.size(), MSG_WAITALL);
    return answer.type;
  };
  wire::HelloRecord hello;
  hello.minor = 0;
  EXPECT_EQ(exchange(wire::FrameType::kHello, wire::encodeRecord(hello)), wire::FrameType::kHelloAck);
  EXPECT_EQ(exchange(wire::FrameType::kAuditRead, wire::encodeRecord(read)), wire::FrameType::kError);
  ::close(fd);
}

}  // namespace
