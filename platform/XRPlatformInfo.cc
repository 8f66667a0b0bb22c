// Configuration registry: answers from the process's shared snapshot of the
// INI file.
#include "platform/XRPlatformInfo.h"

#include <cerrno>
#include <cstdlib>

#include "FileSnapshot.h"
#include "PlatformRegistry.h"

const char* XRPI_Focus::getFocus() {
  const char* focus = std::getenv(kPlatformFocusEnv);
  return focus != nullptr && *focus != '\0' ? focus : "Instance001";
}

XRPlatformInfo::XRPlatformInfo() : registry_(PlatformRegistry::current()) {}

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
