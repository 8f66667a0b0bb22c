// The fast converters and wrappers against the plain per-character ones,
// on inputs long enough for the fast runs (which start only when the target
// has room for a whole run): every short sequence at every offset around the
// end of a block inside long text, and long texts with a malformed piece
// moved through them at every target room, in both modes. Each pair must
// give the same result, the same source and target positions and the same
// target bytes (a guard pattern shows any unit written beyond what is
// reported). Sanitizer builds run a sample. Random inputs are the fuzz
// targets' job (utf8_to_utf16, utf16_to_utf8), whose corpora ctest replays.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

using unicode_fast::Level;

template <Level kLevel>
ConversionResult fast8At(const unsigned char** s, const unsigned char* e, unsigned short** t,
                         unsigned short* te, ConversionFlags f) {
  return unicode_fast::convertUTF8toUTF16(kLevel, s, e, t, te, f);
}

template <Level kLevel>
ConversionResult fast16At(const unsigned short** s, const unsigned short* e, unsigned char** t,
                          unsigned char* te, ConversionFlags f) {
  return unicode_fast::convertUTF16toUTF8(kLevel, s, e, t, te, f);
}

template <typename In, typename Out>
using Converter = ConversionResult (*)(const In**, const In*, Out**, Out*, ConversionFlags);

// Runs both converters on the n units at in with `room` target units and
// compares everything they report and write. Returns false (after a gtest
// failure) on the first difference.
template <typename In, typename Out>
bool sameOutcome(Converter<In, Out> fast, Converter<In, Out> plain, const In* in, size_t n, size_t room,
                 ConversionFlags flags) {
  static std::vector<Out> a;  // reused: the exhaustive tests make millions of calls
  static std::vector<Out> b;
  a.assign(room + 8, static_cast<Out>(0xA5));
  b.assign(room + 8, static_cast<Out>(0xA5));
  const In* srcA = in;
  const In* srcB = in;
  Out* dstA = a.data();
  Out* dstB = b.data();
  const ConversionResult ra = fast(&srcA, in + n, &dstA, a.data() + room, flags);
  const ConversionResult rb = plain(&srcB, in + n, &dstB, b.data() + room, flags);
  if (ra == rb && srcA == srcB && dstA - a.data() == dstB - b.data() && a == b) return true;
  std::string hex;
  for (size_t i = 0; i < n; ++i) hex += std::to_string(static_cast<unsigned>(in[i])) + " ";
  ADD_FAILURE() << "input [" << hex << "] room " << room << " flags " << flags << ": result " << ra << " vs "
                << rb << ", source " << (srcA - in) << " vs " << (srcB - in) << ", target "
                << (dstA - a.data()) << " vs " << (dstB - b.data());
  return false;
}

// The exported converter (best level) and, with `portableToo`, the
// portable level against the plain loop.
bool same8(const std::vector<unsigned char>& in, size_t room, ConversionFlags flags,
           bool portableToo = true) {
  return sameOutcome<unsigned char, unsigned short>(ConvertUTF8toUTF16, unicode_reference::convertUTF8toUTF16,
                                                    in.data(), in.size(), room, flags) &&
         (!portableToo || sameOutcome<unsigned char, unsigned short>(fast8At<Level::kPortable>,
                                                                     unicode_reference::convertUTF8toUTF16,
                                                                     in.data(), in.size(), room, flags));
}

bool same16(const std::vector<unsigned short>& in, size_t room, ConversionFlags flags,
            bool portableToo = true) {
  return sameOutcome<unsigned short, unsigned char>(ConvertUTF16toUTF8, unicode_reference::convertUTF16toUTF8,
                                                    in.data(), in.size(), room, flags) &&
         (!portableToo || sameOutcome<unsigned short, unsigned char>(fast16At<Level::kPortable>,
                                                                     unicode_reference::convertUTF16toUTF8,
                                                                     in.data(), in.size(), room, flags));
}

const ConversionFlags kModes[] = {strictConversion, lenientConversion};

}  // namespace

