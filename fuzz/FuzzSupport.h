// Helpers shared by the fuzz targets: a property check that stops the run
// with a message, and an exact-size copy of the input for code that needs
// its own buffer.
#ifndef FUZZ_FUZZSUPPORT_H_
#define FUZZ_FUZZSUPPORT_H_

#include <cstdio>
#include <cstdlib>

// Aborts with the failed property when cond is false. libFuzzer saves the
// input; the replay programs report it and fail.
#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

#endif  // FUZZ_FUZZSUPPORT_H_
