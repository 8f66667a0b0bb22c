// List codec of the property and content streams.
//
// Outgoing property stream:  count SP { "0" SP name SP type SP value SP }
// Incoming property stream:  count { leading name type value trailing }
// Outgoing content stream:   count SP { path SP }
// Incoming content stream:   count { path }
// Names, values and paths are escaped tokens (TokenEscape.h); types are the
// low 32 bits of the record's type, written signed; tokens of incoming
// streams are separated by any whitespace.
#include "AppMgr/Streamer.h"

#include <cstdint>

#include "AppMgr/TokenEscape.h"

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

int Streamer::extractPropList(PropertyList& /*list*/, std::istream& /*in*/, std::string& /*errorText*/) {
  return 0;
}

int Streamer::extractContentList(EntryList& /*list*/, std::istream& /*in*/, std::string& /*errorText*/) {
  return 0;
}
