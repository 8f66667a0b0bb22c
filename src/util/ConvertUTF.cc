// UTF-8 / UTF-16 conversion.
//
// Each converter has two layers. The per-character step (one decoder and one
// encoder per character) defines every result, pointer position and unit
// written; the plain converters in unicode_reference are nothing but a loop
// over it. The exported converters run the fast runs of UnicodeFastPath.h
// over the common case, each into a scratch buffer whose reported units are
// copied to the target (never more than the target holds), and hand each
// character that a run does not take (anything malformed, truncated, a
// surrogate value) or that may not fit to that same step, so their results
// cannot differ from the plain loop.
#include "AppMgr/ConvertUTF.h"

#include <cstdint>
#include <cstring>

#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

constexpr int halfShift = 10;
constexpr uint32_t halfBase = 0x10000;
constexpr uint32_t halfMask = 0x3FF;

constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kHighSurrogateLast = 0xDBFF;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kLowSurrogateLast = 0xDFFF;
constexpr uint32_t kMaxBmp = 0xFFFF;

// Trailing bytes after each lead byte: none for 0x00 to 0xBF (ASCII and
// stray continuation bytes), then 1 to 5 for the 2- to 6-byte lead ranges.
constexpr unsigned char trailingBytesFor(unsigned lead) {
  return lead < 0xC0 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : 5;
}

struct TrailingTable {
  unsigned char count[256];
};

constexpr TrailingTable makeTrailingTable() {
  TrailingTable t{};
  for (unsigned b = 0; b < 256; ++b) t.count[b] = trailingBytesFor(b);
  return t;
}

constexpr TrailingTable trailingBytesForUTF8 = makeTrailingTable();

// What accumulating a sequence of 1 to 6 bytes (shift by 6 per byte) adds
// on top of its value: the lead-byte mark and the 0x80 of every
// continuation byte, each at its shifted position.
constexpr uint32_t offsetsFromUTF8[6] = {0x00000000u, 0x00003080u, 0x000E2080u,
                                         0x03C82080u, 0xFA082080u, 0x82082080u};

// Lead-byte mark of a sequence of 1 to 6 bytes, indexed by length.
constexpr unsigned char firstByteMark[7] = {0x00, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};

bool isHighSurrogate(uint32_t v) { return v >= kHighSurrogateFirst && v <= kHighSurrogateLast; }
bool isLowSurrogate(uint32_t v) { return v >= kLowSurrogateFirst && v <= kLowSurrogateLast; }
bool isSurrogate(uint32_t v) { return v >= kHighSurrogateFirst && v <= kLowSurrogateLast; }

// Length (1 to 6) of the UTF-8 sequence that starts with lead.
int utf8SequenceLength(unsigned char lead) { return trailingBytesForUTF8.count[lead] + 1; }

// Value of a sequence of length bytes that isLegalUTF8 accepted.
uint32_t decodeUtf8(const unsigned char* p, int length) {
  uint32_t v = 0;
  for (int i = 0; i < length; ++i) v = (v << 6) + p[i];
  return v - offsetsFromUTF8[length - 1];
}

// Writes v (at most 0x10FFFF) as one or two UTF-16 units if room allows.
// Returns the number of units written, 0 when they do not fit.
int encodeUtf16(uint32_t v, unsigned short* out, const unsigned short* end) {
  if (v <= kMaxBmp) {
    if (end - out < 1) return 0;
    out[0] = static_cast<unsigned short>(v);
    return 1;
  }
  if (end - out < 2) return 0;
  v -= halfBase;
  out[0] = static_cast<unsigned short>((v >> halfShift) + kHighSurrogateFirst);
  out[1] = static_cast<unsigned short>((v & halfMask) + kLowSurrogateFirst);
  return 2;
}

