// Outgoing property list text, encoded as the properties arrive.
#include "stream/PropertyTextWriter.h"

#include <charconv>
#include <cstdint>

#include "util/TokenCodec.h"

namespace {

constexpr size_t kNumberRoom = 24;
// About twenty properties of the usual length fit before the first growth.
constexpr size_t kInitialBytes = 1024;

// The text up to its first NUL: what a record's NUL-terminated copy keeps.
std::string_view upToNul(std::string_view text) {
  const size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

void PropertyTextWriter::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                               unsigned long /*reserved*/) {
  property(name, type, value);
}

void PropertyTextWriter::property(std::string_view fullName, unsigned long type, std::string_view fullValue) {
  const std::string_view name = upToNul(fullName);
  const std::string_view value = upToNul(fullValue);
  const size_t nameLength = name.size();
  const size_t valueLength = value.size();
  const size_t room = maxEncodedLength(nameLength) + maxEncodedLength(valueLength) + kNumberRoom + 5;
  std::string& entries = entries_.get();
  if (entries.size() - used_ < room) {
    size_t size = entries.size() < kInitialBytes ? kInitialBytes : 2 * entries.size();
    if (size - used_ < room) size = used_ + room;
    entries.resize(size);
  }
  char* const begin = &entries[0] + used_;
  char* p = begin;
  *p++ = '0';
  *p++ = ' ';
  p = putEncodedToken(p, name.data(), nameLength);
  *p++ = ' ';
  p = std::to_chars(p, p + kNumberRoom, static_cast<int32_t>(static_cast<uint32_t>(type))).ptr;
  *p++ = ' ';
  p = putEncodedToken(p, value.data(), valueLength);
  *p++ = ' ';
  used_ += static_cast<size_t>(p - begin);
  ++count_;
}

void PropertyTextWriter::writeTo(std::ostream& out) const {
  char head[kNumberRoom + 1];
  char* p = std::to_chars(head, head + kNumberRoom, count_).ptr;
  *p++ = ' ';
  // Straight into the buffer: no sentry or state check per piece.
  out.rdbuf()->sputn(head, p - head);
  if (used_ > 0) out.rdbuf()->sputn(entries_.get().data(), static_cast<std::streamsize>(used_));
}
