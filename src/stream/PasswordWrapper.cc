// Password wrapper: not built yet.
#include "AppMgr/PasswordWrapper.h"

PasswordWrapper::PasswordWrapper(const std::string& text) { init(text.c_str()); }
PasswordWrapper::PasswordWrapper(const char* text) { init(text); }
void PasswordWrapper::init(const char* text) {
  password = text != nullptr ? text : "";
  resultBuffer[sizeof resultBuffer - 1] = '\0';
}
char* PasswordWrapper::getEncPassword(unsigned long /*flags*/) { return nullptr; }
char* PasswordWrapper::encrypt() { return nullptr; }
char* PasswordWrapper::strongEncrypt() { return nullptr; }
char* PasswordWrapper::decrypt() { return nullptr; }
