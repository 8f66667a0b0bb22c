// Requests in process over the in-memory store: a Velmora lookup by id and
// a subclient lookup (20 properties, 10 content entries, filters), with log
// lines discarded and with every line written to a file. Rows:
//   <request>/discard   the log sink drops every record, once formatted
//   <request>/filtered  the log sink refuses every line before formatting,
//                       as appmgrd's level filter does with the library's
//                       lines at its default level
//   <request>/file      a FileLogSink writes every line to a temporary file
//   <request>/marked    the same behind a filter that puts a level mark in
//                       front of every line, as appmgrd at debug level
// Every row also reports allocs_per_request: the heap allocations (operator
// new, counted by this program's replacement) per request.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/CSSessionWrapper.h"
#include "platform/EvDebug.h"
#include "platform/xrsDatabuf.h"

#include "store/MemoryConfigStore.h"

namespace {
std::atomic<uint64_t> allocations{0};
}  // namespace

// Counts every allocation of the process, the libraries' included. Kept out
// of line, so that the compiler pairs each free with this function's malloc.
__attribute__((noinline)) void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

constexpr uint64_t kVelmoraId = 2;
constexpr uint64_t kSubclientId = 9;
constexpr uint64_t kFileSystemType = 33;  // subclients with content and filters

class DiscardSink final : public LogSink {
 public:
  void write(const LogRecord&) override {}
};

class FilteredSink final : public LogSink {
 public:
  const char* admit(const char*, LogSeverity, int) override { return nullptr; }
  void write(const LogRecord&) override {}
};

class MarkingSink final : public LogSink {
 public:
  explicit MarkingSink(std::shared_ptr<LogSink> next) : next_(std::move(next)) {}
  const char* admit(const char*, LogSeverity, int) override { return "DEBUG "; }
  void write(const LogRecord& record) override { next_->write(record); }

 private:
  std::shared_ptr<LogSink> next_;
};

enum class Log { kDiscard, kFiltered, kFile, kMarked };

// Drops every response after touching its record.
class NullSession final : public CSSessionWrapper {
 public:
  CZuError getProtocolVersion(unsigned int& version) override {
    version = 7;
    return CZuError();
  }
  CZuError send(unsigned long, const void* record, unsigned int length, const std::string&) override {
    benchmark::DoNotOptimize(record);
    benchmark::DoNotOptimize(length);
    return CZuError();
  }
};

std::shared_ptr<MemoryConfigStore> makeStore() {
  auto store = std::make_shared<MemoryConfigStore>();
  VelmoraRow velmora;
  velmora.id = kVelmoraId;
  velmora.name = "north";
  velmora.hostName = "north.example.net";
  velmora.description = "Northern data centre";
  velmora.timeZoneName = "Europe/Berlin";
  velmora.installDir = "/opt/velmora";
  store->addVelmora(velmora);

  ApplicationRow app;
  app.appId = 1045;
  app.velmoraId = kVelmoraId;
  app.clientId = 5;
  app.appTypeId = kFileSystemType;
  app.instanceId = 6;
  app.backupSetId = 7;
  app.subclientId = kSubclientId;
  app.instanceName = "DefaultInstance";
  app.backupSetName = "defaultBackupSet";
  app.subclientName = "home dirs";
  store->addApplication(app);
  ClientRow client;
  client.id = 5;
  client.velmoraId = kVelmoraId;
  client.name = "build01";
  store->addClient(client);
  SubclientRow subclient;
  subclient.id = kSubclientId;
  subclient.name = "home dirs";
  subclient.backupSetId = 7;
  subclient.instanceId = 6;
  subclient.clientId = 5;
  store->addSubclient(subclient);

  std::string errorText;
  std::vector<PropertyRow> properties;
  for (int i = 0; i < 20; ++i) {
    properties.push_back({"Property " + std::to_string(i), static_cast<unsigned long>(i % 4),
                          "value of property " + std::to_string(i)});
  }
  store->setProperties(PropertyOwner::kSubclient, kSubclientId, properties, errorText);
  std::vector<std::string> content;
  for (int i = 0; i < 10; ++i) content.push_back("/home/user" + std::to_string(i) + "/my documents");
  store->updateSubclientEntries(kSubclientId, kSubclientContentGroup, content, {}, errorText);
  store->updateSubclientEntries(kSubclientId, kFirstFilterGroup, {"/home/*/.cache", "*.tmp"}, {}, errorText);
  store->updateSubclientEntries(kSubclientId, kFirstFilterGroup + 1, {"/home/*/Downloads"}, {}, errorText);
  return store;
}

