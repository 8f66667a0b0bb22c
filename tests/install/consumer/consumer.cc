// Uses one exported function of the listener library, one of the store
// library and one of the client library; prints "a+1b", whether a
// connection string names PostgreSQL, and the name of a wire error.
#include <cstdio>
#include <string>

#include "AppMgr/TokenEscape.h"

#include "store/StoreOpener.h"
#ifdef WITH_CLIENT
#include "host/WireFormat.h"
#endif

int main() {
  std::string text = "a b";
  std::printf("%s\n",
              transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol).c_str());
  std::printf("%s\n",
              appmgr::storeSpecForArgument("postgresql:///catalog").kind == appmgr::StoreSpec::Kind::kPostgres
                  ? "postgres"
                  : "sqlite");
#ifdef WITH_CLIENT
  std::printf("%s\n", appmgr::wire::wireErrorName(appmgr::wire::WireError::kMalformedFrame));
#endif
  return 0;
}
