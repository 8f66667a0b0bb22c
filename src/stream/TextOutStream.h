// An output stream that writes into a string it owns, so that a handler can
// build a response with the stream operators and send the text without the
// copy that std::ostringstream::str() makes.
#ifndef SRC_STREAM_TEXTOUTSTREAM_H_
#define SRC_STREAM_TEXTOUTSTREAM_H_

#include <ostream>
#include <streambuf>
#include <string>

// The stream buffer: the put area is the string's own storage, grown by
// doubling. Only writing is supported.
class TextBuffer final : public std::streambuf {
 public:
  TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  // Everything written so far. Valid until the next write.
  const std::string& text();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  // Resizes the storage to at least `needed` bytes, keeping what is written.
  void grow(size_t needed);
  // Points the put area at the storage with `used` bytes written.
  void setArea(size_t used);
  size_t used() const { return static_cast<size_t>(pptr() - pbase()); }

  std::string text_;
};

// A std::ostream over a TextBuffer, in the default formatting state.
class TextOutStream final : public std::ostream {
 public:
  TextOutStream() : std::ostream(nullptr) { rdbuf(&buffer_); }
  // Everything written so far. Valid until the next write.
  const std::string& text() { return buffer_.text(); }

 private:
  TextBuffer buffer_;
};

#endif  // SRC_STREAM_TEXTOUTSTREAM_H_
