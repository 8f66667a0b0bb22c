// Decoder of the incoming property and content lists of a request's text,
// read in place: each entry reaches a callback as views of the text (a
// token with escapes is unescaped into a buffer of the decoder, valid until
// the callback returns), so a list costs no stream, no copy of the text and
// no heap object per entry.
//
// It reads what Streamer::extractPropList / extractContentList read from an
// std::istringstream of the same text in its default state, field by field
// as the formatted operators do: the same entries, the same error at the
// same entry, and the same position for what follows in the text.
#ifndef SRC_STREAM_LISTDECODER_H_
#define SRC_STREAM_LISTDECODER_H_

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "AppMgr/TokenEscape.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Whitespace of the classic locale.
inline bool isListSpace(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t'; }

// The end of the token that starts at p: its first whitespace byte, or end.
// plus says whether the token holds a plus sign. Scans sixteen bytes at a
// time with SSE2 while that many are left.
inline const char* scanListToken(const char* p, const char* end, bool& plus) {
  bool pluses = false;
#if defined(__SSE2__)
  // Whitespace is a space or a byte from 9 to 13 (one unsigned compare
  // after subtracting 9).
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i four = _mm_set1_epi8(4);
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i plusSign = _mm_set1_epi8(TransformStringToSymbol);
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i shifted = _mm_sub_epi8(bytes, nine);
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, four), shifted);
    const unsigned int spaces =
        static_cast<unsigned int>(_mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(bytes, space))));
    const unsigned int hits = static_cast<unsigned int>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, plusSign)));
    if (spaces != 0) {
      const int at = __builtin_ctz(spaces);
      plus = pluses || (hits & ((1u << at) - 1)) != 0;
      return p + at;
    }
    pluses |= hits != 0;
    p += 16;
  }
#endif
  while (p < end && !isListSpace(*p)) pluses |= *p++ == TransformStringToSymbol;
  plus = pluses;
  return p;
}

// Writes the unescaped form of a token (transform_string_decode's) at out,
// which has room for length + 16 bytes, and returns the end: a leading
// backquote goes, "+1" is a space, a plus sign and the byte after it are a
// plus sign, a final plus sign stays. Copies sixteen bytes at a time with
// SSE2 while [token, limit) holds them (the token may end earlier).
inline char* putUnescapedToken(const char* token, size_t length, const char* limit, char* out) {
  const char* p = token + (*token == TransformStringEmptySymbol ? 1 : 0);
  const char* const end = token + length;
  while (p < end) {
#if defined(__SSE2__)
    if (limit - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      const ptrdiff_t room = end - p < 16 ? end - p : 16;
      const unsigned int hits = static_cast<unsigned int>(_mm_movemask_epi8(
                                    _mm_cmpeq_epi8(bytes, _mm_set1_epi8(TransformStringToSymbol)))) &
                                ((1u << room) - 1);
      const ptrdiff_t copied = hits != 0 ? __builtin_ctz(hits) : room;
      out += copied;
      p += copied;
      if (hits == 0) continue;
    }
#endif
    while (p < end && *p != TransformStringToSymbol) *out++ = *p++;
    if (p == end) break;
    // At a plus sign.
    *out++ = p + 1 < end && p[1] == '1' ? TransformStringFromSymbol : TransformStringToSymbol;
    p += 2;
  }
  return out;
}

class ListDecoder {
 public:
  static constexpr int kStreamError = 0xC201;

  explicit ListDecoder(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // Decodes a property list: count { leading name type value trailing }.
  // Calls onEntry(std::string_view name, int type, std::string_view value,
  // int trailing) for each entry. Only whitespace left is an empty list.
  // Returns 0, or kStreamError with errorText set at the first field that
  // cannot be read (the entries before it were delivered).
  template <typename OnEntry>
  int properties(OnEntry&& onEntry, std::string& errorText) {
    uint64_t count = 0;
    if (!skipSpace()) return 0;
    if (!unsignedLong(count)) {
      errorText = "Error extracting property Count";
      return kStreamError;
    }
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t leading = 0;
      int type = 0;
      int trailing = 0;
      std::string_view name;
      std::string_view value;
      if (!unsignedLong(leading) || !token(name, name_) || !number(type) || !token(value, value_) ||
          !number(trailing)) {
        errorText = "Error trying to extract property";
        return kStreamError;
      }
      onEntry(name, type, value, trailing);
    }
    return 0;
  }

