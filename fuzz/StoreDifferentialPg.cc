// The differential sequences of the store_differential corpus run on the
// memory, SQLite and PostgreSQL stores (with ReplayMain.cc, as a ctest). The
// PostgreSQL server is the one APPMGR_TEST_PG names; without it the program
// says so and exits with 77, which ctest reports as skipped. Texts are made
// valid UTF-8 first: PostgreSQL refuses other texts by design.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "StoreDifferential.h"
#include "fakes/PgTestDatabase.h"

namespace {

std::vector<differential::StoreUnderTest> gStores;

// Drops the test schema before the process ends.
void closeStores() { gStores.clear(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string why;
  const std::string conninfo = pgTestConnInfo(why);
  if (conninfo.empty()) {
    std::printf("%s\n", why.c_str());
    std::exit(77);
  }
  differential::initialize();
  std::shared_ptr<PgConfigStore> postgres;
  try {
    postgres = openPgTestStore(conninfo, PgConfigStore::Options());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cannot open a PostgreSQL store: %s\n", e.what());
    std::exit(1);
  }
  ConfigTreeStore* tree = postgres.get();
  gStores = {
      differential::openMemoryStore(), differential::openSqliteStore(), {"PostgreSQL", postgres, tree}};
  std::atexit(closeStores);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  differential::Options options;
  options.utf8Only = true;
  differential::runSequence(data, size, gStores, options);
  return 0;
}
