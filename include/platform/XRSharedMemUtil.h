// System V shared memory segments keyed by an ftok key.
#ifndef PLATFORM_XRSHAREDMEMUTIL_H_
#define PLATFORM_XRSHAREDMEMUTIL_H_

// Error reported by createSharedMemory when a segment with the key exists.
constexpr int kSharedMemoryExists = 183;

class XRSharedMemUtil {
 public:
  virtual ~XRSharedMemUtil();

  // Creates and attaches a new segment of `size` bytes; null with `error`
  // set on failure (kSharedMemoryExists when the key is taken).
  char* createSharedMemory(int key, int& handle, int size, int& error);
  // Attaches the existing segment of `key`; null with `error` set.
  char* getSharedMemory(int key, int& error);
  // Removes the segment attached at `address` (an address returned by
  // createSharedMemory or getSharedMemory of any object in this process) and
  // detaches every attachment of it that this process holds, so no address
  // of the segment stays valid. `handle` is not used: the segment is found
  // from the address. An address not attached here fails with EINVAL and
  // removes nothing; otherwise false with `error` set if a step failed.
  bool deleteSharedMemory(char* address, int& error, int handle);
};

#endif  // PLATFORM_XRSHAREDMEMUTIL_H_
