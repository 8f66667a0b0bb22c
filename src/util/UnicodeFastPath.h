// Fast loops of the Unicode converters and wrappers. A run converts from src
// into a scratch buffer while the input is in the common, well-formed case,
// and stops at the first character that it does not take, leaving src at
// that character (or at the end). It takes:
//   UTF-8 -> UTF-16:  ASCII, two- and three-byte forms that are not
//                     overlong and not a surrogate value, four-byte forms of
//                     0x10000..0x10FFFF;
//   UTF-16 -> UTF-8:  every unit that is not a surrogate, a high surrogate
//                     followed by a low one, and (32-bit units only) a value
//                     0x10000..0x10FFFF.
// Everything else (malformed, truncated or surrogate input) is left to the
// per-character step, which decides the result. A run may write scratch
// units past the ones it reports (up to kRunSlack), which is why it writes
// into a buffer of the caller's and never into the converters' target: the
// converters copy exactly the reported units, so a target holds nothing
// that the plain per-character loop would not have written.
//
// Two builds of the runs exist. The portable one converts sixteen ASCII
// units at a time with SSE2 (when the compiler targets it) and every other
// character one by one. The SSSE3 one (UnicodeSsse3.cc, compiled with
// -mssse3 and used after a runtime CPU check) adds block steps: sixteen
// bytes of any mix of one- to four-byte UTF-8 forms, or eight UTF-16 units
// of any mix including surrogate pairs (one shuffle when all are below
// 0x800), per step. Each build lives in its own
// inline namespace so that the two never share a compiled inline function.
// Defining APPMGR_UNICODE_PORTABLE (for example in CMAKE_CXX_FLAGS) leaves
// out every intrinsic, so that the plain C++ loops can be tested alone.
//
// Unit is unsigned short for the exported converters and wchar_t for the
// wide-string wrappers (which carry one UTF-16 unit per wide character).
#ifndef SRC_UTIL_UNICODEFASTPATH_H_
#define SRC_UTIL_UNICODEFASTPATH_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "AppMgr/ConvertUTF.h"

#if defined(__SSE2__) && !defined(APPMGR_UNICODE_PORTABLE)
#define APPMGR_UNICODE_SSE2 1
#include <emmintrin.h>
#if defined(__SSSE3__)
#define APPMGR_UNICODE_BLOCKS 1
#include <tmmintrin.h>
#endif
#endif