struct Setup {
  std::string logPath = "/tmp/appmgr-lookup-bench-" + std::to_string(getpid()) + ".log";
  std::string appIdText = std::to_string(kVelmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + "1045";
  Setup() { ConfigStore::install(makeStore()); }
  ~Setup() {
    EvLog::setSink(nullptr);
    std::remove(logPath.c_str());
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

void useSink(Log log) {
  switch (log) {
    case Log::kDiscard:
      EvLog::setSink(std::make_shared<DiscardSink>());
      break;
    case Log::kFiltered:
      EvLog::setSink(std::make_shared<FilteredSink>());
      break;
    case Log::kFile:
      EvLog::setSink(std::make_shared<FileLogSink>(setup().logPath));
      break;
    case Log::kMarked:
      EvLog::setSink(std::make_shared<MarkingSink>(std::make_shared<FileLogSink>(setup().logPath)));
      break;
  }
}

// Allocations per request since `before` (the file sink's writer thread
// allocates a few blocks at its start; they are counted too).
void countAllocations(benchmark::State& state, uint64_t before) {
  state.counters["allocs_per_request"] =
      benchmark::Counter(static_cast<double>(allocations.load() - before) /
                         static_cast<double>(state.iterations() != 0 ? state.iterations() : 1));
}

void velmoraById(benchmark::State& state, Log log) {
  setup();
  useSink(log);
  NullSession session;
  appmanVelmoraByIdReq req;
  req.velmoraId = kVelmoraId;
  xrsDatabuf buf;
  buf.data = &req;
  buf.length = sizeof req;
  buf.capacity = sizeof req;
  const uint64_t before = allocations.load();
  for (auto _ : state) {
    if (BCLsnMsgHandler::handleMessage(session, APPMAN_VELMORA_BY_ID_REQ, &buf) != 0) {
      state.SkipWithError("lookup failed");
    }
  }
  countAllocations(state, before);
  EvLog::setSink(nullptr);
}

void subclientById(benchmark::State& state, Log log) {
  setup();
  useSink(log);
  NullSession session;
  appmanObjectReq req;
  req.objectId = kSubclientId;
  req.appIdText = setup().appIdText.c_str();
  xrsDatabuf buf;
  buf.data = &req;
  buf.length = sizeof req;
  buf.capacity = sizeof req;
  const uint64_t before = allocations.load();
  for (auto _ : state) {
    if (BCLsnMsgHandler::handleMessage(session, APPMAN_SUBCLIENT_BY_ID_REQ, &buf) != 0) {
      state.SkipWithError("lookup failed");
    }
  }
  countAllocations(state, before);
  EvLog::setSink(nullptr);
}

void BM_velmoraById_discard(benchmark::State& state) { velmoraById(state, Log::kDiscard); }
void BM_velmoraById_filtered(benchmark::State& state) { velmoraById(state, Log::kFiltered); }
void BM_velmoraById_file(benchmark::State& state) { velmoraById(state, Log::kFile); }
void BM_velmoraById_marked(benchmark::State& state) { velmoraById(state, Log::kMarked); }
void BM_subclientById_discard(benchmark::State& state) { subclientById(state, Log::kDiscard); }
void BM_subclientById_filtered(benchmark::State& state) { subclientById(state, Log::kFiltered); }
void BM_subclientById_file(benchmark::State& state) { subclientById(state, Log::kFile); }
void BM_subclientById_marked(benchmark::State& state) { subclientById(state, Log::kMarked); }

}  // namespace

BENCHMARK(BM_velmoraById_discard);
BENCHMARK(BM_velmoraById_filtered);
BENCHMARK(BM_velmoraById_file);
BENCHMARK(BM_velmoraById_marked);
BENCHMARK(BM_subclientById_discard);
BENCHMARK(BM_subclientById_filtered);
BENCHMARK(BM_subclientById_file);
BENCHMARK(BM_subclientById_marked);
