// Malformed input from a peer: each bad frame gets its error frame, and the
// connection is closed when the frame stream can no longer be trusted; other
// connections are served throughout (peers that leave mid-frame are covered
// by HostFaultTest). Every offset boundary is checked in WireFormatTest; here one
// bad offset and one missing NUL show the host answers and goes on.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"

using namespace appmgr;
using hosttest::RawFrame;
using hosttest::RawPeer;

namespace {

wire::FrameHeader header(wire::FrameType type, uint64_t code = 0, uint64_t correlationId = 9) {
  wire::FrameHeader h;
  h.type = type;
  h.code = code;
  h.correlationId = correlationId;
  return h;
}

std::vector<unsigned char> headerOnly(const wire::FrameHeader& h) {
  std::vector<unsigned char> bytes(wire::kHeaderSize);
  wire::encodeHeader(h, bytes.data());
  return bytes;
}

// A Velmora-by-name request whose name field holds `offset`, with `area` as text area.
std::vector<unsigned char> nameRequest(uint64_t offset, const std::string& area, uint32_t recordLength = 24) {
  std::vector<unsigned char> record(recordLength, 0);
  for (int i = 0; i < 8 && i < static_cast<int>(recordLength); ++i) {
    record[i] = static_cast<unsigned char>(offset >> (8 * i));
  }
  return wire::buildFrame(header(wire::FrameType::kRequest, APPMAN_VELMORA_BY_NAME_REQ), record, area);
}

struct BadInput {
  const char* what;
  bool hello;  // send a valid hello first
  std::vector<unsigned char> bytes;
  wire::WireError expected;
  bool closes;  // the host closes the connection after the error frame
};

std::vector<BadInput> badInputs() {
  wire::FrameHeader wrongMagic = header(wire::FrameType::kRequest, APPMAN_VELMORA_BY_ID_REQ);
  wrongMagic.magic = 0x50545448;  // "HTTP"
  wire::FrameHeader flags = header(wire::FrameType::kHealth);
  flags.flags = 1;
  wire::FrameHeader oversize = header(wire::FrameType::kRequest, APPMAN_VELMORA_BY_ID_REQ);
  oversize.recordLength = 0xfffffff0;
  oversize.textLength = 0xfffffff0;
  wire::HelloRecord future;
  future.major = wire::kProtocolMajor + 1;
  wire::HelloRecord hello;
  const std::vector<unsigned char> velmora(sizeof(appmanVelmoraByIdReq), 0);
  return {
      {"wrong magic", true, headerOnly(wrongMagic), wire::WireError::kMalformedFrame, true},
      {"flags set", true, headerOnly(flags), wire::WireError::kMalformedFrame, true},
      {"oversize frame", true, headerOnly(oversize), wire::WireError::kOversizeFrame, true},
      {"unknown frame type", true, headerOnly(header(wire::FrameType{99})),
       wire::WireError::kUnknownFrameType, true},
      {"a host frame type from the peer", true, wire::buildFrame(header(wire::FrameType::kResponse), {}, ""),
       wire::WireError::kUnknownFrameType, true},
      {"request before the hello", false,
       wire::buildFrame(header(wire::FrameType::kRequest, APPMAN_VELMORA_BY_ID_REQ), velmora, ""),
       wire::WireError::kHelloMissing, true},
      {"hello repeated", true,
       wire::buildFrame(header(wire::FrameType::kHello), wire::encodeRecord(hello), ""),
       wire::WireError::kHelloRepeated, true},
      {"unknown protocol major", false,
       wire::buildFrame(header(wire::FrameType::kHello), wire::encodeRecord(future), ""),
       wire::WireError::kVersionRefused, true},
      {"hello record of the wrong size", false,
       wire::buildFrame(header(wire::FrameType::kHello), std::vector<unsigned char>(15, 0), ""),
       wire::WireError::kMalformedFrame, true},
      {"record shorter than the code's record", true, nameRequest(1, std::string("north\0", 7), 16),
       wire::WireError::kMalformedRequest, false},
      {"record longer than the code's record", true, nameRequest(1, std::string("\0north\0", 7), 32),
       wire::WireError::kMalformedRequest, false},
      {"text offset past the text area", true, nameRequest(40, std::string("\0north\0", 7)),
       wire::WireError::kMalformedRequest, false},
      {"text without NUL", true, nameRequest(1, std::string("\0north", 6)),
       wire::WireError::kMalformedRequest, false},
  };
}

}  // namespace

TEST_F(HostTest, MalformedFramesGetTheirErrorFrame) {
  startHost();
  auto bystander = connect();  // an established connection that must not notice
  for (const BadInput& bad : badInputs()) {
    SCOPED_TRACE(bad.what);
    RawPeer peer(server_->port());
    ASSERT_TRUE(peer.connected());
    RawFrame frame;
    if (bad.hello) {
      peer.sendHello();
      ASSERT_TRUE(peer.readFrame(frame));
      ASSERT_EQ(frame.header.type, wire::FrameType::kHelloAck);
    }
    peer.sendBytes(bad.bytes);
    ASSERT_TRUE(peer.readFrame(frame));
    EXPECT_EQ(frame.header.type, wire::FrameType::kError);
    EXPECT_EQ(frame.error(), bad.expected) << frame.textArea;
    EXPECT_GT(frame.textArea.size(), 1u) << "the error frame explains itself";
    EXPECT_EQ(frame.textArea.back(), '\0');
    if (bad.closes) {
      EXPECT_TRUE(peer.closedByHost());
    } else {
      // The frame stream is intact, so the connection goes on.
      EXPECT_EQ(frame.header.correlationId, 9u);
      peer.sendBytes(nameRequest(1, std::string("\0north\0", 7)));
      ASSERT_TRUE(peer.readFrame(frame));
      EXPECT_EQ(frame.header.type, wire::FrameType::kResponse);
      EXPECT_EQ(frame.header.code, APPMAN_VELMORA_BY_NAME_RSP);
    }
    EXPECT_EQ(bystander->health().state, wire::HealthRecord::kServing);
  }
}

// A peer that leaves in the middle of a frame, or before its replies are
// read, costs the host nothing but that connection.
TEST_F(HostTest, HealthNeedsNoHelloAndUnknownCodesGetNoResponse) {
  startHost();
  RawPeer peer(server_->port());
  peer.sendBytes(wire::buildFrame(header(wire::FrameType::kHealth, 0, 4), {}, ""));
  RawFrame frame;
  ASSERT_TRUE(peer.readFrame(frame));
  EXPECT_EQ(frame.header.type, wire::FrameType::kHealthReply);
  EXPECT_EQ(frame.header.correlationId, 4u);
  wire::HealthRecord health;
  ASSERT_TRUE(wire::decodeRecord(frame.record.data(), frame.record.size(), health));
  EXPECT_EQ(health.connections, 1u);

  peer.sendHello();
  ASSERT_TRUE(peer.readFrame(frame));
  // A code outside the table, with any record: the library logs it and
  // answers nothing, so the host says so.
  peer.sendBytes(wire::buildFrame(header(wire::FrameType::kRequest, 0x1a001099, 5), {1, 2, 3}, ""));
  ASSERT_TRUE(peer.readFrame(frame));
  EXPECT_EQ(frame.header.type, wire::FrameType::kNoResponse);
  EXPECT_EQ(frame.header.code, 0x1a001099u);
  EXPECT_EQ(frame.header.correlationId, 5u);
}
