// Loading of the password master key and derivation of the version keys.
#include "PasswordKey.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>

#include "platform/XRPlatformInfo.h"

namespace {

constexpr size_t kMaxKeyFileSize = 4096;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The configuration file's directory, with a trailing slash, or empty.
std::string configDirectory() {
  const char* path = std::getenv(kPlatformConfigEnv);
  const std::string config = path != nullptr && *path != '\0' ? path : kPlatformConfigDefaultPath;
  const size_t slash = config.rfind('/');
  return slash == std::string::npos ? std::string() : config.substr(0, slash + 1);
}

}  // namespace

PasswordKey::~PasswordKey() { OPENSSL_cleanse(master_, sizeof master_); }

std::string PasswordKey::configuredPath() {
  XRPlatformInfo info;
  info.setFocus(XRPI_Focus::getFocus());
  std::string path;
  if (info.getString("Base", "sPasswordKeyFile", &path) == 0 || path.empty()) return std::string();
  return path[0] == '/' ? path : configDirectory() + path;
}

bool PasswordKey::load() {
  loaded_ = false;
  const std::string path = configuredPath();
  if (path.empty()) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string text;
  char c = 0;
  while (text.size() <= kMaxKeyFileSize && file.get(c)) text.push_back(c);
  bool ok = !file.bad() && text.size() <= kMaxKeyFileSize;

  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  ok = ok && end - begin == 2 * kSize;
  for (size_t i = 0; ok && i < kSize; ++i) {
    const int high = hexDigit(text[begin + 2 * i]);
    const int low = hexDigit(text[begin + 2 * i + 1]);
    ok = high >= 0 && low >= 0;
    master_[i] = ok ? static_cast<unsigned char>(high << 4 | low) : 0;
  }
  OPENSSL_cleanse(&text[0], text.size());
  if (!ok) OPENSSL_cleanse(master_, sizeof master_);
  loaded_ = ok;
  return ok;
}

bool PasswordKey::versionKey(int version, unsigned char (&out)[kSize]) const {
  if (!loaded_ || (version != 1 && version != 2)) return false;
  const std::string label = "XRPassword version " + std::to_string(version);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr),
                                                                  &EVP_PKEY_CTX_free);
  size_t length = kSize;
  const bool ok = ctx != nullptr && EVP_PKEY_derive_init(ctx.get()) > 0 &&
                  EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) > 0 &&
                  EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), master_, kSize) > 0 &&
                  EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), reinterpret_cast<const unsigned char*>(label.data()),
                                              static_cast<int>(label.size())) > 0 &&
                  EVP_PKEY_derive(ctx.get(), out, &length) > 0 && length == kSize;
  if (!ok) OPENSSL_cleanse(out, kSize);
  return ok;
}
