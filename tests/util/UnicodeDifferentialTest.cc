// The fast converters and wrappers against the plain per-character ones:
// every 1- to 3-byte UTF-8 input, every UTF-16 unit alone and after each
// kind of unit, and random longer inputs built from runs of ASCII, every
// character length and the malformed classes, in both modes and with target
// capacities around the exact need. Each pair must give the same result,
// the same source and target positions and the same target bytes (a guard
// pattern shows any unit written beyond what is reported). Sanitizer builds
// run a sample of the exhaustive sets and fewer random inputs.
//
// The block decoders only see inputs of 32 units and more, so a second set
// embeds short sequences at every offset around the end of a block inside
// long well-formed text, and long random inputs of block-sized mixes with
// one malformed piece go through every target capacity near their need.
// The exported converters run at the CPU's best level; every test also runs
// the portable level.
#include <cstdint>
#include <random>
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

constexpr int kRandomInputs = kSanitized ? 60000 : 900000;

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

// Bytes that sit on the boundaries of the legality rules.
const unsigned char kEdgeBytes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                    0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};

// Units on the boundaries of the UTF-16 classes.
const unsigned short kEdgeUnits[] = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xD800,
                                     0xDA3C, 0xDBFF, 0xDC00, 0xDE00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};

void putUtf8(std::vector<unsigned char>& s, uint32_t c) {
  if (c < 0x80) {
    s.push_back(static_cast<unsigned char>(c));
  } else if (c < 0x800) {
    s.insert(s.end(),
             {static_cast<unsigned char>(0xC0 | (c >> 6)), static_cast<unsigned char>(0x80 | (c & 0x3F))});
  } else if (c < 0x10000) {
    s.insert(s.end(), {static_cast<unsigned char>(0xE0 | (c >> 12)),
                       static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)),
                       static_cast<unsigned char>(0x80 | (c & 0x3F))});
  } else {
    s.insert(s.end(), {static_cast<unsigned char>(0xF0 | (c >> 18)),
                       static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)),
                       static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)),
                       static_cast<unsigned char>(0x80 | (c & 0x3F))});
  }
}

// The malformed UTF-8 classes.
const std::vector<std::vector<unsigned char>> kMalformed = {
    {0x80},                    // lone continuation
    {0xC0, 0x80},              // overlong two-byte
    {0xE0, 0x80, 0x80},        // overlong three-byte
    {0xF0, 0x80, 0x80, 0x80},  // overlong four-byte
    {0xED, 0xA0, 0x80},        // surrogate value
    {0xED, 0xBF, 0xBF},        // surrogate value
    {0xF4, 0x90, 0x80, 0x80},  // beyond U+10FFFF
    {0xF5, 0x80, 0x80, 0x80},  // lead above F4
    {0xF8, 0x88, 0x80, 0x80, 0x80},
    {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80},
    {0xFE},
    {0xE2, 0x82},              // truncated
    {0xC3, 0x41},              // continuation missing
    {0xC1, 0xBF},              // overlong two-byte, highest
    {0xE0, 0x9F, 0xBF},        // overlong three-byte, highest
    {0xF0, 0x8F, 0xBF, 0xBF},  // overlong four-byte, highest
    {0xF4, 0x8F, 0xBF},        // truncated four-byte
    {0xE4, 0xC3, 0xA9},        // a lead where a continuation belongs
    {0xBF, 0xBF},
};

// Appends one random piece of UTF-8: mostly runs of ASCII and well-formed
// characters of each length, sometimes one of the malformed classes.
void appendPiece8(std::mt19937& rng, std::vector<unsigned char>& s) {
  auto put = [&s](uint32_t c) { putUtf8(s, c); };
  const unsigned kind = rng() % 100;
  if (kind < 25) {
    const int run = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < run; ++i) s.push_back(static_cast<unsigned char>(rng() % 0x80));
  } else if (kind < 45) {
    put(0x80 + rng() % 0x780);
  } else if (kind < 70) {
    uint32_t c = 0x800 + rng() % 0xF800;
    if (c >= 0xD800 && c <= 0xDFFF) c += 0x800;
    put(c);
  } else if (kind < 95) {
    put(0x10000 + rng() % 0x100000);
  } else {
    const auto& bad = kMalformed[rng() % kMalformed.size()];
    s.insert(s.end(), bad.begin(), bad.end());
  }
}

