// Escaping arbitrary bytes yields one token without spaces that unescapes
// to the same bytes; unescaping arbitrary bytes stays within them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AppMgr/TokenEscape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string token = input;
  transform_string_encode(token, TransformStringFromSymbol, TransformStringToSymbol);
  if (token.empty() || token.find(' ') != std::string::npos) __builtin_trap();
  if (transform_string_decode(token, TransformStringFromSymbol, TransformStringToSymbol) != input) {
    __builtin_trap();
  }
  std::string raw = input;
  if (transform_string_decode(raw, TransformStringFromSymbol, TransformStringToSymbol).size() > size) {
    __builtin_trap();
  }
  return 0;
}