  // Decodes a content list: count { path }. Calls onEntry(std::string_view
  // path) for each entry; results as for properties().
  template <typename OnEntry>
  int contents(OnEntry&& onEntry, std::string& errorText) {
    uint64_t count = 0;
    if (!skipSpace()) return 0;
    if (!unsignedLong(count)) {
      errorText = "Error extracting content Count";
      return kStreamError;
    }
    for (uint64_t i = 0; i < count; ++i) {
      std::string_view path;
      if (!token(path, name_)) {
        errorText = "Error trying to extract content";
        return kStreamError;
      }
      onEntry(path);
    }
    return 0;
  }

  // Reads a decimal int as `in >> number` does (whitespace, a sign, digits
  // up to the first other byte; false when there are none or the value
  // does not fit).
  bool number(int& value) {
    bool negative = false;
    uint64_t magnitude = 0;
    const uint64_t positiveMax = static_cast<uint64_t>(std::numeric_limits<int>::max());
    if (!digits(negative, magnitude, positiveMax + 1) || (!negative && magnitude > positiveMax)) return false;
    value = negative ? static_cast<int>(-static_cast<int64_t>(magnitude)) : static_cast<int>(magnitude);
    return true;
  }

  // Whether only whitespace is left.
  bool atEnd() { return !skipSpace(); }

 private:
  bool skipSpace() {
    while (p_ < end_ && isListSpace(*p_)) ++p_;
    return p_ < end_;
  }

  // Whitespace, an optional sign and at least one digit; false when the
  // magnitude passes max.
  bool digits(bool& negative, uint64_t& magnitude, uint64_t max) {
    if (!skipSpace()) return false;
    negative = *p_ == '-';
    if (*p_ == '-' || *p_ == '+') ++p_;
    const char* start = p_;
    uint64_t v = 0;
    bool overflow = false;
    for (; p_ < end_ && *p_ >= '0' && *p_ <= '9'; ++p_) {
      const unsigned digit = static_cast<unsigned>(*p_ - '0');
      if (v > (max - digit) / 10) overflow = true;
      v = v * 10 + digit;
    }
    magnitude = v;
    return p_ != start && !overflow;
  }

  // An unsigned long as `in >> value` reads it: a minus sign negates it
  // modulo 2^64.
  bool unsignedLong(uint64_t& value) {
    bool negative = false;
    uint64_t magnitude = 0;
    if (!digits(negative, magnitude, std::numeric_limits<uint64_t>::max())) return false;
    value = negative ? 0 - magnitude : magnitude;
    return true;
  }

  // A whitespace-delimited token, unescaped (into `buffer` when escaping
  // changes it).
  bool token(std::string_view& out, std::string& buffer) {
    if (!skipSpace()) return false;
    const char* begin = p_;
    bool plus = false;
    p_ = scanListToken(p_, end_, plus);
    const size_t length = static_cast<size_t>(p_ - begin);
    out = plus || *begin == TransformStringEmptySymbol ? unescape(begin, length, buffer)
                                                       : std::string_view(begin, length);
    return true;
  }

  // The unescaped form of a token, in `buffer`.
  std::string_view unescape(const char* token, size_t length, std::string& buffer) const {
    if (buffer.size() < length + 16) buffer.resize(length + 16);
    char* const begin = &buffer[0];
    return std::string_view(begin,
                            static_cast<size_t>(putUnescapedToken(token, length, end_, begin) - begin));
  }

  const char* p_;
  const char* end_;
  std::string name_;  // unescaped tokens
  std::string value_;
};

#endif  // SRC_STREAM_LISTDECODER_H_
