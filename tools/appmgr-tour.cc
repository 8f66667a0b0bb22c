// appmgr-tour: a short in-process tour of the listener library. It loads
// the sample configuration tree (examples/sample-tree.json) into an SQLite
// store in a temporary directory, sends a list of requests through the
// library's entry point and prints every response the library sends back.
//
// Usage: appmgr-tour [--tree tree.json] [log-file]
//        (without a log file, log lines are dropped)
#include <cinttypes>
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
#include "platform/xrsDatabuf.h"

#include "store/ConfigTreeJson.h"
#include "store/SqliteConfigStore.h"

namespace {

// ---- The sample configuration tree ----

// Ids of examples/sample-tree.json that the requests below name.
constexpr uint64_t kVelmoraId = 2;
// Application types: instances of type 7 carry their own content list.
constexpr uint64_t kContentAppType = 7;
constexpr uint64_t kHomeDirsAppId = 1046;  // subclient 9 "home dirs" of client 5
constexpr uint64_t kNightlyAppId = 1047;   // subclient 13 "nightly" of client 10

// The sample tree imported into a new SQLite store in a temporary
// directory, which is removed when the tour ends.
class SampleStore {
 public:
  SampleStore() = default;
  SampleStore(const SampleStore&) = delete;
  SampleStore& operator=(const SampleStore&) = delete;
  ~SampleStore() {
    store_.reset();
    if (!directory_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(directory_, ignored);
    }
  }

  bool open(const std::string& treePath) {
    std::string pattern = (std::filesystem::temp_directory_path() / "appmgr-tour-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "appmgr-tour: cannot create a temporary directory\n");
      return false;
    }
    directory_ = pattern;
    const std::string path = directory_ + "/config.db";
    std::string errorText;
    if (SqliteConfigStore::open(path, store_, errorText) != 0 ||
        importConfigTreeFile(treePath, *store_, errorText) != 0) {
      std::fprintf(stderr, "appmgr-tour: %s\n", errorText.c_str());
      return false;
    }
    std::printf("Configuration store: SQLite file %s, loaded from %s\n\n", path.c_str(), treePath.c_str());
    return true;
  }

  std::shared_ptr<SqliteConfigStore> store() const { return store_; }

 private:
  std::string directory_;
  std::shared_ptr<SqliteConfigStore> store_;
};

// ---- Printing the responses ----

template <typename Record>
Record recordAt(const void* bytes) {
  Record record;
  std::memcpy(static_cast<void*>(&record), bytes, sizeof record);
  return record;
}

void printVelmora(const void* bytes) {
  const auto r = recordAt<appmanVelmoraRsp>(bytes);
  std::printf("    velmoraId=%u value1=%u value2=%u value3=%u idCopy=%" PRIu64 " signedValue=%" PRId64
              " context=%#" PRIx64 " errorCode=%#x\n",
              r.velmoraId, r.value1, r.value2, r.value3, r.idCopy, r.signedValue, r.context, r.errorCode);
}

void printGlobalParam(const void* bytes) {
  std::printf("    errorCode=%#x\n", recordAt<appmanGlobalParamRsp>(bytes).errorCode);
}

void printAppId(const void* bytes) {
  const auto r = recordAt<appmanAppIdRsp>(bytes);
  std::printf(
      "    appId=%u velmoraId=%u clientId=%u appIdCopy=%u appTypeId=%u instanceId=%u backupSetId=%u\n"
      "    subclientId=%u aux1=%u aux2=%u context=%#" PRIx64 " errorCode=%#x\n",
      r.appId, r.velmoraId, r.clientId, r.appIdCopy, r.appTypeId, r.instanceId, r.backupSetId, r.subclientId,
      r.aux1, r.aux2, r.context, r.errorCode);
}

void printGeneral(const void* bytes) {
  const auto r = recordAt<appmanGeneralMsg>(bytes);
  std::printf("    msgCode=%#x context=%#" PRIx64 " errorCode=%#x\n", r.msgCode, r.context, r.errorCode);
}

void printClient(const void* bytes) {
  const auto r = recordAt<appmanClientRsp>(bytes);
  std::printf("    clientId=%u clientIdLong=%" PRIu64 " qualifier=%" PRIu64
              " clientAttribute=%u context=%#" PRIx64 " errorCode=%#x\n",
              r.clientId, r.clientIdLong, r.qualifier, r.clientAttribute, r.context, r.errorCode);
}

struct RecordPrinter {
  unsigned long responseCode;
  const char* recordName;
  void (*print)(const void* bytes);
};

const RecordPrinter kPrinters[] = {
    {APPMAN_VELMORA_BY_ID_RSP, "appmanVelmoraByIdRsp", printVelmora},
    {APPMAN_VELMORA_BY_NAME_RSP, "appmanVelmoraByNameRsp", printVelmora},
    {APPMAN_GLOBAL_PARAM_RSP, "appmanGlobalParamRsp", printGlobalParam},
    {APPMAN_APPID_RSP, "appmanAppIdRsp", printAppId},
    {APPMAN_CLIENT_BY_ID_RSP, "appmanClientByIdRsp", printClient},
    {APPMAN_CLIENT_BY_NAME_RSP, "appmanClientByNameRsp", printClient},
    {APPMAN_CLIENT_BY_HOSTNAME_RSP, "appmanClientByNameRsp", printClient},
};
const RecordPrinter kGeneralPrinter = {0, "appmanGeneralMsg", printGeneral};

const char* fieldName(unsigned long responseCode, size_t offset) {
  switch (responseCode) {
    case APPMAN_VELMORA_BY_ID_RSP:
    case APPMAN_VELMORA_BY_NAME_RSP:
      return "velmoraName";
    case APPMAN_GLOBAL_PARAM_RSP:
      return "paramValue";
    case APPMAN_CLIENT_BY_ID_RSP:
    case APPMAN_CLIENT_BY_NAME_RSP:
    case APPMAN_CLIENT_BY_HOSTNAME_RSP:
      return offset == offsetof(appmanClientRsp, clientName) ? "clientName"
             : offset == offsetof(appmanClientRsp, hostName) ? "hostName"
                                                             : "platformList";
    default:
      return offset == offsetof(appmanGeneralMsg, data) ? "data" : "text";
  }
}

// `text` with each line feed shown as a backslash and "n", so a multi-line
// answer prints on one line.
std::string visibleLineEnds(const char* text) {
  std::string out;
  for (; *text != '\0'; ++text) out += *text == '\n' ? std::string("\\n") : std::string(1, *text);
  return out;
}

// A session that prints every response instead of sending it.
class PrintingSession final : public CSSessionWrapper {
 public:
  CZuError getProtocolVersion(unsigned int& version) override {
    version = 7;
    return CZuError();
  }

  CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                const std::string& errorText) override {
    ++sends_;
    const RecordPrinter* printer = &kGeneralPrinter;
    for (const RecordPrinter& p : kPrinters) {
      if (p.responseCode == responseCode) printer = &p;
    }
    std::printf("  -> response %#lx, %s, %u bytes%s%s\n", responseCode, printer->recordName, length,
                errorText.empty() ? "" : ", error text: ", errorText.c_str());
    printer->print(record);
    const appmanTextFields fields = appmanResponseTextFields(responseCode);
    for (size_t i = 0; i < fields.count; ++i) {
      const char* text = nullptr;
      std::memcpy(&text, static_cast<const char*>(record) + fields.offsets[i], sizeof text);
      if (text == nullptr) {
        std::printf("    %s: (null)\n", fieldName(responseCode, fields.offsets[i]));
      } else {
        std::printf("    %s: \"%s\"\n", fieldName(responseCode, fields.offsets[i]),
                    visibleLineEnds(text).c_str());
      }
    }
    return CZuError();
  }

  int sends() const { return sends_; }

 private:
  int sends_ = 0;
};

// A sink that drops every line.
class NullLogSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

// ---- The requests ----

struct Step {
  const char* title;
  unsigned long requestCode;
  void* record;
};

appmanObjectReq objectRequest(uint64_t objectId, const char* appIdText) {
  appmanObjectReq req;
  req.objectId = objectId;
  req.appIdText = appIdText;
  return req;
}

// ---- Adapter list queries and lookups ----

