// The host under hostile or broken peers, over real sockets: a flood of
// mutated and random frames, peers that send and never read, and peers that
// fall silent or vanish at every byte of a frame. The host
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
  appmanVelmoraByIdReq byId;
  byId.velmoraId = hosttest::kVelmoraId;
  appmanVelmoraByNameReq byName;
  byName.velmoraName = "north";
  appmanGlobalParamReq param;
  param.paramName = "sAuditPath";
  appmanObjectReq subclient;
  subclient.objectId = 9;
  subclient.appIdText = "2:1046";
  appmanObjectReq update = subclient;
  update.firstList = "1 /srv/new path";
  update.secondList = "1 /home";
  return {hosttest::requestFrame(APPMAN_VELMORA_BY_ID_REQ, 1, &byId, sizeof byId),
          hosttest::requestFrame(APPMAN_VELMORA_BY_NAME_REQ, 1, &byName, sizeof byName),
          hosttest::requestFrame(APPMAN_GLOBAL_PARAM_REQ, 1, &param, sizeof param),
          hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 1, &subclient, sizeof subclient),
          hosttest::requestFrame(APPMAN_SUBCLIENT_UPDATE_FILES_REQ, 1, &update, sizeof update)};
}

void put(std::vector<unsigned char>& frame, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) frame[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// Header offsets of the fields the mutations change.
constexpr size_t kCodeAt = 8, kCorrelationAt = 16, kRecordLengthAt = 24, kTextLengthAt = 28;

// A mutation that keeps the frame's place in the stream (its total size):
// the host must answer it with one frame under `correlationId`.
std::vector<unsigned char> intactMutation(std::vector<unsigned char> frame, uint64_t correlationId,
                                          std::mt19937& random) {
  put(frame, kCorrelationAt, correlationId, 8);
  const size_t body = frame.size() - wire::kHeaderSize;
  const wire::FrameHeader header = wire::decodeHeader(frame.data());
  switch (random() % 5) {
    case 0:  // a few bytes of the body flipped
      for (int n = 1 + random() % 4; n > 0; --n)
        frame[wire::kHeaderSize + random() % body] ^= static_cast<unsigned char>(1 + random() % 255);
      break;
    case 1:  // another request code, near the real ones or anywhere
      put(frame, kCodeAt, random() % 2 ? (header.code & ~0xffffull) | (random() & 0xffff) : random(), 8);
      break;
    case 2: {  // the boundary between record and text area moved
      const uint32_t record = static_cast<uint32_t>(random() % (body + 1));
      put(frame, kRecordLengthAt, record, 4);
      put(frame, kTextLengthAt, body - record, 4);
      break;
    }
    case 3:  // a text field pointing anywhere
      if (header.recordLength >= 32)
        put(frame, wire::kHeaderSize + 24, random() % 2 ? random() % 64 : random(), 8);
      break;
    default:  // the text area replaced by noise
      for (size_t i = wire::kHeaderSize + header.recordLength; i < frame.size(); ++i)
        frame[i] = static_cast<unsigned char>(random() % 4 == 0 ? 0 : random());
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
      put(frame, random() % 2 ? kRecordLengthAt : kTextLengthAt, random() % 2 ? random() % 4096 : random(),
          4);
      break;
    case 3:  // noise of any length
      frame.resize(random() % 300);
      for (unsigned char& byte : frame) byte = static_cast<unsigned char>(random());
      break;
    default:  // two frames glued with the second cut short
      frame.insert(frame.end(), frame.begin(), frame.begin() + random() % frame.size());
  }
  return frame;
}

// A frame the host may send: its type, a sound error record and text.
::testing::AssertionResult wellFormed(const RawFrame& frame) {
  if (frame.header.magic != wire::kMagic || frame.header.flags != 0)
    return ::testing::AssertionFailure() << "bad magic or flags";
  const wire::FrameType type = frame.header.type;
  if (type == wire::FrameType::kError) {
    if (frame.error() == wire::WireError{0})
      return ::testing::AssertionFailure() << "undecodable error record";
    if (frame.textArea.empty() || frame.textArea.back() != '\0')
      return ::testing::AssertionFailure() << "error text not terminated";
  } else if (type != wire::FrameType::kResponse && type != wire::FrameType::kNoResponse) {
    return ::testing::AssertionFailure() << "frame type " << static_cast<int>(type);
  }
  return ::testing::AssertionSuccess();
}

// Halved under the sanitizers, where the full flood takes some 40 s on two cores.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kFloodFrames = 50000;
#else
constexpr int kFloodFrames = 100000;
#endif
constexpr int kIntactPerConnection = 63;  // then one frame mutated in any way

TEST_F(HostTest, AFloodOfMutatedAndRandomFramesIsAnsweredOrClosedAndTheHostServesOn) {
  startHost();
  const std::vector<std::vector<unsigned char>> seeds = seedFrames();
  std::atomic<int> framesSent{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(1234u + t);
      while (framesSent.load() < kFloodFrames && failures.load() == 0) {
        RawPeer peer(server_->port());
        ASSERT_TRUE(peer.connected());
        const bool noiseOnly = random() % 8 == 0;  // noise from the first byte
        const int intact = noiseOnly ? 0 : kIntactPerConnection;
        std::vector<unsigned char> bytes;
        if (!noiseOnly) peer.sendHello(wire::kProtocolMajor, 0);
        for (int i = 0; i < intact; ++i) {
          const auto frame = intactMutation(seeds[random() % seeds.size()], 1000 + i, random);
          bytes.insert(bytes.end(), frame.begin(), frame.end());
        }
        const auto last = anyMutation(seeds[random() % seeds.size()], random);
        bytes.insert(bytes.end(), last.begin(), last.end());
        peer.sendBytes(bytes);
        peer.shutdownWrite();
        framesSent += intact + 2;

        RawFrame frame;
        bool ok = noiseOnly || (peer.readFrame(frame) && frame.header.type == wire::FrameType::kHelloAck);
        for (int i = 0; ok && i < intact; ++i) {
          // One reply each, in order; only errors that leave the stream intact.
          ok = peer.readFrame(frame) && wellFormed(frame) && frame.header.correlationId == 1000u + i &&
               (frame.header.type != wire::FrameType::kError ||
                frame.error() == wire::WireError::kMalformedRequest ||
                frame.error() == wire::WireError::kHandlerFailed ||
                frame.error() == wire::WireError::kDeadlineExceeded);
          if (!ok)
            ADD_FAILURE() << "intact frame " << i << ": type " << static_cast<int>(frame.header.type)
                          << ", correlation id " << frame.header.correlationId << " " << frame.textArea;
        }
        // The last frame: at most a few replies, then the host closes.
        for (int extra = 0; ok && peer.readFrame(frame); ++extra) {
          ok = wellFormed(frame) && extra < 3;
          if (!ok) ADD_FAILURE() << "after the last frame: " << wellFormed(frame).message();
        }
        if (ok && !peer.closedByHost()) {
          ADD_FAILURE() << "the host kept a broken connection open";
          ok = false;
        }
        if (!ok) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(awaitConnections(0), 0u) << "every flooded connection is gone";
  auto client = connect();
  appmanVelmoraByIdReq req;
  req.velmoraId = hosttest::kVelmoraId;
  const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  EXPECT_EQ(reply.text(offsetof(appmanVelmoraRsp, velmoraName)).value_or(""), "north");
}

// Writes `frame` over and over on a socket with tiny buffers, never reading,
// until the host takes no byte for 300 ms (or 64 MiB or 4 s went by); the
// bytes taken. The socket is left open in `fd`.
size_t pushUntilStalled(uint16_t port, const std::vector<unsigned char>& hello,
                        const std::vector<unsigned char>& frame, int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int receive = 4096, send = 16384;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive, sizeof receive);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send, sizeof send);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  size_t pushed = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(hello.size())) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (pushed < (64u << 20) && std::chrono::steady_clock::now() < end) {
      const size_t at = pushed % frame.size();
      const ssize_t n = ::send(fd, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
      if (n > 0) pushed += static_cast<size_t>(n);
      if (n > 0) continue;
      pollfd p{fd, POLLOUT, 0};
      if ((n < 0 && errno != EAGAIN) || ::poll(&p, 1, 300) == 0) break;  // stalled
    }
  }
  return pushed;
}

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
  const auto hello =
      hosttest::frame(wire::FrameType::kHello, 0, 0, wire::encodeRecord(wire::HelloRecord()), "");
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 7, &req, sizeof req);
  int fds[4];  // open and unread until the end
  for (int i = 0; i < 4; ++i) {
    const size_t pushed = pushUntilStalled(server_->port(), hello, request, fds[i]);
    // Socket buffers on both sides hold a few hundred kilobytes at most;
    // a host that read on would take everything offered.
    EXPECT_LT(pushed, 8u << 20) << "reader " << i << ": the host kept reading";
    EXPECT_GT(pushed, request.size()) << "reader " << i;
  }
  // Meanwhile others are served, the big reply included.
  const AppMgrReply reply = connect()->call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  EXPECT_GT(reply.text(offsetof(appmanGeneralMsg, data)).value_or("").size(), 100000u);
  EXPECT_EQ(awaitConnections(0), 0u) << "the peers that never read were dropped";
  expectServing();
  for (int fd : fds) ::close(fd);
}

