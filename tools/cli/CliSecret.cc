// Reading and encrypting --set-secret values.
#include "CliSecret.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include <openssl/crypto.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/EvDebug.h"
#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"

#include "CliRequest.h"

namespace appmgr {
namespace cli {

namespace {

// Points the platform at `registry` for the life of the object; the
// platform reads the variable's path at every use.
class RegistryScope {
 public:
  explicit RegistryScope(const std::string& registry) {
    const char* current = std::getenv(kPlatformConfigEnv);
    if (current != nullptr) saved_ = current;
    changed_ = current == nullptr || saved_ != registry;
    if (changed_) ::setenv(kPlatformConfigEnv, registry.c_str(), 1);
  }
  ~RegistryScope() {
    if (!changed_) return;
    if (saved_.empty()) {
      ::unsetenv(kPlatformConfigEnv);
    } else {
      ::setenv(kPlatformConfigEnv, saved_.c_str(), 1);
    }
  }
  RegistryScope(const RegistryScope&) = delete;
  RegistryScope& operator=(const RegistryScope&) = delete;

 private:
  std::string saved_;
  bool changed_ = false;
};

// Sends the platform's log lines to memory while it lives, so that the
// command prints its own message instead of the log's.
class QuietLog {
 public:
  QuietLog() : previous_(EvLog::sink()), lines_(std::make_shared<MemoryLogSink>()) { EvLog::setSink(lines_); }
  ~QuietLog() { EvLog::setSink(previous_); }
  QuietLog(const QuietLog&) = delete;
  QuietLog& operator=(const QuietLog&) = delete;

 private:
  std::shared_ptr<LogSink> previous_;
  std::shared_ptr<MemoryLogSink> lines_;
};

// Why the key file at `path` gives no key, as a phrase after its name.
std::string keyFileFault(const std::string& path) {
  struct stat st = {};
  if (::stat(path.c_str(), &st) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  if ((st.st_mode & 077) != 0)
    return "may be read by other users, so it is not used (chmod 600 " + path + ")";
  if (::access(path.c_str(), R_OK) != 0) return std::string("cannot be read: ") + std::strerror(errno);
  return "holds no key (64 hexadecimal digits)";
}

// Turns terminal echo off for the life of the object.
class NoEcho {
 public:
  NoEcho() {
    if (::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~NoEcho() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;

 private:
  termios saved_ = {};
  bool active_ = false;
};

bool readLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace

std::string registryPath(const std::string& registryOption) {
  if (!registryOption.empty()) return registryOption;
  const char* path = std::getenv(kPlatformConfigEnv);
  return path != nullptr && *path != '\0' ? path : kPlatformConfigDefaultPath;
}

std::string encryptSecret(const std::string& plain, const std::string& registry) {
  const RegistryScope scope(registry);
  const QuietLog quiet;
  std::vector<char> buffer(4 * plain.size() + 256);
  unsigned long length = buffer.size();
  XRPassword password;
  if (password.encrypt(plain.c_str(), buffer.data(), &length) != 0) return std::string(buffer.data(), length);

  struct stat st = {};
  if (::stat(registry.c_str(), &st) != 0) {
    throw UsageError("cannot encrypt the secret: the registry " + registry +
                     " does not exist (give --registry FILE or APPMGR_PLATFORM_CONFIG)");
  }
  XRPlatformInfo info;
  std::string keyFile;
  if (info.getString("Base", "sPasswordKeyFile", &keyFile) == 0 || keyFile.empty()) {
    throw UsageError("cannot encrypt the secret: the registry " + registry +
                     " names no password key file ([Base] sPasswordKeyFile)");
  }
  if (keyFile[0] != '/' && registry.rfind('/') != std::string::npos) {
    keyFile = registry.substr(0, registry.rfind('/') + 1) + keyFile;
  }
  throw UsageError("cannot encrypt the secret: the password key file " + keyFile + " (named in " + registry +
                   ") " + keyFileFault(keyFile));
}

std::string readSecret(const std::string& name, std::istream* input, std::ostream& err) {
  std::string value;
  if (input != nullptr || !::isatty(STDIN_FILENO)) {
    if (!readLine(input != nullptr ? *input : std::cin, value)) {
      throw UsageError("no value for \"" + name + "\" on standard input (one line per --set-secret)");
    }
    return value;
  }
  std::string again;
  {
    const NoEcho noEcho;
    err << "Value of \"" << name << "\": " << std::flush;
    const bool first = readLine(std::cin, value);
    err << "\nAgain: " << std::flush;
    const bool second = first && readLine(std::cin, again);
    err << "\n";
    if (!second) throw UsageError("no value for \"" + name + "\" was typed");
  }
  const bool same = value == again;
  OPENSSL_cleanse(again.data(), again.size());
  if (!same) {
    OPENSSL_cleanse(value.data(), value.size());
    throw UsageError("the two values typed for \"" + name + "\" differ");
  }
  return value;
}

}  // namespace cli
}  // namespace appmgr