// One request of every adapter query and lookup type, then a type that is
// not served. The request text is the type and its numbers in decimal.
void tourAdapters(PrintingSession& session) {
  struct AdapterStep {
    const char* title;
    unsigned long requestCode;
    uint32_t type;
    const char* numbers;
  };
  const AdapterStep steps[] = {
      {"Every Velmora", APPMAN_DOQUERY_REQ, velmoraVelmorasQuery, ""},
      {"Clients of Velmora 2", APPMAN_DOQUERY_REQ, velmoraClientsQuery, "0 2"},
      {"Media agents of Velmora 2", APPMAN_DOQUERY_REQ, velmoraMediaAgentQuery, "2"},
      {"Application ids of client 5", APPMAN_DOQUERY_REQ, clientApplicationsQuery, "2 5"},
      {"Application types of client 10", APPMAN_DOQUERY_REQ, clientApplicationTypesQuery, "10"},
      {"Instances of client 5", APPMAN_DOQUERY_REQ, clientInstancesQuery, "2 5"},
      {"Instances of application type 22", APPMAN_DOQUERY_REQ, instanceListFromAppTypeQuery, "2 22"},
      {"Backup sets of instance 11", APPMAN_DOQUERY_REQ, clientBackupSetsQuery, "22 0 11"},
      {"Backup sets of client 5, type 7", APPMAN_DOQUERY_REQ, clientBackupSetsNoInstanceQuery, "5 0 7"},
      {"Backup sets of client 10, instance 11", APPMAN_DOQUERY_REQ, clientBackupSetsWithInstance,
       "10 0 22 0 11"},
      {"Subclients of backup set 7", APPMAN_DOQUERY_REQ, clientSubclientsQuery, "5 0 7"},
      {"Applications of archive group 3", APPMAN_DOQUERY_REQ, archiveGroupApplicationsQuery, "2 3"},
      {"Name of application type 22", APPMAN_DOLOOKUP_REQ, ApplicationTypeNameLookup, "22"},
      {"Application id of subclient 9", APPMAN_DOLOOKUP_REQ, ApplicationIdLookup, "9"},
      {"Client and Velmora of instance 11", APPMAN_DOLOOKUP_REQ, ClientIdLookupFromInstanceId, "11"},
      {"Name of instance 6", APPMAN_DOLOOKUP_REQ, LookupInstNameFromId, "6"},
      {"A type that is not served", APPMAN_DOLOOKUP_REQ, ClientChallenge, ""},
  };
  uint64_t context = 0x600;
  for (const AdapterStep& step : steps) {
    const std::string text = std::to_string(step.type) + (*step.numbers != '\0' ? " " : "") + step.numbers;
    appmanGeneralMsg request;
    request.data = text.c_str();
    request.context = ++context;
    std::printf("%s: request %#lx, text \"%s\"\n", step.title, step.requestCode, text.c_str());
    xrsDatabuf buf;
    buf.data = &request;
    const int before = session.sends();
    const int result = BCLsnMsgHandler::handleMessage(session, step.requestCode, &buf);
    if (session.sends() == before) std::printf("  -> no response\n");
    std::printf("  result %#x\n\n", static_cast<unsigned>(result));
  }
}

