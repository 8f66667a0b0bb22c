// The whole entry point over a small in-memory tree: any request code of
// the request table (or a near miss), arbitrary record bytes, and arbitrary
// NUL-terminated texts in the record's text-pointer fields (or null
// pointers). Pointers are never invented: every text field points into a
// text this target owns, as a host's request buffer would.
//
// Input layout:
//   byte 0      request: index into the table; past its end a code that is
//               not served
//   byte 1      bit 0: peer protocol version 6 (else 7); bit 1: the version
//               query fails; bit 2: the send fails; bit 3: no record at all
//               (null data pointer); bits 4-6: text field i is null
//   next bytes  the record (zero-padded when the input is short)
//   the rest    the texts, separated by NUL bytes, one per text field
//
// Properties: an unserved code is never answered; a served one at most
// once, with the response code and record length of its table row; every
// text the response points to is a readable NUL-terminated text; and the
// plain text of the stored passwords appears in no response, error text or
// log line (unless the request itself carries that text: a handler may
// echo what it was asked for).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"
#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"
#include "platform/xrsDatabuf.h"

#include "FuzzSupport.h"
#include "listener/RequestTable.h"
#include "store/MemoryConfigStore.h"

namespace {

constexpr char kPlainPassword[] = "fuzz-Plain-Pw-7431";
constexpr char kDevKeyHex[] = "75c4471e1825564e606cafa463d1bd3797e48d4829b2a11b76bba5439618d120";

// The request record of each code: its size and the offsets of its text
// fields, as a host reads them off the wire.
struct RequestShape {
  unsigned long requestCode;
  size_t size;
  size_t textCount;
  size_t textOffsets[3];
};

const RequestShape kShapes[] = {
    {APPMAN_VELMORA_BY_ID_REQ, sizeof(appmanVelmoraByIdReq), 0, {}},
    {APPMAN_VELMORA_BY_NAME_REQ,
     sizeof(appmanVelmoraByNameReq),
     1,
     {offsetof(appmanVelmoraByNameReq, velmoraName)}},
    {APPMAN_GLOBAL_PARAM_REQ, sizeof(appmanGlobalParamReq), 1, {offsetof(appmanGlobalParamReq, paramName)}},
    {APPMAN_CLIENT_BY_ID_REQ, sizeof(appmanClientByIdReq), 0, {}},
    {APPMAN_CLIENT_BY_NAME_REQ,
     sizeof(appmanClientByNameReq),
     1,
     {offsetof(appmanClientByNameReq, clientName)}},
    {APPMAN_CLIENT_BY_HOSTNAME_REQ,
     sizeof(appmanClientByHostnameReq),
     1,
     {offsetof(appmanClientByHostnameReq, hostName)}},
    {APPMAN_NUM_APPID_REQ, sizeof(appmanAppIdNumReq), 0, {}},
    {APPMAN_SYM_APPID_REQ, sizeof(appmanAppIdSymReq), 0, {}},
    {APPMAN_CLIENT_GET_PROPS_REQ, sizeof(appmanClientGetPropsReq), 0, {}},
    {APPMAN_INSTANCE_BY_ID_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_BACKUPSET_BY_ID_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_SUBCLIENT_BY_ID_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_SUBCLIENT_UPDATE_FILES_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
     sizeof(appmanObjectReq),
     3,
     {offsetof(appmanObjectReq, appIdText), offsetof(appmanObjectReq, firstList),
      offsetof(appmanObjectReq, secondList)}},
    {APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ,
     sizeof(appmanClientSetPropsReq),
     2,
     {offsetof(appmanClientSetPropsReq, setList), offsetof(appmanClientSetPropsReq, removeList)}},
    {APPMAN_CLIENT_SET_PROPS_REQ,
     sizeof(appmanClientSetPropsReq),
     2,
     {offsetof(appmanClientSetPropsReq, setList), offsetof(appmanClientSetPropsReq, removeList)}},
    {APPMAN_DOQUERY_REQ, sizeof(appmanGeneralMsg), 1, {offsetof(appmanGeneralMsg, data)}},
    {APPMAN_DOLOOKUP_REQ, sizeof(appmanGeneralMsg), 1, {offsetof(appmanGeneralMsg, data)}},
};
constexpr size_t kShapeCount = sizeof kShapes / sizeof kShapes[0];

// Codes next to served ones, and a response code: never answered.
const unsigned long kUnserved[] = {APPMAN_VELMORA_BY_ID_REQ + 1, APPMAN_VELMORA_BY_ID_RSP,
                                   APPMAN_DOLOOKUP_REQ - 1, 0};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool gRequestHoldsPlain = false;  // the current input carries the plain text itself

// Whether text shows a stored password in clear.
bool leaks(const std::string& text) { return !gRequestHoldsPlain && contains(text, kPlainPassword); }

// Checks every log line for the plain password.
class CheckingLogSink final : public LogSink {
 public:
  void write(const LogRecord& record) override { FUZZ_CHECK(!leaks(record.text)); }
};

class FuzzSession final : public CSSessionWrapper {
 public:
  FuzzSession(unsigned int version, bool failVersion, bool failSend)
      : version_(version), failVersion_(failVersion), failSend_(failSend) {}

