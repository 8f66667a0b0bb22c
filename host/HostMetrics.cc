// Per-thread shards of counters and histograms, merged into Prometheus
// metric families at scrape time.
#include "host/HostMetrics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "AppMgr/appMgrStructDefines.h"

#include "host/AccessLog.h"

namespace appmgr {

namespace {

// The request codes counted one by one; any other code counts as "other",
// so a peer sending made-up codes cannot grow the label set.
constexpr unsigned long kServedCodes[] = {
    APPMAN_VELMORA_BY_ID_REQ,
    APPMAN_VELMORA_BY_NAME_REQ,
    APPMAN_GLOBAL_PARAM_REQ,
    APPMAN_CLIENT_BY_ID_REQ,
    APPMAN_CLIENT_BY_NAME_REQ,
    APPMAN_CLIENT_BY_HOSTNAME_REQ,
    APPMAN_NUM_APPID_REQ,
    APPMAN_SYM_APPID_REQ,
    APPMAN_CLIENT_GET_PROPS_REQ,
    APPMAN_INSTANCE_BY_ID_REQ,
    APPMAN_BACKUPSET_BY_ID_REQ,
    APPMAN_SUBCLIENT_BY_ID_REQ,
    APPMAN_SUBCLIENT_UPDATE_FILES_REQ,
    APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ,
    APPMAN_SUBCLIENT_UPDATE_PROPS_REQ,
    APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ,
    APPMAN_CLIENT_SET_PROPS_REQ,
    APPMAN_DOQUERY_REQ,
    APPMAN_DOLOOKUP_REQ,
};
constexpr size_t kCodes = sizeof kServedCodes / sizeof kServedCodes[0] + 1;  // the last: other
constexpr size_t kResults = 3;
constexpr const char* kResultNames[kResults] = {"ok", "error", "no_response"};
constexpr size_t kWireErrors = static_cast<size_t>(wire::WireError::kTooManyConnections) + 1;
constexpr size_t kOperations = static_cast<size_t>(StoreOperation::kCount);
constexpr const char* kOperationNames[kOperations] = {
    "find_velmora",
    "get_global_param",
    "find_application",
    "find_client",
    "find_instance",
    "find_backup_set",
    "find_subclient",
    "list_properties",
    "set_properties",
    "remove_properties",
    "list_instance_content",
    "list_subclient_entries",
    "update_subclient_entries",
    "list_velmoras",
    "list_clients",
    "list_clients_of_type",
    "list_applications",
    "list_application_types",
    "list_instances",
    "list_backup_sets",
    "list_subclients",
    "list_archive_group_applications",
    "find_application_type_name",
    "find_application_by_subclient",
};

// Upper bounds of the histogram buckets, from a fast lookup to a slow store.
constexpr double kBounds[] = {10e-6,  25e-6, 50e-6, 100e-6, 250e-6, 500e-6, 1e-3,
                              2.5e-3, 5e-3,  10e-3, 25e-3,  100e-3, 1.0};
constexpr size_t kBuckets = sizeof kBounds / sizeof kBounds[0] + 1;  // the last: +Inf

size_t codeIndex(uint64_t code) {
  for (size_t i = 0; i + 1 < kCodes; ++i) {
    if (kServedCodes[i] == code) return i;
  }
  return kCodes - 1;
}

std::atomic<uint64_t> nextInstance{1};

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The process's start, from the kernel's clock ticks since boot; the
// current time when /proc does not tell.
double processStartTime() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');  // the command name may hold spaces
  std::ifstream system("/proc/stat");
  std::string line;
  unsigned long long bootTime = 0;
  while (std::getline(system, line)) {
    if (std::sscanf(line.c_str(), "btime %llu", &bootTime) == 1) break;
  }
  unsigned long long ticks = 0;
  if (close == std::string::npos || bootTime == 0 ||
      std::sscanf(text.c_str() + close + 1,
                  " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                  &ticks) != 1) {
    return wallSeconds();
  }
  return static_cast<double>(bootTime) +
         static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double residentBytes() {
  unsigned long long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%*u %llu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double openDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  double count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count - 1;  // the directory's own descriptor
}

std::string hexCode(unsigned long code) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", code);
  return text;
}
}  // namespace

// A counter written by one thread and read by scrapes: a relaxed load and
// store, no read-modify-write.
struct Count {
  std::atomic<uint64_t> value{0};
  void add(uint64_t n = 1) {
    value.store(value.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
  }
  uint64_t get() const { return value.load(std::memory_order_relaxed); }
};

struct Histogram {
  Count buckets[kBuckets];  // not cumulative; a scrape adds them up
  Count count;
  Count nanos;

