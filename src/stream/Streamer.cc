// List codec of the property and content streams.
//
// Outgoing property stream:  count SP { "0" SP name SP type SP value SP }
// Incoming property stream:  count { leading name type value trailing }
// Outgoing content stream:   count SP { path SP }
// Incoming content stream:   count { path }
// Names, values and paths are escaped tokens (TokenEscape.h); types are the
// low 32 bits of the record's type, written signed; tokens of incoming
// streams are separated by any whitespace. Incoming fields: count, leading
// as unsigned long; type, trailing as int.
//
// The decoders stop at the first field that cannot be read and report it;
// they never build an entry from a missing field, and they loop only while
// the input still yields fields, whatever the count claims.
//
// Fast paths. The formatted operators cost most of the time of a list, so
// both directions work on the stream's buffer when the stream is in its
// default formatting state (classic locale, decimal, skipws, no width):
// the encoders build the list's text in a buffer on the stack (escaping
// with a sixteen-byte scan) and write it in blocks; the
// decoders parse each entry straight from the buffer's get area and consume
// it only when every field is plain (digits, or a token, each followed by
// whitespace inside the get area). An entry that is not (a sign, a long
// number, a field that runs to the end of the get area, a malformed field)
// is read by the formatted operators, from the same position, so the
// results, the stream's state and its position are those of the plain code.
#include "AppMgr/Streamer.h"

#include <charconv>
#include <cstdint>
#include <locale>
#include <memory>
#include <utility>

#include "AppMgr/TokenEscape.h"
#include "platform/PropertyBuilder.h"

#include "stream/ListDecoder.h"
#include "util/TokenCodec.h"

namespace {

constexpr int kStreamError = 0xC201;

// Reads the count of an incoming list. Returns false when the stream holds
// only whitespace (nothing to read: an empty list, no error); otherwise
// ok says whether a count was read.
bool readCount(std::istream& in, unsigned long& count, bool& ok) {
  in >> std::ws;
  if (!in.bad() && in.eof()) return false;
  ok = static_cast<bool>(in >> count);
  return true;
}

// Whether the formatted operators of the stream behave as plain decimal
// numbers and whitespace-separated tokens of the classic locale, which is
// what the fast paths reproduce.
// showbase has no effect on decimal numbers but still selects the
// formatted operators, which the tests use to compare both paths.
bool plainFormatting(const std::ios_base& stream) {
  const std::ios_base::fmtflags relevant =
      std::ios_base::basefield | std::ios_base::skipws | std::ios_base::showpos | std::ios_base::showbase;
  return (stream.flags() & relevant) == (std::ios_base::dec | std::ios_base::skipws) && stream.width() == 0 &&
         stream.getloc() == std::locale::classic();
}

// The get area of any stream buffer. Naming the protected members through
// a derived class gives pointers to members of std::streambuf itself, which
// may be applied to any stream buffer.
struct GetArea : std::streambuf {
  static const char* next(std::streambuf* sb) { return (sb->*(&GetArea::gptr))(); }
  static const char* end(std::streambuf* sb) { return (sb->*(&GetArea::egptr))(); }
  static void consume(std::streambuf* sb, size_t n) {
    // gbump takes an int; an entry is far shorter, but stay exact.
    while (n > 0) {
      const int step = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
      (sb->*(&GetArea::gbump))(step);
      n -= static_cast<size_t>(step);
    }
  }
};

// A cursor over [p, end) that reads plain fields. Each read skips leading
// whitespace and fails (returns false) unless the field is plain and is
// followed by whitespace before end.
struct FieldCursor {
  const char* p;
  const char* end;