// Reads one character from src (which is before end) into *value. Returns
// the number of units it takes (1 or 2), or 0 when strict mode rejects the
// unpaired surrogate at src.
int decodeUtf16(const unsigned short* src, const unsigned short* end, bool strict, uint32_t* value) {
  const uint32_t first = src[0];
  *value = first;
  if (isHighSurrogate(first)) {
    if (end - src < 2) return 1;  // a high surrogate that ends the source stands alone
    const uint32_t second = src[1];
    if (isLowSurrogate(second)) {
      *value = ((first - kHighSurrogateFirst) << halfShift) + (second - kLowSurrogateFirst) + halfBase;
      return 2;
    }
    return strict ? 0 : 1;
  }
  if (strict && isLowSurrogate(first)) return 0;
  return 1;
}

int utf8EncodedLength(uint32_t v) { return v < 0x80 ? 1 : v < 0x800 ? 2 : v < 0x10000 ? 3 : 4; }

// Writes v as length bytes: continuation bytes from last to first, then
// the lead byte with its mark.
void encodeUtf8(uint32_t v, int length, unsigned char* out) {
  for (int i = length - 1; i > 0; --i) {
    out[i] = static_cast<unsigned char>((v & 0x3F) | 0x80);
    v >>= 6;
  }
  out[0] = static_cast<unsigned char>(v | firstByteMark[length]);
}

bool isContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

// Converts the one sequence at src (before end). Returns conversionOK and
// advances both pointers, or returns the result that stops the conversion
// and leaves them where they are.
ConversionResult stepUtf8toUtf16(const unsigned char*& src, const unsigned char* end, unsigned short*& dst,
                                 unsigned short* dstEnd, ConversionFlags flags) {
  const int length = utf8SequenceLength(*src);
  if (end - src < length) return sourceExhausted;
  if (!isLegalUTF8(src, length)) return sourceIllegal;
  const uint32_t v = decodeUtf8(src, length);
  if (dst >= dstEnd) return targetExhausted;
  if (flags == strictConversion && isSurrogate(v)) return sourceIllegal;
  const int written = encodeUtf16(v, dst, dstEnd);
  if (written == 0) return targetExhausted;
  dst += written;
  src += length;
  return conversionOK;
}

// Converts the one character at src (before end); as stepUtf8toUtf16.
ConversionResult stepUtf16toUtf8(const unsigned short*& src, const unsigned short* end, unsigned char*& dst,
                                 unsigned char* dstEnd, ConversionFlags flags) {
  uint32_t v = 0;
  const int units = decodeUtf16(src, end, flags == strictConversion, &v);
  if (units == 0) return sourceIllegal;
  const int length = utf8EncodedLength(v);
  if (dstEnd - dst < length) return targetExhausted;
  encodeUtf8(v, length, dst);
  dst += length;
  src += units;
  return conversionOK;
}

}  // namespace

bool isLegalUTF8(const unsigned char* source, int length) {
  if (length < 1 || length > 4) return false;
  for (int i = length - 1; i >= 2; --i) {
    if (!isContinuation(source[i])) return false;
  }
  const unsigned char lead = source[0];
  if (length >= 2) {
    const unsigned char second = source[1];
    if (second > 0xBF) return false;
    switch (lead) {
      case 0xE0:  // below 0xA0 would be an overlong 3-byte form
        if (second < 0xA0) return false;
        break;
      case 0xF0:  // below 0x90 would be an overlong 4-byte form
        if (second < 0x90) return false;
        break;
      case 0xF4:  // above 0x8F would exceed 0x10FFFF
        if (second < 0x80 || second > 0x8F) return false;
        break;
      default:
        if (second < 0x80) return false;
    }
  }
  // 0x80 to 0xBF cannot lead; 0xC0 and 0xC1 only lead overlong 2-byte forms.
  if (lead >= 0x80 && lead < 0xC2) return false;
  return lead <= 0xF4;
}

namespace unicode_reference {

ConversionResult convertUTF8toUTF16(const unsigned char** sourceStart, const unsigned char* sourceEnd,
                                    unsigned short** targetStart, unsigned short* targetEnd,
                                    ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const unsigned char* src = *sourceStart;
  unsigned short* dst = *targetStart;
  while (src < sourceEnd &&
         (result = stepUtf8toUtf16(src, sourceEnd, dst, targetEnd, flags)) == conversionOK) {
  }
  *sourceStart = src;
  *targetStart = dst;
  return result;
}

ConversionResult convertUTF16toUTF8(const unsigned short** sourceStart, const unsigned short* sourceEnd,
                                    unsigned char** targetStart, unsigned char* targetEnd,
                                    ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const unsigned short* src = *sourceStart;
  unsigned char* dst = *targetStart;
  while (src < sourceEnd &&
         (result = stepUtf16toUtf8(src, sourceEnd, dst, targetEnd, flags)) == conversionOK) {
  }
  *sourceStart = src;
  *targetStart = dst;
  return result;
}

}  // namespace unicode_reference

