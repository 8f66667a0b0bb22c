// A temporary directory holding a platform INI file that the process's
// XRPlatformInfo reads (APPMGR_PLATFORM_CONFIG) for the object's lifetime.
// The previous setting is restored and the directory removed afterwards.
#ifndef TESTS_UTIL_SCOPEDPLATFORMCONFIG_H_
#define TESTS_UTIL_SCOPEDPLATFORMCONFIG_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/XRPlatformInfo.h"

class ScopedPlatformConfig {
 public:
  ScopedPlatformConfig() {
    char pattern[] = "/tmp/appmgr-c2-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir_ = made != nullptr ? made : "/nonexistent";
    if (const char* old = std::getenv(kPlatformConfigEnv)) previous_ = old;
    setenv(kPlatformConfigEnv, path().c_str(), 1);
  }
  ~ScopedPlatformConfig() {
    previous_ ? setenv(kPlatformConfigEnv, previous_->c_str(), 1) : unsetenv(kPlatformConfigEnv);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::string& dir() const { return dir_; }
  std::string path() const { return dir_ + "/platform.ini"; }
  void write(const std::string& ini) const { std::ofstream(path()) << ini; }

 private:
  std::string dir_;
  std::optional<std::string> previous_;
};

#endif  // TESTS_UTIL_SCOPEDPLATFORMCONFIG_H_