void appendPiece16(std::mt19937& rng, std::vector<unsigned short>& s) {
  const unsigned kind = rng() % 100;
  if (kind < 25) {
    const int run = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < run; ++i) s.push_back(static_cast<unsigned short>(rng() % 0x80));
  } else if (kind < 45) {
    s.push_back(static_cast<unsigned short>(0x80 + rng() % 0x780));
  } else if (kind < 70) {
    uint32_t c = 0x800 + rng() % 0xF800;
    if (c >= 0xD800 && c <= 0xDFFF) c += 0x800;
    s.push_back(static_cast<unsigned short>(c));
  } else if (kind < 95) {
    s.push_back(static_cast<unsigned short>(0xD800 + rng() % 0x400));
    s.push_back(static_cast<unsigned short>(0xDC00 + rng() % 0x400));
  } else {
    s.push_back(static_cast<unsigned short>(0xD800 + rng() % 0x800));  // an unpaired surrogate
  }
}

// Target capacities to try for an input whose complete conversion needs
// `need` units: none, the exact need and a few around it, and ample room.
std::vector<size_t> roomsAround(std::mt19937& rng, size_t need) {
  std::vector<size_t> rooms = {need, need + 1, 4 * need + 8};
  for (size_t k = 1; k <= 3 && k <= need; ++k) rooms.push_back(need - k);
  rooms.push_back(need > 0 ? rng() % need : 0);
  return rooms;
}

template <typename In, typename Out>
size_t plainNeed(Converter<In, Out> plain, const std::vector<In>& in, ConversionFlags flags) {
  std::vector<Out> out(4 * in.size() + 8);
  const In* src = in.data();
  Out* dst = out.data();
  plain(&src, in.data() + in.size(), &dst, out.data() + out.size(), flags);
  return static_cast<size_t>(dst - out.data());
}

}  // namespace

// Sanitizer builds take every second byte only after a multi-byte lead and
// the boundary bytes elsewhere.
TEST(UnicodeDifferential, EveryUtf8InputOfOneToThreeBytes) {
  std::vector<unsigned char> everyByte(256);
  for (unsigned b = 0; b < 256; ++b) everyByte[b] = static_cast<unsigned char>(b);
  const std::vector<unsigned char> edges(std::begin(kEdgeBytes), std::end(kEdgeBytes));
  for (const ConversionFlags flags : kModes) {
    for (unsigned a = 0; a < 256; ++a) {
      const unsigned char lead = static_cast<unsigned char>(a);
      ASSERT_TRUE(same8({lead}, 1, flags));
      ASSERT_TRUE(same8({lead}, 0, flags));
      for (const unsigned char b : kSanitized&& a < 0xC0 ? edges : everyByte) {
        for (const size_t room : {0, 1, 2}) ASSERT_TRUE(same8({lead, b}, room, flags));
        if (kSanitized) {
          if (a < 0xE0) continue;
          for (const unsigned char c : kEdgeBytes) ASSERT_TRUE(same8({lead, b, c}, 1, flags));
          continue;
        }
        for (unsigned c = 0; c < 256; ++c) {
          const unsigned char in[] = {lead, b, static_cast<unsigned char>(c)};
          for (const size_t room : {1, 3}) {
            ASSERT_TRUE((sameOutcome<unsigned char, unsigned short>(
                ConvertUTF8toUTF16, unicode_reference::convertUTF8toUTF16, in, 3, room, flags)));
          }
        }
      }
    }
  }
}

TEST(UnicodeDifferential, EveryUtf16UnitAloneAndAfterEachKindOfUnit) {
  for (const ConversionFlags flags : kModes) {
    for (uint32_t u = 0; u < 0x10000; u += kSanitized ? 7 : 1) {
      for (const size_t room : {0, 1, 2, 3}) {
        ASSERT_TRUE(same16({static_cast<unsigned short>(u)}, room, flags));
      }
      for (const unsigned short first : kEdgeUnits) {
        for (const size_t room : {3, 4, 6}) {
          ASSERT_TRUE(same16({first, static_cast<unsigned short>(u)}, room, flags));
        }
      }
    }
  }
}

