// The openssl commands behind TestCertificates.
#include "fakes/TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

TestCertificates::TestCertificates() {
  const std::string dir = "'" + dir_.path() + "/";
  const auto run = [](const std::string& arguments) {
    const std::string command = "openssl " + arguments + " -days 2 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
  };
  const std::string newKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + dir;
  std::ofstream(dir_.file("x.cnf"))
      << "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = appmgr test\n"
         "[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
         "subjectKeyIdentifier = hash\n"
         "[server]\nbasicConstraints = CA:FALSE\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n"
         "extendedKeyUsage = serverAuth\n"
         "[client]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = clientAuth\n";
  const std::string config = " -config " + dir + "x.cnf'";
  for (const char* ca : {"ca", "other-ca"}) {
    run("req -x509" + config + " -extensions ca -subj /CN=" + ca + newKey + ca + ".key' -out " + dir + ca +
        ".pem'");
  }
  int serial = 1;
  for (const auto& [name, ca, section] : {std::tuple{"host", "ca", "server"},
                                          {"client", "ca", "client"},
                                          {"other-client", "other-ca", "client"}}) {
    run(std::string("req -new") + config + " -subj /CN=localhost" + newKey + name + ".key' -out " + dir +
        name + ".csr'");
    run(std::string("x509 -req -in ") + dir + name + ".csr' -CA " + dir + ca + ".pem' -CAkey " + dir + ca +
        ".key' -set_serial " + std::to_string(++serial) + " -extfile " + dir + "x.cnf' -extensions " +
        section + " -out " + dir + name + ".pem'");
  }
  caFile = dir_.file("ca.pem");
  hostCert = dir_.file("host.pem");
  hostKey = dir_.file("host.key");
  clientCert = dir_.file("client.pem");
  clientKey = dir_.file("client.key");
  otherCaFile = dir_.file("other-ca.pem");
  otherClientCert = dir_.file("other-client.pem");
  otherClientKey = dir_.file("other-client.key");
}
