// What the host answers to each kind of frame a peer may send, malformed
// ones above all: one row per frame, with the reply's type and error code
// and whether the host closes the connection (it does when the frame stream
// can no longer be trusted). An established connection is served throughout.
// Below, the codec: header bytes in little-endian order, control records of
// one exact size, text fields flattened into offsets.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"

using namespace appmgr;
using hosttest::frame;
using hosttest::RawFrame;
using hosttest::RawPeer;
using Type = wire::FrameType;
using Error = wire::WireError;

namespace {

constexpr uint32_t kMaxFrame = 4096;
constexpr uint64_t kId = 9;

std::vector<unsigned char> headerOnly(wire::FrameHeader h) {
  h.correlationId = kId;
  std::vector<unsigned char> bytes(wire::kHeaderSize);
  wire::encodeHeader(h, bytes.data());
  return bytes;
}

// A Velmora-by-name request whose name field holds `offset`, with `area` as text area.
std::vector<unsigned char> nameRequest(uint64_t offset, const std::string& area, uint32_t recordLength = 24) {
  std::vector<unsigned char> record(recordLength, 0);
  for (size_t i = 0; i < 8 && i < recordLength; ++i)
    record[i] = static_cast<unsigned char>(offset >> (8 * i));
  return frame(Type::kRequest, APPMAN_VELMORA_BY_NAME_REQ, kId, record, area);
}

// A global-parameter request of exactly `size` bytes, header included.
std::vector<unsigned char> requestOfSize(size_t size) {
  const std::string name(size - wire::kHeaderSize - 8 - 2, 'p');
  return frame(Type::kRequest, APPMAN_GLOBAL_PARAM_REQ, kId, {1, 0, 0, 0, 0, 0, 0, 0}, '\0' + name + '\0');
}

std::vector<unsigned char> hello(size_t recordLength, uint16_t major = wire::kProtocolMajor) {
  wire::HelloRecord record;
  record.major = major;
  std::vector<unsigned char> bytes = wire::encodeRecord(record);
  bytes.resize(recordLength, 0);
  return frame(Type::kHello, 0, kId, bytes, "");
}

struct Input {
  const char* name;
  bool hello;  // a valid hello goes first
  std::vector<unsigned char> bytes;
  Type reply;
  Error error;  // of an error reply
  bool closes;  // the host closes the connection after the reply
};

std::vector<Input> inputs() {
  wire::FrameHeader wrongMagic, flags, overLimit, unknownType;
  wrongMagic.magic = 0x50545448;  // "HTTP"
  flags.type = Type::kHealth;
  flags.flags = 1;
  overLimit.code = APPMAN_GLOBAL_PARAM_REQ;
  overLimit.recordLength = 8;
  overLimit.textLength = kMaxFrame - wire::kHeaderSize - 8 + 1;
  wire::FrameHeader farOverLimit = overLimit;
  farOverLimit.recordLength = farOverLimit.textLength = 0xfffffff0;
  unknownType.type = Type{99};
  const std::vector<unsigned char> velmora(sizeof(appmanVelmoraByIdReq), 0);
  return {
      {"WrongMagic", true, headerOnly(wrongMagic), Type::kError, Error::kMalformedFrame, true},
      {"FlagsSet", true, headerOnly(flags), Type::kError, Error::kMalformedFrame, true},
      {"OneByteOverTheFrameLimit", true, headerOnly(overLimit), Type::kError, Error::kOversizeFrame, true},
      {"FarOverTheFrameLimit", true, headerOnly(farOverLimit), Type::kError, Error::kOversizeFrame, true},
      {"RequestOfExactlyTheFrameLimit", true, requestOfSize(kMaxFrame), Type::kResponse, {}, false},
      {"UnknownFrameType", true, headerOnly(unknownType), Type::kError, Error::kUnknownFrameType, true},
      {"HostFrameTypeFromThePeer", true, frame(Type::kResponse, 0, kId, {}, ""), Type::kError,
       Error::kUnknownFrameType, true},
      {"RequestBeforeTheHello", false, frame(Type::kRequest, APPMAN_VELMORA_BY_ID_REQ, kId, velmora, ""),
       Type::kError, Error::kHelloMissing, true},
      {"HelloRepeated", true, hello(16), Type::kError, Error::kHelloRepeated, true},
      {"UnknownProtocolMajor", false, hello(16, wire::kProtocolMajor + 1), Type::kError,
       Error::kVersionRefused, true},
      {"HelloRecordOf15Bytes", false, hello(15), Type::kError, Error::kMalformedFrame, true},
      {"HelloRecordOf17Bytes", false, hello(17), Type::kError, Error::kMalformedFrame, true},
      {"RecordShorterThanTheCodes", true, nameRequest(1, std::string("north\0", 7), 16), Type::kError,
       Error::kMalformedRequest, false},
      {"RecordLongerThanTheCodes", true, nameRequest(1, std::string("\0north\0", 7), 32), Type::kError,
       Error::kMalformedRequest, false},
      {"TextOffsetPastTheTextArea", true, nameRequest(40, std::string("\0north\0", 7)), Type::kError,
       Error::kMalformedRequest, false},
      {"TextWithoutNul", true, nameRequest(1, std::string("\0north", 6)), Type::kError,
       Error::kMalformedRequest, false},
      // A code outside the table, with any record: the library answers nothing.
      {"UnknownRequestCode", true, frame(Type::kRequest, 0x1a001099, kId, {1, 2, 3}, ""), Type::kNoResponse,
       Error{}, false},
      {"HealthBeforeTheHello", false, frame(Type::kHealth, 0, kId, {}, ""), Type::kHealthReply, {}, false},
  };
}

void PrintTo(const Input& input, std::ostream* out) { *out << input.name; }

class HostMalformedInputTest : public HostTest, public ::testing::WithParamInterface<Input> {};

TEST_P(HostMalformedInputTest, EachFrameGetsItsReplyAndOnlyABrokenStreamIsClosed) {
  const Input& input = GetParam();
  HostOptions options;
  options.maxFrameSize = kMaxFrame;
  startHost(options);
  auto bystander = connect();  // an established connection that must not notice
  RawPeer peer(server_->port());
  RawFrame reply;
  if (input.hello) {
    peer.sendHello();
    ASSERT_TRUE(peer.readFrame(reply));
    ASSERT_EQ(reply.header.type, Type::kHelloAck);
  }
  peer.sendBytes(input.bytes);
  ASSERT_TRUE(peer.readFrame(reply));
  EXPECT_EQ(reply.header.type, input.reply);
  EXPECT_EQ(reply.header.correlationId, kId);
  if (input.reply == Type::kError) {
    EXPECT_EQ(reply.error(), input.error) << reply.textArea;
    EXPECT_GT(reply.textArea.size(), 1u) << "the error frame explains itself";
    EXPECT_EQ(reply.textArea.back(), '\0');
  }
  if (input.reply == Type::kNoResponse) {
    EXPECT_EQ(reply.header.code, 0x1a001099u);
  }
  if (input.reply == Type::kHealthReply) {
    wire::HealthRecord health;
    ASSERT_TRUE(wire::decodeRecord(reply.record.data(), reply.record.size(), health));
    EXPECT_EQ(health.state, wire::HealthRecord::kServing);
    EXPECT_EQ(health.connections, 2u);
  }
  if (input.closes) {
    EXPECT_TRUE(peer.closedByHost());
  } else {  // the frame stream is intact, so the connection goes on, with one reply per request
    if (!input.hello) {
      peer.sendHello();
      ASSERT_TRUE(peer.readFrame(reply));
    }
    peer.sendBytes(nameRequest(1, std::string("\0north\0", 7)));
    ASSERT_TRUE(peer.readFrame(reply));
    EXPECT_EQ(reply.header.type, Type::kResponse);
    EXPECT_EQ(reply.header.code, APPMAN_VELMORA_BY_NAME_RSP);
  }
  EXPECT_EQ(bystander->health().state, wire::HealthRecord::kServing);
}

INSTANTIATE_TEST_SUITE_P(Frames, HostMalformedInputTest, ::testing::ValuesIn(inputs()),
                         [](const auto& info) { return std::string(info.param.name); });

// Frames a peer sends in one burst are read together and their replies
// written together: every frame still gets its own reply, in order, whether
// it is answered on the network thread or by the handler pool (the first
// lookups of a code go there), and a broken frame at the end closes the
// connection only after the replies before it went out.
TEST_F(HostTest, AFrameBurstGetsEveryReplyInOrderAndABrokenFrameEndsItAfterThem) {
  startHost();
  RawPeer peer(server_->port());
  const std::vector<unsigned char> first = hello(16);
  std::vector<unsigned char> burst(first.begin(), first.end());
  std::vector<std::pair<Type, uint64_t>> expected = {{Type::kHelloAck, kId}};
  for (uint64_t i = 0; i < 120; ++i) {
    appmanVelmoraByIdReq byId;
    byId.velmoraId = 2;
    byId.context = i;
    std::vector<unsigned char> record(sizeof byId);
    std::memcpy(record.data(), &byId, sizeof byId);
    const uint64_t id = 1000 + i;
    const std::vector<unsigned char> frames[] = {
        frame(Type::kRequest, APPMAN_VELMORA_BY_ID_REQ, id, record, ""),
        frame(Type::kRequest, APPMAN_VELMORA_BY_NAME_REQ, id, {1, 0, 0, 0, 0, 0, 0, 0}, "north"),  // no NUL
        frame(Type::kRequest, 0x1a001099, id, {}, ""), frame(Type::kHealth, 0, id, {}, "")};
    const Type replies[] = {Type::kResponse, Type::kError, Type::kNoResponse, Type::kHealthReply};
    burst.insert(burst.end(), frames[i % 4].begin(), frames[i % 4].end());
    expected.push_back({replies[i % 4], id});
  }
  wire::FrameHeader wrongMagic;
  wrongMagic.magic = 0x50545448;
  const std::vector<unsigned char> broken = headerOnly(wrongMagic);
  burst.insert(burst.end(), broken.begin(), broken.end());
  expected.push_back({Type::kError, kId});
  peer.sendBytes(burst);
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    RawFrame reply;
    ASSERT_TRUE(peer.readFrame(reply));
    EXPECT_EQ(reply.header.type, expected[i].first) << reply.textArea;
    EXPECT_EQ(reply.header.correlationId, expected[i].second);
    if (reply.header.type == Type::kResponse && reply.record.size() == sizeof(appmanVelmoraRsp)) {
      appmanVelmoraRsp rsp;
      std::memcpy(static_cast<void*>(&rsp), reply.record.data(), sizeof rsp);
      EXPECT_EQ(rsp.context, expected[i].second - 1000) << "the answer of its own request";
    }
  }
  EXPECT_TRUE(peer.closedByHost());
}

