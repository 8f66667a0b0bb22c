// Frame header and control records in little-endian byte order, and the
// flattening and rebuilding of text-pointer fields.
#include "host/WireFormat.h"

#include <cstring>

namespace appmgr {
namespace wire {
namespace {

void putU16(unsigned char* out, uint16_t v) {
  out[0] = static_cast<unsigned char>(v);
  out[1] = static_cast<unsigned char>(v >> 8);
}
void putU32(unsigned char* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}
void putU64(unsigned char* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint16_t getU16(const unsigned char* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }
uint32_t getU32(const unsigned char* in) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | in[i];
  return v;
}
uint64_t getU64(const unsigned char* in) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | in[i];
  return v;
}

// Text fields are 64-bit on the wire and pointer-sized in memory.
static_assert(sizeof(const char*) == sizeof(uint64_t), "text fields are 8 bytes wide");

}  // namespace

const char* wireErrorName(WireError error) {
  switch (error) {
    case WireError::kMalformedFrame:
      return "malformed frame";
    case WireError::kOversizeFrame:
      return "oversize frame";
    case WireError::kUnknownFrameType:
      return "unknown frame type";
    case WireError::kVersionRefused:
      return "protocol version refused";
    case WireError::kHelloMissing:
      return "hello missing";
    case WireError::kHelloRepeated:
      return "hello repeated";
    case WireError::kMalformedRequest:
      return "malformed request";
    case WireError::kHandlerFailed:
      return "handler failed";
    case WireError::kStoreUnavailable:
      return "store unavailable";
    case WireError::kDeadlineExceeded:
      return "deadline exceeded";
    case WireError::kResponseTooLarge:
      return "response too large";
    case WireError::kTooManyConnections:
      return "too many connections";
  }
  return "unknown error";
}

void encodeHeader(const FrameHeader& header, unsigned char out[kHeaderSize]) {
  putU32(out, header.magic);
  putU16(out + 4, static_cast<uint16_t>(header.type));
  putU16(out + 6, header.flags);
  putU64(out + 8, header.code);
  putU64(out + 16, header.correlationId);
  putU32(out + 24, header.recordLength);
  putU32(out + 28, header.textLength);
}

FrameHeader decodeHeader(const unsigned char in[kHeaderSize]) {
  FrameHeader header;
  header.magic = getU32(in);
  header.type = static_cast<FrameType>(getU16(in + 4));
  header.flags = getU16(in + 6);
  header.code = getU64(in + 8);
  header.correlationId = getU64(in + 16);
  header.recordLength = getU32(in + 24);
  header.textLength = getU32(in + 28);
  return header;
}

std::vector<unsigned char> encodeRecord(const HelloRecord& record) {
  std::vector<unsigned char> out(HelloRecord::kSize, 0);
  putU16(out.data(), record.major);
  putU16(out.data() + 2, record.minor);
  putU32(out.data() + 4, record.peerProtocolVersion);
  return out;
}

std::vector<unsigned char> encodeRecord(const HelloAckRecord& record) {
  std::vector<unsigned char> out(HelloAckRecord::kSize, 0);
  putU16(out.data(), record.major);
  putU16(out.data() + 2, record.minor);
  putU32(out.data() + 4, record.maxFrameSize);
  putU32(out.data() + 8, record.requestDeadlineMs);
  putU32(out.data() + 12, record.idleTimeoutMs);
  return out;
}

std::vector<unsigned char> encodeRecord(const ErrorRecord& record) {
  std::vector<unsigned char> out(ErrorRecord::kSize, 0);
  putU32(out.data(), static_cast<uint32_t>(record.error));
  return out;
}

std::vector<unsigned char> encodeRecord(const HealthRecord& record) {
  std::vector<unsigned char> out(HealthRecord::kSize, 0);
  putU32(out.data(), record.state);
  putU32(out.data() + 4, record.connections);
  putU64(out.data() + 8, record.requestsAnswered);
  putU64(out.data() + 16, record.uptimeMs);
  return out;
}

const char* auditObjectKindName(uint32_t kind) {
  static const char* const kNames[] = {nullptr, "client", "instance", "backupSet", "subclient", "tree"};
  return kind < sizeof kNames / sizeof kNames[0] ? kNames[kind] : nullptr;
}

std::vector<unsigned char> encodeRecord(const AuditReadRecord& record) {
  std::vector<unsigned char> out(AuditReadRecord::kSize, 0);
  putU32(out.data(), record.objectKind);
  putU64(out.data() + 8, record.objectId);
  putU64(out.data() + 16, static_cast<uint64_t>(record.sinceUs));
  putU64(out.data() + 24, static_cast<uint64_t>(record.untilUs));
  putU64(out.data() + 32, record.limit);
  return out;
}

std::vector<unsigned char> encodeRecord(const AuditReplyRecord& record) {
  std::vector<unsigned char> out(AuditReplyRecord::kSize, 0);
  putU32(out.data(), record.result);
  putU32(out.data() + 4, record.count);
  putU32(out.data() + 8, record.more);
  return out;
}

bool decodeRecord(const unsigned char* bytes, size_t length, AuditReadRecord& out) {
  if (length != AuditReadRecord::kSize) return false;
  out.objectKind = getU32(bytes);
  out.objectId = getU64(bytes + 8);
  out.sinceUs = static_cast<int64_t>(getU64(bytes + 16));
  out.untilUs = static_cast<int64_t>(getU64(bytes + 24));
  out.limit = getU64(bytes + 32);
  return true;
}

bool decodeRecord(const unsigned char* bytes, size_t length, AuditReplyRecord& out) {
  if (length != AuditReplyRecord::kSize) return false;
  out.result = getU32(bytes);
  out.count = getU32(bytes + 4);
  out.more = getU32(bytes + 8);
  return true;
}

bool decodeRecord(const unsigned char* bytes, size_t length, HelloRecord& out) {
  if (length != HelloRecord::kSize) return false;
  out.major = getU16(bytes);
  out.minor = getU16(bytes + 2);
  out.peerProtocolVersion = getU32(bytes + 4);
  return true;
}

bool decodeRecord(const unsigned char* bytes, size_t length, HelloAckRecord& out) {
  if (length != HelloAckRecord::kSize) return false;
  out.major = getU16(bytes);
  out.minor = getU16(bytes + 2);
  out.maxFrameSize = getU32(bytes + 4);
  out.requestDeadlineMs = getU32(bytes + 8);
  out.idleTimeoutMs = getU32(bytes + 12);
  return true;
}

bool decodeRecord(const unsigned char* bytes, size_t length, ErrorRecord& out) {
  if (length != ErrorRecord::kSize) return false;
  out.error = static_cast<WireError>(getU32(bytes));
  return true;
}

bool decodeRecord(const unsigned char* bytes, size_t length, HealthRecord& out) {
  if (length != HealthRecord::kSize) return false;
  out.state = getU32(bytes);
  out.connections = getU32(bytes + 4);
  out.requestsAnswered = getU64(bytes + 8);
  out.uptimeMs = getU64(bytes + 16);
  return true;
}

FlatRecord flattenRecord(const void* record, size_t length, const appmanTextFields& fields,
                         const std::string& leadingText) {
  FlatRecord flat;
  const auto* bytes = static_cast<const unsigned char*>(record);
  flat.record.assign(bytes, bytes + length);
  flat.textArea = leadingText;
  flat.textArea.push_back('\0');
  for (size_t i = 0; i < fields.count; ++i) {
    const size_t at = fields.offsets[i];
    if (at + sizeof(uint64_t) > length) continue;
    const char* text = nullptr;
    std::memcpy(&text, bytes + at, sizeof text);
    uint64_t offset = 0;
    if (text != nullptr) {
      offset = flat.textArea.size();
      flat.textArea.append(text);
      flat.textArea.push_back('\0');
    }
    putU64(flat.record.data() + at, offset);
  }
  return flat;
}

bool resolveRecord(unsigned char* record, size_t length, const appmanTextFields& fields, const char* textArea,
                   size_t textLength, std::string& reason) {
  for (size_t i = 0; i < fields.count; ++i) {
    const size_t at = fields.offsets[i];
    if (at + sizeof(uint64_t) > length) {
      reason = "text field at byte " + std::to_string(at) + " lies outside the record";
      return false;
    }
    const uint64_t offset = getU64(record + at);
    const char* text = nullptr;
    if (offset != 0) {
      if (offset >= textLength) {
        reason = "text offset " + std::to_string(offset) + " of the field at byte " + std::to_string(at) +
                 " lies past the text area of " + std::to_string(textLength) + " bytes";
        return false;
      }
      if (std::memchr(textArea + offset, '\0', textLength - offset) == nullptr) {
        reason = "the text at offset " + std::to_string(offset) + " has no NUL inside the text area";
        return false;
      }
      text = textArea + offset;
    }
    std::memcpy(record + at, &text, sizeof text);
  }
  return true;
}

bool leadingText(const char* textArea, size_t textLength, std::string& out) {
  out.clear();
  if (textLength == 0) return true;
  const void* end = std::memchr(textArea, '\0', textLength);
  if (end == nullptr) return false;
  out.assign(textArea, static_cast<const char*>(end));
  return true;
}

std::vector<unsigned char> buildFrame(FrameHeader header, const std::vector<unsigned char>& record,
                                      const std::string& textArea) {
  header.recordLength = static_cast<uint32_t>(record.size());
  header.textLength = static_cast<uint32_t>(textArea.size());
  std::vector<unsigned char> frame(kHeaderSize);
  encodeHeader(header, frame.data());
  frame.insert(frame.end(), record.begin(), record.end());
  frame.insert(frame.end(), textArea.begin(), textArea.end());
  return frame;
}

}  // namespace wire
}  // namespace appmgr
