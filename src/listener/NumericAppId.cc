// Reading of the numeric application id text.
#include "listener/NumericAppId.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <string>

#include "AppMgr/appMgrSharedPropDefines.h"

namespace {

// Unsigned decimal at the start of part, saturating instead of wrapping.
unsigned long readUnsigned(const std::string& part) {
  constexpr unsigned long kMax = std::numeric_limits<unsigned long>::max();
  size_t i = 0;
  while (i < part.size() && std::isspace(static_cast<unsigned char>(part[i]))) ++i;
  unsigned long value = 0;
  for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
    const unsigned long digit = static_cast<unsigned long>(part[i] - '0');
    if (value > (kMax - digit) / 10) return kMax;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

bool parseNumericAppId(const char* text, AppIdInfo& info) {
  if (text == nullptr) return false;
  const std::string copy(text);
  const size_t at = copy.find(XR_NUMERIC_APPLICATIONID_DELIMITER);
  if (at == std::string::npos) return false;
  info.velmoraId = readUnsigned(copy.substr(0, at));
  info.appId = readUnsigned(copy.substr(at + std::strlen(XR_NUMERIC_APPLICATIONID_DELIMITER)));
  return true;
}
