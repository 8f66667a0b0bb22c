// The host under hostile or broken peers, over real sockets: a flood of
// mutated and random frames, hundreds of idle connections, peers that send
// and never read, and peers that vanish at every byte of a frame. The host
// never crashes, answers or closes each connection, keeps no connection it
// should have dropped, and serves a fresh client throughout.
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"

using namespace appmgr;
using hosttest::RawFrame;
using hosttest::RawPeer;

namespace {

// The frames a well-behaved client sends, as seeds for the mutations.
std::vector<std::vector<unsigned char>> seedFrames() {
  std::vector<std::vector<unsigned char>> seeds;
  appmanVelmoraByIdReq byId;
  byId.velmoraId = hosttest::kVelmoraId;
  seeds.push_back(hosttest::requestFrame(APPMAN_VELMORA_BY_ID_REQ, 1, &byId, sizeof byId));
  appmanVelmoraByNameReq byName;
  byName.velmoraName = "north";
  seeds.push_back(hosttest::requestFrame(APPMAN_VELMORA_BY_NAME_REQ, 1, &byName, sizeof byName));
  appmanGlobalParamReq param;
  param.paramName = "sAuditPath";
  seeds.push_back(hosttest::requestFrame(APPMAN_GLOBAL_PARAM_REQ, 1, &param, sizeof param));
  appmanObjectReq subclient;
  subclient.objectId = 9;
  subclient.appIdText = "2:1046";
  seeds.push_back(hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 1, &subclient, sizeof subclient));
  subclient.firstList = "1 /srv/new path";
  subclient.secondList = "1 /home";
  seeds.push_back(hosttest::requestFrame(APPMAN_SUBCLIENT_UPDATE_FILES_REQ, 1, &subclient, sizeof subclient));
  return seeds;
}

