// Decodes arbitrary bytes as an incoming property stream and as an incoming
// content stream, read in place from the fuzzer's own buffer, so that a read
// past the input is a sanitizer error.
//
// Properties: the result is 0 or the stream error 0xC201, with an error
// text exactly when it is not 0; no list holds more entries than the input
// has non-blank characters for (every field takes at least one).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

#include "AppMgr/Streamer.h"

#include "FuzzSupport.h"

namespace {

class InPlaceBuffer : public std::streambuf {
 public:
  InPlaceBuffer(const uint8_t* data, size_t size) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }
};

template <typename List>
void decode(const uint8_t* data, size_t size, int (Streamer::*extract)(List&, std::istream&, std::string&),
            size_t fieldsPerEntry) {
  size_t fields = 0;
  for (size_t i = 0; i < size; ++i) fields += std::isspace(data[i]) ? 0 : 1;
  InPlaceBuffer buffer(data, size);
  std::istream in(&buffer);
  List list;
  std::string error;
  Streamer streamer;
  const int result = (streamer.*extract)(list, in, error);
  FUZZ_CHECK(result == 0 || result == 0xC201);
  FUZZ_CHECK((result == 0) == error.empty());
  FUZZ_CHECK(list.size() * fieldsPerEntry + (list.empty() ? 0 : 1) <= fields);
  for (auto* entry : list) delete entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  decode<Streamer::PropertyList>(data, size, &Streamer::extractPropList, 5);
  decode<Streamer::EntryList>(data, size, &Streamer::extractContentList, 1);
  return 0;
}
