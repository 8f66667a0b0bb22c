// Runs an exported UTF converter and its plain per-character reference on
// the same input and target room, each into an exact-size heap target
// filled with a guard pattern, and checks that both report the same result
// and positions and leave the same target contents.
#ifndef FUZZ_UTFCOMPARE_H_
#define FUZZ_UTFCOMPARE_H_

#include <cstddef>
#include <memory>

#include "AppMgr/ConvertUTF.h"

#include "FuzzSupport.h"

template <typename In, typename Out>
using UtfConverter = ConversionResult (*)(const In**, const In*, Out**, Out*, ConversionFlags);

struct UtfOutcome {
  ConversionResult result;
  size_t consumed;
  size_t written;
};

template <typename In, typename Out>
UtfOutcome compareConverters(UtfConverter<In, Out> fast, UtfConverter<In, Out> plain, const In* in, size_t n,
                             size_t room, ConversionFlags flags, std::unique_ptr<Out[]>& output) {
  output.reset(new Out[room]);
  std::unique_ptr<Out[]> reference(new Out[room]);
  for (size_t i = 0; i < room; ++i) output[i] = reference[i] = static_cast<Out>(0xA5);
  const In* srcA = in;
  const In* srcB = in;
  Out* dstA = output.get();
  Out* dstB = reference.get();
  const ConversionResult a = fast(&srcA, in + n, &dstA, output.get() + room, flags);
  const ConversionResult b = plain(&srcB, in + n, &dstB, reference.get() + room, flags);
  FUZZ_CHECK(a == b);
  FUZZ_CHECK(srcA == srcB);
  FUZZ_CHECK(dstA - output.get() == dstB - reference.get());
  for (size_t i = 0; i < room; ++i) FUZZ_CHECK(output[i] == reference[i]);
  return {a, static_cast<size_t>(srcA - in), static_cast<size_t>(dstA - output.get())};
}

// The room for an input of n units: selector 255 gives more than the worst
// case needs, anything else a share of it, down to none.
inline size_t roomFor(size_t worstCase, unsigned char selector) {
  return selector == 255 ? worstCase + 2 : worstCase * selector / 254;
}

#endif  // FUZZ_UTFCOMPARE_H_