  CZuError getProtocolVersion(unsigned int& version) override {
    if (failVersion_) return CZuError(-1, "no protocol version");
    version = version_;
    return CZuError();
  }

  CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                const std::string& errorText) override {
    ++sends;
    const RequestRow* row = findRequest(requestCode);
    FUZZ_CHECK(row != nullptr);
    FUZZ_CHECK(responseCode == row->responseCode);
    FUZZ_CHECK(length == row->recordLength);
    FUZZ_CHECK(record != nullptr);
    FUZZ_CHECK(!leaks(errorText));
    const appmanTextFields fields = appmanResponseTextFields(responseCode);
    for (size_t i = 0; i < fields.count; ++i) {
      FUZZ_CHECK(fields.offsets[i] + sizeof(const char*) <= length);
      const char* text = nullptr;
      std::memcpy(&text, static_cast<const unsigned char*>(record) + fields.offsets[i], sizeof text);
      if (text != nullptr) FUZZ_CHECK(!leaks(std::string(text, std::strlen(text))));
    }
    return failSend_ ? CZuError(-1, "send failed") : CZuError();
  }

  unsigned long requestCode = 0;
  int sends = 0;

 private:
  unsigned int version_;
  bool failVersion_;
  bool failSend_;
};

std::string gStoredPassword;  // kPlainPassword encrypted with the development key
std::string gConfigDir;

void removeConfigDir() {
  std::error_code ignored;
  std::filesystem::remove_all(gConfigDir, ignored);
}

// A private platform configuration naming a development key file (mode
// 0600), so that version-6 peers get their passwords re-encrypted.
void installDevKey() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/appmgr-fuzz-XXXXXX";
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  gConfigDir = pattern;
  std::atexit(removeConfigDir);
  const std::string keyFile = gConfigDir + "/dev-only-password.key";
  const std::string ini = gConfigDir + "/platform.ini";
  FILE* key = std::fopen(keyFile.c_str(), "w");
  FUZZ_CHECK(key != nullptr);
  std::fprintf(key, "%s\n", kDevKeyHex);
  std::fclose(key);
  std::filesystem::permissions(keyFile,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  FILE* config = std::fopen(ini.c_str(), "w");
  FUZZ_CHECK(config != nullptr);
  std::fprintf(config, "[Base]\nsPasswordKeyFile = %s\n", keyFile.c_str());
  std::fclose(config);
  setenv("APPMGR_PLATFORM_CONFIG", ini.c_str(), 1);
  XRPlatformInfo::reload();

  char buffer[2049];
  unsigned long length = sizeof buffer;
  FUZZ_CHECK(XRPassword().encrypt(kPlainPassword, buffer, &length) != 0);
  gStoredPassword.assign(buffer, length);
}

