// List codec: not built yet.
#include "AppMgr/Streamer.h"

const std::string stream_ws = " ";

int Streamer::encodePropList(AppMgrPropsList& /*list*/, std::ostream& /*out*/, std::string& /*errorText*/) {
  return 0;
}
int Streamer::extractPropList(PropertyList& /*list*/, std::istream& /*in*/, std::string& /*errorText*/) {
  return 0;
}
int Streamer::encodeContentList(AppMgrContentList& /*list*/, std::ostream& /*out*/,
                                std::string& /*errorText*/) {
  return 0;
}
int Streamer::extractContentList(EntryList& /*list*/, std::istream& /*in*/, std::string& /*errorText*/) {
  return 0;
}
Streamer::~Streamer() = default;