namespace unicode_fast {

// Which build of the runs to use.
enum class Level { kPortable, kSsse3 };

// The best level this CPU supports (kPortable when the SSSE3 build is not
// compiled in).
Level bestLevel();

// A run writes at most this many units past the end of what it reports.
constexpr size_t kRunSlack = 32;

// Largest source step of a run beyond its budget: a run consumes at most
// budget + kRunOvershoot - 1 input units.
constexpr size_t kRunOvershoot = 19;

// Converts from src (before end) into out, stopping at the first character
// boundary at or after src + budget, at end, or at the first character it
// does not take. Returns the number of units (bytes) written; out needs
// room for budget + kRunOvershoot units (UTF-16) or four bytes per source
// unit of that (UTF-8), plus kRunSlack.
size_t utf8ToUtf16(Level level, const unsigned char*& src, const unsigned char* end, unsigned short* out,
                   size_t budget);
size_t utf8ToUtf16(Level level, const unsigned char*& src, const unsigned char* end, wchar_t* out,
                   size_t budget);
size_t utf16ToUtf8(Level level, const unsigned short*& src, const unsigned short* end, unsigned char* out,
                   size_t budget);
size_t utf16ToUtf8(Level level, const wchar_t*& src, const wchar_t* end, unsigned char* out, size_t budget);

// The exported converters and wrappers at a given level (the exported ones
// use bestLevel()); tests compare both levels with the plain code.
ConversionResult convertUTF8toUTF16(Level level, const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd, unsigned short** targetStart,
                                    unsigned short* targetEnd, ConversionFlags flags);
ConversionResult convertUTF16toUTF8(Level level, const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd, unsigned char** targetStart,
                                    unsigned char* targetEnd, ConversionFlags flags);
int unicodeToUtf8(Level level, const std::wstring& in, std::string& out);
int utf8ToUnicode(Level level, const std::string& in, std::wstring& out);

// The runs of the SSSE3 build (UnicodeSsse3.cc), and whether that file was
// compiled with the block decoders.
namespace ssse3_entry {
bool hasBlocks();
size_t utf8ToUtf16(const unsigned char*& src, const unsigned char* end, unsigned short* out, size_t budget);
size_t utf8ToUtf16(const unsigned char*& src, const unsigned char* end, wchar_t* out, size_t budget);
size_t utf16ToUtf8(const unsigned short*& src, const unsigned short* end, unsigned char* out, size_t budget);
size_t utf16ToUtf8(const wchar_t*& src, const wchar_t* end, unsigned char* out, size_t budget);
}  // namespace ssse3_entry

#if defined(APPMGR_UNICODE_BLOCKS)
inline namespace ssse3_build {
#else
inline namespace portable_build {
#endif

#if defined(APPMGR_UNICODE_BLOCKS)
struct BlockTables {
  // pshufb masks that pack the 16-bit lanes whose bit is set to the front.
  alignas(16) unsigned char pack16[256][16];
  // pshufb masks that pack four 32-bit groups [lead, second, third, -] to
  // the bytes kept: the lead always, the second when bit j (bits 0-3) is
  // set, the third when bit 4 + j is set.
  alignas(16) unsigned char encode[256][16];
  unsigned char encodeLength[256];
  // pshufb masks that pack eight 16-bit lanes [lead, second] to the bytes
  // kept: the lead always, the second when the lane's bit is set.
  alignas(16) unsigned char encodeShort[256][16];
  unsigned char bitCount[256];
  // Bytes a lead byte's character reaches past it: 1 to 3 for the two- to
  // four-byte leads, 0 for any other byte.
  signed char reach[256];
};

constexpr BlockTables makeBlockTables() {
  BlockTables t{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned n = 0;
    for (unsigned lane = 0; lane < 8; ++lane) {
      if ((m >> lane) & 1) {
        t.pack16[m][n++] = static_cast<unsigned char>(2 * lane);
        t.pack16[m][n++] = static_cast<unsigned char>(2 * lane + 1);
      }
    }
    t.bitCount[m] = static_cast<unsigned char>(n / 2);
    for (; n < 16; ++n) t.pack16[m][n] = 0x80;
    n = 0;
    for (unsigned lane = 0; lane < 8; ++lane) {
      t.encodeShort[m][n++] = static_cast<unsigned char>(2 * lane);
      if ((m >> lane) & 1) t.encodeShort[m][n++] = static_cast<unsigned char>(2 * lane + 1);
    }
    for (; n < 16; ++n) t.encodeShort[m][n] = 0x80;
    n = 0;
    for (unsigned j = 0; j < 4; ++j) {
      t.encode[m][n++] = static_cast<unsigned char>(4 * j);
      if ((m >> j) & 1) t.encode[m][n++] = static_cast<unsigned char>(4 * j + 1);
      if ((m >> (4 + j)) & 1) t.encode[m][n++] = static_cast<unsigned char>(4 * j + 2);
    }
    t.encodeLength[m] = static_cast<unsigned char>(n);
    for (; n < 16; ++n) t.encode[m][n] = 0x80;
    t.reach[m] = static_cast<signed char>(m < 0xC0 ? 0 : m < 0xE0 ? 1 : m < 0xF0 ? 2 : 3);
  }
  return t;
}

inline constexpr BlockTables kBlockTables = makeBlockTables();

inline __m128i select(__m128i mask, __m128i ifSet, __m128i ifClear) {
  return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

// Eight 16-bit lane masks as eight bits.
inline unsigned laneBits(__m128i mask) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(mask, _mm_setzero_si128())));
}

// Decodes the characters that start in the sixteen bytes at src (reads
// src[0..19)) when they are all well-formed (no overlong form, no surrogate
// value, nothing beyond 0x10FFFF) and the block starts on a character.
// Returns the bytes consumed and stores the units, or returns 0 and stores
// nothing useful. A character that starts in the block is taken whole (up
// to 18 bytes consumed), except a four-byte one at the last byte, whose
// second unit would fall outside the block (15 bytes consumed). Writes up
// to 16 units at out.
template <typename Unit>
inline int decodeBlock(const unsigned char* src, Unit* out, size_t* written) {
  const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 1));
  const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2));
  // As signed bytes: continuation 0x80..0xBF is -128..-65, a two-byte lead
  // 0xC2..0xDF is -62..-33, a three-byte lead 0xE0..0xEF is -32..-17, a
  // four-byte lead 0xF0..0xF4 is -16..-12.
  const __m128i cont = _mm_cmplt_epi8(v0, _mm_set1_epi8(-64));
  const __m128i lead2 =
      _mm_and_si128(_mm_cmpgt_epi8(v0, _mm_set1_epi8(-63)), _mm_cmplt_epi8(v0, _mm_set1_epi8(-32)));
  const __m128i lead3 =
      _mm_and_si128(_mm_cmpgt_epi8(v0, _mm_set1_epi8(-33)), _mm_cmplt_epi8(v0, _mm_set1_epi8(-16)));
  const __m128i lead4 =
      _mm_and_si128(_mm_cmpgt_epi8(v0, _mm_set1_epi8(-17)), _mm_cmplt_epi8(v0, _mm_set1_epi8(-11)));
  const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v0));
  const unsigned c = static_cast<unsigned>(_mm_movemask_epi8(cont));
  const unsigned l3 = static_cast<unsigned>(_mm_movemask_epi8(lead3));
  const unsigned l4 = static_cast<unsigned>(_mm_movemask_epi8(lead4));
  const unsigned leads = static_cast<unsigned>(_mm_movemask_epi8(lead2)) | l3 | l4;
  // Every byte of 0x80 and above is a continuation or a known lead...
  if ((c | leads) != high) return 0;
  // ...the continuations in the block are exactly those the leads call
  // for, and those they call for after the block (bytes 16 to 18) are there.
  const unsigned expected = (leads << 1) | ((l3 | l4) << 2) | (l4 << 3);
  const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3));
  const unsigned after =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v3, _mm_set1_epi8(-64)))) >> 13 << 16;
  if ((expected & 0xFFFF) != c || (expected & ~after) > 0xFFFF) return 0;
  // E0 needs a second byte from A0 (else overlong), ED one below A0 (else
  // a surrogate value), F0 one from 90 (else overlong), F4 one below 90
  // (else beyond 0x10FFFF).
  __m128i bad = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(static_cast<char>(0xE0))),
                                           _mm_cmplt_epi8(v1, _mm_set1_epi8(-96))),
                             _mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(static_cast<char>(0xED))),
                                           _mm_cmpgt_epi8(v1, _mm_set1_epi8(-97))));
  if (l4 != 0) {
    bad = _mm_or_si128(bad,
                       _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(static_cast<char>(0xF0))),
                                                  _mm_cmplt_epi8(v1, _mm_set1_epi8(-112))),
                                    _mm_and_si128(_mm_cmpeq_epi8(v0, _mm_set1_epi8(static_cast<char>(0xF4))),
                                                  _mm_cmpgt_epi8(v1, _mm_set1_epi8(-113)))));
  }
  if (_mm_movemask_epi8(bad) != 0) return 0;

  // The bytes taken, from scalar loads of the last three bytes: the next
  // block's address then does not wait for the vector work. The character
  // at byte 13, 14 or 15 that reaches furthest decides; a four-byte lead at
  // byte 15 is left (reach -1).
  const int reach13 = kBlockTables.reach[src[13]] - 2;
  const int reach14 = kBlockTables.reach[src[14]] - 1;
  const int reach15 = src[15] >= 0xF0 ? -1 : kBlockTables.reach[src[15]];
  const int reach1314 = reach13 > reach14 ? reach13 : reach14;
  const int consumed = 16 + (reach1314 > reach15 ? reach1314 : reach15);

  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  __m128i value[2];
  for (int half = 0; half < 2; ++half) {
    const __m128i b0 = half == 0 ? _mm_unpacklo_epi8(v0, zero) : _mm_unpackhi_epi8(v0, zero);
    const __m128i b1 = half == 0 ? _mm_unpacklo_epi8(v1, zero) : _mm_unpackhi_epi8(v1, zero);
    const __m128i b2 = half == 0 ? _mm_unpacklo_epi8(v2, zero) : _mm_unpackhi_epi8(v2, zero);
    const __m128i middle = _mm_slli_epi16(_mm_and_si128(b1, low6), 6);
    const __m128i last = _mm_and_si128(b2, low6);
    const __m128i two =
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(0x1F)), 6), _mm_and_si128(b1, low6));
    const __m128i three = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(b0, 12), middle), last);
    const __m128i isThree = _mm_cmpgt_epi16(b0, _mm_set1_epi16(0xDF));
    const __m128i isAscii = _mm_cmplt_epi16(b0, _mm_set1_epi16(0x80));
    __m128i v = select(isThree, three, two);
    if (l4 != 0) {
      // A four-byte form: its lead lane gives the high surrogate,
      // D800 + ((b0 & 7) << 8 | (b1 & 3F) << 2 | b2 >> 4 & 3) - 40, and the
      // lane of its first continuation the low one, DC00 | (next byte &
      // F) << 6 | (the byte after & 3F).
      const __m128i plane = _mm_or_si128(
          _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b0, _mm_set1_epi16(7)), 8), _mm_srli_epi16(middle, 4)),
          _mm_and_si128(_mm_srli_epi16(b2, 4), _mm_set1_epi16(3)));
      const __m128i highSurrogate = _mm_add_epi16(plane, _mm_set1_epi16(static_cast<short>(0xD800 - 0x40)));
      const __m128i lowSurrogate =
          _mm_or_si128(_mm_or_si128(_mm_and_si128(middle, _mm_set1_epi16(0x3C0)), last),
                       _mm_set1_epi16(static_cast<short>(0xDC00)));
      v = select(_mm_cmpgt_epi16(b0, _mm_set1_epi16(0xEF)), highSurrogate, v);
      v = select(_mm_cmplt_epi16(b0, _mm_set1_epi16(0xC0)), lowSurrogate, v);
    }
    value[half] = select(isAscii, b0, v);
  }
  // Keep the lanes that start a character and the first continuation lane
  // of each four-byte form; leave a four-byte form in the last lane.
  const unsigned lastFour = l4 >> 15;
  const unsigned keep = ((~c & 0xFFFF) | (l4 << 1)) & (lastFour != 0 ? 0x7FFF : 0xFFFF);
  const __m128i first = _mm_shuffle_epi8(
      value[0], _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockTables.pack16[keep & 0xFF])));
  const __m128i second = _mm_shuffle_epi8(
      value[1], _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockTables.pack16[keep >> 8 & 0xFF])));
  const size_t n1 = kBlockTables.bitCount[keep & 0xFF];
  if constexpr (sizeof(Unit) == 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n1), second);
  } else {
    static_assert(sizeof(Unit) == 4, "16- or 32-bit units");
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(first, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(first, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n1), _mm_unpacklo_epi16(second, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n1 + 4), _mm_unpackhi_epi16(second, zero));
  }
  *written = n1 + kBlockTables.bitCount[keep >> 8 & 0xFF];
  return consumed;
}

