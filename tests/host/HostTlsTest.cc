// The host over TLS: with mutual TLS it answers as it does over plain TCP;
// it refuses clients without a trusted certificate and protocols older than
// TLS 1.2, and clients refuse a host they do not trust; the connection
// limit, frame limit, idle timeout and stop work as on plain connections,
// and a handshake that never finishes is closed too. The host refuses to
// start with incomplete TLS settings or on a non-loopback address without TLS.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

#include "HostFixture.h"
#include "fakes/TestCertificates.h"

using namespace appmgr;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

class HostTlsTest : public HostTest {
 protected:
  static void SetUpTestSuite() { certificates_ = new TestCertificates(); }
  static void TearDownTestSuite() {
    delete certificates_;
    certificates_ = nullptr;
  }

  // Mutual TLS with the test authority.
  static HostOptions tlsOptions() {
    HostOptions options;
    options.tls.certificateFile = certificates_->hostCert;
    options.tls.keyFile = certificates_->hostKey;
    options.tls.caFile = certificates_->caFile;
    options.tls.requireClientCertificate = true;
    return options;
  }
  // A client that trusts the test authority and shows the client certificate.
  static AppMgrClientOptions trustedClient() {
    AppMgrClientOptions options;
    options.tls.enabled = true;
    options.tls.caFile = certificates_->caFile;
    options.tls.certificateFile = certificates_->clientCert;
    options.tls.keyFile = certificates_->clientKey;
    return options;
  }
  std::unique_ptr<AppMgrClient> connectTls(const AppMgrClientOptions& options = trustedClient()) {
    return AppMgrClient::connect(server_->listenAddress(), options);
  }
  // The error text of a connection attempt that must fail.
  std::string refusal(const AppMgrClientOptions& options) {
    try {
      connectTls(options)->health();
    } catch (const AppMgrClientError& e) {
      return e.what();
    }
    return "connected";
  }

  static TestCertificates* certificates_;
};

TestCertificates* HostTlsTest::certificates_ = nullptr;

appmanVelmoraByIdReq velmoraRequest() {
  appmanVelmoraByIdReq req;
  req.velmoraId = static_cast<uint32_t>(hosttest::kVelmoraId);
  return req;
}

TEST_F(HostTlsTest, MutualTlsServesRequestsAndHealth) {
  startHost(tlsOptions(), hosttest::sampleStore());
  auto client = connectTls();
  const appmanVelmoraByIdReq req = velmoraRequest();
  const AppMgrReply reply = client->call(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req);
  ASSERT_TRUE(reply.isResponse());
  EXPECT_EQ(reply.text(offsetof(appmanVelmoraRsp, velmoraName)), "north");
  EXPECT_EQ(client->health().state, wire::HealthRecord::kServing);
  // The name checked may also be given instead of taken from the address.
  AppMgrClientOptions byName = trustedClient();
  byName.tls.serverName = "localhost";
  EXPECT_EQ(connectTls(byName)->health().state, wire::HealthRecord::kServing);
}

TEST_F(HostTlsTest, RefusesUntrustedPeersAndKeepsServingTrustedOnes) {
  struct Case {
    const char* what;
    AppMgrClientOptions options;
    const char* expected;  // in the client's error text
  };
  AppMgrClientOptions noCertificate = trustedClient();
  noCertificate.tls.certificateFile.clear();
  noCertificate.tls.keyFile.clear();
  AppMgrClientOptions foreignCertificate = trustedClient();
  foreignCertificate.tls.certificateFile = certificates_->otherClientCert;
  foreignCertificate.tls.keyFile = certificates_->otherClientKey;
  AppMgrClientOptions distrustsHost = trustedClient();
  distrustsHost.tls.caFile = certificates_->otherCaFile;
  AppMgrClientOptions wrongName = trustedClient();
  wrongName.tls.serverName = "appmgr.example.net";
  AppMgrClientOptions plain;
  const Case cases[] = {
      {"no client certificate", noCertificate, "certificate required"},
      {"client certificate of another authority", foreignCertificate, "unknown ca"},
      {"host certificate of an untrusted authority", distrustsHost, "certificate verify failed"},
      {"host certificate for another name", wrongName, "certificate verify failed"},
      {"plain TCP to a TLS host", plain, "closed the connection"},
  };
  startHost(tlsOptions(), hosttest::sampleStore());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THAT(refusal(c.options), HasSubstr(c.expected));
  }
  EXPECT_EQ(connectTls()->health().state, wire::HealthRecord::kServing);
  for (int i = 0; i < 100 && server_->connections() > 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server_->connections(), 0u) << "every refused connection is closed";
}

TEST_F(HostTlsTest, ClientCertificatesAreOptionalUnlessRequired) {
  HostOptions options = tlsOptions();
  options.tls.requireClientCertificate = false;
  startHost(options, hosttest::sampleStore());
  AppMgrClientOptions anonymous = trustedClient();
  anonymous.tls.certificateFile.clear();
  anonymous.tls.keyFile.clear();
  EXPECT_EQ(connectTls(anonymous)->health().state, wire::HealthRecord::kServing);
  // A certificate that is shown must still verify.
  AppMgrClientOptions foreign = trustedClient();
  foreign.tls.certificateFile = certificates_->otherClientCert;
  foreign.tls.keyFile = certificates_->otherClientKey;
  EXPECT_THAT(refusal(foreign), HasSubstr("unknown ca"));
}

