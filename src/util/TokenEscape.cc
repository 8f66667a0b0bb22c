// Token escaping of the list streams.
//
//   token   := "`"                      the empty string
//            | ["`"] char*              a leading backquote is doubled
//   char    := any byte but space and plus | "+1" (space) | "+2" (plus)
#include "AppMgr/TokenEscape.h"

std::string& transform_string_encode(std::string& s, char from, char to) {
  if (s.empty()) {
    s.assign(1, TransformStringEmptySymbol);
    return s;
  }
  std::string out;
  out.reserve(s.size() + s.size() / 4 + 2);
  size_t i = 0;
  if (s[0] == TransformStringEmptySymbol) {
    out.push_back(TransformStringEmptySymbol);
    out.push_back(TransformStringEmptySymbol);
    i = 1;
  }
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == from) {
      out.push_back(to);
      out.push_back('1');
    } else if (c == to) {
      out.push_back(to);
      out.push_back('2');
    } else {
      out.push_back(c);
    }
  }
  s.swap(out);
  return s;
}

std::string& transform_string_decode(std::string& s, char from, char to) {
  if (s.empty()) return s;
  std::string out;
  out.reserve(s.size());
  size_t i = s[0] == TransformStringEmptySymbol ? 1 : 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c != to) {
      out.push_back(c);
      ++i;
    } else if (i + 1 >= s.size()) {
      // A plus sign at the very end (never produced by the encoder) stays.
      out.push_back(c);
      ++i;
    } else {
      out.push_back(s[i + 1] == '1' ? from : to);
      i += 2;
    }
  }
  s.swap(out);
  return s;
}
