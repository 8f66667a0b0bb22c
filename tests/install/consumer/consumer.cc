// Uses one exported function of the listener library and one of the client
// library; prints "a+1b" and the name of a wire error.
#include <cstdio>
#include <string>

#include "AppMgr/TokenEscape.h"
#ifdef WITH_CLIENT
#include "host/WireFormat.h"
#endif

int main() {
  std::string text = "a b";
  std::printf("%s\n",
              transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol).c_str());
#ifdef WITH_CLIENT
  std::printf("%s\n", appmgr::wire::wireErrorName(appmgr::wire::WireError::kMalformedFrame));
#endif
  return 0;
}
