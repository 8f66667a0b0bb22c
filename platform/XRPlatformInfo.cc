// Configuration registry over an INI file (parsed by inih's INIReader), one
// shared parse per file version.
#include "platform/XRPlatformInfo.h"

#include <cerrno>
#include <cstdlib>

#include <INIReader.h>

#include "FileSnapshot.h"

class XRPlatformInfo::Registry {
 public:
  explicit Registry(const std::string& path) : reader_(path) {}

  // The value of key in "<focus>/<section>", else in "<section>".
  bool find(const std::string& focus, const char* section, const char* key, std::string& value) const {
    if (section == nullptr || key == nullptr || reader_.ParseError() != 0) return false;
    if (!focus.empty()) {
      const std::string scoped = focus + "/" + section;
      if (reader_.HasValue(scoped, key)) {
        value = reader_.Get(scoped, key, "");
        return true;
      }
    }
    if (!reader_.HasValue(section, key)) return false;
    value = reader_.Get(section, key, "");
    return true;
  }

 private:
  INIReader reader_;
};

const char* XRPI_Focus::getFocus() {
  const char* focus = std::getenv(kPlatformFocusEnv);
  return focus != nullptr && *focus != '\0' ? focus : "Instance001";
}

XRPlatformInfo::XRPlatformInfo() {
  static FileSnapshot<Registry> registries([](const std::string& path) {
    return std::shared_ptr<const Registry>(std::make_shared<Registry>(path));
  });
  const char* path = std::getenv(kPlatformConfigEnv);
  registry_ = registries.get(path != nullptr && *path != '\0' ? path : kPlatformConfigDefaultPath);
}

XRPlatformInfo::~XRPlatformInfo() = default;

void XRPlatformInfo::setFocus(const char* focus) { focus_ = focus != nullptr ? focus : ""; }

int XRPlatformInfo::getString(const char* section, const char* key, std::string* value) {
  std::string text;
  if (!registry_->find(focus_, section, key, text)) return 0;
  if (value != nullptr) *value = text;
  return 1;
}

int XRPlatformInfo::getNumber(const char* section, const char* key, unsigned long* value) {
  std::string text;
  if (!registry_->find(focus_, section, key, text) || text.empty() || text[0] == '-') return 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long number = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return 0;
  if (value != nullptr) *value = number;
  return 1;
}

int XRPlatformInfo::IsCloudLaptopClient() {
  unsigned long flag = 0;
  return getNumber("Base", "nCloudLaptopClient", &flag) != 0 && flag != 0 ? 1 : 0;
}

void XRPlatformInfo::reload() { FileReload::requestReload(); }

void XRPlatformInfo::setCheckInterval(std::chrono::milliseconds interval) {
  FileReload::setCheckInterval(interval);
}
