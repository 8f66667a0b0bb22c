// Host test support.
#include "HostTestSupport.h"

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hosttest {

using namespace appmgr;

std::shared_ptr<MemoryConfigStore> sampleStore() {
  auto store = std::make_shared<MemoryConfigStore>();
  VelmoraRow velmora;
  velmora.id = kVelmoraId;
  velmora.name = "north";
  velmora.releaseId = 11;
  velmora.flags = 0x4;
  velmora.timeZoneId = 36;
  velmora.hostName = "north.example.net";
  velmora.utcOffsetMinutes = 60;
  store->addVelmora(velmora);
  store->addGlobalParam("sAuditPath", "/var/log/velmora audit");

  ClientRow client;
  client.velmoraId = kVelmoraId;
  client.osName = "Linux";
  client.versionText = "11.0.0 SP22 HPK5";
  client.id = 5;
  client.name = "build01";
  client.hostName = "build01.example.net";
  store->addClient(client);
  client.id = 10;
  client.name = "oradb";
  client.hostName = "oradb.example.net";
  store->addClient(client);

  struct App {
    uint64_t appId, clientId, appTypeId, instanceId, backupSetId, subclientId;
    const char *instance, *backupSet, *subclient;
  };
  const App apps[] = {{1045, 5, 7, 6, 7, 8, "DefaultInstance", "defaultBackupSet", "default"},
                      {1046, 5, 7, 6, 7, 9, "DefaultInstance", "defaultBackupSet", "home dirs"},
                      {1047, 10, 22, 11, 12, 13, "OracleProd", "archive+logs", "nightly"}};
  for (const App& a : apps) {
    ApplicationRow app;
    app.appId = a.appId;
    app.velmoraId = kVelmoraId;
    app.clientId = a.clientId;
    app.appTypeId = a.appTypeId;
    app.instanceId = a.instanceId;
    app.backupSetId = a.backupSetId;
    app.subclientId = a.subclientId;
    app.instanceName = a.instance;
    app.backupSetName = a.backupSet;
    app.subclientName = a.subclient;
    store->addApplication(app);
    InstanceRow instance;
    instance.id = a.instanceId;
    instance.name = a.instance;
    instance.clientId = a.clientId;
    instance.appTypeId = a.appTypeId;
    instance.velmoraId = kVelmoraId;
    store->addInstance(instance);
    BackupSetRow backupSet;
    backupSet.id = a.backupSetId;
    backupSet.name = a.backupSet;
    backupSet.instanceId = a.instanceId;
    backupSet.clientId = a.clientId;
    backupSet.appTypeId = a.appTypeId;
    store->addBackupSet(backupSet);
    SubclientRow subclient;
    subclient.id = a.subclientId;
    subclient.name = a.subclient;
    subclient.backupSetId = a.backupSetId;
    subclient.instanceId = a.instanceId;
    subclient.clientId = a.clientId;
    store->addSubclient(subclient);
  }
  store->addInstanceContent(6, {1, "/data/project files"});
  std::string errorText;
  store->setProperties(PropertyOwner::kClient, 5, {{"Client Description", 1, "build server"}}, errorText);
  store->setProperties(PropertyOwner::kInstance, 6, {{"Scan Type", 2, "3"}}, errorText);
  store->setProperties(PropertyOwner::kBackupSet, 7, {{"Description", 1, "all local disks"}}, errorText);
  store->setProperties(PropertyOwner::kSubclient, 9, {{"Description", 1, "home dirs + profiles"}}, errorText);
  store->updateSubclientEntries(9, kSubclientContentGroup, {"/home", "/srv/shared profiles"}, {}, errorText);
  store->updateSubclientEntries(9, kFirstFilterGroup, {"/home/*/.cache"}, {}, errorText);
  return store;
}

wire::WireError RawFrame::error() const {
  wire::ErrorRecord record;
  if (!wire::decodeRecord(this->record.data(), this->record.size(), record)) return wire::WireError{0};
  return record.error;
}

RawPeer::RawPeer(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close();
  if (fd_ >= 0) {
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
}

RawPeer::~RawPeer() { close(); }

void RawPeer::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void RawPeer::shutdownWrite() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void RawPeer::reset() {
  if (fd_ < 0) return;
  const linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close();
}

void RawPeer::sendBytes(const std::vector<unsigned char>& bytes) {
  size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;  // the host closed; the test reads the outcome
    done += static_cast<size_t>(n);
  }
}

void RawPeer::sendHello(uint16_t major, uint64_t correlationId) {
  wire::HelloRecord hello;
  hello.major = major;
  hello.peerProtocolVersion = 7;
  wire::FrameHeader header;
  header.type = wire::FrameType::kHello;
  header.correlationId = correlationId;
  sendBytes(wire::buildFrame(header, wire::encodeRecord(hello), std::string()));
}

bool RawPeer::readExactly(void* out, size_t length, std::chrono::milliseconds timeout) {
  auto* bytes = static_cast<unsigned char*>(out);
  const auto until = std::chrono::steady_clock::now() + timeout;
  size_t done = 0;
  while (done < length) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (fd_ < 0 || left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t n = ::recv(fd_, bytes + done, length - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool RawPeer::readFrame(RawFrame& out, std::chrono::milliseconds timeout) {
  unsigned char header[wire::kHeaderSize];
  if (!readExactly(header, sizeof header, timeout)) return false;
  out.header = wire::decodeHeader(header);
  out.record.assign(out.header.recordLength, 0);
  out.textArea.assign(out.header.textLength, '\0');
  return readExactly(out.record.data(), out.record.size(), timeout) &&
         readExactly(out.textArea.data(), out.textArea.size(), timeout);
}

bool RawPeer::closedByHost(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  char sink[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (fd_ < 0) return true;
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    const ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0) return false;
  }
}

std::vector<unsigned char> requestFrame(unsigned long code, uint64_t correlationId, const void* record,
                                        size_t length) {
  const wire::FlatRecord flat =
      wire::flattenRecord(record, length, appmanRequestTextFields(code), std::string());
  wire::FrameHeader header;
  header.type = wire::FrameType::kRequest;
  header.code = code;
  header.correlationId = correlationId;
  return wire::buildFrame(header, flat.record, flat.textArea);
}

}  // namespace hosttest