// Every 1- and 2-byte sequence, and every 3-byte sequence that starts with
// a lead byte, at each offset around the end of the first block (bytes 12
// to 18) of a long text: well-formed ASCII before it, and either ASCII or
// Latin and CJK characters after it, so that the block decoder meets each
// sequence whole, cut at the block's end, or spilling into the next block.
TEST(UnicodeDifferential, EveryShortSequenceAtEachOffsetAroundABlockEnd) {
  const std::string latinCjk = "\xc3\xa9\xe4\xb8\xad\xc3\xb1x\xe6\x96\x87\xf0\x9f\x98\x80 abc \xc3\xa9";
  const std::string after[] = {std::string(40, 'z'), latinCjk + latinCjk};
  std::vector<unsigned char> in;
  auto check = [&](size_t offset, const unsigned char* seq, size_t length, const std::string& tail,
                   ConversionFlags flags) {
    in.assign(offset, 'a');
    in.insert(in.end(), seq, seq + length);
    in.insert(in.end(), tail.begin(), tail.end());
    return same8(in, in.size(), flags, false) && same8(in, offset + 2, flags, false);
  };
  for (size_t offset = 12; offset <= 18; ++offset) {
    for (const ConversionFlags flags : kModes) {
      for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; b += kSanitized ? 5 : 1) {
          const unsigned char seq[] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b)};
          for (const std::string& tail : after) ASSERT_TRUE(check(offset, seq, 2, tail, flags));
        }
      }
    }
  }
  // Three bytes: one offset per lead, cycling, so that every offset meets
  // every lead class; both modes by the second byte's parity.
  for (unsigned a = 0xC0; a < 256; ++a) {
    const size_t offset = 12 + a % 7;
    for (unsigned b = 0x80; b < 0xC0 + 0x40 * !kSanitized; ++b) {
      const ConversionFlags flags = kModes[b & 1];
      for (unsigned c = 0; c < 256; c += kSanitized ? 3 : 1) {
        const unsigned char seq[] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                     static_cast<unsigned char>(c)};
        ASSERT_TRUE(check(offset, seq, 3, after[c & 1], flags));
      }
    }
  }
}

// Long texts of every character length (and a surrogate pair or a four-byte
// form in each block), with one malformed piece moved through them, at every
// target room up to the need: the block steps meet each piece whole or cut
// and stop exactly where the room ends. The wrappers run on the same texts at
// both levels.
TEST(UnicodeDifferential, LongTextsWithAMovingMalformedPieceAtEveryRoom) {
  const std::string good = "ab \xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80xyz\xd7\xbf\xef\xbf\xbd\xf4\x8f\xbf\xbf";
  const std::vector<std::string> bad = {"\x80", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"};
  const std::vector<unsigned short> units = {0x41, 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0x7FF, 0x800, 0xFFFF};
  for (const std::string& piece : bad) {
    for (size_t at = 0; at <= 3 * good.size(); at += 5) {
      const std::string text = (good + good + good).insert(at, piece);
      const std::vector<unsigned char> bytes(text.begin(), text.end());
      std::vector<unsigned short> wide16;
      for (int k = 0; k < 6; ++k) wide16.insert(wide16.end(), units.begin(), units.end());
      wide16.insert(wide16.begin() + static_cast<long>(at % wide16.size()),
                    0xD800 + static_cast<unsigned short>(at));
      for (const ConversionFlags flags : kModes) {
        for (size_t room = 0; room <= bytes.size() + 1; ++room) ASSERT_TRUE(same8(bytes, room, flags));
        for (size_t room = 0; room <= 3 * wide16.size() + 1; ++room) ASSERT_TRUE(same16(wide16, room, flags));
      }
      const std::wstring wide(wide16.begin(), wide16.end());
      for (const Level level : {unicode_fast::bestLevel(), Level::kPortable}) {
        std::wstring fastWide = L"previous", plainWide = L"previous";
        ASSERT_EQ(unicode_fast::utf8ToUnicode(level, text, fastWide),
                  unicode_reference::utf8ToUnicode(text, plainWide));
        ASSERT_EQ(fastWide, plainWide);
        std::string fastText = "previous", plainText = "previous";
        ASSERT_EQ(unicode_fast::unicodeToUtf8(level, wide, fastText),
                  unicode_reference::unicodeToUtf8(wide, plainText));
        ASSERT_EQ(fastText, plainText);
      }
    }
  }
}
