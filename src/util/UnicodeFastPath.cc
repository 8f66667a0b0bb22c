// Picks the build of the Unicode fast runs: the SSSE3 one when it was
// compiled with its block decoders and the CPU has SSSE3, else the portable
// one compiled here with the library's own flags.
#include "util/UnicodeFastPath.h"

namespace unicode_fast {

namespace {

Level detectLevel() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();  // harmless if done already; needed if this runs before the runtime's own init
  if (ssse3_entry::hasBlocks() && __builtin_cpu_supports("ssse3")) return Level::kSsse3;
#endif
  return Level::kPortable;
}

}  // namespace

Level bestLevel() {
  static const Level level = detectLevel();
  return level;
}

size_t utf8ToUtf16(Level level, const unsigned char*& src, const unsigned char* end, unsigned short* out,
                   size_t budget) {
  if (level == Level::kSsse3) return ssse3_entry::utf8ToUtf16(src, end, out, budget);
  return runUtf8ToUtf16(src, end, out, budget);
}

size_t utf8ToUtf16(Level level, const unsigned char*& src, const unsigned char* end, wchar_t* out,
                   size_t budget) {
  if (level == Level::kSsse3) return ssse3_entry::utf8ToUtf16(src, end, out, budget);
  return runUtf8ToUtf16(src, end, out, budget);
}

size_t utf16ToUtf8(Level level, const unsigned short*& src, const unsigned short* end, unsigned char* out,
                   size_t budget) {
  if (level == Level::kSsse3) return ssse3_entry::utf16ToUtf8(src, end, out, budget);
  return runUtf16ToUtf8(src, end, out, budget);
}

size_t utf16ToUtf8(Level level, const wchar_t*& src, const wchar_t* end, unsigned char* out, size_t budget) {
  if (level == Level::kSsse3) return ssse3_entry::utf16ToUtf8(src, end, out, budget);
  return runUtf16ToUtf8(src, end, out, budget);
}

}  // namespace unicode_fast
