// Thin wrapper around the platform's password class for one conversion.
// Each operation returns a pointer into the wrapper's result buffer, valid
// until the next operation or the wrapper's end, or null on failure.
#ifndef APPMGR_PASSWORDWRAPPER_H_
#define APPMGR_PASSWORDWRAPPER_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

class APPMGR_EXPORT PasswordWrapper {
 public:
  explicit PasswordWrapper(const std::string& text);
  explicit PasswordWrapper(const char* text);
  // Overwrites the input text and the result buffer.
  ~PasswordWrapper();

  void init(const char* text);
  // The loaded encrypted password, re-encrypted in the version held in
  // bits 24 to 31 of flags.
  char* getEncPassword(unsigned long flags);
  char* encrypt();
  char* strongEncrypt();
  char* decrypt();

  std::string password;
  char resultBuffer[2049];
};

#endif  // APPMGR_PASSWORDWRAPPER_H_
