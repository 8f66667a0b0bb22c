// The platform's global parameters.
#ifndef PLATFORM_XRGLOBALPARAM_H_
#define PLATFORM_XRGLOBALPARAM_H_

#include <string>

class XRGlobalParam {
 public:
  // 0 and the value on success; a non-zero code when the parameter does not
  // exist or cannot be read. There is no error text.
  int get(const std::string& name, std::string& value, void* reserved);
};

#endif  // PLATFORM_XRGLOBALPARAM_H_
