// The parsed configuration registry shared by the process: one immutable
// snapshot per version of the INI file named by APPMGR_PLATFORM_CONFIG,
// taken anew when the file changes (FileSnapshot's rule). XRPlatformInfo
// answers from it; the password key reads its key file's name from it.
#ifndef PLATFORM_PLATFORMREGISTRY_H_
#define PLATFORM_PLATFORMREGISTRY_H_

#include <memory>
#include <string>

#include <INIReader.h>

class PlatformRegistry final {
 public:
  // Parses the file; a missing file or one that does not parse is empty.
  explicit PlatformRegistry(const std::string& path);

  // The snapshot of the file the environment names now.
  static std::shared_ptr<const PlatformRegistry> current();

  const std::string& path() const { return path_; }
  // The value of key in "<focus>/<section>", else in "<section>"; false
  // when neither holds it.
  bool find(const std::string& focus, const char* section, const char* key, std::string& value) const;

 private:
  std::string path_;
  INIReader reader_;
};

#endif  // PLATFORM_PLATFORMREGISTRY_H_
