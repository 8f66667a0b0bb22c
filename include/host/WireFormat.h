// The frame format spoken between appmgrd and its clients (docs/protocol.md
// is the reader's description). A frame is a 32-byte little-endian header
// followed by a body: the record bytes, then a text area of NUL-terminated
// texts. Text-pointer fields of a record travel as 64-bit offsets into the
// text area; 0 means a null pointer. Offset 0 itself holds the frame's
// leading text (the error text of a response, the message of an error
// frame), so no text field ever refers to it.
//
// Grammar:
//   frame      = header record textArea
//   header     = magic:u32 type:u16 flags:u16 code:u64 correlationId:u64
//                recordLength:u32 textLength:u32            (32 bytes)
//   textArea   = *( text NUL )            (empty, or starting with the leading text)
#ifndef HOST_WIREFORMAT_H_
#define HOST_WIREFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AppMgr/appMgrStructDefines.h"

namespace appmgr {
namespace wire {

constexpr uint32_t kMagic = 0x52474d41;  // the bytes "AMGR"
constexpr uint16_t kProtocolMajor = 1;
// 1.1 adds the audit frames; a 1.0 peer never sends them.
constexpr uint16_t kProtocolMinor = 1;
constexpr size_t kHeaderSize = 32;

enum class FrameType : uint16_t {
  kHello = 1,        // client -> host, first frame of a connection
  kHelloAck = 2,     // host -> client
  kRequest = 3,      // client -> host: code = request code
  kResponse = 4,     // host -> client: code = response code
  kNoResponse = 5,   // host -> client: the library answered nothing; code = request code
  kError = 6,        // host -> client: code = request code, or 0
  kHealth = 7,       // client -> host; allowed before the hello
  kHealthReply = 8,  // host -> client
  kAuditRead = 9,    // client -> host (1.1): which audit entries to send
  kAuditReply = 10,  // host -> client (1.1)
};

// The reason carried by an error frame.
enum class WireError : uint32_t {
  kMalformedFrame = 1,       // header or frame body breaks the format; connection closed
  kOversizeFrame = 2,        // frame larger than the host's maximum; connection closed
  kUnknownFrameType = 3,     // connection closed
  kVersionRefused = 4,       // hello with a protocol major the host does not speak; connection closed
  kHelloMissing = 5,         // request before the hello; connection closed
  kHelloRepeated = 6,        // second hello; connection closed
  kMalformedRequest = 7,     // record length or a text offset is wrong; connection stays open
  kHandlerFailed = 8,        // the library threw while serving the request
  kStoreUnavailable = 9,     // no configuration store is open
  kDeadlineExceeded = 10,    // the request took longer than the host's deadline
  kResponseTooLarge = 11,    // the answer would exceed the maximum frame size
  kTooManyConnections = 12,  // sent on accept, then the connection is closed
};

// Short name of an error, for messages ("malformed request").
const char* wireErrorName(WireError error);

struct FrameHeader {
  uint32_t magic = kMagic;
  FrameType type = FrameType::kRequest;
  uint16_t flags = 0;  // must be 0
  uint64_t code = 0;
  uint64_t correlationId = 0;
  uint32_t recordLength = 0;
  uint32_t textLength = 0;

