// The shared registry snapshot over inih's INIReader.
#include "PlatformRegistry.h"

#include <cstdlib>

#include "platform/XRPlatformInfo.h"

#include "FileSnapshot.h"

namespace {

std::shared_ptr<const PlatformRegistry> parse(const std::string& path) {
  return std::make_shared<const PlatformRegistry>(path);
}

}  // namespace

PlatformRegistry::PlatformRegistry(const std::string& path) : path_(path), reader_(path) {}

std::shared_ptr<const PlatformRegistry> PlatformRegistry::current() {
  static FileSnapshot<PlatformRegistry> registries(&parse);
  const char* path = std::getenv(kPlatformConfigEnv);
  return registries.get(path != nullptr && *path != '\0' ? path : kPlatformConfigDefaultPath);
}

bool PlatformRegistry::find(const std::string& focus, const char* section, const char* key,
                            std::string& value) const {
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
