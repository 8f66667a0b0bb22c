// The appmgr command line run in-process against a host on 127.0.0.1 with
// a free port, serving an SQLite store made from examples/sample-tree.json;
// plain, and over mutual TLS with certificates made for the test.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

#include "CliApp.h"
#include "fakes/DevPasswordKey.h"
#include "fakes/PlainPasswordWatch.h"
#include "fakes/ScopedPlatformConfig.h"
#include "fakes/TempDir.h"
#include "fakes/TestCertificates.h"
#include "host/AppMgrClient.h"
#include "host/HostServer.h"
#include "store/ConfigStore.h"
#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

namespace {

using appmgr::cli::kExitListenerError;
using appmgr::cli::kExitOk;
using appmgr::cli::kExitUnreachable;
using appmgr::cli::kExitUsage;
using Json = nlohmann::json;

const std::string kSampleTree = std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json";

struct CliRun {
  int code;
  std::string out;
  std::string err;
  Json json() const { return Json::parse(out); }
};

CliRun runCli(const std::vector<std::string>& args, const std::string& envAddress = "") {
  std::ostringstream out, err;
  const int code = appmgr::cli::runCli(args, out, err, envAddress);
  return {code, out.str(), err.str()};
}

class NullLogSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EvLog::setSink(std::make_shared<NullLogSink>());
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(dir_.file("config.db"), store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeFile(kSampleTree, *store, errorText), 0) << errorText;
    startHost(store);
  }
  void TearDown() override {
    if (server_) server_->stop();
    server_.reset();
    ConfigStore::install(nullptr);
    EvLog::setSink(nullptr);
  }
  void startHost(std::shared_ptr<ConfigStore> store) {
    server_ = std::make_unique<appmgr::HostServer>(hostOptions_, std::move(store));
    std::string error;
    ASSERT_TRUE(server_->start(error)) << error;
  }

  // The command line with the host's port (and the TLS options) in front.
  CliRun run(std::vector<std::string> args) {
    args.insert(args.begin(), transportArgs_.begin(), transportArgs_.end());
    args.insert(args.begin(), {"--port", std::to_string(server_->port())});
    return runCli(args);
  }
  CliRun runJson(std::vector<std::string> args) {
    args.insert(args.begin(), "--json");
    return run(args);
  }
  uint64_t requestsAnswered() {
    return appmgr::AppMgrClient::connect(server_->listenAddress())->health().requestsAnswered;
  }

  TempDir dir_;
  appmgr::HostOptions hostOptions_;
  std::vector<std::string> transportArgs_;
  std::unique_ptr<appmgr::HostServer> server_;
};

// The host requires client certificates of the test authority; run() shows one.
class CliTlsTest : public CliTest {
 protected:
  static void SetUpTestSuite() { certificates_ = new TestCertificates(); }
  static void TearDownTestSuite() {
    delete certificates_;
    certificates_ = nullptr;
  }
  CliTlsTest() {
    hostOptions_.tls.certificateFile = certificates_->hostCert;
    hostOptions_.tls.keyFile = certificates_->hostKey;
    hostOptions_.tls.caFile = certificates_->caFile;
    hostOptions_.tls.requireClientCertificate = true;
    transportArgs_ = {"--tls-ca",  certificates_->caFile,   "--tls-cert", certificates_->clientCert,
                      "--tls-key", certificates_->clientKey};
  }
  static TestCertificates* certificates_;
};

TestCertificates* CliTlsTest::certificates_ = nullptr;

// ---- Each lookup: table and JSON output for a known object ----

struct LookupCase {
  std::vector<std::string> args;
  std::string responseCode;
  std::string tableLine;  // a line the table holds
  std::string pointer;    // a JSON pointer under /fields
  Json expected;
};

