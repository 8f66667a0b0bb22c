// The master key of the password formats and the per-version keys derived
// from it. The master key lives in a key file named by "Base" /
// "sPasswordKeyFile" in the configuration registry; a relative path is taken
// from the configuration file's directory. The file holds 64 hexadecimal
// digits (32 bytes), optionally surrounded by whitespace, and nothing else.
// Key material is wiped when the object ends.
#ifndef PLATFORM_PASSWORDKEY_H_
#define PLATFORM_PASSWORDKEY_H_

#include <cstddef>
#include <string>

class PasswordKey final {
 public:
  static constexpr size_t kSize = 32;

  PasswordKey() = default;
  ~PasswordKey();
  PasswordKey(const PasswordKey&) = delete;
  PasswordKey& operator=(const PasswordKey&) = delete;

  // Reads the master key; false when it is not configured, the file cannot
  // be read or does not hold exactly one well-formed key.
  bool load();
  // The key of password version 1 or 2 (HKDF-SHA256 of the master key with
  // a per-version label). False before a successful load() or for any other
  // version.
  bool versionKey(int version, unsigned char (&out)[kSize]) const;

  // The key file's path as configured, resolved against the configuration
  // file's directory; empty when none is configured.
  static std::string configuredPath();

 private:
  unsigned char master_[kSize] = {};
  bool loaded_ = false;
};

#endif  // PLATFORM_PASSWORDKEY_H_
