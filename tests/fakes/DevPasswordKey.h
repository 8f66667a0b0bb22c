// A development password key for one test: a key file in a temporary
// platform configuration (ScopedPlatformConfig) whose INI file names it.
//
//   ScopedDevPasswordKey key;
//   const std::string stored = key.encryptV2("secret");
#ifndef TESTS_FAKES_DEVPASSWORDKEY_H_
#define TESTS_FAKES_DEVPASSWORDKEY_H_

#include <string>

#include "fakes/ScopedPlatformConfig.h"

// Writes text to path as a file only its owner may read or write (mode
// 0600, also when it existed before), as the platform requires of a key
// file.
void writePrivateFile(const std::string& path, const std::string& text);

class ScopedDevPasswordKey {
 public:
  // The fixed development key (64 hexadecimal digits).
  static const char kDevKeyHex[];

  // keyFileText is written to the key file as it stands; with nameKeyFile
  // false the INI file does not mention a key file at all.
  explicit ScopedDevPasswordKey(const std::string& keyFileText = std::string(kDevKeyHex) + "\n",
                                bool nameKeyFile = true);

  const ScopedPlatformConfig& config() const { return config_; }
  void removeKeyFile() const;

  // Encrypted forms of plain in password version 2 or 1, and the plain form
  // of an encrypted text; empty when the platform refuses. Every plain text
  // passed to the encryptions is watched for in the logs (PlainPasswordWatch).
  std::string encryptV2(const std::string& plain) const;
  std::string encryptV1(const std::string& plain) const;
  std::string decrypt(const std::string& encrypted) const;

 private:
  ScopedPlatformConfig config_;
  std::string keyFile_;
};

#endif  // TESTS_FAKES_DEVPASSWORDKEY_H_