TEST_F(CliTest, EveryLookupPrintsItsKnownObjectAsTableAndJson) {
  const LookupCase cases[] = {
      {{"velmora", "get", "2"}, "0x1a001012", "velmoraName  north", "/velmoraName", "north"},
      {{"velmora", "find", "north"}, "0x1a001022", "velmoraId    2", "/velmoraId", 2},
      {{"param", "get", "sAuditPath"},
       "0x1a001032",
       "paramValue  /var/log/velmora audit",
       "/paramValue",
       "/var/log/velmora audit"},
      {{"client", "get", "5"}, "0x1a001112", "clientName       build01", "/hostName", "build01.example.net"},
      {{"client", "get", "--name", "build01"}, "0x1a001122", "clientId         5", "/clientId", 5},
      {{"client", "get", "--host", "oradb.example.net"},
       "0x1a001124",
       "clientName       oradb",
       "/clientId",
       10},
      {{"client", "props", "5"},
       "0x1a003912",
       "  Log Level           2     2",
       "/properties/0/value",
       "build server"},
      {{"appid", "2:1047"}, "0x1a002013", "subclientId  13", "/clientId", 10},
      {{"appid", "--velmora", "2", "--client", "5", "--type", "7", "--instance", "6", "--backup-set", "7",
        "--subclient", "9"},
       "0x1a002013",
       "appId        1046",
       "/appId",
       1046},
      {{"instance", "6", "--app", "2:1045"},
       "0x1a003912",
       "  /data/project files",
       "/content/1",
       "/data/project files"},
      {{"backup-set", "12"}, "0x1a003912", "flag        true", "/name", "archive+logs"},
      {{"subclient", "get", "9", "--app", "2:1046"},
       "0x1a003912",
       "  3:  /home/*/.cache",
       "/properties/2/value",
       "`weekly`"},
      {{"query", "clients", "--velmora", "2"}, "0x1a006012", "  10", "/rows/1/id", 10},
      {{"query", "subclients", "--client", "5", "--backup-set", "7"},
       "0x1a006012",
       "  9   home dirs",
       "/rows/1/name",
       "home dirs"},
      {{"query", "backup-sets", "--type", "22", "--instance", "11"},
       "0x1a006012",
       "  12  true  archive+logs",
       "/rows/0/flag",
       true},
      {{"lookup", "app-type-name", "7"}, "0x1a006112", "value  File System", "/value", "File System"},
      {{"lookup", "app-id", "9"}, "0x1a006112", "value  2:1046", "/value", "2:1046"},
      {{"lookup", "client-of-instance", "11"}, "0x1a006112", "clientId   10", "/velmoraId", 2},
      {{"lookup", "instance-name", "6"}, "0x1a006112", "value  DefaultInstance", "/value", "DefaultInstance"},
  };
  for (const LookupCase& c : cases) {
    const std::string what = ::testing::PrintToString(c.args);
    const CliRun table = run(c.args);
    EXPECT_EQ(table.code, kExitOk) << what << table.err;
    EXPECT_NE(table.out.find(c.tableLine + "\n"), std::string::npos) << what << "\n" << table.out;
    const CliRun json = runJson(c.args);
    ASSERT_EQ(json.code, kExitOk) << what << json.err;
    const Json doc = json.json();
    EXPECT_EQ(doc["responseCode"], c.responseCode) << what;
    EXPECT_EQ(doc["errorCode"], Json({{"name", "OK"}, {"number", 0}})) << what;
    EXPECT_EQ(doc["fields"].at(Json::json_pointer(c.pointer)), c.expected) << what << "\n" << json.out;
  }
}

TEST_F(CliTest, InstanceOfAnotherTypeHasNoContentAndSubclientNoFilters) {
  Json doc = runJson({"instance", "11", "--app", "2:1047"}).json();
  EXPECT_EQ(doc["fields"]["name"], "OracleProd");
  EXPECT_FALSE(doc["fields"].contains("content"));
  doc = runJson({"subclient", "get", "13", "--app", "2:1047"}).json();
  EXPECT_EQ(doc["fields"]["content"], Json::array());
  EXPECT_EQ(doc["fields"]["filters"], Json::object());
}

// ---- Changes, and the reads that show them ----

