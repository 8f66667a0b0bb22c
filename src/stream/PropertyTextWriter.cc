// Outgoing property list text, encoded as the properties arrive.
#include "stream/PropertyTextWriter.h"

#include <charconv>
#include <cstdint>

#include "util/TokenCodec.h"

namespace {

constexpr size_t kNumberRoom = 24;
// About twenty properties of the usual length fit before the first growth.
constexpr size_t kInitialBytes = 1024;

// Length up to the first NUL: what a record's NUL-terminated copy keeps.
size_t textLength(const std::string& text) { return std::char_traits<char>::length(text.c_str()); }

}  // namespace

void PropertyTextWriter::getPropertiesCallback(std::string name, unsigned long type, std::string value,
                                               unsigned long /*reserved*/) {
  const size_t nameLength = textLength(name);
  const size_t valueLength = textLength(value);
  const size_t room = maxEncodedLength(nameLength) + maxEncodedLength(valueLength) + kNumberRoom + 5;
  if (entries_.size() - used_ < room) {
    size_t size = entries_.size() < kInitialBytes ? kInitialBytes : 2 * entries_.size();
    if (size - used_ < room) size = used_ + room;
    entries_.resize(size);
  }
  char* const begin = &entries_[0] + used_;
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
  out.write(head, p - head);
  if (used_ > 0) out.write(entries_.data(), static_cast<std::streamsize>(used_));
}
