// Decodes arbitrary bytes as an incoming property stream and as an incoming
// content stream, read in place from the fuzzer's own buffer.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

#include "AppMgr/Streamer.h"

namespace {

class InPlaceBuffer : public std::streambuf {
 public:
  InPlaceBuffer(const uint8_t* data, size_t size) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(data));
    setg(begin, begin, begin + size);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Streamer streamer;
  std::string error;
  InPlaceBuffer propBuffer(data, size);
  std::istream propIn(&propBuffer);
  Streamer::PropertyList props;
  const int propResult = streamer.extractPropList(props, propIn, error);
  if (propResult != 0 && propResult != 0xC201) __builtin_trap();
  for (const ApplProperty* p : props) delete p;

  InPlaceBuffer contentBuffer(data, size);
  std::istream contentIn(&contentBuffer);
  Streamer::EntryList entries;
  const int contentResult = streamer.extractContentList(entries, contentIn, error);
  if (contentResult != 0 && contentResult != 0xC201) __builtin_trap();
  for (std::string* s : entries) delete s;
  return 0;
}
