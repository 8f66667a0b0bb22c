// Wide-string / UTF-8 conversion over the UTF-16 converters.
//
// The plain wrappers (unicode_reference) copy the wide string into UTF-16
// units, convert those and copy the result out. The exported wrappers
// convert in one pass between the wide characters and the bytes with the
// converters' fast loop; when that loop stops before the end (an unpaired
// surrogate, malformed or truncated input, a character beyond Unicode) they
// run the plain wrapper instead, which decides the result. The plain
// wrappers size their working buffers for the worst case and allocate them
// without throwing; the fast ones catch a failed allocation. Either way
// memory exhaustion is a result code.
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

constexpr uint32_t kMaxBmp = 0xFFFF;
constexpr uint32_t kMaxScalar = 0x10FFFF;

// Copies the wide characters into UTF-16 units: one unit for a character up
// to 0xFFFF (surrogates included, as the string may already hold UTF-16),
// a surrogate pair for one up to 0x10FFFF. Returns the end of the units, or
// nullptr for a character beyond Unicode. units has room for two per
// character.
unsigned short* wideToUnits(const std::wstring& in, unsigned short* units) {
  for (const wchar_t wc : in) {
    const uint32_t c = static_cast<uint32_t>(wc);
    if (c <= kMaxBmp) {
      *units++ = static_cast<unsigned short>(c);
    } else if (c <= kMaxScalar) {
      const uint32_t v = c - 0x10000;
      *units++ = static_cast<unsigned short>(0xD800 + (v >> 10));
      *units++ = static_cast<unsigned short>(0xDC00 + (v & 0x3FF));
    } else {
      return nullptr;
    }
  }
  return units;
}

}  // namespace

namespace unicode_reference {

int unicodeToUtf8(const std::wstring& in, std::string& out) {
  const size_t n = in.size();
  // Two units per character at most; four bytes per character at most (a
  // pair gives four, a single unit three).
  std::unique_ptr<unsigned short[]> units(new (std::nothrow) unsigned short[2 * n + 1]);
  std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[4 * n + 1]);
  if (!units || !bytes) return kUnicodeNoMemory;

  unsigned short* unitsEnd = wideToUnits(in, units.get());
  if (unitsEnd == nullptr) return kUnicodeConversionFailed;
  *unitsEnd = 0;

  const unsigned short* src = units.get();
  unsigned char* dst = bytes.get();
  if (convertUTF16toUTF8(&src, unitsEnd, &dst, bytes.get() + 4 * n, strictConversion) != conversionOK) {
    return kUnicodeConversionFailed;
  }
  *dst = 0;
  out.assign(reinterpret_cast<const char*>(bytes.get()));
  return 0;
}

int utf8ToUnicode(const std::string& in, std::wstring& out) {
  const size_t n = in.size();
  // One unit per byte at most.
  std::unique_ptr<unsigned short[]> units(new (std::nothrow) unsigned short[n + 1]);
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[n + 1]);
  if (!units || !wide) return kUnicodeNoMemory;

  const unsigned char* src = reinterpret_cast<const unsigned char*>(in.data());
  unsigned short* dst = units.get();
  if (convertUTF8toUTF16(&src, src + n, &dst, units.get() + n, strictConversion) != conversionOK) {
    return kUnicodeConversionFailed;
  }
  *dst = 0;

  // Each unit zero-extended into one wide character, up to the first 0 unit.
  wchar_t* w = wide.get();
  for (const unsigned short* u = units.get(); *u != 0; ++u) *w++ = static_cast<wchar_t>(*u);
  *w = L'\0';
  out.assign(wide.get(), static_cast<size_t>(w - wide.get()));
  return 0;
}

}  // namespace unicode_reference

// utf8ToUnicode sizes its result for the input as if it were well formed
// (exact then), converts straight into it and hands it over with a swap: a
// second buffer four bytes per input byte wide costs more than the counting
// pass. An input
// that is not well formed stops the fast loop before the end, and the plain
// wrapper then decides the result.

int unicodeToUtf8(const std::wstring& in, std::string& out) {
  // Four bytes per wide character at most; a working buffer here measures
  // faster than sizing the result first (one pass fewer over the input).
  const size_t n = in.size();
  std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[4 * n + 1]);
  if (!bytes) return kUnicodeNoMemory;

  const wchar_t* src = in.data();
  unsigned char* dst = bytes.get();
  unicode_fast::utf16ToUtf8(src, in.data() + n, dst, bytes.get() + 4 * n);
  if (src != in.data() + n) return unicode_reference::unicodeToUtf8(in, out);

  // The text ends at the first NUL byte, as a NUL-terminated copy would.
  size_t length = static_cast<size_t>(dst - bytes.get());
  if (const void* nul = std::memchr(bytes.get(), 0, length)) {
    length = static_cast<size_t>(static_cast<const unsigned char*>(nul) - bytes.get());
  }
  out.assign(reinterpret_cast<const char*>(bytes.get()), length);
  return 0;
}

int utf8ToUnicode(const std::string& in, std::wstring& out) {
  // One unit per sequence, two for a four-byte one.
  size_t need = 0;
  for (const char ch : in) {
    const unsigned char b = static_cast<unsigned char>(ch);
    need += ((b & 0xC0) != 0x80) + (b >= 0xF0);
  }
  std::wstring wide;
  try {
    wide.resize(need);
  } catch (const std::bad_alloc&) {
    return kUnicodeNoMemory;
  }
  const unsigned char* src = reinterpret_cast<const unsigned char*>(in.data());
  const unsigned char* end = src + in.size();
  wchar_t* begin = &wide[0];
  wchar_t* dst = begin;
  unicode_fast::utf8ToUtf16(src, end, dst, begin + need);
  if (src != end) return unicode_reference::utf8ToUnicode(in, out);

  size_t length = static_cast<size_t>(dst - begin);
  if (const wchar_t* nul = std::wmemchr(begin, L'\0', length)) length = static_cast<size_t>(nul - begin);
  wide.resize(length);
  out.swap(wide);
  return 0;
}
