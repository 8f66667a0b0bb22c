// A temporary directory holding the platform INI file that XRPlatformInfo
// reads (APPMGR_PLATFORM_CONFIG) for the object's lifetime; the previous
// setting is restored and the directory removed afterwards. An empty ini
// leaves the file unwritten (a missing file). Rewriting the file asks the
// platform to read its files again, so the test sees its edit at once.
//
//   ScopedPlatformConfig config("[Base]\nnCloudLaptopClient=1\n");
#ifndef TESTS_FAKES_SCOPEDPLATFORMCONFIG_H_
#define TESTS_FAKES_SCOPEDPLATFORMCONFIG_H_

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/XRPlatformInfo.h"

#include "fakes/TempDir.h"

class ScopedPlatformConfig {
 public:
  explicit ScopedPlatformConfig(const std::string& ini = std::string()) {
    if (const char* previous = std::getenv(kPlatformConfigEnv)) previous_ = previous;
    setenv(kPlatformConfigEnv, path().c_str(), 1);
    if (!ini.empty()) write(ini);
  }
  ~ScopedPlatformConfig() {
    previous_ ? setenv(kPlatformConfigEnv, previous_->c_str(), 1) : unsetenv(kPlatformConfigEnv);
  }
  ScopedPlatformConfig(const ScopedPlatformConfig&) = delete;
  ScopedPlatformConfig& operator=(const ScopedPlatformConfig&) = delete;

  const std::string& dir() const { return dir_.path(); }
  std::string path() const { return dir_.file("platform.ini"); }
  // Replaces the INI file's text.
  void write(const std::string& ini) const {
    std::ofstream out(path(), std::ios::binary | std::ios::trunc);
    if (!(out << ini)) throw std::runtime_error("cannot write " + path());
    out.close();
    XRPlatformInfo::reload();
  }

 private:
  TempDir dir_;
  std::optional<std::string> previous_;
};

#endif  // TESTS_FAKES_SCOPEDPLATFORMCONFIG_H_
