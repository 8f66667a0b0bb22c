// Request buffer of the host. The library reads only the request-data
// pointer, which points to the request record of the request code; it never
// writes or frees the buffer.
#ifndef PLATFORM_XRSDATABUF_H_
#define PLATFORM_XRSDATABUF_H_

#include <cstddef>
#include <cstdint>

struct xrsDatabuf {
  uint64_t flags = 0;     // host's own bookkeeping
  uint64_t length = 0;    // bytes of request data the host received
  uint64_t capacity = 0;  // bytes the host allocated
  void* data = nullptr;   // the request record
};
static_assert(sizeof(xrsDatabuf) == 32);
static_assert(offsetof(xrsDatabuf, data) == 24);

#endif  // PLATFORM_XRSDATABUF_H_
