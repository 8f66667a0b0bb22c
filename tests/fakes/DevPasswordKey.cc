// Temporary development password key for tests.
#include "fakes/DevPasswordKey.h"

#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/XRPassword.h"

#include "fakes/PlainPasswordWatch.h"

const char ScopedDevPasswordKey::kDevKeyHex[] =
    "75c4471e1825564e606cafa463d1bd3797e48d4829b2a11b76bba5439618d120";

namespace {

// The text an XRPassword call leaves in a buffer of the largest capacity,
// or empty when the call fails.
template <typename Call>
std::string bufferResult(Call call) {
  char buffer[2049];
  unsigned long length = sizeof buffer;
  return call(buffer, &length) != 0 ? std::string(buffer, length) : std::string();
}

}  // namespace

void writePrivateFile(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool ok = fd >= 0 && ::fchmod(fd, 0600) == 0 &&
                  ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

ScopedDevPasswordKey::ScopedDevPasswordKey(const std::string& keyFileText, bool nameKeyFile)
    : keyFile_(config_.dir() + "/dev-only-password.key") {
  writePrivateFile(keyFile_, keyFileText);
  config_.write(nameKeyFile ? "[Base]\nsPasswordKeyFile = " + keyFile_ + "\n" : "[Base]\n");
}

void ScopedDevPasswordKey::removeKeyFile() const {
  std::remove(keyFile_.c_str());
  XRPlatformInfo::reload();
}

std::string ScopedDevPasswordKey::encryptV2(const std::string& plain) const {
  watchPlainPassword(plain);
  return bufferResult([&](char* buffer, unsigned long* length) {
    return XRPassword().encrypt(plain.c_str(), buffer, length);
  });
}

std::string ScopedDevPasswordKey::encryptV1(const std::string& plain) const {
  const std::string v2 = encryptV2(plain);
  XRPassword password;
  if (v2.empty() || password.putEncPwd(v2.c_str()) == 0) return std::string();
  return bufferResult(
      [&](char* buffer, unsigned long* length) { return password.getEncPwd(buffer, length, 1UL << 24); });
}

std::string ScopedDevPasswordKey::decrypt(const std::string& encrypted) const {
  return bufferResult([&](char* buffer, unsigned long* length) {
    return XRPassword().decrypt(encrypted.c_str(), buffer, length);
  });
}