// Encodes the eight units at src when none is above 0xFFFF and every
// surrogate is part of a pair (a high surrogate in the last lane is left
// for the next step). Returns the units consumed (7 or 8) and stores the
// bytes, or returns 0. Writes up to 28 bytes at out.
template <typename Unit>
inline int encodeBlock(const Unit* src, unsigned char* out, size_t* written) {
  __m128i u;
  if constexpr (sizeof(Unit) == 2) {
    u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  } else {
    static_assert(sizeof(Unit) == 4, "16- or 32-bit units");
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4));
    const __m128i above = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi32(static_cast<int>(0xFFFF0000u)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(above, _mm_setzero_si128())) != 0xFFFF) return 0;
    // Narrow without signed saturation: shift to signed range, pack, shift back.
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    u = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(a, bias32), _mm_sub_epi32(b, bias32)),
                      _mm_set1_epi16(static_cast<short>(0x8000)));
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i low6 = _mm_set1_epi16(0x3F);
  const __m128i mark = _mm_set1_epi16(0x80);
  const __m128i top5 = _mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xF800)));
  const __m128i isAscii = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
  const __m128i isShort = _mm_cmpeq_epi16(top5, zero);  // below 0x800
  const __m128i isSurrogate = _mm_cmpeq_epi16(top5, _mm_set1_epi16(static_cast<short>(0xD800)));
  const unsigned nonAscii = ~laneBits(isAscii) & 0xFF;
  const unsigned longBits = ~laneBits(isShort) & 0xFF;
  const __m128i shifted6 = _mm_srli_epi16(u, 6);
  if (longBits == 0) {
    // All below 0x800: [lead, second] per lane, the second kept for the
    // lanes that are not ASCII, in one shuffle.
    const __m128i lead = select(isAscii, u, _mm_or_si128(shifted6, _mm_set1_epi16(0xC0)));
    const __m128i pairs = _mm_or_si128(lead, _mm_slli_epi16(_mm_or_si128(mark, _mm_and_si128(u, low6)), 8));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(out),
        _mm_shuffle_epi8(
            pairs, _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockTables.encodeShort[nonAscii]))));
    *written = 8 + kBlockTables.bitCount[nonAscii];
    return 8;
  }
  const unsigned surrogates = laneBits(isSurrogate);

  // Non-surrogates: lead, then the continuation of bits 6-11 (three-byte)
  // or 0-5 (two-byte), then bits 0-5 (three-byte only).
  __m128i lead = select(isShort, _mm_or_si128(shifted6, _mm_set1_epi16(0xC0)),
                        _mm_or_si128(_mm_srli_epi16(u, 12), _mm_set1_epi16(0xE0)));
  lead = select(isAscii, u, lead);
  __m128i second = _mm_or_si128(mark, _mm_and_si128(select(isShort, u, shifted6), low6));
  const __m128i third = _mm_or_si128(mark, _mm_and_si128(u, low6));
  unsigned threeBits = longBits;
  // From a scalar load: the next block's address then does not wait for
  // the vector compares.
  const int consumed = 8 - ((static_cast<uint32_t>(src[7]) & 0xFFFFFC00u) == 0xD800);
  if (surrogates != 0) {
    const __m128i isHigh = _mm_cmpeq_epi16(_mm_and_si128(u, _mm_set1_epi16(static_cast<short>(0xFC00))),
                                           _mm_set1_epi16(static_cast<short>(0xD800)));
    const unsigned high = laneBits(isHigh);
    const unsigned low = surrogates & ~high;
    if (((high << 1) & 0xFF) != low) return 0;  // an unpaired surrogate
    threeBits &= ~surrogates;
    // A pair of w = (high & 0x3FF) + 0x40 and l = low & 0x3FF becomes
    // F0|w>>8, 80|(w>>2 & 3F) (from the high lane) and
    // 80|(w&3)<<4|l>>6, 80|(l & 3F) (from the low lane).
    const __m128i w = _mm_add_epi16(_mm_and_si128(u, _mm_set1_epi16(0x3FF)), _mm_set1_epi16(0x40));
    const __m128i highLead = _mm_or_si128(_mm_srli_epi16(w, 8), _mm_set1_epi16(0xF0));
    const __m128i highSecond = _mm_or_si128(mark, _mm_and_si128(_mm_srli_epi16(w, 2), low6));
    const __m128i previousW = _mm_slli_si128(w, 2);
    const __m128i lowLead =
        _mm_or_si128(_mm_or_si128(mark, _mm_slli_epi16(_mm_and_si128(previousW, _mm_set1_epi16(3)), 4)),
                     _mm_and_si128(shifted6, _mm_set1_epi16(0x0F)));
    lead = select(isSurrogate, select(isHigh, highLead, lowLead), lead);
    second = select(isSurrogate, select(isHigh, highSecond, third), second);
  }
  // Lanes as [lead, second, third, 0] groups of four bytes.
  const __m128i leadSecond = _mm_or_si128(lead, _mm_slli_epi16(second, 8));
  const __m128i group0 = _mm_unpacklo_epi16(leadSecond, third);
  const __m128i group1 = _mm_unpackhi_epi16(leadSecond, third);
  const unsigned index0 = (nonAscii & 0x0F) | ((threeBits & 0x0F) << 4);
  const unsigned index1 = (nonAscii >> 4) | (threeBits & 0xF0);
  const size_t n0 = kBlockTables.encodeLength[index0];
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out),
      _mm_shuffle_epi8(group0,
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockTables.encode[index0]))));
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(out + n0),
      _mm_shuffle_epi8(group1,
                       _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockTables.encode[index1]))));
  // A high surrogate left in the last lane wrote two bytes at the end.
  *written = n0 + kBlockTables.encodeLength[index1] - (consumed == 7 ? 2 : 0);
  return consumed;
}
#endif  // APPMGR_UNICODE_BLOCKS

