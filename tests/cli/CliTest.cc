// The appmgr command line run in-process: against a host on 127.0.0.1 with
// a free port serving an SQLite store made from examples/sample-tree.json,
// plain and over mutual TLS; and `appmgr store` on an SQLite file and on a
// PostgreSQL catalog (with APPMGR_TEST_PG).
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

#include "CliApp.h"
#include "fakes/DevPasswordKey.h"
#include "fakes/PgTestDatabase.h"
#include "fakes/PlainPasswordWatch.h"
#include "fakes/ScopedPlatformConfig.h"
#include "fakes/TempDir.h"
#include "fakes/TestCertificates.h"
#include "host/HostFixture.h"
#include "store/AuditTrail.h"
#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

namespace {

// The documented exit codes, spelled out so that a changed code fails.
constexpr int kExitOk = 0, kExitListenerError = 1, kExitUsage = 2, kExitUnreachable = 3;
using Json = nlohmann::json;

const std::string kSampleTree = std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json";

struct CliRun {
  int code;
  std::string out, err;
  Json json() const { return Json::parse(out); }
};

CliRun runCli(const std::vector<std::string>& args, const std::string& envAddress = "",
              std::istream* typed = nullptr) {
  std::ostringstream out, err;
  const int code = appmgr::cli::runCli(args, out, err, envAddress, typed);
  return {code, out.str(), err.str()};
}

// "a b c" as {"a", "b", "c"}.
std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A host on an SQLite store of the sample tree, with hostOptions_.
class CliTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    std::shared_ptr<SqliteConfigStore> store;
    std::string errorText;
    ASSERT_EQ(SqliteConfigStore::open(dir_.file("config.db"), store, errorText), 0) << errorText;
    ASSERT_EQ(importConfigTreeFile(kSampleTree, *store, errorText), 0) << errorText;
    startHost(hostOptions_, store);
  }

  // The command line with the host's port (and the TLS options) in front.
  CliRun run(std::vector<std::string> args, std::istream* typed = nullptr) {
    args.insert(args.begin(), transportArgs_.begin(), transportArgs_.end());
    args.insert(args.begin(), {"--port", std::to_string(server_->port())});
    return runCli(args, "", typed);
  }
  Json json(std::vector<std::string> args) {
    args.insert(args.begin(), "--json");
    return run(args).json();
  }
  Json fields(const std::string& line) { return json(words(line))["fields"]; }

  TempDir dir_;
  appmgr::HostOptions hostOptions_;
  std::vector<std::string> transportArgs_;
};

// ---- Each lookup: table and JSON output for a known object ----

