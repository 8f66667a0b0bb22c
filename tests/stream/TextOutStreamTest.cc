// The string-backed output stream: the text and its terminator on either
// side of the inline array, with reads between writes; and the stream a
// thread lends to its responses, which starts each one empty and plain.
#include <algorithm>
#include <iomanip>
#include <ios>
#include <string>

#include <gtest/gtest.h>

#include "stream/TextOutStream.h"

namespace {

// c_str() around the end of the inline array: the text, NUL-terminated,
// and the terminator is not part of what is written after it, also when
// text is written in place.
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
    // Written in place, across the array's end: all the room asked for, or
    // less.
    ours.commit(std::fill_n(ours.room(TextBuffer::kInlineBytes), TextBuffer::kInlineBytes, 'e'));
    ours.commit(std::copy_n("fg", 2, ours.room(9)));
    EXPECT_EQ(std::string(ours.c_str()), written + "bcd" + std::string(TextBuffer::kInlineBytes, 'e') + "fg");
  }
}

// Whatever the last response left (text past the inline array, hex, a
// width, a fill, a failed state), the next loan starts empty and plain; a
// nested loan is a stream of its own, and the outer text survives it.
TEST(TextOutStreamLoan, EachLoanStartsEmptyInTheDefaultStateAndNestedLoansDoNotShare) {
  const std::string longText(3 * TextBuffer::kInlineBytes, 'x');
  const std::string hugeText(2 * TextOutStreamLoan::kKeptBytes, 'y');
  for (const std::string* left : {&longText, &hugeText, &longText}) {
    {
      TextOutStreamLoan loan;
      loan.get() << *left << std::hex << std::setw(9) << std::setfill('*') << std::showbase;
      loan.get().setstate(std::ios_base::failbit);
    }
    TextOutStreamLoan loan;
    loan.get() << 255 << ' ' << 1.5;
    {
      TextOutStreamLoan nested;
      EXPECT_NE(&nested.get(), &loan.get());
      nested.get() << "inner";
      EXPECT_EQ(std::string(nested.get().c_str()), "inner");
    }
    EXPECT_EQ(std::string(loan.get().c_str()), "255 1.5");
  }
}

}  // namespace