TEST_F(HostTlsTest, RefusesClientsLimitedToTls11) {
  startHost(tlsOptions(), hosttest::sampleStore());
  asio::ssl::context context(asio::ssl::context::tls_client);
  SSL_CTX_set_min_proto_version(context.native_handle(), TLS1_VERSION);
  SSL_CTX_set_max_proto_version(context.native_handle(), TLS1_1_VERSION);
  SSL_CTX_set_cipher_list(context.native_handle(), "DEFAULT@SECLEVEL=0");  // lets the client offer 1.1
  context.use_certificate_chain_file(certificates_->clientCert);
  context.use_private_key_file(certificates_->clientKey, asio::ssl::context::pem);
  asio::io_context io;
  asio::ssl::stream<asio::ip::tcp::socket> stream(io, context);
  stream.lowest_layer().connect({asio::ip::make_address("127.0.0.1"), server_->port()});
  asio::error_code ec;
  stream.handshake(asio::ssl::stream_base::client, ec);
  // The alert comes from the host: the client did offer TLS 1.1.
  EXPECT_THAT(ec.message(), HasSubstr("alert protocol version"));
  EXPECT_EQ(connectTls()->health().state, wire::HealthRecord::kServing);
}

TEST_F(HostTlsTest, LimitsAndTimeoutsHoldOverTls) {
  HostOptions options = tlsOptions();
  options.maxConnections = 1;
  options.maxFrameSize = 4096;
  // Generous enough that a loaded sanitizer build finishes a real handshake
  // and a refusal in time, short enough to watch both timeouts fire.
  options.idleTimeout = 1500ms;
  options.tls.handshakeTimeout = 1s;
  startHost(options, hosttest::sampleStore());

  // A handshake that never starts, and one refused for want of room, are closed.
  hosttest::RawPeer silent(server_->port());
  EXPECT_TRUE(silent.closedByHost(5s));
  for (int i = 0; i < 100 && server_->connections() > 0; ++i) std::this_thread::sleep_for(10ms);
  auto first = connectTls();
  EXPECT_THAT(refusal(trustedClient()), HasSubstr("at most 1 connections"));

  // An oversize request gets its error frame; then the host closes.
  appmanVelmoraByNameReq big;
  const std::string name(5000, 'n');
  big.velmoraName = name.c_str();
  const AppMgrReply reply = first->call(APPMAN_VELMORA_BY_NAME_REQ, &big, sizeof big);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kOversizeFrame);
  EXPECT_THROW(first->health(), AppMgrClientError);
  first.reset();

  // A silent TLS connection is closed after the idle timeout.
  for (int i = 0; i < 100 && server_->connections() > 0; ++i) std::this_thread::sleep_for(10ms);
  auto idle = connectTls();
  std::this_thread::sleep_for(3s);
  EXPECT_THROW(idle->health(), AppMgrClientError);
  EXPECT_EQ(connectTls()->health().state, wire::HealthRecord::kServing);
}

TEST_F(HostTlsTest, StopClosesConnectionsInTheirHandshakeAtOnce) {
  HostOptions options = tlsOptions();
  options.tls.handshakeTimeout = std::chrono::minutes(1);
  startHost(options, hosttest::sampleStore());
  hosttest::RawPeer silent(server_->port());
  auto client = connectTls();
  for (int i = 0; i < 100 && server_->connections() < 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server_->connections(), 2u);
  const auto before = std::chrono::steady_clock::now();
  server_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  EXPECT_TRUE(silent.closedByHost(1s));
}

TEST_F(HostTlsTest, RefusesToStartWithoutTlsOffLoopbackOrWithBrokenSettings) {
  struct Case {
    const char* what;
    HostOptions options;
    const char* expected;  // in the start error
  };
  std::vector<Case> cases;
  HostOptions everywhere;
  everywhere.listenHost = "0.0.0.0";
  cases.push_back({"all addresses in the clear", everywhere, "--tls-cert"});
  HostOptions v6 = everywhere;
  v6.listenHost = "::";
  cases.push_back({"all IPv6 addresses in the clear", v6, "without TLS"});
  HostOptions noKey = tlsOptions();
  noKey.tls.keyFile.clear();
  cases.push_back({"certificate without key", noKey, "--tls-key"});
  HostOptions noCa = tlsOptions();
  noCa.tls.caFile.clear();
  cases.push_back({"client certificates without authorities", noCa, "--tls-ca"});
  HostOptions keyOnly;
  keyOnly.tls.keyFile = certificates_->hostKey;
  cases.push_back({"key without certificate", keyOnly, "--tls-cert"});
  HostOptions missing = tlsOptions();
  missing.tls.certificateFile = certificates_->hostCert + ".missing";
  cases.push_back({"missing certificate file", missing, ".missing"});
  HostOptions mismatch = tlsOptions();
  mismatch.tls.keyFile = certificates_->clientKey;
  cases.push_back({"key of another certificate", mismatch, "does not belong"});
  HostOptions badCa = tlsOptions();
  badCa.tls.caFile = certificates_->hostKey;
  cases.push_back({"authorities file without certificates", badCa, "certificate authorities"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostServer server(c.options, hosttest::sampleStore());
    std::string error;
    EXPECT_FALSE(server.start(error));
    EXPECT_THAT(error, HasSubstr(c.expected));
  }
  // With TLS, any address is served.
  HostOptions tlsEverywhere = tlsOptions();
  tlsEverywhere.listenHost = "0.0.0.0";
  startHost(tlsEverywhere, hosttest::sampleStore());
  EXPECT_EQ(
      AppMgrClient::connect("127.0.0.1:" + std::to_string(server_->port()), trustedClient())->health().state,
      wire::HealthRecord::kServing);
}

}  // namespace