TEST_F(CliTest, EveryLookupPrintsItsKnownObjectAsTableAndJson) {
  const struct {
    const char* args;
    const char* responseCode;
    const char* tableLine;  // a line the table holds
    const char* pointer;    // a JSON pointer under /fields
    Json expected;
  } cases[] = {
      {"velmora get 2", "0x1a001012", "velmoraName       north", "/timeZoneId", 36},
      {"--raw velmora get 2", "0x1a001012", "value3       36", "/value3", 36},
      {"velmora find north", "0x1a001022", "velmoraId         2", "/velmoraId", 2},
      {"param get sAuditPath", "0x1a001032", "paramValue  /var/log/velmora audit", "/paramValue",
       "/var/log/velmora audit"},
      {"client get 5", "0x1a001112", "  os:  Linux", "/platform/processor", "x86_64"},
      {"client get --name build01", "0x1a001122", "clientId    5", "/clientId", 5},
      {"client get --hostname ORADB.example.NET", "0x1a001124", "clientName  oradb", "/clientId", 10},
      {"client props 5", "0x1a003912", "  Log Level           2     2", "/properties/0/value",
       "build server"},
      {"appid 2:1047", "0x1a002013", "subclientId  13", "/clientId", 10},
      {"appid --velmora 2 --client 5 --type 7 --instance 6 --backup-set 7 --subclient 9", "0x1a002013",
       "appId        1046", "/appId", 1046},
      {"instance 6 --app 2:1045", "0x1a003912", "  /data/project files", "/content/1", "/data/project files"},
      {"backup-set 12", "0x1a003912", "flag        true", "/name", "archive+logs"},
      {"subclient get 9 --app 2:1046", "0x1a003912", "  3:  /home/*/.cache", "/properties/2/value",
       "`weekly`"},
      {"query clients --velmora 2", "0x1a006012", "  10", "/rows/1/id", 10},
      {"query subclients --client 5 --backup-set 7", "0x1a006012",
       "in       client 5 (build01) > backupSet 7 (defaultBackupSet)", "/rows/1/name", "home dirs"},
      {"query backup-sets --type 22 --instance 11", "0x1a006012", "  12  true  archive+logs", "/rows/0/flag",
       true},
      {"lookup app-type-name 7", "0x1a006112", "value  File System", "/value", "File System"},
      {"lookup app-id 9", "0x1a006112", "value  2:1046", "/value", "2:1046"},
      {"lookup client-of-instance 11", "0x1a006112", "clientId   10", "/velmoraId", 2},
      {"lookup instance-name 6", "0x1a006112", "value  DefaultInstance", "/value", "DefaultInstance"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun table = run(words(c.args));
    EXPECT_EQ(table.code, kExitOk) << table.err;
    EXPECT_NE(table.out.find(std::string(c.tableLine) + "\n"), std::string::npos) << table.out;
    const Json doc = json(words(c.args));
    EXPECT_EQ(doc["responseCode"], c.responseCode);
    EXPECT_EQ(doc["errorCode"], Json({{"name", "OK"}, {"number", 0}}));
    EXPECT_EQ(doc["fields"].at(Json::json_pointer(c.pointer)), c.expected) << doc.dump();
  }
  // An instance of another type has no content, a subclient no filters.
  EXPECT_FALSE(fields("instance 11 --app 2:1047").contains("content"));
  const Json subclient = fields("subclient get 13 --app 2:1047");
  EXPECT_EQ(subclient["content"], Json::array());
  EXPECT_EQ(subclient["filters"], Json::object());
}

// ---- Changes, and the reads that show them ----

TEST_F(CliTest, AwkwardValuesSetThroughTheCliComeBackIdentical) {
  for (const std::string value :
       {"two  spaces", "a+b +1 +2 ++", "`leading backquote", "`", "Grüße, 東京 ✓", ""}) {
    SCOPED_TRACE(value);
    ASSERT_EQ(run({"client", "set-props", "5", "--set", "Note " + value + "=" + value, "--set-type",
                   "Note " + value + "=1"})
                  .code,
              kExitOk);
    const Json props = fields("client props 5")["properties"];
    const auto it =
        std::find_if(props.begin(), props.end(), [&](const Json& p) { return p["name"] == "Note " + value; });
    ASSERT_NE(it, props.end());
    EXPECT_EQ((*it)["value"], value);
    ASSERT_EQ(run({"subclient", "set-props", "9", "--set", "Tag=" + value}).code, kExitOk);
    EXPECT_EQ(fields("subclient get 9 --app 2:1046")["properties"][2]["value"], value);
  }
  // A path with the same characters, through the content list.
  const std::string path = "/srv/a b+c/`x/Grüße";
  ASSERT_EQ(run({"subclient", "add-content", "9", path}).code, kExitOk);
  const Json content = fields("subclient get 9 --app 2:1046")["content"];
  EXPECT_NE(std::find(content.begin(), content.end(), Json(path)), content.end()) << content.dump();
}

TEST_F(CliTest, PropertyContentAndFilterChangesShowInTheNextLookup) {
  // A set without --set-type keeps the property's type (2).
  ASSERT_EQ(run({"client", "set-props", "5", "--set", "Log Level=4", "--remove", "Client Description"}).code,
            kExitOk);
  EXPECT_EQ(fields("client props 5")["properties"],
            Json::array({{{"name", "Log Level"}, {"type", 2}, {"value", "4"}}}));
  for (const char* change :
       {"add-content 9 /srv/new-data", "remove-content 9 /home", "add-filter 9 --group 2 /tmp /var/tmp",
        "remove-filter 9 --group 3 /home/*/.cache"})
    ASSERT_EQ(run(words(std::string("subclient ") + change)).code, kExitOk) << change;
  const Json subclient = fields("subclient get 9 --app 2:1046");
  EXPECT_EQ(subclient["content"], Json({"/srv/shared profiles", "/srv/new-data"}));
  EXPECT_EQ(subclient["filters"]["2"], Json({"/tmp", "/var/tmp"}));
  EXPECT_EQ(subclient["filters"]["3"], Json::array());
  EXPECT_EQ(fields("subclient add-content 9 /opt")["msgCode"], "0x100");
  EXPECT_EQ(run({"subclient", "remove-content", "9", "/opt"}).out, "ok\n");
}

// ---- Exit codes: 0 ok, 1 listener error, 2 usage, 3 host unreachable ----

// Changes through the host, then the trail by each filter; the store's own
// reader and export see the same entries.
TEST_F(CliTest, AuditListsChangesNewestFirstByObjectTimeAndLimit) {
  for (const char* change :
       {"subclient add-filter 9 --group 3 /a", "client set-props 5 --set Owner=x --set-type Owner=1",
        "subclient remove-filter 9 --group 3 /a"}) {
    ASSERT_EQ(run(words(change)).code, kExitOk) << change;
  }
  const auto objects = [&](const std::string& filters) {
    const CliRun r = run(words("--json audit " + filters));
    if (r.code != kExitOk) return "exit " + std::to_string(r.code);
    std::string out;
    const Json document = r.json();
    for (const Json& entry : document["entries"])
      out += entry["object"]["kind"].get<std::string>() + ":" + entry["object"]["id"].dump() + " ";
    return out;
  };
  const struct {
    std::string filters, expected;
  } cases[] = {
      {"", "subclient:9 client:5 subclient:9 tree:0 "},
      {"--object subclient:9", "subclient:9 subclient:9 "},
      {"--limit 2", "subclient:9 client:5 "},
      {"--object client:5 --since 2000-01-01T00:00:00Z", "client:5 "},
      {"--since " + formatAuditTime(auditNowUs() + 60000000), ""},
      {"--until 2000-01-01", ""},
      {"--object velmora:2", "exit 2"},
      {"--since yesterday", "exit 2"},
  };
  for (const auto& c : cases) EXPECT_EQ(objects(c.filters), c.expected) << c.filters;
  const CliRun newest = run(words("audit --limit 1"));
  EXPECT_NE(newest.out.find("APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ  by 127.0.0.1:"), std::string::npos)
      << newest.out;
  EXPECT_NE(newest.out.find("  filter group 3 removed \"/a\"\n"), std::string::npos) << newest.out;
  const CliRun local = runCli({"store", "audit", dir_.file("config.db"), "--object", "client:5"});
  EXPECT_NE(local.out.find("  set \"Owner\" (type 1): none -> \"x\"\n"), std::string::npos) << local.err;
  const CliRun exported = runCli({"store", "export", dir_.file("config.db"), "--audit", "-"});
  ASSERT_EQ(exported.code, kExitOk) << exported.err;
  EXPECT_EQ(std::count(exported.out.begin(), exported.out.end(), '\n'), 4) << exported.out;
  EXPECT_EQ(Json::parse(exported.out.substr(0, exported.out.find('\n')))["object"]["kind"], "tree");
}

TEST_F(CliTest, ExitCodesTellListenerErrorsUsageAndUnreachableHostsApart) {
  const std::string port = std::to_string(server_->port()), address = "127.0.0.1:" + port;
  const std::string noSocket = "unix:" + dir_.file("no.sock");
  const struct {
    std::string args;
    std::string env;  // APPMGR_ADDRESS
    int code;
    const char* err;  // on stderr
  } cases[] = {
      {"--port " + port + " velmora get 77", "", kExitListenerError, "XR_VELMORA_NOT_FOUND (0x20001): "},
      {"--port " + port + " client get 999", "", kExitListenerError, "Client 999 not found"},
      {"--port " + port + " --json client get --name nobody", "", kExitListenerError, "XR_CLIENT_NOT_FOUND"},
      {"--port " + port + " instance 6 --app 2:999999", "", kExitListenerError, ""},
      {"--json --socket " + dir_.file("no.sock") + " velmora get 2", "", kExitUnreachable, "cannot reach"},
      {"velmora get 2", address, kExitOk, ""},
      {"velmora get 2", noSocket, kExitUnreachable, "cannot reach the host"},
      {"--port " + port + " velmora get 2", noSocket, kExitOk, ""},
      {"--host localhost --port " + port + " velmora get 2", "", kExitOk, ""},
      {"--version", "", kExitOk, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " with " + c.env);
    const CliRun r = runCli(words(c.args), c.env);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(r.out.empty(), c.code != kExitOk && c.args.find("--json") == std::string::npos) << r.out;
  }
  EXPECT_EQ(
      runCli(words(cases[2].args)).json()["error"],
      Json({{"name", "XR_CLIENT_NOT_FOUND"}, {"number", 0x30001}, {"text", "Client 'nobody' not found"}}));
  EXPECT_EQ(runCli(words(cases[4].args)).json()["error"]["name"], "UNREACHABLE");
  const Json health = runCli({"--port", port, "--json", "health"}).json();
  EXPECT_EQ(health["state"], "serving");
  EXPECT_GT(health["requestsAnswered"].get<int>(), 0);

  // A host without a store answers every request with an error frame; on ::1, with or without brackets.
  server_->stop();
  hostOptions_.listenHost = "::1";
  startHost(hostOptions_, nullptr);
  CliRun r;
  for (const char* host : {"::1", "[::1]"}) {
    r = runCli({"--host", host, "--port", std::to_string(server_->port()), "velmora", "get", "2"});
    EXPECT_EQ(r.code, kExitUnreachable);
    EXPECT_NE(r.err.find("error frame"), std::string::npos) << r.err;
  }
  server_->stop();
  r = runCli({"--port", port, "--timeout", "2", "velmora", "get", "2"});
  EXPECT_EQ(r.code, kExitUnreachable);
  EXPECT_NE(r.err.find("cannot reach the host at " + address), std::string::npos) << r.err;
}

TEST_F(CliTest, BadArgumentsAreRefusedWithUsageAndNothingIsSent) {
  const auto answered = [&] { return connect()->health().requestsAnswered; };
  const uint64_t before = answered();
  for (const char* args : {"",
                           "velmora",
                           "velmora get",
                           "velmora get north",
                           "velmora get 4294967296",
                           "velmora get -1",
                           "client get",
                           "client get 5 --name build01",
                           "client set-props 5",
                           "client set-props 5 --set NoEquals",
                           "client set-props 5 --set =value",
                           "client set-props 5 --set A=1 --set-type B=2",
                           "client set-props 5 --set A=1 --set-type A=text",
                           "client set-props --set A=1",
                           "appid 2-1045",
                           "appid 2:x",
                           "appid 2:1045 --client 5",
                           "instance 6",
                           "instance 6 --app 21045",
                           "subclient add-filter 9 --group 9 /x",
                           "subclient add-content 9",
                           "query nonsense",
                           "query clients --client 5",
                           "lookup app-type-name",
                           "--bogus velmora get 2"}) {
    SCOPED_TRACE(args);
    const CliRun r = run(words(args));
    EXPECT_EQ(r.code, kExitUsage) << r.out << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(answered(), before);
}

TEST_F(CliTest, UsageErrorsSayWhatToDoInstead) {
  const struct {
    std::vector<std::string> args;
    std::string env;      // APPMGR_ADDRESS
    const char* message;  // after "appmgr: "
  } cases[] = {
      {{"client", "set-props", "5", "--set", "New=1"}, "", "give its type with --set-type 'New=TYPE'"},
      {{"subclient", "set-props", "9", "--set", "UNC content password=plain"}, "", "--set-secret"},
      {{"velmor", "get", "2"}, "", "did you mean \"appmgr velmora\""},
      {{"--json", "client", "gte", "5"}, "", "did you mean \"appmgr client get\""},
      {{"help", "query", "subclient"}, "", "did you mean \"appmgr query subclients\""},
      {{"client", "get", "--host", "build01"}, "", "--hostname"},
      {{"velmora", "get", "2"}, "localhost", "APPMGR_ADDRESS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CliRun r = c.env.empty() ? run(c.args) : runCli(c.args, c.env);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.err.rfind("appmgr: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" --help' for its usage"), std::string::npos) << r.err;
  }
  EXPECT_EQ(run(cases[3].args).json()["error"]["name"], "USAGE");
}

TEST(CliHelp, EveryCommandHasHelpWithAnExample) {
  for (const char* command : {"velmora get",
                              "velmora find",
                              "param get",
                              "client get",
                              "client props",
                              "client set-props",
                              "appid",
                              "instance",
                              "backup-set",
                              "subclient get",
                              "subclient add-content",
                              "subclient remove-content",
                              "subclient add-filter",
                              "subclient remove-filter",
                              "subclient set-props",
                              "query velmoras",
                              "query clients",
                              "query media-agents",
                              "query applications",
                              "query application-types",
                              "query instances",
                              "query instances-of-type",
                              "query backup-sets",
                              "query client-backup-sets",
                              "query instance-backup-sets",
                              "query subclients",
                              "query archive-group",
                              "lookup app-type-name",
                              "lookup app-id",
                              "lookup client-of-instance",
                              "lookup instance-name",
                              "store init",
                              "store import",
                              "store export",
                              "store check",
                              "health"}) {
    std::vector<std::string> args = words(command);
    args.push_back("--help");
    const CliRun r = runCli(args);
    EXPECT_EQ(r.code, kExitOk) << command;
    EXPECT_NE(r.out.find("Example:\n  appmgr " + args[0]), std::string::npos) << command << r.out;
  }
  const CliRun top = runCli({"--help"});
  EXPECT_EQ(top.code, kExitOk);
  for (const char* word : {"APPMGR_ADDRESS", "--protocol-version", "--socket", "--timeout", "Exit codes"})
    EXPECT_NE(top.out.find(word), std::string::npos) << word;
  EXPECT_NE(runCli(words("help subclient add-filter")).out.find("Filter groups"), std::string::npos);
  EXPECT_NE(runCli(words("help client set-props")).out.find("Property types"), std::string::npos);
  EXPECT_EQ(runCli(words("help")).out, top.out);
}

// ---- Passwords ----

TEST_F(CliTest, OldProtocolVersionSeesThePasswordInTheOldFormat) {
  // The sample tree's passwords are under the development key; the platform
  // takes a key file only when no other user may read it.
  ScopedPlatformConfig config("");
  const std::string keyFile = config.dir() + "/password.key";
  std::filesystem::copy_file(std::string(APPMGR_SOURCE_DIR) + "/config/dev-only-password.key", keyFile);
  std::filesystem::permissions(keyFile, std::filesystem::perms::owner_read);
  config.write("[Base]\nsPasswordKeyFile = " + keyFile + "\n");
  const Json current = fields("instance 11 --app 2:1047")["properties"][1];
  const Json converted = fields("--protocol-version 6 instance 11 --app 2:1047")["properties"][1];
  EXPECT_EQ(current["name"], "Oracle Password");
  EXPECT_EQ(current["value"].get<std::string>().rfind("XRPW2:", 0), 0u);
  EXPECT_NE(converted["value"], current["value"]);
}

TEST_F(CliTest, SecretsTravelEncryptedAndAMissingKeyIsNamed) {
  ScopedDevPasswordKey key;
  const std::vector<std::string> secret = {
      "client", "set-props", "5", "--set-secret", "AD User Password", "--set-type", "AD User Password=3"};
  std::istringstream typed("s3cret +1\n");
  ASSERT_EQ(run(secret, &typed).code, kExitOk);
  const Json stored = fields("client props 5")["properties"].back();
  ASSERT_EQ(stored["name"], "AD User Password");
  EXPECT_EQ(key.decrypt(stored["value"].get<std::string>()), "s3cret +1");
  // An encrypted value passes as it is.
  EXPECT_EQ(
      run({"client", "set-props", "5", "--set", "AD User Password=" + stored["value"].get<std::string>()})
          .code,
      kExitOk);
  key.removeKeyFile();
  const CliRun r = run(secret, &typed);
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_NE(r.err.find("password key file " + key.config().dir()), std::string::npos) << r.err;
}

TEST_F(CliTest, StoreExportKeepsPasswordsEncrypted) {
  ScopedDevPasswordKey key;
  const std::string encrypted = key.encryptV2("export-check Secret 4711");  // watched from here on
  ASSERT_FALSE(encrypted.empty());
  // A password set through the host, and one the sample tree holds.
  ASSERT_EQ(run({"client", "set-props", "5", "--set", "Backup Password=" + encrypted, "--set-type",
                 "Backup Password=3"})
                .code,
            kExitOk);
  const Json oracle = fields("instance 11 --app 2:1047")["properties"][1];
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

// ---- Over mutual TLS: run() shows a client certificate of the test authority ----

class CliTlsTest : public CliTest {
 protected:
  static void SetUpTestSuite() { certificates_ = std::make_unique<TestCertificates>(); }
  static void TearDownTestSuite() { certificates_.reset(); }
  CliTlsTest() {
    hostOptions_.tls.certificateFile = certificates_->hostCert;
    hostOptions_.tls.keyFile = certificates_->hostKey;
    hostOptions_.tls.caFile = certificates_->caFile;
    hostOptions_.tls.requireClientCertificate = true;
    transportArgs_ = {"--tls-ca",  certificates_->caFile,   "--tls-cert", certificates_->clientCert,
                      "--tls-key", certificates_->clientKey};
  }
  static std::unique_ptr<TestCertificates> certificates_;
};

std::unique_ptr<TestCertificates> CliTlsTest::certificates_;

TEST_F(CliTlsTest, CommandsRunOverMutualTlsAndClientsWithoutACertificateAreRefused) {
  EXPECT_EQ(run({"client", "set-props", "5", "--set", "Owner=QA team+ops", "--set-type", "Owner=1"}).code,
            kExitOk);
  EXPECT_NE(run({"client", "props", "5"}).out.find("QA team+ops"), std::string::npos);
  EXPECT_EQ(fields("lookup app-type-name 22")["value"], "Oracle Database");
  // Which certificates the host refuses is the host's tests' business; here
  // a refusal exits 3 with the reason on stderr.
  const struct {
    const char* what;
    std::vector<std::string> transport;
    const char* expected;
  } cases[] = {
      {"no client certificate", {"--tls-ca", certificates_->caFile}, "certificate required"},
      {"certificate without key",
       {"--tls-ca", certificates_->caFile, "--tls-cert", certificates_->clientCert},
       "needs its key"},
      {"no TLS", {}, "closed the connection"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = {"--port", std::to_string(server_->port())};
    args.insert(args.end(), row.transport.begin(), row.transport.end());
    args.insert(args.end(), {"velmora", "get", "2"});
    const CliRun r = runCli(args);
    EXPECT_EQ(r.code, kExitUnreachable);
    EXPECT_NE(r.err.find(row.expected), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

// ---- Store administration, on an SQLite file and on a PostgreSQL schema ----

class CliStoreTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!GetParam()) return;
    std::string why;
    server_ = pgTestConnInfo(why);
    if (server_.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override {
    for (const std::string& schema : schemas_) {
      try {
        pgTestDropSchema(server_, schema);
      } catch (const std::exception&) {
        // Left for the throwaway server to take away.
      }
    }
  }
  // A new empty store: a file name, or a fresh schema with a password
  // (ignored by the test server) that no message may repeat.
  std::string newStore() {
    if (!GetParam()) return dir_.file("s" + std::to_string(schemas_.size() + files_++) + ".db");
    const std::string schema = pgTestSchemaName();
    pgTestExecute(server_, "SELECT format('CREATE SCHEMA %I', $1::text)", {schema}, true);
    schemas_.push_back(schema);
    return pgTestWithSetting(pgTestWithSetting(server_, "options", "-csearch_path=" + schema), "password",
                             "sekrit");
  }

  TempDir dir_;
  std::string server_;
  std::vector<std::string> schemas_;
  int files_ = 0;
};

TEST_P(CliStoreTest, ImportExportCheckRoundTripAndRefuseToOverwrite) {
  const std::string store = newStore(), file = dir_.file("tree.json");
  // Check and export do not make a store of an empty schema or a missing file.
  for (const char* command : {"check", "export"})
    EXPECT_EQ(runCli({"store", command, store}).code, 1) << command;
  if (GetParam()) {
    EXPECT_NE(runCli({"store", "check", store}).err.find("holds no store"), std::string::npos);
  } else {
    EXPECT_FALSE(std::filesystem::exists(store));
  }
  std::string all;  // every message, to look for the password in
  const auto step = [&](const std::vector<std::string>& args, int code) {
    const CliRun r = runCli(args);
    EXPECT_EQ(r.code, code) << ::testing::PrintToString(args) << r.err;
    all += r.out + r.err;
    return r;
  };
  step({"store", "import", store, kSampleTree}, kExitOk);
  EXPECT_NE(step({"store", "import", store, kSampleTree}, 1).err.find("--force"), std::string::npos);
  step({"store", "import", "--force", store, kSampleTree}, kExitOk);
  EXPECT_NE(step({"store", "check", store}, kExitOk).out.find(": ok (schema, integrity, tree: "),
            std::string::npos);
  step({"store", "export", store, file}, kExitOk);
  step({"store", "export", store, file}, 1);
  step({"store", "export", "--force", store, file}, kExitOk);
  std::ifstream written(file);
  const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(step({"store", "export", store}, kExitOk).out, text);
  // The same tree comes out of every store kind.
  const std::string sqlite = dir_.file("reference.db");
  ASSERT_EQ(runCli({"store", "import", sqlite, kSampleTree}).code, kExitOk);
  EXPECT_EQ(text, runCli({"store", "export", sqlite}).out);
  EXPECT_EQ(Json::parse(text)["velmoras"][0]["name"], "north");
  step({"store", "init", store}, 1);
  step({"store", "init", "--force", store}, kExitOk);
  EXPECT_EQ(
      Json::parse(step({"store", "export", store}, kExitOk).out).value("velmoras", Json::array()).size(), 0u);
  // An empty PostgreSQL store may be filled without --force; a file that exists needs it.
  step({"store", "import", store, kSampleTree}, GetParam() ? kExitOk : 1);
  EXPECT_EQ(all.find("sekrit"), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(Stores, CliStoreTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "Sqlite"; });

TEST(CliStore, RefusesForeignFilesAndBadTrees) {
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
  EXPECT_EQ(runCli({"store", "import", dir.file("new.db"), badTree}).code, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.db")));
}

class CliPgStore : public CliStoreTest {};

TEST_P(CliPgStore, CheckReportsWhatWasBrokenAndEveryCommandRefusesAForeignMarker) {
  const struct {
    const char* what;
    std::vector<const char*> damage;
    std::vector<const char*> findings;
  } cases[] = {
      {"a dropped index", {"DROP INDEX client_by_velmora"}, {"index client_by_velmora is missing"}},
      {"a property of a missing owner",
       {"INSERT INTO property VALUES (2, 999999, 1, 'Lost', 1, 'x')"},
       {"1 properties of a missing instance"}},
      {"a foreign key re-added NOT VALID over an orphan entry",
       {"ALTER TABLE subclient_entry DROP CONSTRAINT subclient_entry_subclient_id_fkey",
        "INSERT INTO subclient_entry VALUES (999999, 1, 1, '/lost')",
        "ALTER TABLE subclient_entry ADD FOREIGN KEY (subclient_id) REFERENCES subclient (id) NOT VALID"},
       {"table subclient_entry has 0 of its 1 validated foreign keys",
        "1 subclient entries of a missing subclient"}},
      {"foreign keys not enforced",
       {"ALTER TABLE instance DISABLE TRIGGER ALL"},
       {"triggers disabled", "instance"}},
      {"a dropped column", {"ALTER TABLE client DROP COLUMN roles"}, {"column client.roles is missing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string pg = newStore();
    ASSERT_EQ(runCli({"store", "import", pg, kSampleTree}).code, kExitOk);
    for (const char* sql : c.damage) pgTestExecute(pg, sql);
    const CliRun r = runCli({"store", "check", pg});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    for (const char* finding : c.findings) EXPECT_NE(r.err.find(finding), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("appmgr: integrity: ", 0), 0u) << r.err;
  }
  // A marker the store does not accept: refused by every command, forced
  // or not, and the schema is left as it was.
  const struct {
    const char* marker;
    const char* message;
  } refusals[] = {{"UPDATE appmgr_schema SET application = 'someone-else'", "belongs to another application"},
                  {"UPDATE appmgr_schema SET version = 99", "is newer than"}};
  for (const auto& c : refusals) {
    SCOPED_TRACE(c.marker);
    const std::string pg = newStore();
    ASSERT_EQ(runCli({"store", "import", pg, kSampleTree}).code, kExitOk);
    pgTestExecute(pg, c.marker);
    for (const char* command : {"check", "init --force"}) {
      std::vector<std::string> args = words(std::string("store ") + command);
      args.push_back(pg);
      const CliRun r = runCli(args);
      EXPECT_EQ(r.code, 1);
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_NE(pgTestExecute(pg, "SELECT count(*) FROM client"), "0");
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, CliPgStore, ::testing::Values(true),
                         [](const auto&) { return std::string("PostgreSQL"); });

}  // namespace
