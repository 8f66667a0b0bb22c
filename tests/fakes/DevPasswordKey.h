// A development password key for one test: a temporary directory holding a
// key file and an INI file that names it, installed as the configuration
// registry (APPMGR_PLATFORM_CONFIG) for the object's lifetime; the previous
// environment is restored and the directory removed afterwards.
//
//   ScopedDevPasswordKey key;
//   const std::string stored = key.encryptV2("secret");
#ifndef TESTS_FAKES_DEVPASSWORDKEY_H_
#define TESTS_FAKES_DEVPASSWORDKEY_H_

#include <optional>
#include <string>

class ScopedDevPasswordKey {
 public:
  // The fixed development key (64 hexadecimal digits).
  static const char kDevKeyHex[];

  ScopedDevPasswordKey();
  // keyFileText is written to the key file as it stands; with nameKeyFile
  // false the INI file does not mention a key file at all.
  explicit ScopedDevPasswordKey(const std::string& keyFileText, bool nameKeyFile = true);
  ~ScopedDevPasswordKey();
  ScopedDevPasswordKey(const ScopedDevPasswordKey&) = delete;
  ScopedDevPasswordKey& operator=(const ScopedDevPasswordKey&) = delete;

  const std::string& keyFilePath() const { return keyFile_; }
  const std::string& iniFilePath() const { return iniFile_; }
  void removeKeyFile() const;

  // Encrypted forms of plain in password version 2 or 1, and the plain form
  // of an encrypted text; empty when the platform refuses.
  std::string encryptV2(const std::string& plain) const;
  std::string encryptV1(const std::string& plain) const;
  std::string decrypt(const std::string& encrypted) const;

 private:
  std::string dir_;
  std::string keyFile_;
  std::string iniFile_;
  std::optional<std::string> previousConfig_;
};

#endif  // TESTS_FAKES_DEVPASSWORDKEY_H_