// Random inputs of both directions, each with targets around its exact need.
TEST(UnicodeDifferential, RandomInputsWithTightTargets) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < kRandomInputs / 6; ++i) {
    std::vector<unsigned char> bytes;
    std::vector<unsigned short> units;
    const int pieces = 1 + static_cast<int>(rng() % 24);
    for (int p = 0; p < pieces; ++p) appendPiece8(rng, bytes);
    for (int p = 0; p < pieces; ++p) appendPiece16(rng, units);
    const ConversionFlags flags = kModes[rng() % 2];
    const size_t need8 =
        plainNeed<unsigned char, unsigned short>(unicode_reference::convertUTF8toUTF16, bytes, flags);
    for (const size_t room : roomsAround(rng, need8)) ASSERT_TRUE(same8(bytes, room, flags));
    const size_t need16 =
        plainNeed<unsigned short, unsigned char>(unicode_reference::convertUTF16toUTF8, units, flags);
    for (const size_t room : roomsAround(rng, need16)) ASSERT_TRUE(same16(units, room, flags));
  }
}

// The wrappers: random texts with NULs, every malformed class, and wide
// characters above 0xFFFF and beyond Unicode.
TEST(UnicodeDifferential, WrappersMatchThePlainWrappers) {
  std::mt19937 rng(424242);
  for (int i = 0; i < kRandomInputs / 10; ++i) {
    std::vector<unsigned char> bytes;
    const int pieces = 1 + static_cast<int>(rng() % 24);
    for (int p = 0; p < pieces; ++p) appendPiece8(rng, bytes);
    if (rng() % 8 == 0) bytes.insert(bytes.begin() + static_cast<long>(rng() % bytes.size()), 0);
    const std::string text(bytes.begin(), bytes.end());
    std::wstring fastWide = L"previous";
    std::wstring plainWide = L"previous";
    ASSERT_EQ(utf8ToUnicode(text, fastWide), unicode_reference::utf8ToUnicode(text, plainWide));
    ASSERT_EQ(fastWide, plainWide);
    std::wstring portableWide = L"previous";
    ASSERT_EQ(unicode_fast::utf8ToUnicode(Level::kPortable, text, portableWide),
              unicode_reference::utf8ToUnicode(text, plainWide));
    ASSERT_EQ(portableWide, plainWide);

    std::vector<unsigned short> units;
    for (int p = 0; p < pieces; ++p) appendPiece16(rng, units);
    std::wstring wide(units.begin(), units.end());
    if (rng() % 4 == 0) {
      const wchar_t extra[] = {0x1F600, 0x10FFFF, 0x110000, static_cast<wchar_t>(-1), 0, 0xDBFF, 0xDC00};
      wide.insert(wide.begin() + static_cast<long>(rng() % (wide.size() + 1)), extra[rng() % 7]);
    }
    std::string fastText = "previous";
    std::string plainText = "previous";
    ASSERT_EQ(unicodeToUtf8(wide, fastText), unicode_reference::unicodeToUtf8(wide, plainText));
    ASSERT_EQ(fastText, plainText);
    std::string portableText = "previous";
    ASSERT_EQ(unicode_fast::unicodeToUtf8(Level::kPortable, wide, portableText),
              unicode_reference::unicodeToUtf8(wide, plainText));
    ASSERT_EQ(portableText, plainText);
  }
}

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