TEST_F(CliTest, AwkwardValuesSetThroughTheCliComeBackIdentical) {
  const std::string values[] = {"two  spaces", "a+b +1 +2 ++",  "`leading backquote",
                                "`",           "Grüße, 東京 ✓", ""};
  for (const std::string& value : values) {
    CliRun set = run({"client", "set-props", "5", "--set", "Note " + value + "=" + value, "--set-type",
                      "Note " + value + "=1"});
    ASSERT_EQ(set.code, kExitOk) << value << set.err;
    bool found = false;
    const Json props = runJson({"client", "props", "5"}).json()["fields"]["properties"];
    for (const Json& p : props) {
      if (p["name"] == "Note " + value) {
        found = true;
        EXPECT_EQ(p["value"], value);
      }
    }
    EXPECT_TRUE(found) << value;

    set = run({"subclient", "set-props", "9", "--set", "Tag=" + value});
    ASSERT_EQ(set.code, kExitOk) << value << set.err;
    const Json fields = runJson({"subclient", "get", "9", "--app", "2:1046"}).json()["fields"];
    EXPECT_EQ(fields["properties"][2]["value"], value) << fields.dump();
  }
  // A path with the same characters, through the content list.
  const std::string path = "/srv/a b+c/`x/Grüße";
  ASSERT_EQ(run({"subclient", "add-content", "9", path}).code, kExitOk);
  const Json content = runJson({"subclient", "get", "9", "--app", "2:1046"}).json()["fields"]["content"];
  EXPECT_NE(std::find(content.begin(), content.end(), Json(path)), content.end()) << content.dump();
}

TEST_F(CliTest, SetPropsSetsTypesAndRemoves) {
  ASSERT_EQ(run({"client", "set-props", "5", "--set", "Log Level=4", "--set-type", "Log Level=2", "--remove",
                 "Client Description"})
                .code,
            kExitOk);
  const Json props = runJson({"client", "props", "5"}).json()["fields"]["properties"];
  ASSERT_EQ(props.size(), 1u) << props.dump();
  EXPECT_EQ(props[0], Json({{"name", "Log Level"}, {"type", 2}, {"value", "4"}}));
}

TEST_F(CliTest, ContentAndFilterChangesShowInTheNextLookup) {
  const std::vector<std::string> get = {"subclient", "get", "9", "--app", "2:1046"};
  ASSERT_EQ(run({"subclient", "add-content", "9", "/srv/new data"}).code, kExitOk);
  ASSERT_EQ(run({"subclient", "remove-content", "9", "/home"}).code, kExitOk);
  ASSERT_EQ(run({"subclient", "add-filter", "9", "--group", "2", "/tmp", "/var/tmp"}).code, kExitOk);
  ASSERT_EQ(run({"subclient", "remove-filter", "9", "--group", "3", "/home/*/.cache"}).code, kExitOk);
  const Json fields = runJson(get).json()["fields"];
  EXPECT_EQ(fields["content"], Json({"/srv/shared profiles", "/srv/new data"}));
  EXPECT_EQ(fields["filters"]["2"], Json({"/tmp", "/var/tmp"}));
  EXPECT_EQ(fields["filters"]["3"], Json::array());
  const CliRun update = runJson({"subclient", "add-content", "9", "/opt"});
  EXPECT_EQ(update.json()["fields"]["msgCode"], "0x100");
  EXPECT_EQ(run({"subclient", "remove-content", "9", "/opt"}).out, "ok\n");
}

// ---- Exit codes ----

TEST_F(CliTest, ListenerErrorExitsOneWithCodeNameAndTextOnStderr) {
  const CliRun table = run({"velmora", "get", "77"});
  EXPECT_EQ(table.code, kExitListenerError);
  EXPECT_NE(table.err.find("XR_VELMORA_NOT_FOUND (0x20001): "), std::string::npos) << table.err;
  EXPECT_EQ(table.out, "");
  const CliRun json = runJson({"client", "get", "--name", "nobody"});
  EXPECT_EQ(json.code, kExitListenerError);
  EXPECT_EQ(json.json()["errorCode"], Json({{"name", "XR_CLIENT_NOT_FOUND"}, {"number", 0x30001}}));
  EXPECT_EQ(run({"instance", "6", "--app", "2:999999"}).code, kExitListenerError);
}

