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
#include "AppMgr/Streamer.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "AppMgr/TokenEscape.h"
#include "platform/PropertyBuilder.h"

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

}  // namespace

const std::string stream_ws = " ";

Streamer::~Streamer() = default;

int Streamer::encodePropList(AppMgrPropsList& list, std::ostream& out, std::string& /*errorText*/) {
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
  for (unsigned long i = 0; i < count; ++i) {
    unsigned long leading = 0;
    std::string name;
    int type = 0;
    std::string value;
    int trailing = 0;
    if (!(in >> leading >> name >> type >> value >> trailing)) {
      errorText = "Error trying to extract property";
      return kStreamError;
    }
    transform_string_decode(name, TransformStringFromSymbol, TransformStringToSymbol);
    transform_string_decode(value, TransformStringFromSymbol, TransformStringToSymbol);
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
  for (unsigned long i = 0; i < count; ++i) {
    std::string token;
    if (!(in >> token)) {
      errorText = "Error trying to extract content";
      return kStreamError;
    }
    auto entry = std::make_unique<std::string>(
        std::move(transform_string_decode(token, TransformStringFromSymbol, TransformStringToSymbol)));
    list.push_back(entry.get());
    entry.release();
  }
  return 0;
}