// Client lookup and properties, then the subclient content and filter
// updates, each followed by the read that shows the new state.
void tourClientsAndSubclientUpdates(PrintingSession& session) {
  appmanClientByHostnameReq clientByHost;
  clientByHost.hostName = "build01.example.net";
  clientByHost.context = 0x105;
  appmanClientGetPropsReq clientProps;
  clientProps.clientId = 5;
  clientProps.headerValue = 1;
  appmanClientSetPropsReq setClientProps;
  setClientProps.clientId = 5;
  setClientProps.setList = "2 0 Client+1Description 1 build+1and+1test+1server 0 0 Log+1Level 1 2 0";
  setClientProps.removeList = "0";
  // Subclient 9 ("home dirs"): content /home and "/srv/shared profiles",
  // filter group 3 holds /home/*/.cache.
  appmanObjectReq updateFiles = objectRequest(9, nullptr);
  updateFiles.firstList = "1 /srv/new+1data";
  updateFiles.secondList = "1 /home";
  appmanObjectReq updateFilters = objectRequest(9, nullptr);
  updateFilters.firstList = "2 2 1 /tmp 3 0";
  updateFilters.secondList = "0 1 /home/*/.cache";
  const std::string appIdText =
      std::to_string(kVelmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + std::to_string(kHomeDirsAppId);
  appmanObjectReq subclient = objectRequest(9, appIdText.c_str());

  const Step steps[] = {
      {"Client by host name", APPMAN_CLIENT_BY_HOSTNAME_REQ, &clientByHost},
      {"Client properties", APPMAN_CLIENT_GET_PROPS_REQ, &clientProps},
      {"Set client properties", APPMAN_CLIENT_SET_PROPS_REQ, &setClientProps},
      {"Client properties after the update", APPMAN_CLIENT_GET_PROPS_REQ, &clientProps},
      {"Subclient content: add /srv/new data, remove /home", APPMAN_SUBCLIENT_UPDATE_FILES_REQ, &updateFiles},
      {"Subclient filters: add /tmp to group 2, remove /home/*/.cache from group 3",
       APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ, &updateFilters},
      {"Subclient after the updates", APPMAN_SUBCLIENT_BY_ID_REQ, &subclient},
  };
  for (const Step& step : steps) {
    std::printf("%s: request %#lx\n", step.title, step.requestCode);
    xrsDatabuf buf;
    buf.data = step.record;
    const int result = BCLsnMsgHandler::handleMessage(session, step.requestCode, &buf);
    std::printf("  result %#x\n\n", static_cast<unsigned>(result));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string treePath = std::string(APPMGR_SOURCE_DIR) + "/examples/sample-tree.json";
  const char* logFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tree") == 0 && i + 1 < argc) {
      treePath = argv[++i];
    } else if (argv[i][0] == '-' || logFile != nullptr) {
      std::fprintf(stderr, "usage: appmgr-tour [--tree tree.json] [log-file]\n");
      return 2;
    } else {
      logFile = argv[i];
    }
  }
  std::shared_ptr<LogSink> sink = std::make_shared<NullLogSink>();
  if (logFile != nullptr) {
    auto file = std::make_shared<FileLogSink>(logFile);
    if (!file->isOpen()) {
      std::fprintf(stderr, "appmgr-tour: cannot open log file %s\n", logFile);
      return 1;
    }
    sink = file;
  }
  EvLog::setSink(sink);
  SampleStore sample;
  if (!sample.open(treePath)) return 1;
  ConfigStore::install(sample.store());

  const std::string appIdText =
      std::to_string(kVelmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + std::to_string(kHomeDirsAppId);

  appmanVelmoraByIdReq velmoraById;
  velmoraById.velmoraId = kVelmoraId;
  velmoraById.context = 0x101;
  appmanVelmoraByNameReq velmoraByName;
  velmoraByName.velmoraName = "north";
  velmoraByName.context = 0x102;
  appmanVelmoraByIdReq missingVelmora;
  missingVelmora.velmoraId = 77;
  appmanGlobalParamReq globalParam;
  globalParam.paramName = "sAuditPath";
  appmanAppIdNumReq numericAppId;
  numericAppId.velmoraId = kVelmoraId;
  numericAppId.appId = static_cast<uint32_t>(kNightlyAppId);
  numericAppId.context = 0x103;
  appmanAppIdSymReq symbolicAppId;
  symbolicAppId.velmoraId = kVelmoraId;
  symbolicAppId.clientId = 5;
  symbolicAppId.appTypeId = kContentAppType;
  symbolicAppId.instanceId = 6;
  symbolicAppId.backupSetId = 7;
  symbolicAppId.subclientId = 9;
  symbolicAppId.context = 0x104;
  appmanObjectReq instance = objectRequest(6, appIdText.c_str());
  appmanObjectReq backupSet = objectRequest(7, appIdText.c_str());
  appmanObjectReq subclient = objectRequest(9, appIdText.c_str());

  const Step steps[] = {
      {"Velmora by id", APPMAN_VELMORA_BY_ID_REQ, &velmoraById},
      {"Velmora by name", APPMAN_VELMORA_BY_NAME_REQ, &velmoraByName},
      {"A Velmora that does not exist", APPMAN_VELMORA_BY_ID_REQ, &missingVelmora},
      {"Global parameter sAuditPath", APPMAN_GLOBAL_PARAM_REQ, &globalParam},
      {"Numeric application id", APPMAN_NUM_APPID_REQ, &numericAppId},
      {"Symbolic application id", APPMAN_SYM_APPID_REQ, &symbolicAppId},
      {"An unexpected request code", APPMAN_APPID_RSP, &numericAppId},
      {"Instance by id", APPMAN_INSTANCE_BY_ID_REQ, &instance},
      {"Backup set by id", APPMAN_BACKUPSET_BY_ID_REQ, &backupSet},
      {"Subclient by id", APPMAN_SUBCLIENT_BY_ID_REQ, &subclient},
  };

  PrintingSession session;
  for (const Step& step : steps) {
    std::printf("%s: request %#lx\n", step.title, step.requestCode);
    xrsDatabuf buf;
    buf.data = step.record;
    const int before = session.sends();
    const int result = BCLsnMsgHandler::handleMessage(session, step.requestCode, &buf);
    if (session.sends() == before) std::printf("  -> no response\n");
    std::printf("  result %#x\n\n", static_cast<unsigned>(result));
  }
  tourAdapters(session);

  tourClientsAndSubclientUpdates(session);

  ConfigStore::install(nullptr);
  EvLog::setSink(nullptr);
  return 0;
}
