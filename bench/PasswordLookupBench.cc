// Benchmark of an instance lookup whose property list holds one password,
// answered in process over the in-memory store with log lines dropped. A
// peer of protocol version 6 gets the password re-encrypted into version 1;
// a peer of version 7 gets it as stored. The gap between the two is the cost
// of the password conversion, registry and key reads included.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"
#include "platform/XRPassword.h"
#include "platform/XRPlatformInfo.h"
#include "platform/xrsDatabuf.h"

#include "store/MemoryConfigStore.h"

namespace {

constexpr char kKeyHex[] = "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778899aabbccddeeff0";
constexpr uint64_t kVelmoraId = 2;
constexpr uint64_t kAppId = 1045;
constexpr uint64_t kInstanceId = 11;
constexpr uint64_t kAppType = 22;  // an application type without instance content

class NullLogSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

// Answers a fixed protocol version and drops every response.
class DiscardingSession final : public CSSessionWrapper {
 public:
  explicit DiscardingSession(unsigned int version) : version_(version) {}
  CZuError getProtocolVersion(unsigned int& version) override {
    version = version_;
    return CZuError();
  }
  CZuError send(unsigned long, const void* record, unsigned int, const std::string&) override {
    benchmark::DoNotOptimize(record);
    return CZuError();
  }

 private:
  unsigned int version_;
};

// A registry and key file in a temporary directory, named by
// APPMGR_PLATFORM_CONFIG for the process's lifetime.
class BenchPlatform {
 public:
  BenchPlatform() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/appmgr-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    std::ofstream(dir_ + "/bench.key") << kKeyHex << "\n";
    // The platform refuses a key file that other users can read.
    std::filesystem::permissions(dir_ + "/bench.key",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::ofstream(dir_ + "/platform.ini") << "[Base]\nsPasswordKeyFile = bench.key\ndTARVENTEMPDIR = /tmp\n";
    setenv(kPlatformConfigEnv, (dir_ + "/platform.ini").c_str(), 1);
  }
  ~BenchPlatform() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::string dir_;
};

std::shared_ptr<MemoryConfigStore> storeWithOnePassword() {
  char encrypted[2049];
  unsigned long length = sizeof encrypted;
  if (XRPassword().encrypt("s3cret pw", encrypted, &length) == 0) throw std::runtime_error("no key");

  auto store = std::make_shared<MemoryConfigStore>();
  ApplicationRow app;
  app.appId = kAppId;
  app.velmoraId = kVelmoraId;
  app.clientId = 5;
  app.appTypeId = kAppType;
  app.instanceId = kInstanceId;
  app.instanceName = "OracleProd";
  store->addApplication(app);
  InstanceRow instance;
  instance.id = kInstanceId;
  instance.name = "OracleProd";
  instance.clientId = 5;
  instance.appTypeId = kAppType;
  instance.velmoraId = kVelmoraId;
  store->addInstance(instance);
  std::string errorText;
  store->setProperties(PropertyOwner::kInstance, kInstanceId,
                       {{"Oracle Home", 1, "/u01/app/oracle"}, {XR_ORACLE_PASSWORD, 5, encrypted}},
                       errorText);
  return store;
}

void BM_InstanceLookupOnePassword(benchmark::State& state) {
  static BenchPlatform platform;
  EvLog::setSink(std::make_shared<NullLogSink>());
  ConfigStore::install(storeWithOnePassword());

  const std::string appIdText =
      std::to_string(kVelmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + std::to_string(kAppId);
  appmanObjectReq request;
  request.objectId = kInstanceId;
  request.appIdText = appIdText.c_str();
  DiscardingSession session(static_cast<unsigned int>(state.range(0)));
  for (auto _ : state) {
    xrsDatabuf buf;
    buf.data = &request;
    benchmark::DoNotOptimize(BCLsnMsgHandler::handleMessage(session, APPMAN_INSTANCE_BY_ID_REQ, &buf));
  }
  ConfigStore::install(nullptr);
  EvLog::setSink(nullptr);
}
// Protocol version 6 (password converted) and 7 (sent as stored).
BENCHMARK(BM_InstanceLookupOnePassword)->ArgName("peerVersion")->Arg(6)->Arg(7);

// The parts of the conversion: one registry read, and one stored password
// loaded and written in version 1.
void BM_RegistryRead(benchmark::State& state) {
  static BenchPlatform platform;
  for (auto _ : state) {
    XRPlatformInfo info;
    info.setFocus(XRPI_Focus::getFocus());
    std::string path;
    benchmark::DoNotOptimize(info.getString("Base", "sPasswordKeyFile", &path));
  }
}
BENCHMARK(BM_RegistryRead);

void BM_PasswordToVersion1(benchmark::State& state) {
  static BenchPlatform platform;
  char stored[2049];
  unsigned long length = sizeof stored;
  if (XRPassword().encrypt("s3cret pw", stored, &length) == 0) throw std::runtime_error("no key");
  for (auto _ : state) {
    XRPassword password;
    char out[2049];
    unsigned long outLength = sizeof out;
    benchmark::DoNotOptimize(password.putEncPwd(stored));
    benchmark::DoNotOptimize(password.getEncPwd(out, &outLength, 1UL << 24));
  }
}
BENCHMARK(BM_PasswordToVersion1);

}  // namespace
