// Password class over OpenSSL's libcrypto. Two self-describing text formats:
//
//   version 2:  "XRPW2:" base64( nonce[12] ciphertext tag[16] )
//               AES-256-GCM, random nonce, the prefix as additional data
//   version 1:  "XRPW1:" hex( iv[16] ciphertext )
//               AES-256-CBC with PKCS#7 padding, random IV
//
// Each version has its own key, derived from the master key (PasswordKey),
// which is read once and shared by all threads; no lock is held while
// encrypting or decrypting. A loaded password is written again with the key
// set it was read with, so one conversion never mixes two key files.
// Plain text is wiped from every buffer that held it once it is done with.
#include "platform/XRPassword.h"

#include <atomic>
#include <cstring>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <pthread.h>

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
using Cipher = std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)>;

// The ciphers are fetched from the provider once: fetching them again at
// every initialisation costs more than encrypting a password. Null when
// the provider lacks them; the operation then fails.
const EVP_CIPHER* aes256Gcm() {
  static const Cipher cipher(EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr), &EVP_CIPHER_free);
  return cipher.get();
}

const EVP_CIPHER* aes256Cbc() {
  static const Cipher cipher(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr), &EVP_CIPHER_free);
  return cipher.get();
}

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

// Nonces and IVs: random bytes served from a per-thread buffer that one
// RAND_bytes call fills, since each call costs more than the encryption it
// serves. The bytes are public once used and are handed out only once. A
// forked child must not hand out the parent's bytes again (a nonce used
// twice under one key breaks GCM), so a fork makes every buffer stale.
std::atomic<unsigned> forkCount{0};

void countFork() { forkCount.fetch_add(1, std::memory_order_relaxed); }

bool randomBytes(unsigned char* out, size_t size) {
  struct Pool {
    unsigned char bytes[512];
    size_t used = sizeof bytes;
    unsigned forks = 0;
  };
  static const int registered = pthread_atfork(nullptr, nullptr, &countFork);
  thread_local Pool pool;
  if (registered != 0 || size > sizeof pool.bytes) return RAND_bytes(out, static_cast<int>(size)) == 1;
  const unsigned forks = forkCount.load(std::memory_order_relaxed);
  if (pool.forks != forks || sizeof pool.bytes - pool.used < size) {
    pool.used = sizeof pool.bytes;
    if (RAND_bytes(pool.bytes, sizeof pool.bytes) != 1) return false;
    pool.used = 0;
    pool.forks = forks;
  }
  std::memcpy(out, pool.bytes + pool.used, size);
  std::memset(pool.bytes + pool.used, 0, size);
  pool.used += size;
  return true;
}

