// Outcomes, object ids, peers and the access log's lines.
#include "host/AccessLog.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"

#include "host/AppMgrNames.h"

namespace appmgr {

namespace {

// Offset of the error code in the record sent under a response code.
size_t errorOffset(unsigned long responseCode) {
  switch (responseCode) {
    case APPMAN_VELMORA_BY_ID_RSP:
    case APPMAN_VELMORA_BY_NAME_RSP:
      return offsetof(appmanVelmoraRsp, errorCode);
    case APPMAN_GLOBAL_PARAM_RSP:
      return offsetof(appmanGlobalParamRsp, errorCode);
    case APPMAN_CLIENT_BY_ID_RSP:
    case APPMAN_CLIENT_BY_NAME_RSP:
    case APPMAN_CLIENT_BY_HOSTNAME_RSP:
      return offsetof(appmanClientRsp, errorCode);
    case APPMAN_APPID_RSP:
      return offsetof(appmanAppIdRsp, errorCode);
    default:
      return offsetof(appmanGeneralMsg, errorCode);
  }
}

template <typename Field>
bool readField(const void* record, size_t length, size_t offset, uint64_t& out) {
  if (offset + sizeof(Field) > length) return false;
  Field value;
  std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
  out = value;
  return true;
}

int64_t micros(std::chrono::nanoseconds took) {
  return std::chrono::duration_cast<std::chrono::microseconds>(took).count();
}

std::string certificateSubject(SSL* tls) {
  if (tls == nullptr) return std::string();
  std::unique_ptr<X509, decltype(&X509_free)> certificate(SSL_get1_peer_certificate(tls), X509_free);
  if (!certificate) return std::string();
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
  if (!out ||
      X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate.get()), 0, XN_FLAG_RFC2253) < 0) {
    return std::string();
  }
  char* text = nullptr;
  const long length = BIO_get_mem_data(out.get(), &text);
  return std::string(text, static_cast<size_t>(length));
}
}  // namespace

std::string errorLabel(wire::WireError error) {
  std::string name = wire::wireErrorName(error);
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

ReplyOutcome outcomeOf(const std::vector<unsigned char>& frame) {
  ReplyOutcome outcome;
  if (frame.size() < wire::kHeaderSize) return outcome;
  const wire::FrameHeader header = wire::decodeHeader(frame.data());
  const unsigned char* record = frame.data() + wire::kHeaderSize;
  const size_t length = std::min<size_t>(header.recordLength, frame.size() - wire::kHeaderSize);
  switch (header.type) {
    case wire::FrameType::kNoResponse:
      outcome.kind = ReplyOutcome::Kind::kNoResponse;
      break;
    case wire::FrameType::kError: {
      outcome.kind = ReplyOutcome::Kind::kErrorFrame;
      wire::ErrorRecord error;
      if (wire::decodeRecord(record, length, error)) outcome.frameError = error.error;
      break;
    }
    default: {
      uint64_t code = 0;
      if (readField<uint32_t>(record, length, errorOffset(static_cast<unsigned long>(header.code)), code)) {
        outcome.errorCode = static_cast<uint32_t>(code);
      }
      break;
    }
  }
  return outcome;
}

bool requestObjectId(unsigned long code, const void* record, size_t length, uint64_t& id) {
  switch (code) {
    case APPMAN_VELMORA_BY_ID_REQ:
      return readField<uint32_t>(record, length, offsetof(appmanVelmoraByIdReq, velmoraId), id);
    case APPMAN_CLIENT_BY_ID_REQ:
      return readField<uint32_t>(record, length, offsetof(appmanClientByIdReq, clientId), id);
    case APPMAN_CLIENT_GET_PROPS_REQ:
      return readField<uint32_t>(record, length, offsetof(appmanClientGetPropsReq, clientId), id);
    case APPMAN_CLIENT_SET_PROPS_REQ:
      return readField<uint32_t>(record, length, offsetof(appmanClientSetPropsReq, clientId), id);
    case APPMAN_INSTANCE_BY_ID_REQ:
    case APPMAN_BACKUPSET_BY_ID_REQ:
    case APPMAN_SUBCLIENT_BY_ID_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILES_REQ:
    case APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ:
    case APPMAN_SUBCLIENT_UPDATE_PROPS_REQ:
      return readField<uint64_t>(record, length, offsetof(appmanObjectReq, objectId), id);
    default:
      return false;
  }
}

std::string describePeer(HostStream::Socket& socket, SSL* tls) {
  std::string peer = "unknown";
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  const int fd = socket.native_handle();
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
      ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
      peer = std::string(text) + ":" + std::to_string(ntohs(in->sin_port));
    } else if (address.ss_family == AF_INET6) {
      const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
      ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
      peer = "[" + std::string(text) + "]:" + std::to_string(ntohs(in->sin6_port));
    } else if (address.ss_family == AF_UNIX) {
      ucred credentials{};
      socklen_t credentialsSize = sizeof credentials;
      peer = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &credentialsSize) == 0
                 ? "unix:uid=" + std::to_string(credentials.uid) + ",pid=" + std::to_string(credentials.pid)
                 : "unix";
    }
  }
  const std::string subject = certificateSubject(tls);
  if (!subject.empty()) peer += " subject=\"" + subject + "\"";
  return peer;
}

void writeAccessLine(LogSink& sink, const AccessRecord& access) {
  const ReplyOutcome& outcome = access.outcome;
  char result[96];
  switch (outcome.kind) {
    case ReplyOutcome::Kind::kResponse:
      if (outcome.errorCode == 0) {
        std::snprintf(result, sizeof result, "OK");
      } else {
        std::snprintf(result, sizeof result, "%s/%#x", errorCodeName(outcome.errorCode), outcome.errorCode);
      }
      break;
    case ReplyOutcome::Kind::kNoResponse:
      std::snprintf(result, sizeof result, "no_response");
      break;
    case ReplyOutcome::Kind::kErrorFrame: {
      std::snprintf(result, sizeof result, "error_frame:%s", errorLabel(outcome.frameError).c_str());
      break;
    }
  }
  const char* name = requestCodeName(static_cast<unsigned long>(access.code));
  char object[32] = "";
  if (access.hasObject)
    std::snprintf(object, sizeof object, " object=%llu", static_cast<unsigned long long>(access.objectId));
  char text[512];
  std::snprintf(
      text, sizeof text, "%s peer=%s id=%llu request=%#llx %s%s result=%s library_us=%lld total_us=%lld",
      outcome.kind == ReplyOutcome::Kind::kErrorFrame ? "ERROR" : "INFO",
      access.peer != nullptr ? access.peer->c_str() : "unknown",
      static_cast<unsigned long long>(access.correlationId), static_cast<unsigned long long>(access.code),
      name != nullptr ? name : "UNKNOWN_REQUEST", object, result,
      static_cast<long long>(micros(access.library)), static_cast<long long>(micros(access.total)));
  LogRecord line;
  line.timeMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
  line.pid = ::getpid();
  line.tid = ::gettid();
  line.tag = "access";
  line.text = text;
  sink.write(line);
}

}  // namespace appmgr
