// Differential fuzzing of the memory and SQLite stores through the listener:
// the input is a sequence of requests (StoreDifferential.h gives its
// layout), run on both stores side by side. Property: every answer, and the
// exported tree after the sequence, is the same on both.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "StoreDifferential.h"

namespace {

const std::vector<differential::StoreUnderTest>& stores() {
  static const std::vector<differential::StoreUnderTest> both = {differential::openMemoryStore(),
                                                                 differential::openSqliteStore()};
  return both;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  differential::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  differential::runSequence(data, size, stores());
  return 0;
}
