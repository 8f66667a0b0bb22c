// The string-backed output stream against std::ostringstream: the same
// text for every kind of write (numbers, characters, short and long
// blocks, writes past each growth of the buffer), and text() read in the
// middle of writing.
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "stream/TextOutStream.h"

namespace {

TEST(TextOutStream, WritesWhatAnOstringstreamWrites) {
  std::mt19937 rng(31);
  for (int round = 0; round < 200; ++round) {
    TextOutStream ours;
    std::ostringstream reference;
    const int writes = static_cast<int>(rng() % 300);
    for (int i = 0; i < writes; ++i) {
      const unsigned kind = rng() % 5;
      if (kind == 0) {
        const unsigned long n = rng();
        ours << n << ' ';
        reference << n << ' ';
      } else if (kind == 1) {
        const int n = -static_cast<int>(rng() % 1000);
        ours << n;
        reference << n;
      } else if (kind == 2) {
        const std::string block(rng() % (rng() % 8 == 0 ? 3000 : 40), static_cast<char>('a' + rng() % 26));
        ours << block;
        reference << block;
      } else if (kind == 3) {
        ours.put('\0');
        reference.put('\0');
      } else {
        ASSERT_EQ(ours.text(), reference.str());  // reading leaves the stream usable
      }
    }
    EXPECT_TRUE(ours.good());
    ASSERT_EQ(ours.text(), reference.str());
    EXPECT_EQ(ours.text().c_str()[ours.text().size()], '\0');
  }
}

// c_str() around the end of the inline array: the text, NUL-terminated,
// and the terminator is not part of what is written after it.
TEST(TextOutStream, CStrTerminatesTheTextOnEitherSideOfTheInlineArray) {
  for (const size_t length : {size_t{0}, TextBuffer::kInlineBytes - 1, TextBuffer::kInlineBytes,
                              TextBuffer::kInlineBytes + 1, 3 * TextBuffer::kInlineBytes}) {
    SCOPED_TRACE(length);
    TextOutStream ours;
    const std::string written(length, 'a');
    ours << written;
    EXPECT_EQ(std::string(ours.c_str()), written);
    ours << "bc";
    EXPECT_EQ(std::string(ours.c_str()), written + "bc");
    EXPECT_EQ(ours.text(), written + "bc");
    ours << 'd';
    EXPECT_EQ(ours.text(), written + "bcd");
    EXPECT_EQ(std::string(ours.c_str()), written + "bcd");
  }
}

}  // namespace
