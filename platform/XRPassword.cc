// Password class: not built yet; every operation fails.
#include "platform/XRPassword.h"

XRPassword::XRPassword() = default;
XRPassword::~XRPassword() = default;

int XRPassword::putEncPwd(const char* /*encrypted*/) { return 0; }
int XRPassword::getEncPwd(char* /*buffer*/, unsigned long* /*length*/, unsigned long /*flags*/) { return 0; }
int XRPassword::encrypt(const char* /*plain*/, char* /*buffer*/, unsigned long* /*length*/) { return 0; }
int XRPassword::decrypt(const char* /*encrypted*/, char* /*buffer*/, unsigned long* /*length*/) { return 0; }