// ---- The codec under the frames ----

TEST(WireFormat, HeaderIsLittleEndian) {
  wire::FrameHeader header;
  header.code = 0x1a001011;
  header.correlationId = 0x0102030405060708;
  header.recordLength = 40;
  header.textLength = 3;
  unsigned char bytes[wire::kHeaderSize];
  wire::encodeHeader(header, bytes);
  const unsigned char expected[wire::kHeaderSize] = {'A',  'M', 'G', 'R', 3, 0, 0, 0, 0x11, 0x10, 0,
                                                     0x1a, 0,   0,   0,   0, 8, 7, 6, 5,    4,    3,
                                                     2,    1,   40,  0,   0, 0, 3, 0, 0,    0};
  EXPECT_EQ(std::memcmp(bytes, expected, wire::kHeaderSize), 0);
  EXPECT_EQ(wire::decodeHeader(bytes).frameSize(), wire::kHeaderSize + 43);
}

// Each control record decodes from exactly its own size, never one byte more or less.
template <typename R>
void expectExactSize(size_t size) {
  SCOPED_TRACE(size);
  EXPECT_EQ(R::kSize, size);
  const std::vector<unsigned char> bytes(size + 1, 1);
  R out;
  EXPECT_TRUE(wire::decodeRecord(bytes.data(), size, out));
  EXPECT_FALSE(wire::decodeRecord(bytes.data(), size - 1, out));
  EXPECT_FALSE(wire::decodeRecord(bytes.data(), size + 1, out));
  EXPECT_EQ(wire::encodeRecord(out).size(), size);
}