const unsigned char* bytesOf(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* bytesOf(std::string& s) { return reinterpret_cast<unsigned char*>(&s[0]); }

std::string toHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(bytes.size() * 2, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    out[2 * i] = kDigits[c >> 4];
    out[2 * i + 1] = kDigits[c & 0x0F];
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

bool sealV2(const PasswordKey& keys, const std::string& plain, std::string& text) {
  const unsigned char* key = keys.versionKey(2);
  std::string body(kNonceSize + plain.size() + kTagSize, '\0');
  unsigned char* nonce = bytesOf(body);
  unsigned char* cipher = nonce + kNonceSize;
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && randomBytes(nonce, kNonceSize) &&
      EVP_EncryptInit_ex(ctx.get(), aes256Gcm(), nullptr, key, nonce) == 1 &&
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

bool openV2(const PasswordKey& keys, const char* encoded, size_t size, std::string& plain) {
  std::string body;
  if (!fromBase64(encoded, size, body) || body.size() < kNonceSize + kTagSize) return false;
  const unsigned char* key = keys.versionKey(2);
  const size_t cipherSize = body.size() - kNonceSize - kTagSize;
  const unsigned char* nonce = bytesOf(body);
  const unsigned char* cipher = nonce + kNonceSize;
  std::string out(cipherSize + 1, '\0');
  WipeOnExit wipeOut(out);
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && EVP_DecryptInit_ex(ctx.get(), aes256Gcm(), nullptr, key, nonce) == 1 &&
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

bool sealV1(const PasswordKey& keys, const std::string& plain, std::string& text) {
  const unsigned char* key = keys.versionKey(1);
  std::string body(kBlockSize + plain.size() + kBlockSize, '\0');
  unsigned char* iv = bytesOf(body);
  unsigned char* cipher = iv + kBlockSize;
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok =
      ctx != nullptr && randomBytes(iv, kBlockSize) &&
      EVP_EncryptInit_ex(ctx.get(), aes256Cbc(), nullptr, key, iv) == 1 &&
      EVP_EncryptUpdate(ctx.get(), cipher, &written, bytesOf(plain), static_cast<int>(plain.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), cipher + written, &finalWritten) == 1;
  if (!ok) return false;
  body.resize(kBlockSize + static_cast<size_t>(written + finalWritten));
  text = kPrefixV1 + toHex(body);
  return true;
}

bool openV1(const PasswordKey& keys, const char* encoded, size_t size, std::string& plain) {
  std::string body;
  if (!fromHex(encoded, size, body) || body.size() < 2 * kBlockSize || body.size() % kBlockSize != 0) {
    return false;
  }
  const unsigned char* key = keys.versionKey(1);
  const size_t cipherSize = body.size() - kBlockSize;
  const unsigned char* iv = bytesOf(body);
  std::string out(cipherSize + kBlockSize, '\0');
  WipeOnExit wipeOut(out);
  CipherCtx ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  int written = 0;
  int finalWritten = 0;
  const bool ok = ctx != nullptr && EVP_DecryptInit_ex(ctx.get(), aes256Cbc(), nullptr, key, iv) == 1 &&
                  EVP_DecryptUpdate(ctx.get(), bytesOf(out), &written, iv + kBlockSize,
                                    static_cast<int>(cipherSize)) == 1 &&
                  EVP_DecryptFinal_ex(ctx.get(), bytesOf(out) + written, &finalWritten) == 1;
  if (!ok) return false;
  plain.assign(out.data(), static_cast<size_t>(written + finalWritten));
  return true;
}

// Decrypts a text of either format into plain. A plain text holding a NUL
// cannot have come from encrypt() and is refused.
bool openText(const PasswordKey* keys, const char* text, std::string& plain) {
  if (keys == nullptr || text == nullptr) return false;
  const size_t size = strnlen(text, kMaxTextSize + 1);
  if (size < kPrefixLength || size > kMaxTextSize) return false;
  const char* body = text + kPrefixLength;
  const size_t bodySize = size - kPrefixLength;
  bool ok = false;
  if (std::memcmp(text, kPrefixV2, kPrefixLength) == 0) {
    ok = openV2(*keys, body, bodySize, plain);
  } else if (std::memcmp(text, kPrefixV1, kPrefixLength) == 0) {
    ok = openV1(*keys, body, bodySize, plain);
  }
  if (ok && plain.find('\0') == std::string::npos) return true;
  wipe(plain);
  plain.clear();
  return false;
}

bool sealText(const PasswordKey* keys, int version, const std::string& plain, std::string& text) {
  if (keys == nullptr || plain.size() > kMaxTextSize) return false;
  if (version == 2) return sealV2(*keys, plain, text);
  if (version == 1) return sealV1(*keys, plain, text);
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
  keys_ = PasswordKey::current();
  loaded_ = openText(keys_.get(), encrypted, plain_);
  return loaded_ ? 1 : 0;
}

int XRPassword::getEncPwd(char* buffer, unsigned long* length, unsigned long flags) {
  if (!loaded_) return 0;
  const int version = static_cast<int>((flags >> 24) & 0xFF);
  std::string text;
  if (!sealText(keys_.get(), version, plain_, text)) return 0;
  return writeText(text, buffer, length);
}

int XRPassword::encrypt(const char* plain, char* buffer, unsigned long* length) {
  if (plain == nullptr) return 0;
  const size_t size = strnlen(plain, kMaxTextSize + 1);
  if (size > kMaxTextSize) return 0;
  std::string text(plain, size);
  WipeOnExit wipePlain(text);
  std::string encrypted;
  if (!sealText(PasswordKey::current().get(), 2, text, encrypted)) return 0;
  return writeText(encrypted, buffer, length);
}

int XRPassword::decrypt(const char* encrypted, char* buffer, unsigned long* length) {
  std::string plain;
  WipeOnExit wipePlain(plain);
  if (!openText(PasswordKey::current().get(), encrypted, plain)) return 0;
  return writeText(plain, buffer, length);
}