#if defined(APPMGR_UNICODE_SSE2)
// Stores the 16 bytes of v zero-extended into units.
template <typename Unit>
inline void storeWidened(__m128i v, Unit* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, zero);
  const __m128i hi = _mm_unpackhi_epi8(v, zero);
  if constexpr (sizeof(Unit) == 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), hi);
  } else {
    static_assert(sizeof(Unit) == 4, "16- or 32-bit units");
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(hi, zero));
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
#endif  // APPMGR_UNICODE_SSE2

// One well-formed UTF-8 character at src, all of whose bytes lie before
// end, written at dst. Returns its length, or 0 when the run does not take
// it (nothing written).
template <typename Unit>
inline int decodeOne(const unsigned char* src, const unsigned char* end, Unit* dst, size_t* units) {
  const uint32_t b0 = *src;
  if (b0 < 0x80) {
    *dst = static_cast<Unit>(b0);
    *units = 1;
    return 1;
  }
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (end - src < 2) return 0;
    const uint32_t b1 = src[1];
    if ((b1 & 0xC0) != 0x80) return 0;
    *dst = static_cast<Unit>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
    *units = 1;
    return 2;
  }
  if ((b0 & 0xF0) == 0xE0) {
    if (end - src < 3) return 0;
    const uint32_t b1 = src[1];
    const uint32_t b2 = src[2];
    if (((b1 | (b2 << 8)) & 0xC0C0) != 0x8080) return 0;
    const uint32_t v = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
    if (v < 0x800 || (v & 0xF800) == 0xD800) return 0;  // overlong, or a surrogate value
    *dst = static_cast<Unit>(v);
    *units = 1;
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (end - src < 4) return 0;
    const uint32_t b1 = src[1];
    const uint32_t b2 = src[2];
    const uint32_t b3 = src[3];
    if (((b1 | (b2 << 8) | (b3 << 16)) & 0xC0C0C0) != 0x808080) return 0;
    const uint32_t v = ((b0 & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F);
    if (v < 0x10000 || v > 0x10FFFF) return 0;  // overlong, or beyond Unicode
    const uint32_t w = v - 0x10000;
    dst[0] = static_cast<Unit>(0xD800 + (w >> 10));
    dst[1] = static_cast<Unit>(0xDC00 + (w & 0x3FF));
    *units = 2;
    return 4;
  }
  return 0;
}

