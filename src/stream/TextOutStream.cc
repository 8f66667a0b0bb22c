// The string-backed output stream of the lookup handlers.
#include "stream/TextOutStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// A subclient lookup's text is about a kilobyte; start at half of that.
constexpr size_t kInitialBytes = 512;

}  // namespace

TextBuffer::TextBuffer() { setArea(0); }

const std::string& TextBuffer::text() {
  const size_t written = used();
  text_.resize(written);
  setArea(written);
  return text_;
}

TextBuffer::int_type TextBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  grow(used() + 1);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize TextBuffer::xsputn(const char* s, std::streamsize n) {
  if (n <= 0) return 0;
  const size_t count = static_cast<size_t>(n);
  if (count > static_cast<size_t>(epptr() - pptr())) grow(used() + count);
  std::memcpy(pptr(), s, count);
  // pbump takes an int; step through a larger write.
  size_t left = count;
  while (left > 0) {
    const int step = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    pbump(step);
    left -= static_cast<size_t>(step);
  }
  return n;
}

void TextBuffer::grow(size_t needed) {
  const size_t written = used();
  text_.resize(std::max({needed, 2 * text_.size(), kInitialBytes}));
  setArea(written);
}

void TextBuffer::setArea(size_t used) {
  char* begin = &text_[0];
  setp(begin, begin + text_.size());
  size_t left = used;
  while (left > 0) {
    const int step = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    pbump(step);
    left -= static_cast<size_t>(step);
  }
}
