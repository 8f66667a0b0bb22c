// The openssl commands behind TestCertificates.
#include "fakes/TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {
constexpr const char* kNewKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

std::string quoted(const std::string& path) { return "'" + path + "'"; }

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
}  // namespace

TestCertificates::TestCertificates() {
  writeFile(dir_.file("leaf.cnf"),
            "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = localhost\n"
            "[server]\nbasicConstraints = CA:FALSE\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n"
            "extendedKeyUsage = serverAuth\n"
            "[client]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = clientAuth\n");
  makeAuthority("ca", "appmgr test CA");
  makeAuthority("other-ca", "unrelated test CA");
  issue("host", "ca", "server");
  issue("client", "ca", "client");
  issue("other-client", "other-ca", "client");
  caFile = dir_.file("ca.pem");
  hostCert = dir_.file("host.pem");
  hostKey = dir_.file("host.key");
  clientCert = dir_.file("client.pem");
  clientKey = dir_.file("client.key");
  otherCaFile = dir_.file("other-ca.pem");
  otherClientCert = dir_.file("other-client.pem");
  otherClientKey = dir_.file("other-client.key");
}

void TestCertificates::run(const std::string& arguments) {
  const std::string command = "openssl " + arguments + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void TestCertificates::makeAuthority(const std::string& name, const std::string& commonName) {
  const std::string config = dir_.file(name + ".cnf");
  writeFile(config,
            "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = " + commonName +
                "\n[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                "subjectKeyIdentifier = hash\n");
  run("req -x509 -config " + quoted(config) + " -extensions ca " + kNewKey + " -keyout " +
      quoted(dir_.file(name + ".key")) + " -out " + quoted(dir_.file(name + ".pem")) + " -days 2");
}

void TestCertificates::issue(const std::string& name, const std::string& ca, const std::string& section) {
  const std::string config = quoted(dir_.file("leaf.cnf"));
  run("req -new -config " + config + " " + kNewKey + " -keyout " + quoted(dir_.file(name + ".key")) +
      " -out " + quoted(dir_.file(name + ".csr")));
  run("x509 -req -in " + quoted(dir_.file(name + ".csr")) + " -CA " + quoted(dir_.file(ca + ".pem")) +
      " -CAkey " + quoted(dir_.file(ca + ".key")) + " -set_serial " + std::to_string(++serial_) +
      " -days 2 -extfile " + config + " -extensions " + section + " -out " +
      quoted(dir_.file(name + ".pem")));
}
