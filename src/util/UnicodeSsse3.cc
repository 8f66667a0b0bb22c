// The SSSE3 build of the Unicode fast runs. This file alone is compiled
// with -mssse3 (on x86); its code runs only after bestLevel() has found
// SSSE3 on the CPU.
#include "util/UnicodeFastPath.h"

namespace unicode_fast {
namespace ssse3_entry {

bool hasBlocks() {
#if defined(APPMGR_UNICODE_BLOCKS)
  return true;
#else
  return false;
#endif
}

size_t utf8ToUtf16(const unsigned char*& src, const unsigned char* end, unsigned short* out, size_t budget) {
  return runUtf8ToUtf16(src, end, out, budget);
}

size_t utf8ToUtf16(const unsigned char*& src, const unsigned char* end, wchar_t* out, size_t budget) {
  return runUtf8ToUtf16(src, end, out, budget);
}

size_t utf16ToUtf8(const unsigned short*& src, const unsigned short* end, unsigned char* out, size_t budget) {
  return runUtf16ToUtf8(src, end, out, budget);
}

size_t utf16ToUtf8(const wchar_t*& src, const wchar_t* end, unsigned char* out, size_t budget) {
  return runUtf16ToUtf8(src, end, out, budget);
}

}  // namespace ssse3_entry
}  // namespace unicode_fast
