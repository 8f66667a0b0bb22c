// Password class over OpenSSL's libcrypto. Two self-describing text formats:
//
//   version 2:  "XRPW2:" base64( nonce[12] ciphertext tag[16] )
//               AES-256-GCM, random nonce, the prefix as additional data
//   version 1:  "XRPW1:" hex( iv[16] ciphertext )
//               AES-256-CBC with PKCS#7 padding, random IV
//
// Each version has its own key, derived from the master key (PasswordKey),
// which is read once and shared by all threads; no lock is held while
// encrypting or decrypting.
// Plain text is wiped from every buffer that held it once it is done with.
#include "platform/XRPassword.h"

#include <cstring>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "PasswordKey.h"

namespace {

constexpr char kPrefixV1[] = "XRPW1:";
constexpr char kPrefixV2[] = "XRPW2:";
constexpr size_t kPrefixLength = sizeof kPrefixV1 - 1;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kBlockSize = 16;
// Far above any password; keeps every length within OpenSSL's int range.
constexpr size_t kMaxTextSize = 1 << 20;

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

void wipe(std::string& s) {
  if (!s.empty()) OPENSSL_cleanse(&s[0], s.size());
}

// Wipes a string when the scope ends.
class WipeOnExit {
 public:
  explicit WipeOnExit(std::string& s) : s_(s) {}
  ~WipeOnExit() { wipe(s_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  std::string& s_;
};

// The key of one password version, taken from the process's current key
// set, which it keeps alive for the operation.
class VersionKey {
 public:
  bool load(int version) {
    keys_ = PasswordKey::current();
    bytes_ = keys_ != nullptr ? keys_->versionKey(version) : nullptr;
    return bytes_ != nullptr;
  }
  const unsigned char* data() const { return bytes_; }

 private:
  std::shared_ptr<const PasswordKey> keys_;
  const unsigned char* bytes_ = nullptr;
};

const unsigned char* bytesOf(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* bytesOf(std::string& s) { return reinterpret_cast<unsigned char*>(&s[0]); }

std::string toHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0F]);
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool fromHex(const char* text, size_t size, std::string& out) {
  if (size % 2 != 0) return false;
  out.assign(size / 2, '\0');
  for (size_t i = 0; i < out.size(); ++i) {
    const int high = hexDigit(text[2 * i]);
    const int low = hexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<char>(high << 4 | low);
  }
  return true;
}

std::string toBase64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(bytesOf(out), bytesOf(bytes), static_cast<int>(bytes.size()));
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

// Strict base64: whole quanta, the standard alphabet, padding only at the end.
bool fromBase64(const char* text, size_t size, std::string& out) {
  if (size == 0 || size % 4 != 0) return false;
  size_t padding = 0;
  if (text[size - 1] == '=') padding = text[size - 2] == '=' ? 2 : 1;
  for (size_t i = 0; i < size - padding; ++i) {
    const char c = text[i];
    const bool alphabet =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
    if (!alphabet) return false;
  }
  out.assign(size / 4 * 3, '\0');
  const int decoded =
      EVP_DecodeBlock(bytesOf(out), reinterpret_cast<const unsigned char*>(text), static_cast<int>(size));
  if (decoded < 0 || static_cast<size_t>(decoded) != out.size()) return false;
  out.resize(out.size() - padding);
  return true;
}

bool sealV2(const std::string& plain, std::string& text) {
  VersionKey key;
  if (!key.load(2)) return false;
  std::string body(kNonceSize + plain.size() + kTagSize, '\0');
  unsigned char* nonce = bytesOf(body);
  unsigned char* cipher = nonce + kNonceSize;
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && RAND_bytes(nonce, kNonceSize) == 1 &&
      EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), nonce) == 1 &&
      EVP_EncryptUpdate(ctx.get(), nullptr, &written, reinterpret_cast<const unsigned char*>(kPrefixV2),
                        kPrefixLength) == 1 &&
      EVP_EncryptUpdate(ctx.get(), cipher, &written, bytesOf(plain), static_cast<int>(plain.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), cipher + written, &finalWritten) == 1 &&
      static_cast<size_t>(written + finalWritten) == plain.size() &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, cipher + plain.size()) == 1;
  if (!ok) return false;
  text = kPrefixV2 + toBase64(body);
  return true;
}

bool openV2(const char* encoded, size_t size, std::string& plain) {
  std::string body;
  if (!fromBase64(encoded, size, body) || body.size() < kNonceSize + kTagSize) return false;
  VersionKey key;
  if (!key.load(2)) return false;
  const size_t cipherSize = body.size() - kNonceSize - kTagSize;
  const unsigned char* nonce = bytesOf(body);
  const unsigned char* cipher = nonce + kNonceSize;
  std::string out(cipherSize + 1, '\0');
  WipeOnExit wipeOut(out);
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, key.data(), nonce) == 1 &&
      EVP_DecryptUpdate(ctx.get(), nullptr, &written, reinterpret_cast<const unsigned char*>(kPrefixV2),
                        kPrefixLength) == 1 &&
      EVP_DecryptUpdate(ctx.get(), bytesOf(out), &written, cipher, static_cast<int>(cipherSize)) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize,
                          const_cast<unsigned char*>(cipher + cipherSize)) == 1 &&
      EVP_DecryptFinal_ex(ctx.get(), bytesOf(out) + written, &finalWritten) == 1;
  if (!ok) return false;
  plain.assign(out.data(), static_cast<size_t>(written + finalWritten));
  return true;
}

