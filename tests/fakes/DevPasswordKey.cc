// Temporary development password key for tests.
#include "fakes/DevPasswordKey.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"

const char ScopedDevPasswordKey::kDevKeyHex[] =
    "75c4471e1825564e606cafa463d1bd3797e48d4829b2a11b76bba5439618d120";

namespace {

constexpr unsigned long kCapacity = 2049;

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

ScopedDevPasswordKey::ScopedDevPasswordKey() : ScopedDevPasswordKey(std::string(kDevKeyHex) + "\n") {}

ScopedDevPasswordKey::ScopedDevPasswordKey(const std::string& keyFileText, bool nameKeyFile) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/appmgr-key-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = name.data();
  keyFile_ = dir_ + "/dev-only-password.key";
  iniFile_ = dir_ + "/platform.ini";
  writeFile(keyFile_, keyFileText);
  writeFile(iniFile_, nameKeyFile ? "[Base]\nsPasswordKeyFile = " + keyFile_ + "\n" : "[Base]\n");
  if (const char* previous = std::getenv(kPlatformConfigEnv)) previousConfig_ = previous;
  setenv(kPlatformConfigEnv, iniFile_.c_str(), 1);
}

ScopedDevPasswordKey::~ScopedDevPasswordKey() {
  if (previousConfig_) {
    setenv(kPlatformConfigEnv, previousConfig_->c_str(), 1);
  } else {
    unsetenv(kPlatformConfigEnv);
  }
  std::remove(keyFile_.c_str());
  std::remove(iniFile_.c_str());
  rmdir(dir_.c_str());
}

void ScopedDevPasswordKey::removeKeyFile() const { std::remove(keyFile_.c_str()); }

std::string ScopedDevPasswordKey::encryptV2(const std::string& plain) const {
  char buffer[kCapacity];
  unsigned long length = kCapacity;
  XRPassword password;
  return password.encrypt(plain.c_str(), buffer, &length) != 0 ? std::string(buffer, length) : std::string();
}

std::string ScopedDevPasswordKey::encryptV1(const std::string& plain) const {
  const std::string v2 = encryptV2(plain);
  char buffer[kCapacity];
  unsigned long length = kCapacity;
  XRPassword password;
  if (v2.empty() || password.putEncPwd(v2.c_str()) == 0) return std::string();
  return password.getEncPwd(buffer, &length, 1UL << 24) != 0 ? std::string(buffer, length) : std::string();
}

std::string ScopedDevPasswordKey::decrypt(const std::string& encrypted) const {
  char buffer[kCapacity];
  unsigned long length = kCapacity;
  XRPassword password;
  return password.decrypt(encrypted.c_str(), buffer, &length) != 0 ? std::string(buffer, length)
                                                                   : std::string();
}