// Peers that fall silent after any byte of their hello and request (in a
// header, with a body promised and never sent, after a whole request), and
// peers that vanish there with an orderly close or a reset, or right after
// many requests while the replies are on their way. The silent ones are
// closed after the idle timeout, a busy client is served all along, and no
// connection is left behind.
TEST_F(HostTest, PeersFallingSilentOrVanishingAtEveryByteOfAFrameLeaveNothingBehind) {
  HostOptions options;
  options.idleTimeout = std::chrono::milliseconds(800);
  startHost(options);
  std::vector<unsigned char> stream =
      hosttest::frame(wire::FrameType::kHello, 0, 0, wire::encodeRecord(wire::HelloRecord()), "");
  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 3, &req, sizeof req);
  stream.insert(stream.end(), request.begin(), request.end());
  std::vector<unsigned char> burst = stream;
  for (int i = 0; i < 20; ++i) burst.insert(burst.end(), request.begin(), request.end());
  const uint64_t answeredBefore = server_->requestsAnswered();
  std::vector<std::unique_ptr<RawPeer>> silent;
  for (size_t cut = 0; cut <= stream.size() + 20; ++cut) {
    const std::vector<unsigned char> bytes =
        cut <= stream.size() ? std::vector<unsigned char>(stream.begin(), stream.begin() + cut) : burst;
    for (int how = 0; how < 3; ++how) {
      auto peer = std::make_unique<RawPeer>(server_->port());
      ASSERT_TRUE(peer->connected());
      peer->sendBytes(bytes);
      if (how == 0 && cut <= stream.size()) silent.push_back(std::move(peer));
      if (how == 1) peer->reset();
    }
  }
  // A busy client is answered all along.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  auto client = connect();
  int calls = 0;
  for (; std::chrono::steady_clock::now() < until; ++calls) {
    ASSERT_TRUE(client->call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req).isResponse());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GT(calls, 10);
  for (size_t i = 0; i < silent.size(); ++i) EXPECT_TRUE(silent[i]->closedByHost()) << "silent after " << i;
  client.reset();
  EXPECT_EQ(awaitConnections(0), 0u) << "every silent or vanished peer's connection is gone";
  EXPECT_GT(server_->requestsAnswered(), answeredBefore + calls)
      << "complete requests were served before the peers left";
  expectServing();
}

}  // namespace
