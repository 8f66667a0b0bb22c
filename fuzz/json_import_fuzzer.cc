// The JSON tree import on arbitrary text, into an in-memory store that
// already holds a small tree.
//
// Properties: a text that parses formats to a canonical text that parses
// again and formats to the same bytes; the import accepts exactly the texts
// that parse; a refused import leaves the store's contents as they were
// (same export), an accepted one leaves exactly the canonical text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "AppMgr/appMgrErrorCodes.h"

#include "FuzzSupport.h"
#include "store/ConfigTreeJson.h"
#include "store/MemoryConfigStore.h"

namespace {

constexpr char kBaseTree[] = R"json({
  "format": "appmgr-config-tree",
  "version": 1,
  "globalParams": {"nMaxBackupStreams": "8"},
  "applicationTypes": [{"id": 7, "name": "File System"}],
  "velmoras": [{"id": 2, "name": "north", "clients": [{"id": 5, "name": "build01"}]}]
})json";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ConfigTree tree;
  std::string errorText;
  const int parsed = parseConfigTreeJson(text, tree, errorText);
  FUZZ_CHECK(parsed == 0 || parsed == static_cast<int>(XR_INVALID_DATA));
  FUZZ_CHECK((parsed == 0) == errorText.empty());
  std::string canonical;
  if (parsed == 0) {
    FUZZ_CHECK(formatConfigTreeJson(tree, canonical, errorText) == 0);
    ConfigTree again;
    FUZZ_CHECK(parseConfigTreeJson(canonical, again, errorText) == 0);
    std::string second;
    FUZZ_CHECK(formatConfigTreeJson(again, second, errorText) == 0);
    FUZZ_CHECK(second == canonical);
  }

  MemoryConfigStore store;
  FUZZ_CHECK(importConfigTreeJson(kBaseTree, store, errorText) == 0);
  std::string before;
  FUZZ_CHECK(exportConfigTreeJson(store, before, errorText) == 0);
  const int imported = importConfigTreeJson(text, store, errorText);
  FUZZ_CHECK((imported == 0) == (parsed == 0));
  std::string after;
  FUZZ_CHECK(exportConfigTreeJson(store, after, errorText) == 0);
  FUZZ_CHECK(after == (imported == 0 ? canonical : before));
  return 0;
}
