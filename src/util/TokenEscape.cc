// Token escaping of the list streams.
//
//   token   := "`"                      the empty string
//            | ["`"] char*              a leading backquote is doubled
//   char    := any byte but space and plus | "+1" (space) | "+2" (plus)
//
// The exported operations work in place on a string; the range forms in
// TokenCodec.h let the list codec escape straight into its output and
// unescape straight from its input. Both share one implementation.
#include "AppMgr/TokenEscape.h"

#include <cstdint>
#include <cstring>

// The scanning encoder takes 64-bit words out of SSE2 registers: x86-64,
// where SSE2 is always present. Elsewhere the byte loop serves.
#if defined(__SSE2__) && defined(__x86_64__)
#define APPMGR_TOKEN_SCAN 1
#include <emmintrin.h>
#endif

#include "util/TokenCodec.h"

namespace {

// Writes the escape of the plain byte c (a space or a plus sign).
inline char* putEscape(char* out, char c) {
  *out++ = TransformStringToSymbol;
  *out++ = c == TransformStringFromSymbol ? '1' : '2';
  return out;
}

// The empty token and the leading backquote; returns the index of the
// first byte that is left to escape.
inline size_t putTokenStart(char*& out, const char* text, size_t length) {
  if (length == 0) {
    *out++ = TransformStringEmptySymbol;
    return 0;
  }
  if (text[0] == TransformStringEmptySymbol) {
    *out++ = TransformStringEmptySymbol;
    *out++ = TransformStringEmptySymbol;
    return 1;
  }
  return 0;
}

inline char* putRestScalar(char* out, const char* text, size_t i, size_t length) {
  for (; i < length; ++i) {
    const char c = text[i];
    if (c == TransformStringFromSymbol || c == TransformStringToSymbol) {
      out = putEscape(out, c);
    } else {
      *out++ = c;
    }
  }
  return out;
}

}  // namespace

char* putEncodedTokenScalar(char* out, const char* text, size_t length) {
  const size_t i = putTokenStart(out, text, length);
  return putRestScalar(out, text, i, length);
}

#if defined(APPMGR_TOKEN_SCAN)
namespace {

// Bit i set when byte i of the sixteen is a space or a plus sign.
inline unsigned int escapeMask(__m128i bytes) {
  const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(TransformStringFromSymbol)),
                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8(TransformStringToSymbol)));
  return static_cast<unsigned int>(_mm_movemask_epi8(hits));
}

// Sixteen bytes held as two little-endian words (x86), so that a run
// starting at any byte can be stored with shifts in registers.
struct Block {
  uint64_t lo;
  uint64_t hi;

  explicit Block(__m128i bytes)
      : lo(static_cast<uint64_t>(_mm_cvtsi128_si64(bytes))),
        hi(static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(bytes, bytes)))) {}
  char at(size_t i) const { return static_cast<char>(i < 8 ? lo >> (8 * i) : hi >> (8 * (i - 8))); }
  // Stores the bytes from `from` on, followed by filler, as sixteen bytes.
  void storeFrom(char* out, size_t from) const {
    uint64_t first = 0;
    uint64_t second = 0;
    if (from == 0) {
      first = lo;
      second = hi;
    } else if (from < 8) {
      first = lo >> (8 * from) | hi << (64 - 8 * from);
      second = hi >> (8 * from);
    } else if (from < 16) {
      first = hi >> (8 * (from - 8));
    }
    std::memcpy(out, &first, 8);
    std::memcpy(out + 8, &second, 8);
  }
};

// Writes bytes [from, end) of the block, with the bytes that `hits` marks
// escaped (bits in that range only); returns the end. Each run is stored as sixteen bytes and the
// output advanced by its length: the room that maxEncodedLength gives
// covers the overshoot.
inline char* putBlock(char* out, const Block& block, size_t from, size_t end, unsigned int hits) {
  size_t done = from;
  while (hits != 0) {
    const size_t at = static_cast<size_t>(__builtin_ctz(hits));
    block.storeFrom(out, done);
    out = putEscape(out + (at - done), block.at(at));
    done = at + 1;
    hits &= hits - 1;
  }
  block.storeFrom(out, done);
  return out + (end - done);
}

