// An output stream that writes into storage it owns, so that a handler can
// build a response with the stream operators and send the text without the
// copy that std::ostringstream::str() makes. The first few kilobytes go to
// an array inside the stream object itself (on the handler's stack), so a
// usual response needs no heap storage at all.
#ifndef SRC_STREAM_TEXTOUTSTREAM_H_
#define SRC_STREAM_TEXTOUTSTREAM_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

// The stream buffer: the put area is the inline array, and once the text
// outgrows it a string's storage, grown by doubling. Only writing is
// supported.
class TextBuffer final : public std::streambuf {
 public:
  // Bytes held before the text moves to the heap.
  static constexpr size_t kInlineBytes = 4096;

  TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  // Everything written so far. Valid until the next write; copies the text
  // while it is still in the inline array.
  const std::string& text();
  // Everything written so far, followed by a NUL character that is not part
  // of the text. Valid until the next write; never copies.
  const char* c_str();
  // Empties the buffer. Heap storage of up to `keptBytes` is kept for the
  // next text; larger storage is released.
  void reset(size_t keptBytes);
  // Room for `bytes` more at the end of the text, to be written in place
  // and then taken in with commit(end). Valid until the next write.
  char* room(size_t bytes);
  void commit(const char* end);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  // Makes room for at least `needed` bytes, keeping what is written.
  void grow(size_t needed);
  // Points the put area at the current storage with `used` bytes written.
  void setArea(size_t used);
  size_t used() const { return static_cast<size_t>(pptr() - pbase()); }

  bool onHeap_ = false;
  std::string text_;  // the storage once on the heap; a copy of the text before that
  char inline_[kInlineBytes];
};

// A std::ostream over a TextBuffer, in the default formatting state.
class TextOutStream final : public std::ostream {
 public:
  TextOutStream() : std::ostream(nullptr) { rdbuf(&buffer_); }
  // Everything written so far. Valid until the next write.
  const std::string& text() { return buffer_.text(); }
  // Everything written so far, NUL-terminated. Valid until the next write.
  const char* c_str() { return buffer_.c_str(); }
  // Empties the stream and puts it back in the default formatting state.
  void reset(size_t keptBytes);
  // Writes text in place, for encoders that know an upper bound of what
  // they write: room(bytes) gives where to write, commit(end) takes in what
  // was written up to `end`.
  char* room(size_t bytes) { return buffer_.room(bytes); }
  void commit(const char* end) { buffer_.commit(end); }

 private:
  TextBuffer buffer_;
};

// Lends the calling thread's TextOutStream for one response, empty and in
// the default formatting state. The stream is built once per thread and
// the storage it grows serves the thread's next responses, instead of a
// stream being built and torn down per request. A loan made while the
// thread's stream is lent (a nested request) gets a stream of its own. The
// text stays valid until the loan ends.
class TextOutStreamLoan {
 public:
  // Heap storage a thread keeps for its next response at most.
  static constexpr size_t kKeptBytes = 256 * 1024;

  TextOutStreamLoan();
  ~TextOutStreamLoan();
  TextOutStreamLoan(const TextOutStreamLoan&) = delete;
  TextOutStreamLoan& operator=(const TextOutStreamLoan&) = delete;

  TextOutStream& get() { return *stream_; }

 private:
  TextOutStream* stream_;
  std::unique_ptr<TextOutStream> own_;  // the nested case
};

#endif  // SRC_STREAM_TEXTOUTSTREAM_H_
