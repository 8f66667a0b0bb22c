// appmgrd as a child process: its exit codes and messages for a bad command
// line or a store it cannot open, and a whole run: readiness line, requests,
// SIGHUP reopening the log file, SIGTERM stopping it with exit 0 and a sound
// store file.
#include <cstdio>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"
#include "platform/SqliteConfigStore.h"

#include "host/AppMgrClient.h"

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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = runAppmgrd(c.args);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find("listening on"), std::string::npos);
  }
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