TEST(WireFormat, ControlRecordsDecodeOnlyFromTheirExactSize) {
  expectExactSize<wire::HelloRecord>(16);
  expectExactSize<wire::HelloAckRecord>(16);
  expectExactSize<wire::ErrorRecord>(8);
  expectExactSize<wire::HealthRecord>(24);
}

TEST(WireFormat, FlattenedRecordResolvesToTheSameTexts) {
  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  req.firstList = "";  // empty but present: must not become null
  const appmanTextFields fields = appmanRequestTextFields(APPMAN_SUBCLIENT_BY_ID_REQ);
  const wire::FlatRecord flat = wire::flattenRecord(&req, sizeof req, fields, "");
  EXPECT_EQ(flat.textArea, std::string(1, '\0') + "2:1046" + std::string(2, '\0'));
  std::vector<unsigned char> record = flat.record;
  std::string reason;
  ASSERT_TRUE(wire::resolveRecord(record.data(), record.size(), fields, flat.textArea.data(),
                                  flat.textArea.size(), reason))
      << reason;
  appmanObjectReq back;
  std::memcpy(static_cast<void*>(&back), record.data(), sizeof back);
  EXPECT_EQ(back.objectId, 9u);
  EXPECT_STREQ(back.appIdText, "2:1046");
  EXPECT_STREQ(back.firstList, "");
  EXPECT_EQ(back.secondList, nullptr);
}

}  // namespace
