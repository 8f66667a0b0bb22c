// The adapters' request text reader and answer writer. Input: byte 0 picks
// the answer shape (bits 0-1) and whether one list is cut short (bit 2);
// the rest is the request text, and its lines are also the names of the
// answer lists.
//
// Properties, reader: a failed read reads 0 and so does every read after
// it; a text of plain decimal numbers reads as those numbers. Writer: lists
// of different lengths give XR_INVALID_DATA and no output; otherwise one
// line per entry whose last token unescapes to the entry's name.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"

#include "FuzzSupport.h"
#include "listener/AdapterText.h"

namespace {

constexpr int kReads = 12;

// The whitespace-separated tokens of text.
std::vector<std::string> tokensOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> tokens;
  for (std::string token; in >> token;) tokens.push_back(token);
  return tokens;
}

bool allDigits(const std::string& s) {
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return !s.empty();
}

void checkReader(const std::string& text) {
  std::istringstream in(text);
  AdapterRequestReader reader(in);
  const int type = reader.readType();
  bool failed = in.fail();
  if (failed) FUZZ_CHECK(type == 0 || type == INT_MAX || type == INT_MIN);
  unsigned long values[kReads];
  for (int i = 0; i < kReads; ++i) {
    values[i] = reader.next();
    if (failed) FUZZ_CHECK(values[i] == 0);
    failed = failed || in.fail();
  }

  // Plain decimal numbers read as themselves.
  const std::vector<std::string> tokens = tokensOf(text);
  for (const std::string& t : tokens) {
    if (!allDigits(t) || t.size() > 18) return;
  }
  if (tokens.empty() || std::strtol(tokens[0].c_str(), nullptr, 10) > INT_MAX) return;
  FUZZ_CHECK(type == std::strtol(tokens[0].c_str(), nullptr, 10));
  for (int i = 0; i < kReads; ++i) {
    const size_t at = static_cast<size_t>(i) + 1;
    FUZZ_CHECK(values[i] == (at < tokens.size() ? std::strtoul(tokens[at].c_str(), nullptr, 10) : 0));
  }
}

void checkWriter(uint8_t control, const std::string& text) {
  const ListLine shape = static_cast<ListLine>(control & 3);
  AdapterLists lists;
  std::istringstream lines(text);
  unsigned long id = 1;
  // Names without line breaks or tabs: the answer separates entries by
  // line and tokens by white space, and escaping covers only spaces.
  for (std::string name; std::getline(lines, name);) {
    for (char& c : name) {
      if (c != ' ' && std::isspace(static_cast<unsigned char>(c))) c = '_';
    }
    lists.ids.push_back(id);
    lists.names.push_back(name);
    lists.flags.push_back((id & 1) != 0);
    id = id * 31 + name.size();
  }
  // Cutting a list the shape does not use changes nothing.
  const bool cut = (control & 4) != 0 && !lists.ids.empty();
  bool mismatch = false;
  if (cut) {
    switch (shape) {
      case ListLine::kId:
        lists.names.pop_back();
        break;
      case ListLine::kName:
        lists.ids.pop_back();
        break;
      case ListLine::kIdName:
        lists.names.pop_back();
        mismatch = true;
        break;
      case ListLine::kIdFlagName:
        lists.flags.pop_back();
        mismatch = true;
        break;
    }
  }
  std::ostringstream out;
  std::string errorText;
  const int result = writeListLines(out, shape, lists, errorText);
  if (mismatch) {
    FUZZ_CHECK(result == static_cast<int>(XR_INVALID_DATA));
    FUZZ_CHECK(out.str().empty());
    FUZZ_CHECK(!errorText.empty());
    return;
  }
  FUZZ_CHECK(result == 0);
  std::istringstream answer(out.str());
  auto name = lists.names.begin();
  auto entryId = lists.ids.begin();
  const size_t expected = shape == ListLine::kName ? lists.names.size() : lists.ids.size();
  size_t count = 0;
  for (std::string line; std::getline(answer, line); ++count) {
    FUZZ_CHECK(count < expected);
    const std::vector<std::string> tokens = tokensOf(line);
    FUZZ_CHECK(!tokens.empty());
    if (shape != ListLine::kName) FUZZ_CHECK(tokens.front() == std::to_string(*entryId++));
    if (shape != ListLine::kId) {
      std::string last = tokens.back();
      FUZZ_CHECK(transform_string_decode(last, TransformStringFromSymbol, TransformStringToSymbol) ==
                 *name++);
    }
  }
  FUZZ_CHECK(count == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  checkReader(text);
  checkWriter(data[0], text);
  return 0;
}
