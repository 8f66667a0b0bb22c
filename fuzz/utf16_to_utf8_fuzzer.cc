// UTF-16 to UTF-8: the fast converter and wrapper against the plain
// per-character ones. Input: byte 0 bit 0 lenient mode, bit 1 the wrapper
// gets 32-bit wide characters (else one 16-bit unit each); byte 1 the
// target room; the rest the units in native byte order.
//
// Properties: same result, positions and target contents (in a target of
// exactly the chosen room), at the best and the portable level; same
// wrapper result and text; a strict conversion of units without a lone
// trailing high surrogate converts back to the same units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "FuzzSupport.h"
#include "UtfCompare.h"
#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

// The converter at the portable level, which a CPU without SSSE3 runs.
ConversionResult portable(const unsigned short** s, const unsigned short* e, unsigned char** t,
                          unsigned char* te, ConversionFlags f) {
  return unicode_fast::convertUTF16toUTF8(unicode_fast::Level::kPortable, s, e, t, te, f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const ConversionFlags flags = (data[0] & 1) != 0 ? lenientConversion : strictConversion;
  const bool wide32 = (data[0] & 2) != 0;
  const size_t n = (size - 2) / 2;
  std::unique_ptr<unsigned short[]> in(new unsigned short[n]);
  std::memcpy(in.get(), data + 2, n * 2);

  std::unique_ptr<unsigned char[]> bytes;
  const UtfOutcome outcome = compareConverters<unsigned short, unsigned char>(
      ConvertUTF16toUTF8, unicode_reference::convertUTF16toUTF8, in.get(), n, roomFor(3 * n, data[1]), flags,
      bytes);
  std::unique_ptr<unsigned char[]> portableBytes;
  compareConverters<unsigned short, unsigned char>(portable, unicode_reference::convertUTF16toUTF8, in.get(),
                                                   n, roomFor(3 * n, data[1]), flags, portableBytes);

  const bool loneHighAtEnd = n > 0 && in[n - 1] >= 0xD800 && in[n - 1] <= 0xDBFF;
  if (flags == strictConversion && outcome.result == conversionOK && !loneHighAtEnd) {
    FUZZ_CHECK(outcome.consumed == n);
    std::unique_ptr<unsigned short[]> back(new unsigned short[n]);
    const unsigned char* src = bytes.get();
    unsigned short* dst = back.get();
    FUZZ_CHECK(ConvertUTF8toUTF16(&src, bytes.get() + outcome.written, &dst, back.get() + n,
                                  strictConversion) == conversionOK);
    FUZZ_CHECK(static_cast<size_t>(dst - back.get()) == n);
    for (size_t i = 0; i < n; ++i) FUZZ_CHECK(back[i] == in[i]);
  }

  std::wstring wide;
  if (wide32) {
    for (size_t i = 0; i + 4 <= size - 2; i += 4) {
      uint32_t value;
      std::memcpy(&value, data + 2 + i, sizeof value);
      wide.push_back(static_cast<wchar_t>(value & 0x7FFFFFFF));
    }
  } else {
    for (size_t i = 0; i < n; ++i) wide.push_back(static_cast<wchar_t>(in[i]));
  }
  std::string fast = "unchanged";
  std::string plain = "unchanged";
  FUZZ_CHECK(unicodeToUtf8(wide, fast) == unicode_reference::unicodeToUtf8(wide, plain));
  FUZZ_CHECK(fast == plain);
  std::string portableText = "unchanged";
  unicode_fast::unicodeToUtf8(unicode_fast::Level::kPortable, wide, portableText);
  FUZZ_CHECK(portableText == plain);
  return 0;
}
