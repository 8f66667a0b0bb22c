// The BasicConversion readers on arbitrary text, and the writers on
// arbitrary values. Input: the first eight bytes are a value's bits (zero
// padded), the whole input is also the text.
//
// Properties: a reader that converts gives a value whose written form reads
// back as the same value, and a reader that does not convert leaves the
// output alone; every integer value written (decimal and hexadecimal) reads
// back as itself, and so does every integral double and float; the bool
// reader follows its rule; trimming removes only 7-bit white space at the
// ends and is idempotent.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "AppMgr/BasicConversion.h"

#include "FuzzSupport.h"

namespace {

template <typename T>
T fromBits(uint64_t bits) {
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Reading text: unchanged output when nothing converts; otherwise the value
// survives a write and a read.
template <typename T>
void readDecimal(const std::string& text, T sentinel) {
  T value = sentinel;
  BasicConversion::fromString(value, text);
  std::string written;
  BasicConversion::toString(value, written);
  T again = sentinel;
  BasicConversion::fromString(again, written);
  FUZZ_CHECK(again == value);
}

template <typename T>
void readHex(const std::string& text, T sentinel) {
  T value = sentinel;
  BasicConversion::fromHexString(value, text);
  std::string written;
  BasicConversion::toHexString(value, written);
  FUZZ_CHECK(written.compare(0, 2, "0x") == 0);
  T again = static_cast<T>(~sentinel);
  BasicConversion::fromHexString(again, written);
  FUZZ_CHECK(again == value);
}

template <typename T>
void writeAndRead(T value) {
  std::string written;
  BasicConversion::toString(value, written);
  T back = static_cast<T>(~value);
  BasicConversion::fromString(back, written);
  FUZZ_CHECK(back == value);
}

template <typename T>
void writeAndReadHex(T value) {
  std::string written;
  BasicConversion::toHexString(value, written);
  T back = static_cast<T>(~value);
  BasicConversion::fromHexString(back, written);
  FUZZ_CHECK(back == value);
}

template <typename T>
void writeAndReadFloating(T value) {
  std::string written;
  BasicConversion::toString(value, written);
  FUZZ_CHECK(!written.empty());
  if (!std::isfinite(value) || std::trunc(value) != value) return;  // "%f" rounds fractions
  T back = 1;
  BasicConversion::fromString(back, written);
  FUZZ_CHECK(back == value);
}

bool asciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  uint64_t bits = 0;
  std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);

  readDecimal<short>(text, 12345);
  readDecimal<unsigned short>(text, 54321);
  readDecimal<int>(text, -7);
  readDecimal<unsigned int>(text, 7);
  readDecimal<long>(text, -77);
  readDecimal<unsigned long>(text, 77);
  readDecimal<long long>(text, -777);
  readDecimal<unsigned long long>(text, 777);
  readHex<unsigned short>(text, 0xBEEF);
  readHex<unsigned int>(text, 0xDEADBEEF);
  readHex<unsigned long>(text, 0xFEEDUL);
  readHex<long long>(text, -3);
  readHex<unsigned long long>(text, 3);

  double d = 0.5;
  BasicConversion::fromString(d, text);
  float f = 0.5F;
  BasicConversion::fromString(f, text);
  char c = 'x';
  BasicConversion::fromString(c, text);
  FUZZ_CHECK(c == (text.empty() ? '\0' : text[0]));
  bool b = false;
  BasicConversion::fromString(b, text);
  FUZZ_CHECK(b == !(text.empty() || text[0] == '0' || text == "false"));

  writeAndRead(fromBits<short>(bits));
  writeAndRead(fromBits<unsigned short>(bits));
  writeAndRead(fromBits<int>(bits));
  writeAndRead(fromBits<unsigned int>(bits));
  writeAndRead(fromBits<long>(bits));
  writeAndRead(fromBits<unsigned long>(bits));
  writeAndRead(fromBits<long long>(bits));
  writeAndRead(fromBits<unsigned long long>(bits));
  writeAndReadHex(fromBits<unsigned short>(bits));
  writeAndReadHex(fromBits<unsigned int>(bits));
  writeAndReadHex(fromBits<unsigned long>(bits));
  writeAndReadHex(fromBits<long long>(bits));
  writeAndReadHex(fromBits<unsigned long long>(bits));
  writeAndReadFloating(fromBits<double>(bits));
  writeAndReadFloating(fromBits<float>(bits));

  std::string trimmed = text;
  trimWhiteSpace(trimmed);
  const size_t at = text.find(trimmed);
  FUZZ_CHECK(at != std::string::npos);
  for (size_t i = 0; i < text.size(); ++i) {
    if (i < at || i >= at + trimmed.size()) FUZZ_CHECK(asciiSpace(text[i]));
  }
  FUZZ_CHECK(trimmed.empty() || (!asciiSpace(trimmed.front()) && !asciiSpace(trimmed.back())));
  return 0;
}