// The n < 16 bytes at text in the low bytes of a register, read in pieces
// of fixed size (nothing past the text, no call per token).
inline __m128i loadShort(const char* text, size_t n) {
  uint64_t lo = 0;
  uint64_t hi = 0;
  size_t k = 0;
  if ((n & 8) != 0) {
    std::memcpy(&lo, text, 8);
    k = 8;
  }
  uint64_t part = 0;
  unsigned shift = 0;
  if ((n & 4) != 0) {
    uint32_t v;
    std::memcpy(&v, text + k, 4);
    part = v;
    shift = 32;
    k += 4;
  }
  if ((n & 2) != 0) {
    uint16_t v;
    std::memcpy(&v, text + k, 2);
    part |= static_cast<uint64_t>(v) << shift;
    shift += 16;
    k += 2;
  }
  if ((n & 1) != 0) part |= static_cast<uint64_t>(static_cast<unsigned char>(text[k])) << shift;
  if ((n & 8) != 0) {
    hi = part;
  } else {
    lo = part;
  }
  return _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
}

}  // namespace
#endif

char* putEncodedToken(char* out, const char* text, size_t length) {
  size_t i = putTokenStart(out, text, length);
#if defined(APPMGR_TOKEN_SCAN)
  // Sixteen bytes at a time: a block without a byte to escape is copied
  // whole, one with bytes to escape run by run.
  while (length - i >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const unsigned int hits = escapeMask(bytes);
    if (hits == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      out += 16;
    } else {
      out = putBlock(out, Block(bytes), 0, 16, hits);
    }
    i += 16;
  }
  const size_t rest = length - i;
  if (rest == 0) return out;
  if (length >= 16) {
    // The text's last sixteen bytes, of which the last `rest` are new.
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + length - 16));
    const size_t from = 16 - rest;
    return putBlock(out, Block(bytes), from, 16, escapeMask(bytes) >> from << from);
  }
  // A short text: its bytes at the bottom of the block, zeros above.
  const __m128i bytes = loadShort(text + i, rest);
  return putBlock(out, Block(bytes), 0, rest, escapeMask(bytes) & ((1u << rest) - 1));
#else
  return putRestScalar(out, text, i, length);
#endif
}

namespace {

// Appends the escaped form of [text, text + length), with from and to as
// the escaped character and the escape character.
void encodeInto(const char* text, size_t length, char from, char to, std::string& out) {
  if (from == TransformStringFromSymbol && to == TransformStringToSymbol) {
    const size_t start = out.size();
    out.resize(start + maxEncodedLength(length));
    char* end = putEncodedToken(&out[start], text, length);
    out.resize(static_cast<size_t>(end - out.data()));
    return;
  }
  if (length == 0) {
    out.push_back(TransformStringEmptySymbol);
    return;
  }
  size_t i = 0;
  if (text[0] == TransformStringEmptySymbol) {
    out.push_back(TransformStringEmptySymbol);
    out.push_back(TransformStringEmptySymbol);
    i = 1;
  }
  while (i < length) {
    // Copy the run up to the next character that needs an escape at once.
    size_t run = i;
    while (run < length && text[run] != from && text[run] != to) ++run;
    out.append(text + i, run - i);
    if (run == length) break;
    out.push_back(to);
    out.push_back(text[run] == from ? '1' : '2');
    i = run + 1;
  }
}

// Replaces out with the unescaped form of [token, token + length).
void decodeInto(const char* token, size_t length, char from, char to, std::string& out) {
  out.clear();
  if (length == 0) return;
  // The plain text is never longer than the token: one allocation at most,
  // instead of one for each time the appends outgrow the string.
  out.reserve(length);
  size_t i = token[0] == TransformStringEmptySymbol ? 1 : 0;
  while (i < length) {
    const void* hit = std::memchr(token + i, to, length - i);
    const size_t next = hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - token) : length;
    out.append(token + i, next - i);
    if (next == length) break;
    if (next + 1 >= length) {
      // A plus sign at the very end (never produced by the encoder) stays.
      out.push_back(to);
      break;
    }
    out.push_back(token[next + 1] == '1' ? from : to);
    i = next + 2;
  }
}

}  // namespace

std::string& transform_string_encode(std::string& s, char from, char to) {
  std::string out;
  out.reserve(maxEncodedLength(s.size()));
  encodeInto(s.data(), s.size(), from, to, out);
  s.swap(out);
  return s;
}

std::string& transform_string_decode(std::string& s, char from, char to) {
  if (s.empty()) return s;
  std::string out;
  out.reserve(s.size());
  decodeInto(s.data(), s.size(), from, to, out);
  s.swap(out);
  return s;
}

void appendEncodedToken(const char* text, size_t length, std::string& out) {
  encodeInto(text, length, TransformStringFromSymbol, TransformStringToSymbol, out);
}

void assignDecodedToken(const char* token, size_t length, std::string& out) {
  decodeInto(token, length, TransformStringFromSymbol, TransformStringToSymbol, out);
}