// Velmora 2 with clients 5 and 10; client 5 has instance 6, backup set 7
// and subclients 8 and 9; client 10 has 11, 12 and 13. Every level that
// carries passwords holds one.
std::shared_ptr<MemoryConfigStore> smallTree() {
  auto store = std::make_shared<MemoryConfigStore>();
  VelmoraRow velmora;
  velmora.id = 2;
  velmora.name = "north";
  velmora.hostName = "north.example.net";
  store->addVelmora(velmora);
  store->addGlobalParam("nMaxBackupStreams", "8");
  store->addApplicationType(7, "File System");
  store->addApplicationType(22, "Oracle Database");
  struct App {
    uint64_t appId, clientId, appTypeId, instanceId, backupSetId, subclientId;
    const char *instance, *backupSet, *subclient;
  };
  const App apps[] = {{1045, 5, 7, 6, 7, 8, "DefaultInstance", "defaultBackupSet", "default"},
                      {1046, 5, 7, 6, 7, 9, "DefaultInstance", "defaultBackupSet", "home dirs"},
                      {1047, 10, 22, 11, 12, 13, "OracleProd", "archive+logs", "nightly"}};
  for (uint64_t id : {5, 10}) {
    ClientRow client;
    client.id = id;
    client.velmoraId = 2;
    client.name = id == 5 ? "build01" : "oradb";
    client.hostName = client.name + ".example.net";
    client.osName = "Linux";
    client.versionText = "11.0.0 SP22 HPK5";
    store->addClient(client);
  }
  store->setClientRoles(5, ConfigStore::kClientRoleDataAgent);
  store->setClientRoles(10, ConfigStore::kClientRoleDataAgent | ConfigStore::kClientRoleMediaAgent);
  for (const App& a : apps) {
    ApplicationRow app;
    app.appId = a.appId;
    app.velmoraId = 2;
    app.clientId = a.clientId;
    app.appTypeId = a.appTypeId;
    app.instanceId = a.instanceId;
    app.backupSetId = a.backupSetId;
    app.subclientId = a.subclientId;
    app.instanceName = a.instance;
    app.backupSetName = a.backupSet;
    app.subclientName = a.subclient;
    store->addApplication(app);
    store->addInstance({a.instanceId, a.instance, 0, a.clientId, a.appTypeId, 2, "", 0, 0});
    store->addBackupSet({a.backupSetId, a.backupSet, 0, a.instanceId, a.clientId, a.appTypeId, "", 0});
    store->addSubclient({a.subclientId, a.subclient, 0, a.backupSetId, a.instanceId, a.clientId, ""});
  }
  store->assignArchiveGroup(2, 1045, 3);
  store->addInstanceContent(6, {1, "/"});
  store->addInstanceContent(6, {1, "/data/project files"});
  std::string errorText;
  store->updateSubclientEntries(8, kSubclientContentGroup, {"/etc", "/home/shared files"}, {}, errorText);
  store->updateSubclientEntries(8, kFirstFilterGroup, {"*.tmp"}, {}, errorText);
  store->setProperties(
      PropertyOwner::kClient, 5,
      {{"Client Description", 1, "build server"}, {XR_PROP_FS_USER_PASSWORD, 1, gStoredPassword}}, errorText);
  store->setProperties(PropertyOwner::kInstance, 11,
                       {{"Oracle Home", 1, "/u01/app"}, {XR_ORACLE_PASSWORD, 1, gStoredPassword}}, errorText);
  store->setProperties(PropertyOwner::kBackupSet, 7, {{"Backup Set Description", 1, "all disks"}}, errorText);
  store->setProperties(PropertyOwner::kSubclient, 8,
                       {{"Streams", 2, "2"}, {XR_PROP_UNC_CONTENT_PASSWORD, 1, gStoredPassword}}, errorText);
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  installDevKey();
  EvLog::setSink(std::make_shared<CheckingLogSink>());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  gRequestHoldsPlain = contains(std::string(reinterpret_cast<const char*>(data), size), kPlainPassword);
  const size_t pick = data[0] % (kShapeCount + std::size(kUnserved));
  const uint8_t flags = data[1];
  data += 2;
  size -= 2;

  const RequestShape* shape = pick < kShapeCount ? &kShapes[pick] : nullptr;
  const unsigned long requestCode = shape != nullptr ? shape->requestCode : kUnserved[pick - kShapeCount];
  // An unserved code gets the largest record, so any mistaken read of it
  // stays in bounds for the sanitizer to judge by the record alone.
  const size_t recordSize = shape != nullptr ? shape->size : sizeof(appmanObjectReq);
  std::unique_ptr<unsigned char[]> record(new unsigned char[recordSize]());
  const size_t recordBytes = size < recordSize ? size : recordSize;
  std::memcpy(record.get(), data, recordBytes);
  data += recordBytes;
  size -= recordBytes;

  // The texts, each in its own exact-size allocation.
  std::vector<std::unique_ptr<char[]>> texts;
  const size_t textCount = shape != nullptr ? shape->textCount : 0;
  for (size_t i = 0; i < textCount; ++i) {
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t length = end != nullptr ? static_cast<size_t>(end - data) : size;
    texts.emplace_back(new char[length + 1]);
    std::memcpy(texts.back().get(), data, length);
    texts.back()[length] = '\0';
    const size_t used = end != nullptr ? length + 1 : length;
    data += used;
    size -= used;
    const char* pointer = (flags >> (4 + i)) & 1 ? nullptr : texts.back().get();
    std::memcpy(record.get() + shape->textOffsets[i], &pointer, sizeof pointer);
  }

  ConfigStore::install(smallTree());
  xrsDatabuf buf;
  buf.data = (flags & 8) != 0 ? nullptr : record.get();
  buf.length = (flags & 8) != 0 ? 0 : recordSize;
  buf.capacity = buf.length;
  FuzzSession session((flags & 1) != 0 ? 6 : 7, (flags & 2) != 0, (flags & 4) != 0);
  session.requestCode = requestCode;
  BCLsnMsgHandler::handleMessage(session, requestCode, &buf);
  FUZZ_CHECK(session.sends <= (findRequest(requestCode) != nullptr ? 1 : 0));
  ConfigStore::install(nullptr);
  return 0;
}
