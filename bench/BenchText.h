// Generated benchmark texts: words of one script separated by spaces,
// repeated from a fixed seed so that every run converts the same bytes.
#ifndef BENCH_BENCHTEXT_H_
#define BENCH_BENCHTEXT_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace bench_text {

enum class Mix { kAscii, kLatin, kCjk, kEmoji };

inline const char* mixName(Mix mix) {
  switch (mix) {
    case Mix::kAscii:
      return "ascii";
    case Mix::kLatin:
      return "latin";
    case Mix::kCjk:
      return "cjk";
    case Mix::kEmoji:
      return "emoji";
  }
  return "?";
}

inline void appendUtf8(std::string& s, uint32_t c) {
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// About `bytes` bytes of UTF-8 words of the mix: ASCII words of 2 to 10
// letters; Latin words in which about one letter in five is accented (two
// bytes); CJK words of 1 to 4 ideographs; emoji words of 1 to 3 emoji.
inline std::string words(Mix mix, size_t bytes) {
  static const uint32_t kLatin[] = {0xE0, 0xE9, 0xE8, 0xEA, 0xEB, 0xEF, 0xEE, 0xF4,  0xF9,  0xFB,
                                    0xFC, 0xE7, 0xF1, 0xDF, 0xF8, 0xE5, 0xE6, 0x151, 0x17C, 0x142};
  std::mt19937 rng(12345);
  std::string s;
  s.reserve(bytes + 64);
  while (s.size() < bytes) {
    switch (mix) {
      case Mix::kAscii:
      case Mix::kLatin: {
        const int letters = 2 + static_cast<int>(rng() % 9);
        for (int i = 0; i < letters; ++i) {
          if (mix == Mix::kLatin && rng() % 5 == 0) {
            appendUtf8(s, kLatin[rng() % (sizeof kLatin / sizeof kLatin[0])]);
          } else {
            appendUtf8(s, 'a' + rng() % 26);
          }
        }
        break;
      }
      case Mix::kCjk: {
        const int n = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < n; ++i) appendUtf8(s, 0x4E00 + rng() % 0x5200);
        break;
      }
      case Mix::kEmoji: {
        const int n = 1 + static_cast<int>(rng() % 3);
        for (int i = 0; i < n; ++i) appendUtf8(s, 0x1F300 + rng() % 0x350);
        break;
      }
    }
    s += ' ';
  }
  return s;
}

}  // namespace bench_text

#endif  // BENCH_BENCHTEXT_H_
