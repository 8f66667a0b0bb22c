// Token escaping of the list streams.
//
//   token   := "`"                      the empty string
//            | ["`"] char*              a leading backquote is doubled
//   char    := any byte but space and plus | "+1" (space) | "+2" (plus)
//
// The exported operations work in place on a string; the range forms in
// TokenCodec.h let the list codec escape straight into its output and
// unescape straight from its input. Both share one implementation.
#include "AppMgr/TokenEscape.h"

#include <cstring>

#include "util/TokenCodec.h"

namespace {

// Appends the escaped form of [text, text + length), with from and to as
// the escaped character and the escape character.
void encodeInto(const char* text, size_t length, char from, char to, std::string& out) {
  if (length == 0) {
    out.push_back(TransformStringEmptySymbol);
    return;
  }
  size_t i = 0;
  if (text[0] == TransformStringEmptySymbol) {
    out.push_back(TransformStringEmptySymbol);
    out.push_back(TransformStringEmptySymbol);
    i = 1;
  }
  while (i < length) {
    // Copy the run up to the next character that needs an escape at once.
    size_t run = i;
    while (run < length && text[run] != from && text[run] != to) ++run;
    out.append(text + i, run - i);
    if (run == length) break;
    out.push_back(to);
    out.push_back(text[run] == from ? '1' : '2');
    i = run + 1;
  }
}

// Replaces out with the unescaped form of [token, token + length).
void decodeInto(const char* token, size_t length, char from, char to, std::string& out) {
  out.clear();
  if (length == 0) return;
  size_t i = token[0] == TransformStringEmptySymbol ? 1 : 0;
  while (i < length) {
    const void* hit = std::memchr(token + i, to, length - i);
    const size_t next = hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - token) : length;
    out.append(token + i, next - i);
    if (next == length) break;
    if (next + 1 >= length) {
      // A plus sign at the very end (never produced by the encoder) stays.
      out.push_back(to);
      break;
    }
    out.push_back(token[next + 1] == '1' ? from : to);
    i = next + 2;
  }
}

}  // namespace

std::string& transform_string_encode(std::string& s, char from, char to) {
  std::string out;
  out.reserve(s.size() + s.size() / 4 + 2);
  encodeInto(s.data(), s.size(), from, to, out);
  s.swap(out);
  return s;
}

std::string& transform_string_decode(std::string& s, char from, char to) {
  if (s.empty()) return s;
  std::string out;
  out.reserve(s.size());
  decodeInto(s.data(), s.size(), from, to, out);
  s.swap(out);
  return s;
}

void appendEncodedToken(const char* text, size_t length, std::string& out) {
  encodeInto(text, length, TransformStringFromSymbol, TransformStringToSymbol, out);
}

void assignDecodedToken(const char* token, size_t length, std::string& out) {
  decodeInto(token, length, TransformStringFromSymbol, TransformStringToSymbol, out);
}
