// What the host records of each request it answers: the outcome read from
// the reply frame (for the metrics and the access log), the object a request
// names, the peer, and the access log's line.
//
// An access line (after the log's time, process and thread ids and tag):
//   INFO peer=127.0.0.1:40522 id=7 request=0x1a001011 APPMAN_VELMORA_BY_ID_REQ object=2 result=OK
//   library_us=12 total_us=31
// result is OK, the listener's error name and number
// (XR_CLIENT_NOT_FOUND/0x30001), no_response, or the protocol error of an
// error frame (error_frame:deadline_exceeded, with level ERROR). A TLS peer
// with a certificate adds subject="..."; a Unix socket peer is
// unix:uid=U,pid=P. object= is left out for requests that name none.
#ifndef HOST_ACCESSLOG_H_
#define HOST_ACCESSLOG_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <openssl/ssl.h>

#include "host/HostStream.h"
#include "host/WireFormat.h"

class LogSink;

namespace appmgr {

// How the reply to a request ended.
struct ReplyOutcome {
  enum class Kind { kResponse, kNoResponse, kErrorFrame } kind = Kind::kResponse;
  uint32_t errorCode = 0;  // kResponse: the listener's error code, 0 for success
  wire::WireError frameError = wire::WireError::kMalformedFrame;  // kErrorFrame
};

// The protocol error's name as a metrics label and access-log word:
// "malformed frame" -> "malformed_frame".
std::string errorLabel(wire::WireError error);

// Reads the outcome from a reply frame the host built.
ReplyOutcome outcomeOf(const std::vector<unsigned char>& frame);

// The id of the object a request record names (a Velmora, client, instance,
// backup set or subclient id); false for requests that name none by id.
bool requestObjectId(unsigned long code, const void* record, size_t length, uint64_t& id);

// The peer of a connected socket: "ADDRESS:PORT", or "unix:uid=U,pid=P";
// with a TLS client certificate, its subject follows (subject="...").
std::string describePeer(HostStream::Socket& socket, SSL* tls);

struct AccessRecord {
  const std::string* peer = nullptr;
  uint64_t correlationId = 0;
  uint64_t code = 0;
  bool hasObject = false;
  uint64_t objectId = 0;
  ReplyOutcome outcome;
  std::chrono::nanoseconds library{0};
  std::chrono::nanoseconds total{0};
};

void writeAccessLine(LogSink& sink, const AccessRecord& record);

}  // namespace appmgr

#endif  // HOST_ACCESSLOG_H_