TEST_F(CliTest, UnreachableHostAndErrorFrameExitThree) {
  const uint16_t port = server_->port();
  server_->stop();
  server_.reset();
  CliRun r = runCli({"--port", std::to_string(port), "--timeout", "2", "velmora", "get", "2"});
  EXPECT_EQ(r.code, kExitUnreachable);
  EXPECT_NE(r.err.find("cannot reach the host at 127.0.0.1:" + std::to_string(port)), std::string::npos)
      << r.err;
  r = runCli({"--socket", dir_.file("no.sock"), "velmora", "get", "2"});
  EXPECT_EQ(r.code, kExitUnreachable);

  // A host without a store answers every request with an error frame.
  startHost(nullptr);
  r = run({"velmora", "get", "2"});
  EXPECT_EQ(r.code, kExitUnreachable);
  EXPECT_NE(r.err.find("error frame"), std::string::npos) << r.err;
}

TEST_F(CliTest, AddressComesFromTheEnvironmentUnlessGivenOnTheCommandLine) {
  const std::string address = "127.0.0.1:" + std::to_string(server_->port());
  EXPECT_EQ(runCli({"velmora", "get", "2"}, address).code, kExitOk);
  EXPECT_EQ(runCli({"velmora", "get", "2"}, "unix:" + dir_.file("no.sock")).code, kExitUnreachable);
  EXPECT_EQ(
      runCli({"--port", std::to_string(server_->port()), "velmora", "get", "2"}, "unix:/nonexistent").code,
      kExitOk);
}

TEST_F(CliTest, BadArgumentsAreRefusedWithUsageAndNothingIsSent) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"velmora"},
      {"velmora", "get"},
      {"velmora", "get", "north"},
      {"velmora", "get", "4294967296"},
      {"velmora", "get", "-1"},
      {"client", "get"},
      {"client", "get", "5", "--name", "build01"},
      {"client", "set-props", "5"},
      {"client", "set-props", "5", "--set", "NoEquals"},
      {"client", "set-props", "5", "--set", "=value"},
      {"client", "set-props", "5", "--set", "A=1", "--set-type", "B=2"},
      {"client", "set-props", "5", "--set", "A=1", "--set-type", "A=text"},
      {"client", "set-props", "--set", "A=1"},
      {"appid", "2-1045"},
      {"appid", "2:x"},
      {"appid", "2:1045", "--client", "5"},
      {"instance", "6"},
      {"instance", "6", "--app", "21045"},
      {"subclient", "add-filter", "9", "--group", "9", "/x"},
      {"subclient", "add-content", "9"},
      {"query", "nonsense"},
      {"query", "clients", "--client", "5"},
      {"lookup", "app-type-name"},
      {"--bogus", "velmora", "get", "2"},
  };
  const uint64_t before = requestsAnswered();
  for (const auto& args : cases) {
    const CliRun r = run(args);
    EXPECT_EQ(r.code, kExitUsage) << ::testing::PrintToString(args) << r.out << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << ::testing::PrintToString(args) << r.err;
    EXPECT_TRUE(r.out.empty()) << ::testing::PrintToString(args);
  }
  EXPECT_EQ(requestsAnswered(), before);
}

TEST(CliHelp, EveryCommandHasHelpWithAnExample) {
  const std::vector<std::vector<std::string>> commands = {{"velmora", "get"},
                                                          {"velmora", "find"},
                                                          {"param", "get"},
                                                          {"client", "get"},
                                                          {"client", "props"},
                                                          {"client", "set-props"},
                                                          {"appid"},
                                                          {"instance"},
                                                          {"backup-set"},
                                                          {"subclient", "get"},
                                                          {"subclient", "add-content"},
                                                          {"subclient", "remove-content"},
                                                          {"subclient", "add-filter"},
                                                          {"subclient", "remove-filter"},
                                                          {"subclient", "set-props"},
                                                          {"query", "velmoras"},
                                                          {"query", "clients"},
                                                          {"query", "media-agents"},
                                                          {"query", "applications"},
                                                          {"query", "application-types"},
                                                          {"query", "instances"},
                                                          {"query", "instances-of-type"},
                                                          {"query", "backup-sets"},
                                                          {"query", "client-backup-sets"},
                                                          {"query", "instance-backup-sets"},
                                                          {"query", "subclients"},
                                                          {"query", "archive-group"},
                                                          {"lookup", "app-type-name"},
                                                          {"lookup", "app-id"},
                                                          {"lookup", "client-of-instance"},
                                                          {"lookup", "instance-name"},
                                                          {"store", "init"},
                                                          {"store", "import"},
                                                          {"store", "export"},
                                                          {"store", "check"}};
  for (std::vector<std::string> args : commands) {
    const std::string what = ::testing::PrintToString(args);
    args.push_back("--help");
    const CliRun r = runCli(args);
    EXPECT_EQ(r.code, kExitOk) << what;
    EXPECT_NE(r.out.find("Example:\n  appmgr " + args[0]), std::string::npos) << what << r.out;
  }
  const CliRun top = runCli({"--help"});
  EXPECT_EQ(top.code, kExitOk);
  for (const char* word : {"APPMGR_ADDRESS", "--protocol-version", "--socket", "--timeout", "Exit codes"}) {
    EXPECT_NE(top.out.find(word), std::string::npos) << word;
  }
}

