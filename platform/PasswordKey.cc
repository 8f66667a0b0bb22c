// Reading of the password master key and derivation of the version keys,
// once per key file version.
#include "PasswordKey.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/EvDebug.h"
#include "platform/XRPlatformInfo.h"

#include "FileSnapshot.h"
#include "PlatformRegistry.h"

namespace {

constexpr char kTag[] = "PasswordKey::load";
constexpr size_t kMaxKeyFileSize = 4096;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The key file named in the registry, resolved against the registry file's
// directory; empty when none is named.
std::string keyFilePath(const PlatformRegistry& registry, const std::string& focus) {
  std::string path;
  if (!registry.find(focus, "Base", "sPasswordKeyFile", path) || path.empty()) return std::string();
  if (path[0] == '/') return path;
  const size_t slash = registry.path().rfind('/');
  return slash == std::string::npos ? path : registry.path().substr(0, slash + 1) + path;
}

// Wipes a buffer when the scope ends.
class WipeOnExit {
 public:
  WipeOnExit(void* data, size_t size) : data_(data), size_(size) {}
  ~WipeOnExit() { OPENSSL_cleanse(data_, size_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  void* data_;
  size_t size_;
};

bool deriveVersionKey(const unsigned char (&master)[PasswordKey::kSize], int version,
                      unsigned char (&out)[PasswordKey::kSize]) {
  const std::string label = "XRPassword version " + std::to_string(version);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr),
                                                                  &EVP_PKEY_CTX_free);
  size_t length = PasswordKey::kSize;
  const bool ok = ctx != nullptr && EVP_PKEY_derive_init(ctx.get()) > 0 &&
                  EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) > 0 &&
                  EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), master, PasswordKey::kSize) > 0 &&
                  EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), reinterpret_cast<const unsigned char*>(label.data()),
                                              static_cast<int>(label.size())) > 0 &&
                  EVP_PKEY_derive(ctx.get(), out, &length) > 0 && length == PasswordKey::kSize;
  if (!ok) OPENSSL_cleanse(out, PasswordKey::kSize);
  return ok;
}

// The loader of the key file snapshots: null, logged, for a file that
// cannot be read or holds no well-formed key. Read with plain read(2) into
// one buffer, so that no stream buffer keeps a copy of the key text. Only a
// regular file is read: a FIFO or a device named by mistake would block or
// never end. A file that group or others may access is refused.
std::shared_ptr<const PasswordKey> loadKeyFile(const std::string& path) {
  EvEvent event;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  struct stat st = {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    event.Error(kTag, "Cannot read the password key file [%s]", path.c_str());
    return nullptr;
  }
  // A key that other users can read (or change) is not secret any more:
  // refuse it before reading a byte, and say how to fix it.
  if ((st.st_mode & 077) != 0) {
    ::close(fd);
    event.Error(kTag,
                "The password key file [%s] is accessible to other users (mode %04o); it is not used. "
                "Make it private: chmod 600 %s",
                path.c_str(), static_cast<unsigned>(st.st_mode & 07777), path.c_str());
    return nullptr;
  }
  char buffer[kMaxKeyFileSize + 1];
  const WipeOnExit wipeBuffer(buffer, sizeof buffer);
  size_t size = 0;
  bool readable = true;
  while (size < sizeof buffer) {
    const ssize_t got = ::read(fd, buffer + size, sizeof buffer - size);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      readable = false;
      break;
    }
    size += static_cast<size_t>(got);
  }
  ::close(fd);
  std::shared_ptr<const PasswordKey> key =
      readable && size <= kMaxKeyFileSize ? PasswordKey::fromKeyFileText(buffer, size) : nullptr;
  if (key == nullptr) event.Error(kTag, "The password key file [%s] holds no valid key", path.c_str());
  return key;
}

}  // namespace

PasswordKey::~PasswordKey() {
  OPENSSL_cleanse(version1_, sizeof version1_);
  OPENSSL_cleanse(version2_, sizeof version2_);
}

std::shared_ptr<const PasswordKey> PasswordKey::fromKeyFileText(const char* text, size_t size) {
  size_t begin = 0;
  size_t end = size;
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (end - begin != 2 * kSize) return nullptr;

  unsigned char master[kSize] = {};
  const WipeOnExit wipeMaster(master, sizeof master);
  for (size_t i = 0; i < kSize; ++i) {
    const int high = hexDigit(text[begin + 2 * i]);
    const int low = hexDigit(text[begin + 2 * i + 1]);
    if (high < 0 || low < 0) return nullptr;
    master[i] = static_cast<unsigned char>(high << 4 | low);
  }
  std::shared_ptr<PasswordKey> key(new PasswordKey());
  if (!deriveVersionKey(master, 1, key->version1_) || !deriveVersionKey(master, 2, key->version2_)) {
    return nullptr;
  }
  return key;
}

std::shared_ptr<const PasswordKey> PasswordKey::current() {
  static FileSnapshot<PasswordKey> keys(&loadKeyFile);
  // The key file's name changes only with the registry or the focus: each
  // thread remembers it for the registry snapshot and focus it last saw.
  struct KeyFileName {
    std::shared_ptr<const PlatformRegistry> registry;
    std::string focus;
    std::string path;
  };
  thread_local KeyFileName last;
  std::shared_ptr<const PlatformRegistry> registry = PlatformRegistry::current();
  const char* focus = XRPI_Focus::getFocus();
  if (registry != last.registry || last.focus != focus) {
    last.path = keyFilePath(*registry, focus);
    last.focus = focus;
    last.registry = std::move(registry);
  }
  return last.path.empty() ? nullptr : keys.get(last.path);
}

const unsigned char* PasswordKey::versionKey(int version) const {
  if (version == 1) return version1_;
  if (version == 2) return version2_;
  return nullptr;
}