void put32(std::vector<unsigned char>& frame, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) frame[at + i] = static_cast<unsigned char>(value >> (8 * i));
}
void put64(std::vector<unsigned char>& frame, size_t at, uint64_t value) {
  for (int i = 0; i < 8; ++i) frame[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Header offsets: magic 0, type 4, flags 6, code 8, correlation id 16,
// record length 24, text length 28.
constexpr size_t kCodeAt = 8, kCorrelationAt = 16, kRecordLengthAt = 24, kTextLengthAt = 28;

// A mutation that keeps the frame's place in the stream (header fields
// other than the sizes, the body bytes, the split between record and text
// area): the host must answer it with one frame under `correlationId`.
std::vector<unsigned char> intactMutation(std::vector<unsigned char> frame, uint64_t correlationId,
                                          std::mt19937& random) {
  put64(frame, kCorrelationAt, correlationId);
  const size_t body = frame.size() - wire::kHeaderSize;
  const wire::FrameHeader header = wire::decodeHeader(frame.data());
  switch (random() % 5) {
    case 0:  // a few bytes of the body flipped
      for (int n = 1 + random() % 4; n > 0 && body > 0; --n)
        frame[wire::kHeaderSize + random() % body] ^= static_cast<unsigned char>(1 + random() % 255);
      break;
    case 1:  // another request code, near the real ones or anywhere
      put64(frame, kCodeAt, random() % 2 ? (header.code & ~0xffffull) | (random() & 0xffff) : random());
      break;
    case 2: {  // the boundary between record and text area moved
      const uint32_t record = static_cast<uint32_t>(random() % (body + 1));
      put32(frame, kRecordLengthAt, record);
      put32(frame, kTextLengthAt, static_cast<uint32_t>(body - record));
      break;
    }
    case 3:  // a text field pointing anywhere
      if (header.recordLength >= 32)
        put64(frame, wire::kHeaderSize + 24, random() % 2 ? random() % 64 : random());
      break;
    default:  // the text area replaced by noise
      for (size_t i = wire::kHeaderSize + header.recordLength; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(random() % 4 == 0 ? 0 : random());
      break;
  }
  return frame;
}

// Any mutation at all, the framing included.
std::vector<unsigned char> anyMutation(std::vector<unsigned char> frame, std::mt19937& random) {
  switch (random() % 5) {
    case 0:  // bytes flipped anywhere, the header included
      for (int n = 1 + random() % 6; n > 0; --n)
        frame[random() % frame.size()] ^= static_cast<unsigned char>(1 + random() % 255);
      break;
    case 1:  // truncated
      frame.resize(random() % frame.size());
      break;
    case 2:  // sizes promising more (or much more) than follows
      put32(frame, random() % 2 ? kRecordLengthAt : kTextLengthAt, random() % 2 ? random() % 4096 : random());
      break;
    case 3:  // noise of any length
      frame.resize(random() % 300);
      for (unsigned char& byte : frame) byte = static_cast<unsigned char>(random());
      break;
    default:  // two frames glued with the second cut short
      frame.insert(frame.end(), frame.begin(), frame.begin() + random() % frame.size());
      break;
  }
  return frame;
}

// A frame the host may send: its type, a sound error record and text.
::testing::AssertionResult wellFormed(const RawFrame& frame) {
  if (frame.header.magic != wire::kMagic || frame.header.flags != 0)
    return ::testing::AssertionFailure() << "bad magic or flags";
  switch (frame.header.type) {
    case wire::FrameType::kHelloAck:
    case wire::FrameType::kResponse:
    case wire::FrameType::kNoResponse:
    case wire::FrameType::kHealthReply:
      return ::testing::AssertionSuccess();
    case wire::FrameType::kError:
      if (frame.error() == wire::WireError{0})
        return ::testing::AssertionFailure() << "undecodable error record";
      if (frame.textArea.empty() || frame.textArea.back() != '\0')
        return ::testing::AssertionFailure() << "error text not terminated";
      return ::testing::AssertionSuccess();
    default:
      return ::testing::AssertionFailure() << "frame type " << static_cast<int>(frame.header.type);
  }
}

// Halved under the sanitizers, where the full flood takes some 40 s on two cores.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kFloodFrames = 50000;
#else
constexpr int kFloodFrames = 100000;
#endif
constexpr int kFloodThreads = 4;
constexpr int kIntactPerConnection = 63;  // then one frame mutated in any way

}  // namespace

TEST_F(HostTest, AFloodOfMutatedAndRandomFramesIsAnsweredOrClosedAndTheHostServesOn) {
  startHost();
  const std::vector<std::vector<unsigned char>> seeds = seedFrames();
  std::atomic<int> framesSent{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kFloodThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(1234u + t);
      while (framesSent.load() < kFloodFrames && failures.load() == 0) {
        RawPeer peer(server_->port());
        if (!peer.connected()) {
          ADD_FAILURE() << "connect failed";
          ++failures;
          return;
        }
        // One connection in eight sends noise from its first byte.
        const bool noiseOnly = random() % 8 == 0;
        std::vector<unsigned char> bytes;
        int intact = 0;
        if (!noiseOnly) {
          peer.sendHello(wire::kProtocolMajor, 0);
          for (; intact < kIntactPerConnection; ++intact) {
            const auto frame = intactMutation(seeds[random() % seeds.size()], 1000 + intact, random);
            bytes.insert(bytes.end(), frame.begin(), frame.end());
          }
        }
        const auto last = anyMutation(seeds[random() % seeds.size()], random);
        bytes.insert(bytes.end(), last.begin(), last.end());
        peer.sendBytes(bytes);
        peer.shutdownWrite();
        framesSent += intact + 2;

        RawFrame frame;
        bool ok = true;
        if (!noiseOnly) {
          ok = peer.readFrame(frame) && frame.header.type == wire::FrameType::kHelloAck;
          for (int i = 0; ok && i < intact; ++i) {
            ok = peer.readFrame(frame) && wellFormed(frame) && frame.header.correlationId == 1000u + i &&
                 frame.header.type != wire::FrameType::kHelloAck &&
                 frame.header.type != wire::FrameType::kHealthReply;
            if (ok && frame.header.type == wire::FrameType::kError) {
              // Only errors that leave the stream intact.
              ok = frame.error() == wire::WireError::kMalformedRequest ||
                   frame.error() == wire::WireError::kHandlerFailed ||
                   frame.error() == wire::WireError::kDeadlineExceeded;
            }
            if (!ok)
              ADD_FAILURE() << "intact frame " << i << ": type " << static_cast<int>(frame.header.type)
                            << ", correlation id " << frame.header.correlationId << " "
                            << wellFormed(frame).message() << " " << frame.textArea;
          }
        }
        // The last frame: at most a few replies, then the host closes.
        for (int extra = 0; ok && peer.readFrame(frame); ++extra) {
          ok = wellFormed(frame) && extra < 3;
          if (!ok) ADD_FAILURE() << "after the last frame: " << wellFormed(frame).message();
        }
        if (ok && !peer.closedByHost(std::chrono::seconds(5))) {
          ADD_FAILURE() << "the host kept a broken connection open";
          ok = false;
        }
        if (!ok) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GE(framesSent.load(), kFloodFrames);
  for (int i = 0; i < 300 && server_->connections() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server_->connections(), 0u) << "every flooded connection is gone";
  auto client = connect();
  appmanVelmoraByIdReq req;
  req.velmoraId = hosttest::kVelmoraId;
  const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  EXPECT_EQ(reply.text(offsetof(appmanVelmoraRsp, velmoraName)).value_or(""), "north");
}

TEST_F(HostTest, FiveHundredIdleConnectionsAreClosedWhileOthersAreServed) {
  constexpr int kIdle = 500;
  rlimit files{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  if (files.rlim_cur < 2 * kIdle + 100) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 2 * kIdle + 100);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
  }
  if (files.rlim_cur < 2 * kIdle + 100) GTEST_SKIP() << "the file limit " << files.rlim_max << " is too low";
  HostOptions options;
  options.idleTimeout = std::chrono::milliseconds(800);
  options.maxConnections = kIdle + 10;
  startHost(options, hosttest::sampleStore());

  // Idle in every phase: silent, after the hello, inside a header, with a
  // body promised and never sent.
  wire::FrameHeader promise;
  promise.type = wire::FrameType::kRequest;
  promise.code = APPMAN_VELMORA_BY_ID_REQ;
  promise.recordLength = sizeof(appmanVelmoraByIdReq);
  std::vector<unsigned char> promised(wire::kHeaderSize);
  wire::encodeHeader(promise, promised.data());
  std::vector<std::unique_ptr<RawPeer>> idle;
  for (int i = 0; i < kIdle; ++i) {
    idle.push_back(std::make_unique<RawPeer>(server_->port()));
    ASSERT_TRUE(idle.back()->connected()) << i;
    if (i % 4 >= 1) idle.back()->sendHello();
    if (i % 4 == 2) idle.back()->sendBytes({promised.begin(), promised.begin() + 7});
    if (i % 4 == 3) idle.back()->sendBytes(promised);
  }
  // A busy client is answered all along.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  auto client = connect();
  appmanVelmoraByIdReq req;
  req.velmoraId = hosttest::kVelmoraId;
  int calls = 0;
  while (std::chrono::steady_clock::now() < until) {
    const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
    ASSERT_TRUE(reply.isResponse()) << reply.errorText;
    ++calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GT(calls, 10);
  for (int i = 0; i < kIdle; ++i) EXPECT_TRUE(idle[i]->closedByHost(std::chrono::seconds(5))) << i;
  client.reset();
  for (int i = 0; i < 300 && server_->connections() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server_->connections(), 0u) << "every idle connection is gone";
  expectServing();
}

namespace {

// A peer with tiny socket buffers that writes requests and never reads.
class SlowReader {
 public:
  explicit SlowReader(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int receive = 4096, send = 16384;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive, sizeof receive);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &send, sizeof send);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  }
  ~SlowReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }

  // Writes `frame` over and over until the host takes no byte for
  // `stall`, or `limit` bytes or `cap` time went by; the bytes taken.
  size_t pushUntilStalled(const std::vector<unsigned char>& frame, size_t limit,
                          std::chrono::milliseconds stall, std::chrono::milliseconds cap) {
    size_t pushed = 0;
    const auto end = std::chrono::steady_clock::now() + cap;
    while (pushed < limit && std::chrono::steady_clock::now() < end) {
      const size_t at = pushed % frame.size();
      const ssize_t n = ::send(fd_, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
      if (n > 0) {
        pushed += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN) break;
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, static_cast<int>(stall.count())) == 0) break;  // stalled
    }
    return pushed;
  }

 private:
  int fd_ = -1;
};

}  // namespace

