// Certificates for TLS tests, made with the openssl command in a temporary
// directory that is removed with the object: a certificate authority, the
// host's certificate (for 127.0.0.1 and localhost) and a client certificate
// it issued, and an unrelated authority with a client certificate of its
// own. P-256 keys, valid for two days.
//
//   static TestCertificates certificates;  // once per suite: openssl is slow
//   options.tls.certificateFile = certificates.hostCert;
#ifndef TESTS_FAKES_TESTCERTIFICATES_H_
#define TESTS_FAKES_TESTCERTIFICATES_H_

#include <string>

#include "fakes/TempDir.h"

class TestCertificates {
 public:
  // Throws std::runtime_error naming the openssl command that failed.
  TestCertificates();

  std::string caFile;
  std::string hostCert, hostKey;
  std::string clientCert, clientKey;
  std::string otherCaFile;
  std::string otherClientCert, otherClientKey;

 private:
  void run(const std::string& arguments);
  // Makes a key and a certificate signed by `ca` (with `ca`.key) with the
  // extensions of `section` in the leaf configuration.
  void issue(const std::string& name, const std::string& ca, const std::string& section);
  void makeAuthority(const std::string& name, const std::string& commonName);

  TempDir dir_;
  int serial_ = 1;
};

#endif  // TESTS_FAKES_TESTCERTIFICATES_H_
