// Thread helpers.
#include "platform/XrThread.h"

#include <sys/syscall.h>
#include <unistd.h>

unsigned int XrThread::getCurrentThreadID() { return static_cast<unsigned int>(syscall(SYS_gettid)); }
