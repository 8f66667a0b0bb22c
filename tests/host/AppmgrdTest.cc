// appmgrd as a child process: its exit codes and messages for a bad command
// line or a store it cannot open.
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

// Runs appmgrd with `args` to its end.
Outcome runAppmgrd(const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    std::vector<char*> argv = {const_cast<char*>(APPMGRD_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(APPMGRD_PATH, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  Outcome outcome;
  outcome.out = readAll(out[0]);
  outcome.err = readAll(err[0]);
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