bool sealV1(const std::string& plain, std::string& text) {
  VersionKey key;
  if (!key.load(1)) return false;
  std::string body(kBlockSize + plain.size() + kBlockSize, '\0');
  unsigned char* iv = bytesOf(body);
  unsigned char* cipher = iv + kBlockSize;
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && RAND_bytes(iv, kBlockSize) == 1 &&
      EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) == 1 &&
      EVP_EncryptUpdate(ctx.get(), cipher, &written, bytesOf(plain), static_cast<int>(plain.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), cipher + written, &finalWritten) == 1;
  if (!ok) return false;
  body.resize(kBlockSize + static_cast<size_t>(written + finalWritten));
  text = kPrefixV1 + toHex(body);
  return true;
}

bool openV1(const char* encoded, size_t size, std::string& plain) {
  std::string body;
  if (!fromHex(encoded, size, body) || body.size() < 2 * kBlockSize || body.size() % kBlockSize != 0) {
    return false;
  }
  VersionKey key;
  if (!key.load(1)) return false;
  const size_t cipherSize = body.size() - kBlockSize;
  const unsigned char* iv = bytesOf(body);
  std::string out(cipherSize + kBlockSize, '\0');
  WipeOnExit wipeOut(out);
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) == 1 &&
      EVP_DecryptUpdate(ctx.get(), bytesOf(out), &written, iv + kBlockSize, static_cast<int>(cipherSize)) ==
          1 &&
      EVP_DecryptFinal_ex(ctx.get(), bytesOf(out) + written, &finalWritten) == 1;
  if (!ok) return false;
  plain.assign(out.data(), static_cast<size_t>(written + finalWritten));
  return true;
}

// Decrypts a text of either format into plain. A plain text holding a NUL
// cannot have come from encrypt() and is refused.
bool openText(const char* text, std::string& plain) {
  if (text == nullptr) return false;
  const size_t size = strnlen(text, kMaxTextSize + 1);
  if (size < kPrefixLength || size > kMaxTextSize) return false;
  const char* body = text + kPrefixLength;
  const size_t bodySize = size - kPrefixLength;
  bool ok = false;
  if (std::memcmp(text, kPrefixV2, kPrefixLength) == 0) {
    ok = openV2(body, bodySize, plain);
  } else if (std::memcmp(text, kPrefixV1, kPrefixLength) == 0) {
    ok = openV1(body, bodySize, plain);
  }
  if (ok && plain.find('\0') == std::string::npos) return true;
  wipe(plain);
  plain.clear();
  return false;
}

bool sealText(int version, const std::string& plain, std::string& text) {
  if (plain.size() > kMaxTextSize) return false;
  if (version == 2) return sealV2(plain, text);
  if (version == 1) return sealV1(plain, text);
  return false;
}

// Copies text and its NUL into buffer when they fit its capacity *length.
int writeText(const std::string& text, char* buffer, unsigned long* length) {
  if (buffer == nullptr || length == nullptr || *length < text.size() + 1) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *length = text.size();
  return 1;
}

}  // namespace

XRPassword::XRPassword() = default;

XRPassword::~XRPassword() { wipe(plain_); }

int XRPassword::putEncPwd(const char* encrypted) {
  wipe(plain_);
  plain_.clear();
  loaded_ = openText(encrypted, plain_);
  return loaded_ ? 1 : 0;
}

int XRPassword::getEncPwd(char* buffer, unsigned long* length, unsigned long flags) {
  if (!loaded_) return 0;
  const int version = static_cast<int>((flags >> 24) & 0xFF);
  std::string text;
  if (!sealText(version, plain_, text)) return 0;
  return writeText(text, buffer, length);
}

int XRPassword::encrypt(const char* plain, char* buffer, unsigned long* length) {
  if (plain == nullptr) return 0;
  const size_t size = strnlen(plain, kMaxTextSize + 1);
  if (size > kMaxTextSize) return 0;
  std::string text(plain, size);
  WipeOnExit wipePlain(text);
  std::string encrypted;
  if (!sealText(2, text, encrypted)) return 0;
  return writeText(encrypted, buffer, length);
}

int XRPassword::decrypt(const char* encrypted, char* buffer, unsigned long* length) {
  std::string plain;
  WipeOnExit wipePlain(plain);
  if (!openText(encrypted, plain)) return 0;
  return writeText(plain, buffer, length);
}