  uint64_t bodySize() const { return uint64_t{recordLength} + textLength; }
  uint64_t frameSize() const { return kHeaderSize + bodySize(); }
};

void encodeHeader(const FrameHeader& header, unsigned char out[kHeaderSize]);
FrameHeader decodeHeader(const unsigned char in[kHeaderSize]);

// ---- Fixed records of the control frames (little-endian) ----

// Record of kHello, 16 bytes: major:u16 minor:u16 peerProtocolVersion:u32
// flags:u32 reserved:u32. peerProtocolVersion is what the host reports to
// the library as the session's protocol version; 0 means unknown.
struct HelloRecord {
  static constexpr size_t kSize = 16;
  uint16_t major = kProtocolMajor;
  uint16_t minor = kProtocolMinor;
  uint32_t peerProtocolVersion = 0;
};

// Record of kHelloAck, 16 bytes: major:u16 minor:u16 maxFrameSize:u32
// requestDeadlineMs:u32 idleTimeoutMs:u32.
struct HelloAckRecord {
  static constexpr size_t kSize = 16;
  uint16_t major = kProtocolMajor;
  uint16_t minor = kProtocolMinor;
  uint32_t maxFrameSize = 0;
  uint32_t requestDeadlineMs = 0;
  uint32_t idleTimeoutMs = 0;
};

// Record of kError, 8 bytes: error:u32 reserved:u32. The message is the
// leading text.
struct ErrorRecord {
  static constexpr size_t kSize = 8;
  WireError error = WireError::kMalformedFrame;
};

// Record of kHealthReply, 24 bytes: state:u32 connections:u32
// requestsAnswered:u64 uptimeMs:u64. The leading text names the host.
struct HealthRecord {
  static constexpr size_t kSize = 24;
  static constexpr uint32_t kServing = 1;
  static constexpr uint32_t kStopping = 2;
  uint32_t state = kServing;
  uint32_t connections = 0;
  uint64_t requestsAnswered = 0;
  uint64_t uptimeMs = 0;
};

// Record of kAuditRead, 40 bytes: objectKind:u32 reserved:u32 objectId:u64
// sinceUs:i64 untilUs:i64 limit:u64. objectKind 0 is every object, else 1
// client, 2 instance, 3 backup set, 4 subclient, 5 the whole tree; times
// are UTC microseconds, inclusive; limit 0 is no limit.
struct AuditReadRecord {
  static constexpr size_t kSize = 40;
  uint32_t objectKind = 0;
  uint64_t objectId = 0;
  int64_t sinceUs = INT64_MIN;
  int64_t untilUs = INT64_MAX;
  uint64_t limit = 0;
};

// Record of kAuditReply, 16 bytes: result:u32 count:u32 more:u32
// reserved:u32. result is the store's error code (0: success, the error
// text is the leading text); after the leading text come `count` texts,
// one entry each as a line of JSON, newest first. more is 1 when entries
// were left out to keep the frame within the maximum frame size.
struct AuditReplyRecord {
  static constexpr size_t kSize = 16;
  uint32_t result = 0;
  uint32_t count = 0;
  uint32_t more = 0;
};

// The object kinds of an audit read, by number, as the entries name them
// ("client", ...); null for 0 or an unknown number.
const char* auditObjectKindName(uint32_t kind);

std::vector<unsigned char> encodeRecord(const AuditReadRecord& record);
std::vector<unsigned char> encodeRecord(const AuditReplyRecord& record);
bool decodeRecord(const unsigned char* bytes, size_t length, AuditReadRecord& out);
bool decodeRecord(const unsigned char* bytes, size_t length, AuditReplyRecord& out);

std::vector<unsigned char> encodeRecord(const HelloRecord& record);
std::vector<unsigned char> encodeRecord(const HelloAckRecord& record);
std::vector<unsigned char> encodeRecord(const ErrorRecord& record);
std::vector<unsigned char> encodeRecord(const HealthRecord& record);
// Each decode fails (returns false) unless `length` is exactly the record's size.
bool decodeRecord(const unsigned char* bytes, size_t length, HelloRecord& out);
bool decodeRecord(const unsigned char* bytes, size_t length, HelloAckRecord& out);
bool decodeRecord(const unsigned char* bytes, size_t length, ErrorRecord& out);
bool decodeRecord(const unsigned char* bytes, size_t length, HealthRecord& out);

// ---- Records with text-pointer fields ----

// A record in wire form: its bytes with every text field replaced by an
// offset into textArea, which starts with the leading text.
struct FlatRecord {
  std::vector<unsigned char> record;
  std::string textArea;
};

// Copies the `length` bytes at `record` and moves the text behind each of
// `fields` (real pointers; null stays 0) into the text area after the
// leading text. Fields that do not fit inside `length` are left as they are.
FlatRecord flattenRecord(const void* record, size_t length, const appmanTextFields& fields,
                         const std::string& leadingText);

// Turns the offsets of `fields` in the wire-form `record` (in place) into
// pointers into `textArea`. Each non-zero offset must lie inside the text
// area and the text it starts must end with a NUL inside it; every field must
// fit inside the record. On failure returns false with the reason, and the
// record must not be used.
bool resolveRecord(unsigned char* record, size_t length, const appmanTextFields& fields, const char* textArea,
                   size_t textLength, std::string& reason);

// The leading text of a text area: empty for an empty area; false when the
// area is not empty and holds no NUL.
bool leadingText(const char* textArea, size_t textLength, std::string& out);

// One whole frame: header (lengths set from the parts), record, text area.
std::vector<unsigned char> buildFrame(FrameHeader header, const std::vector<unsigned char>& record,
                                      const std::string& textArea);

}  // namespace wire
}  // namespace appmgr

#endif  // HOST_WIREFORMAT_H_
