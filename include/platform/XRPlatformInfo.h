// The platform's configuration registry: sections and keys of an INI-style
// file. The file's path is the value of the environment variable
// APPMGR_PLATFORM_CONFIG (default /etc/appmgr/platform.ini); it is read when
// an XRPlatformInfo is constructed. A missing file is an empty registry.
//
// The focus names the platform instance whose settings apply: a key is
// looked up first in section "<focus>/<section>", then in "<section>".
#ifndef PLATFORM_XRPLATFORMINFO_H_
#define PLATFORM_XRPLATFORMINFO_H_

#include <memory>
#include <string>

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

 private:
  class Registry;
  std::shared_ptr<const Registry> registry_;
  std::string focus_;
};

#endif  // PLATFORM_XRPLATFORMINFO_H_
