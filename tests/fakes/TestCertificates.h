// Certificates for TLS tests, made with the openssl command in a temporary
// directory that is removed with the object: a certificate authority, the
// host's certificate (for 127.0.0.1 and localhost) and a client certificate
// it issued, and an unrelated authority with a client certificate of its
// own. P-256 keys, valid for two days. Make one per suite: openssl is slow.
#ifndef TESTS_FAKES_TESTCERTIFICATES_H_
#define TESTS_FAKES_TESTCERTIFICATES_H_

#include <string>

#include "fakes/TempDir.h"

class TestCertificates {
 public:
  // Throws std::runtime_error naming the openssl command that failed.
  TestCertificates();

  std::string caFile, hostCert, hostKey, clientCert, clientKey;
  std::string otherCaFile, otherClientCert, otherClientKey;

 private:
  TempDir dir_;
};

#endif  // TESTS_FAKES_TESTCERTIFICATES_H_
