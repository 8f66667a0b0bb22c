// The platform's configuration registry: sections and keys of an INI-style
// file. The file's path is the value of the environment variable
// APPMGR_PLATFORM_CONFIG (default /etc/appmgr/platform.ini). A missing file,
// or one that does not parse, is an empty registry.
//
// The file is parsed once and the result shared by the whole process. An
// XRPlatformInfo takes the current snapshot when it is constructed and keeps
// it for its lifetime, so its answers agree with one another. The file is
// checked for changes (one stat) at most once per check interval, default
// one second, and parsed again when it changed; a different path (the
// variable changed) is parsed at once. The password key file named in the
// registry follows the same rule.
//
// The focus names the platform instance whose settings apply: a key is
// looked up first in section "<focus>/<section>", then in "<section>".
#ifndef PLATFORM_XRPLATFORMINFO_H_
#define PLATFORM_XRPLATFORMINFO_H_

#include <chrono>
#include <memory>
#include <string>

class PlatformRegistry;

constexpr char kPlatformConfigEnv[] = "APPMGR_PLATFORM_CONFIG";
constexpr char kPlatformConfigDefaultPath[] = "/etc/appmgr/platform.ini";
constexpr char kPlatformFocusEnv[] = "APPMGR_PLATFORM_FOCUS";

class XRPI_Focus {
 public:
  // The value of APPMGR_PLATFORM_FOCUS, or "Instance001".
  static const char* getFocus();
};

class XRPlatformInfo {
 public:
  XRPlatformInfo();
  ~XRPlatformInfo();

  void setFocus(const char* focus);
  // Non-zero when the key exists; then *value holds its text.
  int getString(const char* section, const char* key, std::string* value);
  // Non-zero when the key exists and holds an unsigned number; then *value
  // holds it.
  int getNumber(const char* section, const char* key, unsigned long* value);
  // Non-zero when this machine is a cloud laptop client ("Base" /
  // "nCloudLaptopClient" non-zero).
  int IsCloudLaptopClient();

  // Makes the next registry read and the next password operation read their
  // files again, changed or not; a host calls it on SIGHUP. It only bumps an
  // atomic counter, so it is safe inside a signal handler.
  static void reload();
  // How often a snapshot's file is checked for changes; zero checks at every
  // use. Takes effect for all threads.
  static void setCheckInterval(std::chrono::milliseconds interval);

 private:
  std::shared_ptr<const PlatformRegistry> registry_;
  std::string focus_;
};

#endif  // PLATFORM_XRPLATFORMINFO_H_
