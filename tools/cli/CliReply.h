// Reply decoding and printing for the command line. A reply becomes one
// JSON document whose shape is stable:
//
//   { "request": "client get", "requestCode": "0x1a001111",
//     "responseCode": "0x1a001112",
//     "errorCode": { "name": "OK", "number": 0 }, "errorText": "",
//     "fields": { ...the record's fields, streams decoded... } }
//
// Fields carry the names of docs/store-format.md where the store gives the
// field its meaning (releaseId, timeZoneId, attribute, ...), the platform
// list is decoded into {os, osVersion, processor}, and copies of an id are
// left out. With `raw`, the fields are the record's own (value1, idCopy,
// platformList, ...) and streams stay undecoded in "data": the record as it
// travels.
//
// The table form prints the same fields: one "name  value" line per
// scalar, a small table per list of records, the parents of a list on one
// line.
#ifndef TOOLS_CLI_CLIREPLY_H_
#define TOOLS_CLI_CLIREPLY_H_

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "CliRequest.h"
#include "host/AppMgrClient.h"

namespace appmgr {
namespace cli {

using Json = nlohmann::ordered_json;

// The document of a kResponse reply to `request`. A stream that does not
// decode is kept whole in "fields.data" with "fields.decodeError" saying why.
Json decodeReply(const CliRequest& request, const AppMgrReply& reply, bool raw = false);

// The platform list of a client ("1 OS 2 VERSION 4 PROCESSOR ", escaped) as
// {os, osVersion, processor}; false when the text does not follow it.
bool decodePlatformList(const std::string& text, Json& platform);

// The fields of a stream reply, decoded from `text` (exposed for tests).
// Returns false with `why` when the text does not follow the stream's grammar.
bool decodeStream(ReplyKind kind, const std::string& text, Json& fields, std::string& why);

// Prints `document` as a readable table (without the message code and a
// zero context; "ok" for a successful reply that carries nothing else).
void printTable(const Json& document, std::ostream& out);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLIREPLY_H_
