// Built against an installed copy. WITH_LISTENER: one exported function each of the listener and
// the store library ("a+1b", "postgres"); WITH_CLIENT: one of the client library ("malformed frame").
#include <cstdio>
#include <string>
#ifdef WITH_LISTENER
#include <appmgr/AppMgr/TokenEscape.h>
#include <appmgr/store/StoreOpener.h>
#endif
#ifdef WITH_CLIENT
#include <appmgr/host/WireFormat.h>
#endif

int main() {
#ifdef WITH_LISTENER
  std::string text = "a b";
  std::puts(transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol).c_str());
  auto spec = appmgr::storeSpecForArgument("postgresql:///catalog");
  std::puts(spec.kind == appmgr::StoreSpec::Kind::kPostgres ? "postgres" : "sqlite");
#endif
#ifdef WITH_CLIENT
  std::puts(appmgr::wire::wireErrorName(appmgr::wire::WireError::kMalformedFrame));
#endif
}