  bool skipSpace() {
    while (p < end && isListSpace(*p)) ++p;
    return p < end;
  }
  // Up to `maxDigits` decimal digits (so that the value cannot overflow).
  bool number(uint64_t& value, int maxDigits) {
    if (!skipSpace()) return false;
    const char* start = p;
    uint64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') v = v * 10 + static_cast<uint64_t>(*p++ - '0');
    if (p == start || p - start > maxDigits || p == end || !isListSpace(*p)) return false;
    value = v;
    return true;
  }
  // A token; escaped says whether it holds a plus sign or starts with a
  // backquote, that is whether unescaping changes it.
  bool token(const char*& begin, size_t& length, bool& escaped) {
    if (!skipSpace()) return false;
    begin = p;
    bool plus = false;
    p = scanListToken(p, end, plus);
    if (p == end) return false;
    length = static_cast<size_t>(p - begin);
    escaped = plus || *begin == TransformStringEmptySymbol;
    return true;
  }
};

// out = the unescaped token; [token, limit) is readable.
void assignToken(const char* token, size_t length, bool escaped, const char* limit, std::string& out) {
  if (!escaped) {
    out.assign(token, length);
    return;
  }
  out.resize(length + 16);
  out.resize(static_cast<size_t>(putUnescapedToken(token, length, limit, &out[0]) - out.data()));
}

// Writes the decimal form of v at out; returns the end.
template <typename Int>
char* putNumber(char* out, Int v) {
  return std::to_chars(out, out + 24, v).ptr;
}

size_t textLength(const char* text) { return text != nullptr ? std::char_traits<char>::length(text) : 0; }

// Builds a list's text in a buffer on the stack and hands it to the stream
// in blocks of a few kilobytes, as the formatted operators would: nothing
// once the stream is not good, badbit on a short write. A record too long
// for the buffer is built on the heap.
class ListWriter {
 public:
  explicit ListWriter(std::ostream& out) : out_(out), end_(buffer_) {}
  ListWriter(const ListWriter&) = delete;
  ListWriter& operator=(const ListWriter&) = delete;
  // Hands the rest of the text to the stream; call once at the end (not
  // from a destructor: the stream may throw). The last byte (always the
  // final separator) goes on its own, as the formatted operators write it:
  // when an earlier byte was refused, that last write sets failbit on the
  // bad stream just as theirs does.
  void finish() {
    if (end_ == buffer_) return;
    const char last = *--end_;
    flush();
    out_.write(&last, 1);
  }

  // Room for `bytes` more bytes, to be advanced with done().
  char* room(size_t bytes) {
    if (bytes > static_cast<size_t>(buffer_ + sizeof buffer_ - end_)) {
      flush();
      if (bytes > sizeof buffer_) {
        large_.reset(new char[bytes]);
        return large_.get();
      }
    }
    return end_;
  }
  void done(char* end) {
    if (large_) {
      // The record's last byte stays in the (empty) buffer for finish().
      out_.write(large_.get(), end - 1 - large_.get());
      buffer_[0] = end[-1];
      end_ = buffer_ + 1;
      large_.reset();
    } else {
      end_ = end;
    }
  }

 private:
  void flush() {
    if (end_ != buffer_) out_.write(buffer_, end_ - buffer_);
    end_ = buffer_;
  }

  std::ostream& out_;
  char* end_;
  std::unique_ptr<char[]> large_;
  char buffer_[4096];
};

constexpr size_t kNumberRoom = 24;

}  // namespace

const std::string stream_ws = " ";

Streamer::~Streamer() = default;

int Streamer::encodePropList(AppMgrPropsList& list, std::ostream& out, std::string& /*errorText*/) {
  if (plainFormatting(out)) {
    ListWriter writer(out);
    char* p = writer.room(kNumberRoom + 1);
    p = putNumber(p, static_cast<unsigned long>(list.size()));
    *p++ = ' ';
    writer.done(p);
    for (const AppMgrProps* record : list) {
      const size_t nameLength = textLength(record->name);
      const size_t valueLength = textLength(record->value);
      p = writer.room(maxEncodedLength(nameLength) + maxEncodedLength(valueLength) + kNumberRoom + 5);
      *p++ = '0';
      *p++ = ' ';
      p = putEncodedToken(p, record->name, nameLength);
      *p++ = ' ';
      p = putNumber(p, static_cast<int32_t>(static_cast<uint32_t>(record->type)));
      *p++ = ' ';
      p = putEncodedToken(p, record->value, valueLength);
      *p++ = ' ';
      writer.done(p);
    }
    writer.finish();
    return 0;
  }
  out << list.size() << stream_ws;
  for (const AppMgrProps* record : list) {
    std::string name = record->name != nullptr ? record->name : "";
    std::string value = record->value != nullptr ? record->value : "";
    transform_string_encode(name, TransformStringFromSymbol, TransformStringToSymbol);
    transform_string_encode(value, TransformStringFromSymbol, TransformStringToSymbol);
    out << "0" << stream_ws << name << stream_ws << static_cast<int32_t>(static_cast<uint32_t>(record->type))
        << stream_ws << value << stream_ws;
  }
  return 0;
}