// One UTF-16 character at src (before end) as UTF-8 at dst. Returns the
// units it takes, or 0 when the run does not take it (nothing written).
template <typename Unit>
inline int encodeOne(const Unit* src, const Unit* end, unsigned char* dst, size_t* bytes) {
  const uint32_t u = static_cast<uint32_t>(*src);
  if (u < 0x80) {
    *dst = static_cast<unsigned char>(u);
    *bytes = 1;
    return 1;
  }
  if (u < 0x800) {
    dst[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
    dst[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    *bytes = 2;
    return 1;
  }
  if (u < 0xD800 || (u >= 0xE000 && u <= 0xFFFF)) {
    dst[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
    dst[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
    dst[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    *bytes = 3;
    return 1;
  }
  uint32_t v = u;
  int units = 1;
  if (u >= 0xD800 && u <= 0xDBFF) {
    if (end - src < 2) return 0;
    const uint32_t u2 = static_cast<uint32_t>(src[1]);
    if (u2 < 0xDC00 || u2 > 0xDFFF) return 0;
    v = ((u - 0xD800) << 10) + (u2 - 0xDC00) + 0x10000;
    units = 2;
  } else if (sizeof(Unit) == 2 || u < 0x10000 || u > 0x10FFFF) {
    return 0;  // a lone low surrogate, or a value beyond Unicode
  }
  dst[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
  dst[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
  dst[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
  dst[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
  *bytes = 4;
  return units;
}

template <typename Unit>
inline size_t runUtf8ToUtf16(const unsigned char*& srcRef, const unsigned char* end, Unit* out,
                             size_t budget) {
  const unsigned char* src = srcRef;
  const unsigned char* const stop = static_cast<size_t>(end - src) > budget ? src + budget : end;
  Unit* dst = out;
  while (src < stop) {
    // Blocks need 19 readable bytes (32 with the scalar stretch after them).
    if (end - src >= 32) {
#if defined(APPMGR_UNICODE_SSE2)
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
      if (_mm_movemask_epi8(v) == 0) {
        storeWidened(v, dst);
        src += 16;
        dst += 16;
        continue;
      }
#endif
#if defined(APPMGR_UNICODE_BLOCKS)
      size_t written = 0;
      if (const int used = decodeBlock(src, dst, &written)) {
        src += used;
        dst += written;
        continue;
      }
#endif
      // Characters one by one over the next 16 bytes before the next block.
      const unsigned char* const stretch = stop - src > 16 ? src + 16 : stop;
      do {
        size_t units = 0;
        const int used = decodeOne(src, end, dst, &units);
        if (used == 0) goto done;
        src += used;
        dst += units;
      } while (src < stretch);
      continue;
    }
    size_t units = 0;
    const int used = decodeOne(src, end, dst, &units);
    if (used == 0) break;
    src += used;
    dst += units;
  }
done:
  srcRef = src;
  return static_cast<size_t>(dst - out);
}

template <typename Unit>
inline size_t runUtf16ToUtf8(const Unit*& srcRef, const Unit* end, unsigned char* out, size_t budget) {
  const Unit* src = srcRef;
  const Unit* const stop = static_cast<size_t>(end - src) > budget ? src + budget : end;
  unsigned char* dst = out;
  // With blocks, the sixteen-unit ASCII step is tried only while the text
  // is ASCII: the block step converts ASCII too, and a failed try costs.
  [[maybe_unused]] bool ascii = true;
  while (src < stop) {
    if (end - src >= 24) {
#if defined(APPMGR_UNICODE_SSE2)
      __m128i bytes;
      if (ascii && loadAscii16(src, bytes)) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), bytes);
        src += 16;
        dst += 16;
        continue;
      }
#endif
#if defined(APPMGR_UNICODE_BLOCKS)
      size_t written = 0;
      if (const int used = encodeBlock(src, dst, &written)) {
        src += used;
        dst += written;
        ascii = written == static_cast<size_t>(used);
        continue;
      }
#endif
      const Unit* const stretch = stop - src > 8 ? src + 8 : stop;
      do {
        size_t bytesOut = 0;
        const int used = encodeOne(src, end, dst, &bytesOut);
        if (used == 0) goto done;
        src += used;
        dst += bytesOut;
      } while (src < stretch);
      continue;
    }
    size_t bytesOut = 0;
    const int used = encodeOne(src, end, dst, &bytesOut);
    if (used == 0) break;
    src += used;
    dst += bytesOut;
  }
done:
  srcRef = src;
  return static_cast<size_t>(dst - out);
}

}  // namespace ssse3_build / portable_build
}  // namespace unicode_fast

#endif  // SRC_UTIL_UNICODEFASTPATH_H_