TEST_F(CliTest, OldProtocolVersionSeesThePasswordInTheOldFormat) {
  // The sample tree's passwords are under the development key; the platform
  // takes a key file only when no other user may read it.
  ScopedPlatformConfig config("");
  const std::string keyFile = config.dir() + "/password.key";
  std::filesystem::copy_file(std::string(APPMGR_SOURCE_DIR) + "/config/dev-only-password.key", keyFile);
  std::filesystem::permissions(keyFile, std::filesystem::perms::owner_read);
  config.write("[Base]\nsPasswordKeyFile = " + keyFile + "\n");
  const std::vector<std::string> get = {"instance", "11", "--app", "2:1047"};
  const Json current = runJson(get).json()["fields"]["properties"][1];
  std::vector<std::string> old = {"--protocol-version", "6"};
  old.insert(old.end(), get.begin(), get.end());
  const Json converted = runJson(old).json()["fields"]["properties"][1];
  EXPECT_EQ(current["name"], "Oracle Password");
  EXPECT_EQ(current["value"].get<std::string>().rfind("XRPW2:", 0), 0u);
  EXPECT_NE(converted["value"], current["value"]);
}

TEST_F(CliTest, StoreExportKeepsPasswordsEncrypted) {
  ScopedDevPasswordKey key;
  const std::string plain = "export-check Secret 4711";
  const std::string encrypted = key.encryptV2(plain);  // watched from here on
  ASSERT_FALSE(encrypted.empty());
  // A password set through the host, and one the sample tree holds.
  const CliRun set = run({"client", "set-props", "5", "--set", "Backup Password=" + encrypted, "--set-type",
                          "Backup Password=3"});
  ASSERT_EQ(set.code, kExitOk) << set.err;
  const Json oracle = runJson({"instance", "11", "--app", "2:1047"}).json()["fields"]["properties"][1];
  ASSERT_EQ(oracle["name"], "Oracle Password");
  const std::string oraclePlain = key.decrypt(oracle["value"].get<std::string>());
  ASSERT_FALSE(oraclePlain.empty());
  watchPlainPassword(oraclePlain);

  const CliRun exported = runCli({"store", "export", dir_.file("config.db")});
  ASSERT_EQ(exported.code, kExitOk) << exported.err;
  EXPECT_NE(exported.out.find(encrypted), std::string::npos);
  EXPECT_NE(exported.out.find(oracle["value"].get<std::string>()), std::string::npos);
  expectNoPlainPasswordInText(exported.out, "the JSON export");
}

// ---- Over TLS ----

TEST_F(CliTlsTest, TheTourRunsOverMutualTls) {
  // The commands of scripts/run-tour.sh, in its order.
  const std::vector<std::vector<std::string>> tour = {
      {"velmora", "find", "north"},
      {"client", "get", "--host", "build01.example.net"},
      {"client", "props", "5"},
      {"client", "set-props", "5", "--set", "Log Level=4", "--set-type", "Log Level=2", "--set",
       "Owner=QA team+ops"},
      {"client", "props", "5"},
      {"subclient", "add-content", "9", "/srv/new data"},
      {"subclient", "get", "9", "--app", "2:1046"},
      {"query", "subclients", "--client", "5", "--backup-set", "7"},
      {"lookup", "app-type-name", "22", "--json"},
  };
  for (const std::vector<std::string>& step : tour) {
    SCOPED_TRACE(step[0] + " " + step[1]);
    const CliRun r = run(step);
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_FALSE(r.out.empty());
  }
  EXPECT_NE(run({"client", "props", "5"}).out.find("QA team+ops"), std::string::npos);
  EXPECT_NE(run({"subclient", "get", "9", "--app", "2:1046"}).out.find("/srv/new data"), std::string::npos);
}

