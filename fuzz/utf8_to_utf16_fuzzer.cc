// UTF-8 to UTF-16: the fast converter and wrapper against the plain
// per-character ones. Input: byte 0 bit 0 lenient mode, byte 1 the target
// room, the rest the UTF-8 bytes.
//
// Properties: same result, positions and target contents (in a target of
// exactly the chosen room), at the best and the portable level; same
// wrapper result and text; a strict conversion of the whole input converts
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "AppMgr/ConvertUTF.h"
#include "AppMgr/UnicodeConversion.h"

#include "FuzzSupport.h"
#include "UtfCompare.h"
#include "util/UnicodeFastPath.h"
#include "util/UnicodeReference.h"

namespace {

// The converter at the portable level, which a CPU without SSSE3 runs.
ConversionResult portable(const unsigned char** s, const unsigned char* e, unsigned short** t,
                          unsigned short* te, ConversionFlags f) {
  return unicode_fast::convertUTF8toUTF16(unicode_fast::Level::kPortable, s, e, t, te, f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const ConversionFlags flags = (data[0] & 1) != 0 ? lenientConversion : strictConversion;
  const size_t n = size - 2;
  const unsigned char* in = data + 2;

  std::unique_ptr<unsigned short[]> units;
  const UtfOutcome outcome = compareConverters<unsigned char, unsigned short>(
      ConvertUTF8toUTF16, unicode_reference::convertUTF8toUTF16, in, n, roomFor(n, data[1]), flags, units);
  std::unique_ptr<unsigned short[]> portableUnits;
  compareConverters<unsigned char, unsigned short>(portable, unicode_reference::convertUTF8toUTF16, in, n,
                                                   roomFor(n, data[1]), flags, portableUnits);

  if (flags == strictConversion && outcome.result == conversionOK) {
    FUZZ_CHECK(outcome.consumed == n);
    std::unique_ptr<unsigned char[]> back(new unsigned char[n]);
    const unsigned short* src = units.get();
    unsigned char* dst = back.get();
    FUZZ_CHECK(ConvertUTF16toUTF8(&src, units.get() + outcome.written, &dst, back.get() + n,
                                  strictConversion) == conversionOK);
    FUZZ_CHECK(static_cast<size_t>(dst - back.get()) == n);
    for (size_t i = 0; i < n; ++i) FUZZ_CHECK(back[i] == in[i]);
  }

  const std::string text(reinterpret_cast<const char*>(in), n);
  std::wstring fast = L"unchanged";
  std::wstring plain = L"unchanged";
  FUZZ_CHECK(utf8ToUnicode(text, fast) == unicode_reference::utf8ToUnicode(text, plain));
  FUZZ_CHECK(fast == plain);
  std::wstring portableWide = L"unchanged";
  unicode_fast::utf8ToUnicode(unicode_fast::Level::kPortable, text, portableWide);
  FUZZ_CHECK(portableWide == plain);
  return 0;
}
