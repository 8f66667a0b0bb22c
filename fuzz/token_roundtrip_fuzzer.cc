// Escaping arbitrary bytes yields one non-empty token without spaces that
// unescapes to the same bytes; unescaping arbitrary bytes never grows them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AppMgr/TokenEscape.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string token = input;
  transform_string_encode(token, TransformStringFromSymbol, TransformStringToSymbol);
  FUZZ_CHECK(!token.empty());
  FUZZ_CHECK(token.find(' ') == std::string::npos);
  FUZZ_CHECK(transform_string_decode(token, TransformStringFromSymbol, TransformStringToSymbol) == input);
  std::string raw = input;
  FUZZ_CHECK(transform_string_decode(raw, TransformStringFromSymbol, TransformStringToSymbol).size() <= size);
  return 0;
}