// The host reads a connection's next request only once the reply before it
// is written, so a peer that never reads can make it hold one reply at
// most, whatever it sends; the connection is dropped once that reply has
// waited for the idle timeout.
TEST_F(HostTest, PeersThatNeverReadHoldOneReplyAndAreDroppedAfterTheIdleTimeout) {
  std::shared_ptr<MemoryConfigStore> store = hosttest::sampleStore();
  std::vector<std::string> paths;
  for (int i = 0; i < 3000; ++i)
    paths.push_back("/srv/a long directory name to make replies big/" + std::to_string(i));
  std::string errorText;
  ASSERT_EQ(store->updateSubclientEntries(9, kSubclientContentGroup, paths, {}, errorText), 0) << errorText;
  HostOptions options;
  options.idleTimeout = std::chrono::milliseconds(1500);
  startHost(options, store);

  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  wire::FrameHeader helloHeader;
  helloHeader.type = wire::FrameType::kHello;
  const auto helloFrame = wire::buildFrame(helloHeader, wire::encodeRecord(wire::HelloRecord()), "");
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 7, &req, sizeof req);

  constexpr int kReaders = 4;
  constexpr size_t kLimit = 64u << 20;
  std::vector<std::unique_ptr<SlowReader>> readers;
  for (int i = 0; i < kReaders; ++i) {
    readers.push_back(std::make_unique<SlowReader>(server_->port()));
    ASSERT_GE(readers.back()->fd(), 0);
    ASSERT_EQ(::send(readers.back()->fd(), helloFrame.data(), helloFrame.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(helloFrame.size()));
  }
  for (int i = 0; i < kReaders; ++i) {
    const size_t pushed = readers[i]->pushUntilStalled(request, kLimit, std::chrono::milliseconds(300),
                                                       std::chrono::seconds(4));
    // Socket buffers on both sides hold a few hundred kilobytes at most;
    // a host that read on would take everything offered.
    EXPECT_LT(pushed, 8u << 20) << "reader " << i << ": the host kept reading";
    EXPECT_GT(pushed, request.size()) << "reader " << i;
  }
  // Meanwhile others are served, the big reply included.
  auto client = connect();
  const AppMgrReply reply = client->call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  EXPECT_GT(reply.text(offsetof(appmanGeneralMsg, data)).value_or("").size(), 100000u);

  client.reset();

  // The stuck replies time out and their connections go.
  for (int i = 0; i < 500 && server_->connections() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server_->connections(), 0u) << "the peers that never read were dropped";
  expectServing();
}

