// The keys of the password formats: one key per password version, derived
// with HKDF-SHA256 from a master key. The master key lives in a key file
// named by "Base" / "sPasswordKeyFile" in the configuration registry; a
// relative path is taken from the configuration file's directory. The file
// holds 64 hexadecimal digits (32 bytes), optionally surrounded by
// whitespace, and nothing else, and must be private to its owner (no
// permission bits for group or others, e.g. mode 0600): a file that other
// users can access is refused with an error naming it and the fix.
//
// The file is read and the keys derived once; every thread shares the
// result until the key file or the registry changes (see XRPlatformInfo for
// the rule). The master key is wiped as soon as the version keys are
// derived; the version keys are wiped when the last user of a replaced set
// lets go of it, and at exit.
#ifndef PLATFORM_PASSWORDKEY_H_
#define PLATFORM_PASSWORDKEY_H_

#include <cstddef>
#include <memory>

class PasswordKey final {
 public:
  static constexpr size_t kSize = 32;

  ~PasswordKey();
  PasswordKey(const PasswordKey&) = delete;
  PasswordKey& operator=(const PasswordKey&) = delete;

  // The keys of the key file the registry names now; null when none is
  // configured, or the file cannot be read, is accessible to other users
  // or does not hold exactly one well-formed key (logged when the file is
  // read). A caller keeps the
  // pointer for one whole operation, so that it uses one set of keys.
  static std::shared_ptr<const PasswordKey> current();

  // The keys derived from the size bytes at text, a key file's contents;
  // null when they are malformed.
  static std::shared_ptr<const PasswordKey> fromKeyFileText(const char* text, size_t size);

  // The key of password version 1 or 2; null for any other version.
  const unsigned char* versionKey(int version) const;

 private:
  PasswordKey() = default;

  unsigned char version1_[kSize] = {};
  unsigned char version2_[kSize] = {};
};

#endif  // PLATFORM_PASSWORDKEY_H_
