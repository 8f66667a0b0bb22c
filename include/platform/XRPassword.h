// The platform's password class: loads an encrypted password and writes it
// in either encrypted format, or encrypts and decrypts. Each operation
// returns non-zero on success and 0 on failure. The key comes from the key
// file named by "Base" / "sPasswordKeyFile" in the configuration registry;
// it is read once per process and again when the file or the registry
// changes (see XRPlatformInfo). Safe to use from many threads, one object
// per thread.
#ifndef PLATFORM_XRPASSWORD_H_
#define PLATFORM_XRPASSWORD_H_

#include <memory>
#include <string>

class PasswordKey;

class XRPassword {
 public:
  XRPassword();
  ~XRPassword();

  // Loads an encrypted password of either version.
  int putEncPwd(const char* encrypted);
  // Writes the loaded password encrypted in the version held in bits 24 to
  // 31 of flags, NUL-terminated, with the keys it was loaded with. *length is the buffer's capacity in and
  // the text's length out; a result that does not fit fails.
  int getEncPwd(char* buffer, unsigned long* length, unsigned long flags);
  // Encrypts a plain password (version 2).
  int encrypt(const char* plain, char* buffer, unsigned long* length);
  // Decrypts an encrypted password of either version.
  int decrypt(const char* encrypted, char* buffer, unsigned long* length);

 private:
  std::string plain_;
  bool loaded_ = false;
  // The key set current at putEncPwd, kept for getEncPwd.
  std::shared_ptr<const PasswordKey> keys_;
};

#endif  // PLATFORM_XRPASSWORD_H_
