// Fast loops of the Unicode converters. Each converts from src while the
// input is in the common, well-formed case and the target has room, then
// stops at the first character that it does not take, leaving both pointers
// at that character (or at the end). It takes:
//   UTF-8 -> UTF-16:  ASCII (sixteen bytes at a time with SSE2), two- and
//                     three-byte forms that are not overlong and not a
//                     surrogate value, four-byte forms of 0x10000..0x10FFFF;
//   UTF-16 -> UTF-8:  ASCII (sixteen units at a time), every other unit that
//                     is not a surrogate, a high surrogate followed by a low
//                     one, and (32-bit units only) a value 0x10000..0x10FFFF.
// Everything else (malformed, truncated or surrogate input, a character that
// does not fit) is left to the per-character step, which decides the result.
// A fast loop writes no unit that it does not also commit.
//
// Unit is unsigned short for the exported converters and wchar_t for the
// wide-string wrappers (which carry one UTF-16 unit per wide character).
#ifndef SRC_UTIL_UNICODEFASTPATH_H_
#define SRC_UTIL_UNICODEFASTPATH_H_

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace unicode_fast {

#if defined(__SSE2__)
// Stores the low `count` (8 or 16) bytes of v zero-extended into units.
template <typename Unit>
inline void storeWidened(__m128i v, Unit* out, int count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, zero);
  if constexpr (sizeof(Unit) == 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lo);
    if (count == 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(v, zero));
  } else {
    static_assert(sizeof(Unit) == 4, "16- or 32-bit units");
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(lo, zero));
    if (count == 16) {
      const __m128i hi = _mm_unpackhi_epi8(v, zero);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(hi, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(hi, zero));
    }
  }
}

// The 16 units at in narrowed to bytes, and whether all of them are ASCII.
template <typename Unit>
inline bool loadAscii16(const Unit* in, __m128i& bytes) {
  const __m128i* p = reinterpret_cast<const __m128i*>(in);
  if constexpr (sizeof(Unit) == 2) {
    const __m128i a = _mm_loadu_si128(p);
    const __m128i b = _mm_loadu_si128(p + 1);
    const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(static_cast<short>(0xFF80)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) != 0xFFFF) return false;
    bytes = _mm_packus_epi16(a, b);
  } else {
    const __m128i a = _mm_loadu_si128(p);
    const __m128i b = _mm_loadu_si128(p + 1);
    const __m128i c = _mm_loadu_si128(p + 2);
    const __m128i d = _mm_loadu_si128(p + 3);
    const __m128i all = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
    const __m128i high = _mm_and_si128(all, _mm_set1_epi32(static_cast<int>(0xFFFFFF80u)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) != 0xFFFF) return false;
    bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
  }
  return true;
}
#endif

