// TLS pieces shared by the host and the client library: the protocol floor
// every context gets, and readable texts for handshake failures.
#ifndef HOST_TLSSUPPORT_H_
#define HOST_TLSSUPPORT_H_

#include <string>

#include <asio.hpp>
#include <asio/ssl.hpp>

namespace appmgr {
namespace tls {

// A context for `method` that speaks TLS 1.2 or newer only, without
// compression or renegotiation; cipher suites stay OpenSSL's defaults.
asio::ssl::context makeContext(asio::ssl::context::method method);

// Loads a PEM certificate chain and its private key into `context`; false
// with a message naming the file that failed.
bool loadIdentity(asio::ssl::context& context, const std::string& certificateFile, const std::string& keyFile,
                  std::string& error);

// Trusts the certificate authorities of a PEM file; false with a message.
bool loadAuthorities(asio::ssl::context& context, const std::string& caFile, std::string& error);

// The reason of a failed TLS operation: OpenSSL's reason, and for a
// certificate that did not verify, why (expired, unknown issuer, ...).
std::string describeFailure(const asio::error_code& ec, SSL* ssl);

}  // namespace tls
}  // namespace appmgr

#endif  // HOST_TLSSUPPORT_H_
