// The output stream of the lookup handlers.
#include "stream/TextOutStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Advances the put pointer of a buffer by n bytes; pbump takes an int.
template <typename Bump>
void bumpBy(size_t n, Bump bump) {
  while (n > 0) {
    const int step = n > INT_MAX ? INT_MAX : static_cast<int>(n);
    bump(step);
    n -= static_cast<size_t>(step);
  }
}

}  // namespace

TextBuffer::TextBuffer() { setArea(0); }

const std::string& TextBuffer::text() {
  const size_t written = used();
  if (!onHeap_) {
    text_.assign(inline_, written);
    return text_;
  }
  text_.resize(written);
  setArea(written);
  return text_;
}

const char* TextBuffer::c_str() {
  if (pptr() == epptr()) grow(used() + 1);
  *pptr() = '\0';
  return pbase();
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
  bumpBy(count, [this](int step) { pbump(step); });
  return n;
}

char* TextBuffer::room(size_t bytes) {
  if (bytes > static_cast<size_t>(epptr() - pptr())) grow(used() + bytes);
  return pptr();
}

void TextBuffer::commit(const char* end) {
  bumpBy(static_cast<size_t>(end - pptr()), [this](int step) { pbump(step); });
}

void TextBuffer::reset(size_t keptBytes) {
  if (onHeap_ && text_.size() > keptBytes) {
    std::string().swap(text_);
    onHeap_ = false;
  }
  setArea(0);
}

void TextBuffer::grow(size_t needed) {
  const size_t written = used();
  const size_t capacity = onHeap_ ? text_.size() : kInlineBytes;
  if (!onHeap_) {
    text_.resize(std::max(needed, 2 * capacity));
    std::memcpy(&text_[0], inline_, written);
    onHeap_ = true;
  } else {
    text_.resize(std::max(needed, 2 * capacity));
  }
  setArea(written);
}

void TextBuffer::setArea(size_t used) {
  char* const begin = onHeap_ ? &text_[0] : inline_;
  setp(begin, begin + (onHeap_ ? text_.size() : kInlineBytes));
  bumpBy(used, [this](int step) { pbump(step); });
}

void TextOutStream::reset(size_t keptBytes) {
  buffer_.reset(keptBytes);
  clear();
  flags(std::ios_base::skipws | std::ios_base::dec);
  width(0);
  precision(6);
  fill(' ');
}

namespace {

struct ThreadStream {
  TextOutStream stream;
  bool lent = false;
};

thread_local ThreadStream threadStream;

}  // namespace

TextOutStreamLoan::TextOutStreamLoan() {
  ThreadStream& mine = threadStream;
  if (mine.lent) {
    own_ = std::make_unique<TextOutStream>();
    stream_ = own_.get();
    return;
  }
  mine.lent = true;
  stream_ = &mine.stream;
}

TextOutStreamLoan::~TextOutStreamLoan() {
  if (own_) return;
  stream_->reset(kKeptBytes);
  threadStream.lent = false;
}
