// TLS contexts and their error texts.
#include "host/TlsSupport.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace appmgr {
namespace tls {

namespace {
// The reason of a failed file operation. Asio has taken OpenSSL's error
// into the code; what is left on the queue is dropped.
std::string lastOpenSslError(const asio::error_code& ec) {
  ERR_clear_error();
  return ec.message();
}
}  // namespace

asio::ssl::context makeContext(asio::ssl::context::method method) {
  asio::ssl::context context(method);
  context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1 | asio::ssl::context::no_compression |
                      asio::ssl::context::single_dh_use);
  // The options above only exclude the protocols they name; the floor also
  // holds for any protocol OpenSSL may add below 1.2 in a configuration.
  SSL_CTX_set_min_proto_version(context.native_handle(), TLS1_2_VERSION);
  SSL_CTX_set_options(context.native_handle(), SSL_OP_NO_RENEGOTIATION);
  return context;
}

bool loadIdentity(asio::ssl::context& context, const std::string& certificateFile, const std::string& keyFile,
                  std::string& error) {
  asio::error_code ec;
  ERR_clear_error();
  context.use_certificate_chain_file(certificateFile, ec);
  if (ec) {
    error = "cannot load the TLS certificate \"" + certificateFile + "\": " + lastOpenSslError(ec);
    return false;
  }
  context.use_private_key_file(keyFile, asio::ssl::context::pem, ec);
  // Asio takes OpenSSL's error off the queue into the error code.
  const bool mismatch = ec && ec.category() == asio::error::get_ssl_category() &&
                        ERR_GET_REASON(static_cast<unsigned long>(ec.value())) == X509_R_KEY_VALUES_MISMATCH;
  if (ec && !mismatch) {
    error = "cannot load the TLS key \"" + keyFile + "\": " + lastOpenSslError(ec);
    return false;
  }
  if (mismatch || SSL_CTX_check_private_key(context.native_handle()) != 1) {
    ERR_clear_error();
    error = "the TLS key \"" + keyFile + "\" does not belong to the certificate \"" + certificateFile + "\"";
    return false;
  }
  return true;
}

bool loadAuthorities(asio::ssl::context& context, const std::string& caFile, std::string& error) {
  asio::error_code ec;
  ERR_clear_error();
  context.load_verify_file(caFile, ec);
  if (ec) {
    error = "cannot load the TLS certificate authorities \"" + caFile + "\": " + lastOpenSslError(ec);
    return false;
  }
  return true;
}

std::string describeFailure(const asio::error_code& ec, SSL* ssl) {
  std::string text = ec.message();
  if (ssl != nullptr) {
    const long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) text += std::string(" (") + X509_verify_cert_error_string(verify) + ")";
  }
  return text;
}

}  // namespace tls
}  // namespace appmgr