// Long inputs of one mix (Latin, CJK, four-byte forms, or all of them)
// with at most one malformed piece anywhere, through every target capacity
// from a few units below the need up to the need (every capacity for one
// input in eight), a random one and ample room, at both levels.
TEST(UnicodeDifferential, LongMixedInputsThroughEveryTightTarget) {
  std::mt19937 rng(77031);
  const int inputs = kSanitized ? 3000 : 60000;
  auto character = [&rng](unsigned mix) -> uint32_t {
    const unsigned kind = mix == 3 ? rng() % 4 : rng() % 3 == 0 ? 0 : mix + 1;
    switch (kind) {
      case 0:
        return rng() % 3 == 0 ? ' ' : 'a' + rng() % 26;
      case 1:
        return 0x80 + rng() % 0x780;
      case 2: {
        const uint32_t c = 0x800 + rng() % 0xF800;
        return c >= 0xD800 && c <= 0xDFFF ? c + 0x800 : c;
      }
      default:
        return 0x10000 + rng() % 0x100000;
    }
  };
  for (int i = 0; i < inputs; ++i) {
    const unsigned mix = rng() % 4;
    const size_t count = 12 + rng() % 120;
    const size_t badAt = rng() % 2 == 0 ? rng() % count : count;  // count: none
    std::vector<unsigned char> bytes;
    std::vector<unsigned short> units;
    for (size_t k = 0; k < count; ++k) {
      if (k == badAt) {
        const auto& bad = kMalformed[rng() % kMalformed.size()];
        bytes.insert(bytes.end(), bad.begin(), bad.end());
        units.push_back(static_cast<unsigned short>(0xD800 + rng() % 0x800));  // an unpaired surrogate
        continue;
      }
      const uint32_t c = character(mix);
      putUtf8(bytes, c);
      if (c < 0x10000) {
        units.push_back(static_cast<unsigned short>(c));
      } else {
        units.push_back(static_cast<unsigned short>(0xD800 + ((c - 0x10000) >> 10)));
        units.push_back(static_cast<unsigned short>(0xDC00 + (c & 0x3FF)));
      }
    }
    if (rng() % 16 == 0) units.push_back(0xDBFF);  // a high surrogate that ends the source
    const ConversionFlags flags = kModes[rng() % 2];
    const size_t need8 =
        plainNeed<unsigned char, unsigned short>(unicode_reference::convertUTF8toUTF16, bytes, flags);
    const size_t need16 =
        plainNeed<unsigned short, unsigned char>(unicode_reference::convertUTF16toUTF8, units, flags);
    const bool everyRoom = i % 8 == 0;
    for (size_t room = everyRoom || need8 < 6 ? 0 : need8 - 6; room <= need8; ++room) {
      ASSERT_TRUE(same8(bytes, room, flags));
    }
    ASSERT_TRUE(same8(bytes, need8 > 0 ? rng() % need8 : 0, flags));
    ASSERT_TRUE(same8(bytes, 2 * bytes.size() + 40, flags));
    for (size_t room = everyRoom || need16 < 10 ? 0 : need16 - 10; room <= need16; ++room) {
      ASSERT_TRUE(same16(units, room, flags));
    }
    ASSERT_TRUE(same16(units, need16 > 0 ? rng() % need16 : 0, flags));
    ASSERT_TRUE(same16(units, 4 * units.size() + 40, flags));

    // The wrappers on the same texts, sometimes with a NUL, and with wide
    // characters above 0xFFFF in place of some pairs.
    std::string text(bytes.begin(), bytes.end());
    std::wstring wide(units.begin(), units.end());
    if (rng() % 8 == 0) text.insert(rng() % (text.size() + 1), 1, '\0');
    if (rng() % 8 == 0) wide.insert(rng() % (wide.size() + 1), 1, L'\0');
    if (rng() % 4 == 0) {
      for (size_t k = 0; k + 1 < wide.size(); ++k) {
        const uint32_t h = static_cast<uint32_t>(wide[k]);
        const uint32_t l = static_cast<uint32_t>(wide[k + 1]);
        if (h >= 0xD800 && h <= 0xDBFF && l >= 0xDC00 && l <= 0xDFFF && rng() % 2 == 0) {
          wide[k] = static_cast<wchar_t>(((h - 0xD800) << 10) + (l - 0xDC00) + 0x10000);
          wide.erase(k + 1, 1);
        }
      }
    }
    for (const Level level : {unicode_fast::bestLevel(), Level::kPortable}) {
      std::wstring fastWide = L"previous";
      std::wstring plainWide = L"previous";
      ASSERT_EQ(unicode_fast::utf8ToUnicode(level, text, fastWide),
                unicode_reference::utf8ToUnicode(text, plainWide));
      ASSERT_EQ(fastWide, plainWide);
      std::string fastText = "previous";
      std::string plainText = "previous";
      ASSERT_EQ(unicode_fast::unicodeToUtf8(level, wide, fastText),
                unicode_reference::unicodeToUtf8(wide, plainText));
      ASSERT_EQ(fastText, plainText);
    }
  }
}