// A peer that vanishes after any byte of its hello and request, with an
// orderly close or a reset, or right after the request while the reply is
// on its way.
TEST_F(HostTest, PeersVanishingAtEveryByteOfAFrameLeaveNothingBehind) {
  startHost();
  wire::FrameHeader helloHeader;
  helloHeader.type = wire::FrameType::kHello;
  std::vector<unsigned char> stream =
      wire::buildFrame(helloHeader, wire::encodeRecord(wire::HelloRecord()), "");
  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 3, &req, sizeof req);
  stream.insert(stream.end(), request.begin(), request.end());

  const uint64_t answeredBefore = server_->requestsAnswered();
  for (bool withReset : {false, true}) {
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
      RawPeer peer(server_->port());
      ASSERT_TRUE(peer.connected());
      peer.sendBytes({stream.begin(), stream.begin() + cut});
      withReset ? peer.reset() : peer.close();
    }
    // Mid-reply: many requests in one go, then gone.
    for (int round = 0; round < 20; ++round) {
      RawPeer peer(server_->port());
      std::vector<unsigned char> burst = stream;
      for (int i = 0; i < 20; ++i) burst.insert(burst.end(), request.begin(), request.end());
      peer.sendBytes(burst);
      withReset ? peer.reset() : peer.close();
    }
  }
  for (int i = 0; i < 500 && server_->connections() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server_->connections(), 0u) << "every vanished peer's connection is gone";
  EXPECT_GT(server_->requestsAnswered(), answeredBefore)
      << "complete requests were served before the peers left";
  expectServing();
}