  void observe(std::chrono::nanoseconds took) {
    const double seconds = std::chrono::duration<double>(took).count();
    size_t i = 0;
    while (i + 1 < kBuckets && seconds > kBounds[i]) ++i;
    buckets[i].add();
    count.add();
    nanos.add(static_cast<uint64_t>(std::max<int64_t>(0, took.count())));
  }
};

struct alignas(64) HostMetrics::Shard {
  Count requests[kCodes][kResults];
  Histogram library[kCodes];
  Histogram total[kCodes];
  Count frameErrors[kWireErrors];
  Count inlineCalls;
  Count handedOff;
  Count storeOperations[kOperations][2];  // ok, error
  Histogram storeTime[kOperations];
};

namespace {
// The shard of the calling thread for the metrics instance it last counted
// for (a thread counts for one host in practice).
struct ShardCache {
  uint64_t owner = 0;
  HostMetrics::Shard* shard = nullptr;
};
thread_local ShardCache shardCache;

// Sums a histogram over the shards into one sample.
template <typename Pick>
prometheus::ClientMetric histogramSample(const std::deque<std::unique_ptr<HostMetrics::Shard>>& shards,
                                         Pick pick) {
  prometheus::ClientMetric metric;
  uint64_t counts[kBuckets] = {};
  uint64_t nanos = 0;
  for (const auto& shard : shards) {
    const Histogram& h = pick(*shard);
    for (size_t i = 0; i < kBuckets; ++i) counts[i] += h.buckets[i].get();
    metric.histogram.sample_count += h.count.get();
    nanos += h.nanos.get();
  }
  metric.histogram.sample_sum = static_cast<double>(nanos) / 1e9;
  uint64_t cumulative = 0;
  for (size_t i = 0; i < kBuckets; ++i) {
    cumulative += counts[i];
    metric.histogram.bucket.push_back(
        {cumulative, i + 1 < kBuckets ? kBounds[i] : std::numeric_limits<double>::infinity()});
  }
  return metric;
}

prometheus::MetricFamily family(const char* name, const char* help, prometheus::MetricType type) {
  prometheus::MetricFamily f;
  f.name = name;
  f.help = help;
  f.type = type;
  return f;
}

prometheus::ClientMetric value(prometheus::MetricType type, double v,
                               std::vector<prometheus::ClientMetric::Label> labels = {}) {
  prometheus::ClientMetric metric;
  metric.label = std::move(labels);
  if (type == prometheus::MetricType::Counter) {
    metric.counter.value = v;
  } else {
    metric.gauge.value = v;
  }
  return metric;
}
}  // namespace

HostMetrics::HostMetrics(std::function<unsigned()> connections)
    : id_(nextInstance.fetch_add(1)), connections_(std::move(connections)), startTime_(processStartTime()) {}

HostMetrics::~HostMetrics() = default;

HostMetrics::Shard& HostMetrics::shard() {
  ShardCache& cache = shardCache;
  if (cache.owner != id_) {
    std::lock_guard<std::mutex> lock(mutex_);
    shards_.push_back(std::make_unique<Shard>());
    cache.owner = id_;
    cache.shard = shards_.back().get();
  }
  return *cache.shard;
}

void HostMetrics::countRequest(uint64_t code, Result result, std::chrono::nanoseconds library,
                               std::chrono::nanoseconds total) {
  Shard& s = shard();
  const size_t i = codeIndex(code);
  s.requests[i][static_cast<size_t>(result)].add();
  if (library.count() > 0) s.library[i].observe(library);
  s.total[i].observe(total);
}

void HostMetrics::countFrameError(wire::WireError error) {
  const auto i = static_cast<size_t>(error);
  if (i < kWireErrors) shard().frameErrors[i].add();
}

void HostMetrics::countServed(bool inlineCall) {
  Shard& s = shard();
  (inlineCall ? s.inlineCalls : s.handedOff).add();
}

void HostMetrics::countStoreOperation(StoreOperation operation, bool ok, std::chrono::nanoseconds took) {
  Shard& s = shard();
  const auto i = static_cast<size_t>(operation);
  s.storeOperations[i][ok ? 0 : 1].add();
  s.storeTime[i].observe(took);
}

std::vector<prometheus::MetricFamily> HostMetrics::Collect() const {
  using prometheus::MetricType;
  std::lock_guard<std::mutex> lock(mutex_);
  auto sum = [this](auto pick) {
    uint64_t total = 0;
    for (const auto& shard : shards_) total += pick(*shard).get();
    return static_cast<double>(total);
  };
  auto codeLabel = [](size_t i) { return i + 1 < kCodes ? hexCode(kServedCodes[i]) : std::string("other"); };
  std::vector<prometheus::MetricFamily> out;

  auto requests =
      family("appmgrd_requests_total", "Requests answered, by request code and result", MetricType::Counter);
  auto durations = family("appmgrd_request_duration_seconds",
                          "Time of the library call (stage=library) and from the request's header to its "
                          "reply (stage=total)",
                          MetricType::Histogram);
  for (size_t i = 0; i < kCodes; ++i) {
    for (size_t r = 0; r < kResults; ++r) {
      const double n = sum([i, r](const Shard& s) -> const Count& { return s.requests[i][r]; });
      if (n > 0)
        requests.metric.push_back(
            value(MetricType::Counter, n, {{"code", codeLabel(i)}, {"result", kResultNames[r]}}));
    }
    for (const char* stage : {"library", "total"}) {
      const bool library = std::strcmp(stage, "library") == 0;
      auto sample = histogramSample(shards_, [i, library](const Shard& s) -> const Histogram& {
        return library ? s.library[i] : s.total[i];
      });
      if (sample.histogram.sample_count == 0) continue;
      sample.label = {{"code", codeLabel(i)}, {"stage", stage}};
      durations.metric.push_back(std::move(sample));
    }
  }
  out.push_back(std::move(requests));
  out.push_back(std::move(durations));

  auto frames =
      family("appmgrd_frame_errors_total", "Error frames sent, by protocol error", MetricType::Counter);
  for (size_t e = 1; e < kWireErrors; ++e) {
    frames.metric.push_back(value(MetricType::Counter,
                                  sum([e](const Shard& s) -> const Count& { return s.frameErrors[e]; }),
                                  {{"error", errorLabel(static_cast<wire::WireError>(e))}}));
  }
  out.push_back(std::move(frames));

  auto connections = family("appmgrd_connections", "Connections open now", MetricType::Gauge);
  connections.metric.push_back(value(MetricType::Gauge, connections_ ? connections_() : 0));
  out.push_back(std::move(connections));
  auto accepted = family("appmgrd_connections_accepted_total", "Connections accepted", MetricType::Counter);
  accepted.metric.push_back(value(MetricType::Counter, static_cast<double>(connectionsAccepted_.load())));
  out.push_back(std::move(accepted));
  auto handshakes = family("appmgrd_tls_handshake_failures_total", "TLS handshakes that failed or timed out",
                           MetricType::Counter);
  handshakes.metric.push_back(value(MetricType::Counter, static_cast<double>(tlsHandshakeFailures_.load())));
  out.push_back(std::move(handshakes));
  auto inlined = family("appmgrd_inline_requests_total",
                        "Requests served on the network thread that read them", MetricType::Counter);
  inlined.metric.push_back(
      value(MetricType::Counter, sum([](const Shard& s) -> const Count& { return s.inlineCalls; })));
  out.push_back(std::move(inlined));
  auto handed =
      family("appmgrd_handed_off_requests_total", "Requests served on a handler thread", MetricType::Counter);
  handed.metric.push_back(
      value(MetricType::Counter, sum([](const Shard& s) -> const Count& { return s.handedOff; })));
  out.push_back(std::move(handed));

  auto operations = family("appmgrd_store_operations_total",
                           "Configuration store operations, by operation and result", MetricType::Counter);
  auto storeTime = family("appmgrd_store_operation_duration_seconds",
                          "Time of configuration store operations", MetricType::Histogram);
  for (size_t o = 0; o < kOperations; ++o) {
    for (size_t r = 0; r < 2; ++r) {
      const double n = sum([o, r](const Shard& s) -> const Count& { return s.storeOperations[o][r]; });
      if (n > 0) {
        operations.metric.push_back(
            value(MetricType::Counter, n, {{"op", kOperationNames[o]}, {"result", r == 0 ? "ok" : "error"}}));
      }
    }
    auto sample =
        histogramSample(shards_, [o](const Shard& s) -> const Histogram& { return s.storeTime[o]; });
    if (sample.histogram.sample_count == 0) continue;
    sample.label = {{"op", kOperationNames[o]}};
    storeTime.metric.push_back(std::move(sample));
  }
  out.push_back(std::move(operations));
  out.push_back(std::move(storeTime));

  auto resident = family("process_resident_memory_bytes", "Resident memory size in bytes", MetricType::Gauge);
  resident.metric.push_back(value(MetricType::Gauge, residentBytes()));
  out.push_back(std::move(resident));
  auto fds = family("process_open_fds", "Open file descriptors", MetricType::Gauge);
  fds.metric.push_back(value(MetricType::Gauge, openDescriptors()));
  out.push_back(std::move(fds));
  auto start = family("process_start_time_seconds", "Start time of the process since the epoch, in seconds",
                      MetricType::Gauge);
  start.metric.push_back(value(MetricType::Gauge, startTime_));
  out.push_back(std::move(start));
  return out;
}

}  // namespace appmgr