int Streamer::encodeContentList(AppMgrContentList& list, std::ostream& out, std::string& /*errorText*/) {
  if (plainFormatting(out)) {
    ListWriter writer(out);
    char* p = writer.room(kNumberRoom + 1);
    p = putNumber(p, static_cast<unsigned long>(list.size()));
    *p++ = ' ';
    writer.done(p);
    for (const AppMgrContent* record : list) {
      const size_t length = textLength(record->path);
      p = writer.room(maxEncodedLength(length) + 1);
      p = putEncodedToken(p, record->path, length);
      *p++ = ' ';
      writer.done(p);
    }
    writer.finish();
    return 0;
  }
  out << list.size() << stream_ws;
  for (const AppMgrContent* record : list) {
    std::string path = record->path != nullptr ? record->path : "";
    out << transform_string_encode(path, TransformStringFromSymbol, TransformStringToSymbol) << stream_ws;
  }
  return 0;
}

int Streamer::extractPropList(PropertyList& list, std::istream& in, std::string& errorText) {
  unsigned long count = 0;
  bool ok = false;
  if (!readCount(in, count, ok)) return 0;
  if (!ok) {
    errorText = "Error extracting property Count";
    return kStreamError;
  }
  PropertyBuilder builder;
  const bool fast = plainFormatting(in);
  std::string name;
  std::string value;
  for (unsigned long i = 0; i < count; ++i) {
    unsigned long leading = 0;
    int type = 0;
    int trailing = 0;
    bool done = false;
    if (fast) {
      std::streambuf* sb = in.rdbuf();
      FieldCursor cursor{GetArea::next(sb), GetArea::end(sb)};
      const char* start = cursor.p;
      uint64_t lead = 0;
      uint64_t typeValue = 0;
      uint64_t trail = 0;
      const char* nameText = nullptr;
      const char* valueText = nullptr;
      size_t nameLength = 0;
      size_t valueLength = 0;
      bool nameEscaped = false;
      bool valueEscaped = false;
      // Nine digits always fit an int, eighteen an unsigned long.
      if (start != nullptr && cursor.number(lead, 18) && cursor.token(nameText, nameLength, nameEscaped) &&
          cursor.number(typeValue, 9) && cursor.token(valueText, valueLength, valueEscaped) &&
          cursor.number(trail, 9)) {
        assignToken(nameText, nameLength, nameEscaped, cursor.end, name);
        assignToken(valueText, valueLength, valueEscaped, cursor.end, value);
        leading = static_cast<unsigned long>(lead);
        type = static_cast<int>(typeValue);
        trailing = static_cast<int>(trail);
        GetArea::consume(sb, static_cast<size_t>(cursor.p - start));
        done = true;
      }
    }
    if (!done) {
      if (!(in >> leading >> name >> type >> value >> trailing)) {
        errorText = "Error trying to extract property";
        return kStreamError;
      }
      transform_string_decode(name, TransformStringFromSymbol, TransformStringToSymbol);
      transform_string_decode(value, TransformStringFromSymbol, TransformStringToSymbol);
    }
    std::unique_ptr<const ApplProperty> property(builder.build(name, type, value, trailing));
    list.push_back(property.get());
    property.release();
  }
  return 0;
}

int Streamer::extractContentList(EntryList& list, std::istream& in, std::string& errorText) {
  unsigned long count = 0;
  bool ok = false;
  if (!readCount(in, count, ok)) return 0;
  if (!ok) {
    errorText = "Error extracting content Count";
    return kStreamError;
  }
  const bool fast = plainFormatting(in);
  for (unsigned long i = 0; i < count; ++i) {
    auto entry = std::make_unique<std::string>();
    bool done = false;
    if (fast) {
      std::streambuf* sb = in.rdbuf();
      FieldCursor cursor{GetArea::next(sb), GetArea::end(sb)};
      const char* start = cursor.p;
      const char* text = nullptr;
      size_t length = 0;
      bool escaped = false;
      if (start != nullptr && cursor.token(text, length, escaped)) {
        assignToken(text, length, escaped, cursor.end, *entry);
        GetArea::consume(sb, static_cast<size_t>(cursor.p - start));
        done = true;
      }
    }
    if (!done) {
      if (!(in >> *entry)) {
        errorText = "Error trying to extract content";
        return kStreamError;
      }
      transform_string_decode(*entry, TransformStringFromSymbol, TransformStringToSymbol);
    }
    list.push_back(entry.get());
    entry.release();
  }
  return 0;
}
