// The host over TLS: with mutual TLS it answers as it does over plain TCP;
// it refuses clients without a trusted certificate and protocols older than
// TLS 1.2, and clients refuse a host they do not trust; the connection
// limit, frame limit and stop work as on plain connections, and a
// handshake that never finishes is closed. The host refuses to
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
  static void SetUpTestSuite() { certificates_ = std::make_unique<TestCertificates>(); }
  static void TearDownTestSuite() { certificates_.reset(); }

  // Mutual TLS with the test authority.
  static HostOptions tlsOptions(bool requireClientCertificate = true) {
    HostOptions options;
    options.tls.certificateFile = certificates_->hostCert;
    options.tls.keyFile = certificates_->hostKey;
    options.tls.caFile = certificates_->caFile;
    options.tls.requireClientCertificate = requireClientCertificate;
    return options;
  }
  // A client that trusts the test authority and shows the client certificate.
  static AppMgrClientOptions trusted() {
    AppMgrClientOptions options;
    options.tls.enabled = true;
    options.tls.caFile = certificates_->caFile;
    options.tls.certificateFile = certificates_->clientCert;
    options.tls.keyFile = certificates_->clientKey;
    return options;
  }
  // The error text of a connection attempt; "connected" when it is served.
  std::string refusal(const AppMgrClientOptions& options) {
    try {
      connect(options)->health();
    } catch (const AppMgrClientError& e) {
      return e.what();
    }
    return "connected";
  }
  void expectServingTls() { EXPECT_EQ(connect(trusted())->health().state, wire::HealthRecord::kServing); }

  static std::unique_ptr<TestCertificates> certificates_;
};

std::unique_ptr<TestCertificates> HostTlsTest::certificates_;

TEST_F(HostTlsTest, ServesTrustedPeersUnderTheAddressOrANameAndRefusesUntrustedOnes) {
  AppMgrClientOptions anonymous = trusted(), foreign = trusted(), distrustsHost = trusted(),
                      byName = trusted(), wrongName = trusted();
  anonymous.tls.certificateFile = anonymous.tls.keyFile = "";
  foreign.tls.certificateFile = certificates_->otherClientCert;
  foreign.tls.keyFile = certificates_->otherClientKey;
  distrustsHost.tls.caFile = certificates_->otherCaFile;
  byName.tls.serverName = "localhost";
  wrongName.tls.serverName = "appmgr.example.net";
  const struct {
    const char* what;
    bool required;  // the host requires client certificates
    AppMgrClientOptions options;
    const char* expected;  // in the client's error text; empty: served
  } cases[] = {
      {"mutual TLS under the address", true, trusted(), ""},
      {"mutual TLS under a name the host certificate holds", true, byName, ""},
      {"no client certificate", true, anonymous, "certificate required"},
      {"no client certificate where none is required", false, anonymous, ""},
      {"client certificate of another authority", true, foreign, "unknown ca"},
      {"client certificate of another authority where none is required", false, foreign, "unknown ca"},
      {"host certificate of an untrusted authority", true, distrustsHost, "certificate verify failed"},
      {"host certificate for another name", true, wrongName, "certificate verify failed"},
      {"plain TCP to a TLS host", true, AppMgrClientOptions(), "closed the connection"},
  };
  for (const bool required : {true, false}) {
    startHost(tlsOptions(required));
    for (const auto& c : cases) {
      if (c.required != required) continue;
      SCOPED_TRACE(c.what);
      EXPECT_THAT(refusal(c.options), HasSubstr(*c.expected ? c.expected : "connected"));
    }
    expectServingTls();
    EXPECT_EQ(awaitConnections(0), 0u) << "every refused connection is closed";
    server_->stop();
  }
}

TEST_F(HostTlsTest, RefusesClientsLimitedToTls11) {
  startHost(tlsOptions());
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
  expectServingTls();
}

TEST_F(HostTlsTest, LimitsAndTimeoutsHoldOverTls) {
  HostOptions options = tlsOptions();
  options.maxConnections = 1;
  options.maxFrameSize = 4096;
  // Generous enough that a loaded sanitizer build finishes a real handshake
  // and a refusal in time, short enough to watch the timeout fire.
  options.tls.handshakeTimeout = 1s;
  startHost(options);

  // A handshake that never starts, and one refused for want of room, are closed.
  hosttest::RawPeer silent(server_->port());
  EXPECT_TRUE(silent.closedByHost(5s));
  awaitConnections(0);
  auto first = connect(trusted());
  EXPECT_THAT(refusal(trusted()), HasSubstr("at most 1 connections"));

  // An oversize request gets its error frame; then the host closes.
  appmanVelmoraByNameReq big;
  const std::string name(5000, 'n');
  big.velmoraName = name.c_str();
  const AppMgrReply reply = first->call(APPMAN_VELMORA_BY_NAME_REQ, &big, sizeof big);
  ASSERT_TRUE(reply.isError());
  EXPECT_EQ(reply.error, wire::WireError::kOversizeFrame);
  EXPECT_THROW(first->health(), AppMgrClientError);
  first.reset();
  awaitConnections(0);
  expectServingTls();
}

TEST_F(HostTlsTest, StopClosesConnectionsInTheirHandshakeAtOnce) {
  HostOptions options = tlsOptions();
  options.tls.handshakeTimeout = std::chrono::minutes(1);
  startHost(options);
  hosttest::RawPeer silent(server_->port());
  auto client = connect(trusted());
  for (int i = 0; i < 100 && server_->connections() < 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server_->connections(), 2u);
  const auto before = std::chrono::steady_clock::now();
  server_->stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
  EXPECT_TRUE(silent.closedByHost(1s));
}

TEST_F(HostTlsTest, RefusesToStartWithoutTlsOffLoopbackOrWithBrokenSettings) {
  HostOptions everywhere, elsewhere, noKey = tlsOptions(), noCa = tlsOptions(), keyOnly,
                                     missing = tlsOptions(), mismatch = tlsOptions(), badCa = tlsOptions();
  everywhere.listenHost = "0.0.0.0";
  elsewhere.listenHost = "192.0.2.1";
  noKey.tls.keyFile.clear();
  noCa.tls.caFile.clear();
  keyOnly.tls.keyFile = certificates_->hostKey;
  missing.tls.certificateFile = certificates_->hostCert + ".missing";
  mismatch.tls.keyFile = certificates_->clientKey;
  badCa.tls.caFile = certificates_->hostKey;
  const struct {
    const char* what;
    HostOptions options;
    const char* expected;  // in the start error
  } cases[] = {
      {"all addresses in the clear", everywhere, "--tls-cert"},
      {"another machine's address in the clear", elsewhere, "without TLS"},
      {"certificate without key", noKey, "--tls-key"},
      {"client certificates without authorities", noCa, "--tls-ca"},
      {"key without certificate", keyOnly, "--tls-cert"},
      {"missing certificate file", missing, ".missing"},
      {"key of another certificate", mismatch, "does not belong"},
      {"authorities file without certificates", badCa, "certificate authorities"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HostServer server(c.options, hosttest::sampleStore());
    std::string error;
    EXPECT_FALSE(server.start(error));
    EXPECT_THAT(error, HasSubstr(c.expected));
  }
  // With TLS, any address is served.
  HostOptions tlsEverywhere = tlsOptions();
  tlsEverywhere.listenHost = "0.0.0.0";
  startHost(tlsEverywhere);
  EXPECT_EQ(AppMgrClient::connect("127.0.0.1:" + std::to_string(server_->port()), trusted())->health().state,
            wire::HealthRecord::kServing);
}

}  // namespace
