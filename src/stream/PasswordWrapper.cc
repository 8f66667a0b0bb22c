// Wrapper around the platform's password class: one XRPassword per
// operation, the result in the wrapper's own buffer.
#include "AppMgr/PasswordWrapper.h"

#include <string.h>

#include "platform/XRPassword.h"

namespace {

constexpr unsigned long kResultCapacity = sizeof(PasswordWrapper::resultBuffer);
constexpr unsigned long kDecryptCapacity = kResultCapacity - 1;

// Overwrites memory that held a password in a way the compiler keeps
// (explicit_bzero: at memset speed, where a volatile byte loop over the
// result buffer cost as much as a whole conversion's encryption).
void wipe(void* data, size_t size) { explicit_bzero(data, size); }

}  // namespace

PasswordWrapper::PasswordWrapper(const std::string& text) { init(text.c_str()); }

PasswordWrapper::PasswordWrapper(const char* text) { init(text); }

PasswordWrapper::~PasswordWrapper() {
  wipe(&password[0], password.size());
  wipe(resultBuffer, sizeof resultBuffer);
}

void PasswordWrapper::init(const char* text) {
  wipe(&password[0], password.size());
  password = text != nullptr ? text : "";
  resultBuffer[sizeof resultBuffer - 1] = '\0';
}

char* PasswordWrapper::getEncPassword(unsigned long flags) {
  XRPassword xrPassword;
  if (xrPassword.putEncPwd(password.c_str()) == 0) return nullptr;
  unsigned long length = kResultCapacity;
  if (xrPassword.getEncPwd(resultBuffer, &length, flags) == 0) return nullptr;
  return resultBuffer;
}

char* PasswordWrapper::encrypt() {
  XRPassword xrPassword;
  unsigned long length = kResultCapacity;
  if (xrPassword.encrypt(password.c_str(), resultBuffer, &length) == 0) return nullptr;
  return resultBuffer;
}

// Same as encrypt(): the platform has one strong format.
char* PasswordWrapper::strongEncrypt() { return encrypt(); }

char* PasswordWrapper::decrypt() {
  XRPassword xrPassword;
  unsigned long length = kDecryptCapacity;
  if (xrPassword.decrypt(password.c_str(), resultBuffer, &length) == 0) return nullptr;
  return resultBuffer;
}
