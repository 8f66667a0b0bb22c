// The string-backed output stream: the text and its terminator on either
// side of the inline array, with reads between writes.
#include <string>

#include <gtest/gtest.h>

#include "stream/TextOutStream.h"

namespace {

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
