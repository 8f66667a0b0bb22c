// The host under broken peers, over real sockets: peers that send and never
// read, and peers that fall silent or vanish at every byte of a frame. The
// host keeps no connection it should have dropped and serves a fresh
// client throughout.
#include <chrono>
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
using hosttest::RawPeer;

namespace {

// A subclient lookup of 2:1046 and, in front of it, a hello.
appmanObjectReq subclientLookup() {
  appmanObjectReq req;
  req.objectId = 9;
  req.appIdText = "2:1046";
  return req;
}
const std::vector<unsigned char> kHello =
    hosttest::frame(wire::FrameType::kHello, 0, 0, wire::encodeRecord(wire::HelloRecord()), "");

// Writes the hello, then `frame` over and over on a socket with tiny
// buffers, never reading, until the host takes no byte for 300 ms (or
// 64 MiB or 4 s went by); the bytes taken. The socket is left open in `fd`.
size_t pushUntilStalled(uint16_t port, const std::vector<unsigned char>& frame, int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int receive = 4096, send = 16384;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive, sizeof receive);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &send, sizeof send);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  size_t pushed = 0;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::send(fd, kHello.data(), kHello.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(kHello.size()))
    return 0;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  while (pushed < (64u << 20) && std::chrono::steady_clock::now() < end) {
    const size_t at = pushed % frame.size();
    const ssize_t n = ::send(fd, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
    if (n > 0) {
      pushed += static_cast<size_t>(n);
      continue;
    }
    pollfd p{fd, POLLOUT, 0};
    if ((n < 0 && errno != EAGAIN) || ::poll(&p, 1, 300) == 0) break;  // stalled
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
  const appmanObjectReq req = subclientLookup();
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 7, &req, sizeof req);
  int fds[2];  // open and unread until the end
  for (int& fd : fds) {
    const size_t pushed = pushUntilStalled(server_->port(), request, fd);
    // Socket buffers on both sides hold a few hundred kilobytes at most;
    // a host that read on would take everything offered.
    EXPECT_LT(pushed, 8u << 20) << "the host kept reading";
    EXPECT_GT(pushed, request.size());
  }
  // Meanwhile others are served, the big reply included.
  const AppMgrReply reply = connect()->call(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse()) << reply.errorText;
  EXPECT_GT(reply.text(offsetof(appmanGeneralMsg, data)).value_or("").size(), 100000u);
  EXPECT_EQ(awaitConnections(0), 0u) << "the peers that never read were dropped";
  expectServing();
  for (int fd : fds) ::close(fd);
}

// Peers that fall silent after any byte of their hello and request, or
// vanish there with an orderly close or a reset, or right after many
// requests while the replies are on their way. The silent ones are closed
// after the idle timeout, a busy client is served all along, and no
// connection is left behind.
TEST_F(HostTest, PeersFallingSilentOrVanishingAtEveryByteOfAFrameLeaveNothingBehind) {
  HostOptions options;
  options.idleTimeout = std::chrono::milliseconds(800);
  startHost(options);
  const appmanObjectReq req = subclientLookup();
  const auto request = hosttest::requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, 3, &req, sizeof req);
  std::vector<unsigned char> stream = kHello;
  stream.insert(stream.end(), request.begin(), request.end());
  std::vector<unsigned char> burst = stream;
  for (int i = 0; i < 20; ++i) burst.insert(burst.end(), request.begin(), request.end());
  const uint64_t answeredBefore = server_->requestsAnswered();
  std::vector<std::unique_ptr<RawPeer>> silent;
  for (size_t cut = 0; cut <= stream.size() + 1; ++cut) {
    const bool whole = cut > stream.size();
    for (int how = 0; how < 3; ++how) {  // silent, reset, closed
      auto peer = std::make_unique<RawPeer>(server_->port());
      ASSERT_TRUE(peer->connected());
      peer->sendBytes(whole ? burst : std::vector<unsigned char>(stream.begin(), stream.begin() + cut));
      if (how == 0 && !whole) silent.push_back(std::move(peer));
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
  EXPECT_GT(server_->requestsAnswered(), answeredBefore + calls) << "whole requests were served";
  expectServing();
}

}  // namespace