namespace unicode_fast {

// Source units a run may take per call; its scratch buffer lives on the
// stack.
constexpr size_t kChunk = 512;

ConversionResult convertUTF8toUTF16(Level level, const unsigned char** sourceStart,
                                    const unsigned char* sourceEnd, unsigned short** targetStart,
                                    unsigned short* targetEnd, ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const unsigned char* src = *sourceStart;
  unsigned short* dst = *targetStart;
  unsigned short scratch[kChunk + kRunOvershoot + kRunSlack];
  while (src < sourceEnd) {
    // A run writes no more units than it takes bytes, so a budget of the
    // room less the overshoot always fits the target.
    size_t room = static_cast<size_t>(targetEnd - dst);
    while (room > kRunOvershoot) {
      const size_t budget = room - kRunOvershoot < kChunk ? room - kRunOvershoot : kChunk;
      const unsigned char* const before = src;
      const size_t units = utf8ToUtf16(level, src, sourceEnd, scratch, budget);
      std::memcpy(dst, scratch, units * sizeof *dst);
      dst += units;
      room -= units;
      if (static_cast<size_t>(src - before) < budget) break;  // declined a character, or at the end
    }
    if (src >= sourceEnd) break;
    result = stepUtf8toUtf16(src, sourceEnd, dst, targetEnd, flags);
    if (result != conversionOK) break;
  }
  *sourceStart = src;
  *targetStart = dst;
  return result;
}

ConversionResult convertUTF16toUTF8(Level level, const unsigned short** sourceStart,
                                    const unsigned short* sourceEnd, unsigned char** targetStart,
                                    unsigned char* targetEnd, ConversionFlags flags) {
  ConversionResult result = conversionOK;
  const unsigned short* src = *sourceStart;
  unsigned char* dst = *targetStart;
  unsigned char scratch[3 * (kChunk + kRunOvershoot) + kRunSlack];
  // At most three bytes per unit taken (four for a pair of units).
  constexpr size_t kReserve = 3 * kRunOvershoot;
  while (src < sourceEnd) {
    size_t room = static_cast<size_t>(targetEnd - dst);
    while (room >= kReserve + 3) {
      const size_t budget = (room - kReserve) / 3 < kChunk ? (room - kReserve) / 3 : kChunk;
      const unsigned short* const before = src;
      const size_t bytes = utf16ToUtf8(level, src, sourceEnd, scratch, budget);
      std::memcpy(dst, scratch, bytes);
      dst += bytes;
      room -= bytes;
      if (static_cast<size_t>(src - before) < budget) break;
    }
    if (src >= sourceEnd) break;
    result = stepUtf16toUtf8(src, sourceEnd, dst, targetEnd, flags);
    if (result != conversionOK) break;
  }
  *sourceStart = src;
  *targetStart = dst;
  return result;
}

}  // namespace unicode_fast

ConversionResult ConvertUTF8toUTF16(const unsigned char** sourceStart, const unsigned char* sourceEnd,
                                    unsigned short** targetStart, unsigned short* targetEnd,
                                    ConversionFlags flags) {
  return unicode_fast::convertUTF8toUTF16(unicode_fast::bestLevel(), sourceStart, sourceEnd, targetStart,
                                          targetEnd, flags);
}

ConversionResult ConvertUTF16toUTF8(const unsigned short** sourceStart, const unsigned short* sourceEnd,
                                    unsigned char** targetStart, unsigned char* targetEnd,
                                    ConversionFlags flags) {
  return unicode_fast::convertUTF16toUTF8(unicode_fast::bestLevel(), sourceStart, sourceEnd, targetStart,
                                          targetEnd, flags);
}
