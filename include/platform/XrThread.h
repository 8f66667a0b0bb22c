// Thread helpers of the platform.
#ifndef PLATFORM_XRTHREAD_H_
#define PLATFORM_XRTHREAD_H_

class XrThread {
 public:
  // The calling thread's kernel thread id.
  static unsigned int getCurrentThreadID();
};

#endif  // PLATFORM_XRTHREAD_H_
