// Splitting a text at a delimiter character.
#include "AppMgr/StringParser.h"

#include <utility>

NthDelimiter::NthDelimiter(int n, char delimiter) : count(0), n(n), delimiter(delimiter) {}

bool NthDelimiter::operator()(char c) {
  if (n == 0) return true;
  if (c != delimiter) return false;
  ++count;
  return count == n;
}

StringParser::StringParser(std::string text, char delimiter)
    : text_(std::move(text)), delimiter_(delimiter) {}

// One pass over the text: each component runs from just after the previous
// delimiter (or the start) up to the next delimiter (or the end). This gives
// the same list as searching for the i-th delimiter from the start for each
// component i, without rescanning.
std::vector<std::string>& StringParser::getComponents(int minCount) {
  size_t found = 0;
  if (!text_.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t pos = text_.find(delimiter_, start);
      ++found;
      if (pos == std::string::npos) {
        components_.emplace_back(text_, start);
        break;
      }
      components_.emplace_back(text_, start, pos - start);
      start = pos + 1;
    }
  }
  if (minCount > 0 && found < static_cast<size_t>(minCount)) {
    components_.resize(components_.size() + (static_cast<size_t>(minCount) - found));
  }
  return components_;
}