template <typename Unit>
inline void utf8ToUtf16(const unsigned char*& srcRef, const unsigned char* end, Unit*& dstRef, Unit* dstEnd) {
  const unsigned char* src = srcRef;
  Unit* dst = dstRef;
  while (src < end) {
    // Bulk: at least 36 bytes readable and 36 units writable, so that no
    // bound is checked per character. A block of sixteen ASCII bytes is
    // widened at once; otherwise characters are converted one by one until
    // 32 bytes are used (at most 35 bytes read or units written) before the
    // next block is tried.
    while (end - src >= 36 && dstEnd - dst >= 36) {
#if defined(__SSE2__)
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
      if (_mm_movemask_epi8(v) == 0) {
        storeWidened(v, dst, 16);
        src += 16;
        dst += 16;
        continue;
      }
#endif
      const unsigned char* stop = src + 32;
      do {
        const uint32_t b0 = *src;
        if (b0 < 0x80) {
          *dst++ = static_cast<Unit>(b0);
          ++src;
          continue;
        }
        const uint32_t b1 = src[1];
        if (b0 < 0xE0) {
          if (b0 < 0xC2 || (b1 & 0xC0) != 0x80) goto single;
          *dst++ = static_cast<Unit>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
          src += 2;
          continue;
        }
        const uint32_t b2 = src[2];
        if (b0 < 0xF0) {
          if (((b1 | (b2 << 8)) & 0xC0C0) != 0x8080) goto single;
          const uint32_t v3 = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
          if (v3 < 0x800 || (v3 & 0xF800) == 0xD800) goto single;  // overlong, or a surrogate value
          *dst++ = static_cast<Unit>(v3);
          src += 3;
          continue;
        }
        const uint32_t b3 = src[3];
        if (((b1 | (b2 << 8) | (b3 << 16)) & 0xC0C0C0) != 0x808080) goto single;
        const uint32_t v4 = ((b0 & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
        if (b0 > 0xF4 || v4 < 0x10000 || v4 > 0x10FFFF) goto single;  // overlong, or beyond Unicode
        const uint32_t w = v4 - 0x10000;
        dst[0] = static_cast<Unit>(0xD800 + (w >> 10));
        dst[1] = static_cast<Unit>(0xDC00 + (w & 0x3FF));
        dst += 2;
        src += 4;
      } while (src < stop);
    }
  single:
    // One character near the ends, or one that the bulk loop declined.
    if (src >= end) break;
    const uint32_t b0 = *src;
    if (b0 < 0x80) {
      if (dst >= dstEnd) break;
      *dst++ = static_cast<Unit>(b0);
      ++src;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (end - src < 2 || dst >= dstEnd) break;
      const uint32_t b1 = src[1];
      if ((b1 & 0xC0) != 0x80) break;
      *dst++ = static_cast<Unit>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
      src += 2;
    } else if ((b0 & 0xF0) == 0xE0) {
      if (end - src < 3 || dst >= dstEnd) break;
      const uint32_t b1 = src[1];
      const uint32_t b2 = src[2];
      if (((b1 | (b2 << 8)) & 0xC0C0) != 0x8080) break;
      const uint32_t v = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
      if (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF)) break;  // overlong, or a surrogate value
      *dst++ = static_cast<Unit>(v);
      src += 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      if (end - src < 4 || dstEnd - dst < 2) break;
      const uint32_t b1 = src[1];
      const uint32_t b2 = src[2];
      const uint32_t b3 = src[3];
      if (((b1 | (b2 << 8) | (b3 << 16)) & 0xC0C0C0) != 0x808080) break;
      const uint32_t v = ((b0 & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
      if (v < 0x10000 || v > 0x10FFFF) break;  // overlong, or beyond Unicode
      const uint32_t w = v - 0x10000;
      dst[0] = static_cast<Unit>(0xD800 + (w >> 10));
      dst[1] = static_cast<Unit>(0xDC00 + (w & 0x3FF));
      dst += 2;
      src += 4;
    } else {
      break;
    }
  }
  srcRef = src;
  dstRef = dst;
}

template <typename Unit>
inline void utf16ToUtf8(const Unit*& srcRef, const Unit* end, unsigned char*& dstRef, unsigned char* dstEnd) {
  const Unit* src = srcRef;
  unsigned char* dst = dstRef;
  while (src < end) {
    // Bulk: at least 33 units readable and 132 bytes writable, so that no
    // bound is checked per character. A block of sixteen ASCII units is
    // narrowed at once; otherwise characters are converted one by one until
    // 32 units are used (at most 33 units read, four bytes written per
    // unit) before the next block is tried.
    while (end - src >= 33 && dstEnd - dst >= 132) {
#if defined(__SSE2__)
      __m128i bytes;
      if (loadAscii16(src, bytes)) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), bytes);
        src += 16;
        dst += 16;
        continue;
      }
#endif
      const Unit* stop = src + 32;
      do {
        const uint32_t u = static_cast<uint32_t>(*src);
        if (u < 0x80) {
          *dst++ = static_cast<unsigned char>(u);
          ++src;
        } else if (u < 0x800) {
          dst[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
          dst[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
          dst += 2;
          ++src;
        } else if ((u & 0xFFFFF800u) != 0xD800 && u <= 0xFFFF) {
          dst[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
          dst[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
          dst[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
          dst += 3;
          ++src;
        } else {
          uint32_t v = u;
          const uint32_t u2 = static_cast<uint32_t>(src[1]);
          ptrdiff_t units = 1;
          if ((u & 0xFFFFFC00u) == 0xD800 && (u2 & 0xFFFFFC00u) == 0xDC00) {
            v = ((u - 0xD800) << 10) + (u2 - 0xDC00) + 0x10000;
            units = 2;
          } else if (sizeof(Unit) == 2 || u < 0x10000 || u > 0x10FFFF) {
            goto single;  // an unpaired surrogate, or a value beyond Unicode
          }
          dst[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
          dst[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
          dst[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
          dst[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
          dst += 4;
          src += units;
        }
      } while (src < stop);
    }
  single:
    // One character near the ends, or one that the bulk loop declined.
    if (src >= end) break;
    const uint32_t u = static_cast<uint32_t>(*src);
    if (u < 0x80) {
      if (dst >= dstEnd) break;
      *dst++ = static_cast<unsigned char>(u);
      ++src;
    } else if (u < 0x800) {
      if (dstEnd - dst < 2) break;
      dst[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
      dst[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      dst += 2;
      ++src;
    } else if (u < 0xD800 || (u >= 0xE000 && u <= 0xFFFF)) {
      if (dstEnd - dst < 3) break;
      dst[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
      dst[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
      dst[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      dst += 3;
      ++src;
    } else {
      uint32_t v = u;
      ptrdiff_t units = 1;
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (end - src < 2) break;
        const uint32_t u2 = static_cast<uint32_t>(src[1]);
        if (u2 < 0xDC00 || u2 > 0xDFFF) break;
        v = ((u - 0xD800) << 10) + (u2 - 0xDC00) + 0x10000;
        units = 2;
      } else if (sizeof(Unit) == 2 || u < 0x10000 || u > 0x10FFFF) {
        break;  // a lone low surrogate, or a value beyond Unicode
      }
      if (dstEnd - dst < 4) break;
      dst[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
      dst[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
      dst[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
      dst[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
      dst += 4;
      src += units;
    }
  }
  srcRef = src;
  dstRef = dst;
}

}  // namespace unicode_fast

#endif  // SRC_UTIL_UNICODEFASTPATH_H_