TEST_F(CliTlsTest, ClientsWithoutTrustOrCertificateAreRefused) {
  const std::string port = std::to_string(server_->port());
  struct Case {
    const char* what;
    std::vector<std::string> transport;
    const char* expected;  // on stderr
  };
  const Case cases[] = {
      {"no client certificate", {"--tls-ca", certificates_->caFile}, "certificate required"},
      {"client certificate of another authority",
       {"--tls-ca", certificates_->caFile, "--tls-cert", certificates_->otherClientCert, "--tls-key",
        certificates_->otherClientKey},
       "unknown ca"},
      {"the host's authority not trusted",
       {"--tls-ca", certificates_->otherCaFile, "--tls-cert", certificates_->clientCert, "--tls-key",
        certificates_->clientKey},
       "certificate verify failed"},
      {"no TLS", {}, "closed the connection"},
      {"certificate without key",
       {"--tls-ca", certificates_->caFile, "--tls-cert", certificates_->clientCert},
       "needs its key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {"--port", port};
    args.insert(args.end(), c.transport.begin(), c.transport.end());
    args.insert(args.end(), {"velmora", "get", "2"});
    const CliRun r = runCli(args);
    EXPECT_EQ(r.code, kExitUnreachable);
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

// ---- Store administration ----

TEST(CliStore, ImportExportCheckRoundTripAndRefuseToOverwrite) {
  TempDir dir;
  const std::string db = dir.file("s.db"), out = dir.file("tree.json");
  ASSERT_EQ(runCli({"store", "import", db, kSampleTree}).code, kExitOk);
  CliRun r = runCli({"store", "import", db, kSampleTree});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos);
  EXPECT_EQ(runCli({"store", "import", "--force", db, kSampleTree}).code, kExitOk);
  r = runCli({"store", "check", db});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_NE(r.out.find("ok"), std::string::npos);

  ASSERT_EQ(runCli({"store", "export", db, out}).code, kExitOk);
  EXPECT_EQ(runCli({"store", "export", db, out}).code, 1);
  EXPECT_EQ(runCli({"store", "export", "--force", db, out}).code, kExitOk);
  const CliRun stdoutExport = runCli({"store", "export", db});
  std::ifstream written(out);
  const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stdoutExport.out, text);
  EXPECT_EQ(Json::parse(text)["velmoras"][0]["name"], "north");

  EXPECT_EQ(runCli({"store", "init", db}).code, 1);
  EXPECT_EQ(runCli({"store", "init", "--force", db}).code, kExitOk);
  EXPECT_EQ(Json::parse(runCli({"store", "export", db}).out).value("velmoras", Json::array()).size(), 0u);
}

TEST(CliStore, RefusesForeignFilesBadTreesAndMissingStores) {
  TempDir dir;
  const std::string notAStore = dir.file("notes.txt");
  std::ofstream(notAStore) << "not a database, keep me\n";
  EXPECT_EQ(runCli({"store", "init", "--force", notAStore}).code, 1);
  EXPECT_EQ(runCli({"store", "check", notAStore}).code, 1);
  std::ifstream kept(notAStore);
  std::string line;
  std::getline(kept, line);
  EXPECT_EQ(line, "not a database, keep me");

  const std::string badTree = dir.file("bad.json");
  std::ofstream(badTree) << "{\"format\": \"something else\"}";
  const CliRun r = runCli({"store", "import", dir.file("new.db"), badTree});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.db")));
  EXPECT_EQ(runCli({"store", "check", dir.file("missing.db")}).code, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.db")));
  EXPECT_EQ(runCli({"store", "export", dir.file("missing.db")}).code, 1);
}

}  // namespace
