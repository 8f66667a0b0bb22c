// Wide-string / UTF-8 conversion over the UTF-16 converters.
//
// The plain wrappers (unicode_reference) copy the wide string into UTF-16
// units, convert those and copy the result out. The exported wrappers
// convert in one pass between the wide characters and the bytes with the
// converters' fast runs; when a run stops before the end (an unpaired
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

namespace {

// Source units per run; the scratch buffers live on the stack.
constexpr size_t kChunk = 512;

// UTF-16 units of the well-formed UTF-8 text at s: one per byte that is not
// a continuation byte, and one more per four-byte lead.
size_t countUtf16Units(const unsigned char* s, size_t n) {
  size_t count = 0;
  size_t i = 0;
#if defined(APPMGR_UNICODE_SSE2)
  const __m128i zero = _mm_setzero_si128();
  while (n - i >= 16) {
    // Each byte lane gains at most 2 per step: flush before 255.
    size_t steps = (n - i) / 16 < 127 ? (n - i) / 16 : 127;
    __m128i acc = zero;
    for (; steps > 0; --steps, i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      const __m128i notContinuation = _mm_cmpgt_epi8(v, _mm_set1_epi8(-65));
      const __m128i fourByteLead =
          _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(-17)), _mm_cmplt_epi8(v, zero));
      acc = _mm_sub_epi8(_mm_sub_epi8(acc, notContinuation), fourByteLead);
    }
    const __m128i sums = _mm_sad_epu8(acc, zero);
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
  }
#endif
  for (; i < n; ++i) count += ((s[i] & 0xC0) != 0x80) + (s[i] >= 0xF0);
  return count;
}

// UTF-8 bytes of the well-formed wide text at s up to its first NUL (a
// pair of surrogates counts two and two).
size_t countUtf8Bytes(const wchar_t* s, size_t n) {
  size_t count = 0;
  size_t i = 0;
#if defined(APPMGR_UNICODE_SSE2)
  if constexpr (sizeof(wchar_t) == 4) {
    // Eight characters per step, narrowed to 16 bits when none is above
    // 0xFFFF (else the scalar loop takes over from there).
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    bool scalar = false;
    while (!scalar && n - i >= 8) {
      // Each 16-bit lane gains at most 2 per step: flush before 32768.
      size_t steps = (n - i) / 8 < 8192 ? (n - i) / 8 : 8192;
      __m128i acc = zero;
      for (; steps > 0; --steps, i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 4));
        const __m128i above =
            _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi32(static_cast<int>(0xFFFF0000u)));
        const __m128i u = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(a, bias32), _mm_sub_epi32(b, bias32)),
                                        _mm_set1_epi16(static_cast<short>(0x8000)));
        if ((_mm_movemask_epi8(_mm_cmpeq_epi16(u, zero)) |
             (_mm_movemask_epi8(_mm_cmpeq_epi32(above, zero)) ^ 0xFFFF)) != 0) {
          scalar = true;  // a NUL, or a character above 0xFFFF
          break;
        }
        const __m128i top5 = _mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800)));
        const __m128i below80 =
            _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
        const __m128i below800 = _mm_cmpeq_epi16(top5, zero);
        const __m128i surrogate = _mm_cmpeq_epi16(top5, _mm_set1_epi16(static_cast<short>(0xD800)));
        // One each for not below 0x80 and 0x800 (1 + mask each), less one
        // for a surrogate (+ mask).
        acc = _mm_add_epi16(acc, _mm_add_epi16(_mm_add_epi16(below80, below800),
                                               _mm_add_epi16(surrogate, _mm_set1_epi16(2))));
      }
      const __m128i sums = _mm_madd_epi16(acc, _mm_set1_epi16(1));  // 32-bit sums of lane pairs
      uint32_t lanes[4];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sums);
      count += static_cast<size_t>(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    }
    count += i;  // one byte per character before the extra ones
  }
#endif
  for (; i < n && s[i] != L'\0'; ++i) {
    const uint32_t c = static_cast<uint32_t>(s[i]);
    count += 1 + (c >= 0x80) + (c >= 0x800) - (c >= 0xD800 && c <= 0xDFFF) + (c > 0xFFFF);
  }
  return count;
}

}  // namespace

namespace unicode_fast {

// Both wrappers size their result once (exact for well-formed input), then
// append the output of each run from a scratch buffer: the result is
// written once, with no zero fill and no second copy. Output after the
// first NUL is converted (the whole input must be well formed) but not
// kept. A run that stops before the end means
// input the run does not take, and the plain wrapper then decides the
// result.

int unicodeToUtf8(Level level, const std::wstring& in, std::string& out) {
  const size_t n = in.size();
  const wchar_t* src = in.data();
  const wchar_t* const end = src + n;
  std::string text;
  size_t keep = SIZE_MAX;  // the bytes before the first NUL, once seen
  try {
    // One byte per character, exact for ASCII text: the count pass (as
    // long as the conversion, on text this wide) runs only for the rest of
    // a text once a run has met a character of more than one byte.
    text.reserve(n);
    bool sized = false;
    unsigned char scratch[4 * (kChunk + kRunOvershoot) + kRunSlack];
    while (src < end) {
      const wchar_t* const before = src;
      const size_t bytes = utf16ToUtf8(level, src, end, scratch, kChunk);
      const size_t taken = static_cast<size_t>(src - before);
      if (!sized && bytes != taken) {
        text.reserve(text.size() + bytes + countUtf8Bytes(src, static_cast<size_t>(end - src)));
        sized = true;
      }
      if (keep == SIZE_MAX) {
        if (const void* nul = std::memchr(scratch, 0, bytes)) {
          keep = text.size() + static_cast<size_t>(static_cast<const unsigned char*>(nul) - scratch);
        }
      }
      const size_t wanted = keep - text.size();
      text.append(reinterpret_cast<const char*>(scratch), bytes < wanted ? bytes : wanted);
      if (src < end && taken < kChunk) return unicode_reference::unicodeToUtf8(in, out);
    }
  } catch (const std::bad_alloc&) {
    return kUnicodeNoMemory;
  }
  out.swap(text);
  return 0;
}

int utf8ToUnicode(Level level, const std::string& in, std::wstring& out) {
  const size_t n = in.size();
  const unsigned char* src = reinterpret_cast<const unsigned char*>(in.data());
  const unsigned char* const end = src + n;
  const void* nul = std::memchr(src, 0, n);
  const size_t keep = countUtf16Units(
      src, nul != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - src) : n);
  std::wstring wide;
  try {
    wide.reserve(keep);
    wchar_t scratch[kChunk + kRunOvershoot + kRunSlack];
    while (src < end) {
      const unsigned char* const before = src;
      const size_t units = utf8ToUtf16(level, src, end, scratch, kChunk);
      const size_t wanted = keep - wide.size();
      wide.append(scratch, units < wanted ? units : wanted);
      if (src < end && static_cast<size_t>(src - before) < kChunk)
        return unicode_reference::utf8ToUnicode(in, out);
    }
  } catch (const std::bad_alloc&) {
    return kUnicodeNoMemory;
  }
  out.swap(wide);
  return 0;
}

}  // namespace unicode_fast

int unicodeToUtf8(const std::wstring& in, std::string& out) {
  return unicode_fast::unicodeToUtf8(unicode_fast::bestLevel(), in, out);
}

int utf8ToUnicode(const std::string& in, std::wstring& out) {
  return unicode_fast::utf8ToUnicode(unicode_fast::bestLevel(), in, out);
}
