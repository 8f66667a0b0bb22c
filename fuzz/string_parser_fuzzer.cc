// getComponents and NthDelimiter on arbitrary text. Input: byte 0 the
// delimiter, byte 1 the minimum count (signed), byte 2 the n of
// NthDelimiter, the rest the text.
//
// Properties: the components joined with the delimiter give the text back;
// none holds the delimiter; the padding is empty and makes up exactly the
// minimum count; a second call appends the same list again; NthDelimiter
// stops at the n-th delimiter.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AppMgr/StringParser.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const int minCount = static_cast<int8_t>(data[1]);
  const int n = data[2];
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);

  const size_t found =
      text.empty() ? 0 : static_cast<size_t>(std::count(text.begin(), text.end(), delimiter)) + 1;
  const size_t expected = std::max(found, minCount > 0 ? static_cast<size_t>(minCount) : 0);
  StringParser parser(text, delimiter);
  const std::vector<std::string> first = parser.getComponents(minCount);
  FUZZ_CHECK(first.size() == expected);
  std::string joined;
  for (size_t i = 0; i < first.size(); ++i) {
    FUZZ_CHECK(first[i].find(delimiter) == std::string::npos);
    if (i >= found) {
      FUZZ_CHECK(first[i].empty());
      continue;
    }
    if (i > 0) joined += delimiter;
    joined += first[i];
  }
  FUZZ_CHECK(joined == text);

  const std::vector<std::string>& both = parser.getComponents(minCount);
  FUZZ_CHECK(both.size() == 2 * expected);
  FUZZ_CHECK(std::equal(first.begin(), first.end(), both.begin() + static_cast<std::ptrdiff_t>(expected)));

  const auto stop = std::find_if(text.begin(), text.end(), NthDelimiter(n, delimiter));
  size_t want = 0;
  if (n > 0) {
    int seen = 0;
    want = text.size();
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == delimiter && ++seen == n) {
        want = i;
        break;
      }
    }
  }
  FUZZ_CHECK(static_cast<size_t>(stop - text.begin()) == (text.empty() ? 0 : want));
  return 0;
}
