// Logging: formatting of lines, the process-wide sink and level, and the
// sinks that a process can choose.
//
// A log line is cheap when it is dropped and cheap when it is written:
// each thread formats its lines into one reused record (no allocation once
// its buffers have grown), keeps its process and thread ids and a copy of
// the installed sink (refreshed when a new sink is installed), and the file
// sink lays out lines with a time stamp that is formatted once per second
// into a buffer that it writes in blocks.
#include "platform/EvDebug.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LogConfig {
  std::mutex mutex;
  std::shared_ptr<LogSink> sink = std::make_shared<StderrLogSink>();
  std::atomic<uint64_t> version{1};  // changes with every setSink
};

std::atomic<uint64_t> forkGeneration{0};

LogConfig& config() {
  static LogConfig* cfg = [] {
    // A child process has its own process and thread ids.
    pthread_atfork(nullptr, nullptr, [] { forkGeneration.fetch_add(1); });
    return new LogConfig;  // never destroyed: lines may be logged during exit
  }();
  return *cfg;
}

int initialLevel() {
  const char* text = std::getenv("APPMGR_LOG_LEVEL");
  if (text == nullptr || *text == '\0') return 1;
  return std::atoi(text);
}

std::atomic<int>& levelSetting() {
  static std::atomic<int> level{initialLevel()};
  return level;
}

std::atomic<uint64_t> nextEventId{1};

// Per-thread state. Each object with a destructor sets a plain flag when a
// thread's objects are destroyed (at thread exit, or at process exit for
// the main thread), so that lines logged later take the slow path instead
// of touching a destroyed object.
thread_local bool threadStateGone = false;

struct ThreadState {
  uint64_t sinkVersion = 0;
  std::shared_ptr<LogSink> sink;
  uint64_t idGeneration = ~uint64_t{0};
  pid_t pid = 0;
  pid_t tid = 0;
  LogRecord record;
  bool recordBusy = false;  // a sink that logs from write() gets a fresh record
  ~ThreadState() { threadStateGone = true; }
};

thread_local ThreadState threadState;

pid_t currentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Formats into text, reusing its buffer.
void formatText(std::string& text, const char* format, va_list args) {
  if (text.capacity() < 128) text.reserve(128);
  text.resize(text.capacity());
  va_list copy;
  va_copy(copy, args);
  const int needed = vsnprintf(&text[0], text.size() + 1, format, copy);
  va_end(copy);
  if (needed <= 0) {
    text.clear();
    return;
  }
  if (static_cast<size_t>(needed) > text.size()) {
    text.resize(static_cast<size_t>(needed));
    vsnprintf(&text[0], text.size() + 1, format, args);
  }
  text.resize(static_cast<size_t>(needed));
}

// "YYYY-MM-DD HH:MM:SS" of a second in local time, formatted once per
// second (and again when the time zone changes) on each thread.
struct StampCache {
  int64_t second = INT64_MIN;
  long zone = 0;
  const char* zoneName = nullptr;
  char text[32] = {};
  size_t length = 0;
};

thread_local StampCache stampCache;

void appendStamp(std::string& out, int64_t second) {
  StampCache& cache = stampCache;
  if (cache.second != second || cache.zone != timezone || cache.zoneName != tzname[0]) {
    const time_t seconds = static_cast<time_t>(second);
    struct tm parts;
    localtime_r(&seconds, &parts);
    cache.length = strftime(cache.text, sizeof cache.text, "%Y-%m-%d %H:%M:%S", &parts);
    cache.second = second;
    cache.zone = timezone;
    cache.zoneName = tzname[0];
  }
  out.append(cache.text, cache.length);
}

template <typename Int>
void appendInt(std::string& out, Int v) {
  char digits[24];
  out.append(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, v).ptr - digits));
}

// Appends the line of the record (the layout of formatLogLine).
void appendLogLine(const LogRecord& record, std::string& out) {
  if (record.timeMicros < 0) {  // before the epoch: the rare path, through snprintf
    out += formatLogLine(record);
    return;
  }
  appendStamp(out, record.timeMicros / 1000000);
  char micros[8] = {'.', '0', '0', '0', '0', '0', '0', ' '};
  int64_t m = record.timeMicros % 1000000;
  for (int i = 6; i >= 1; --i, m /= 10) micros[i] = static_cast<char>('0' + m % 10);
  out.append(micros, sizeof micros);
  appendInt(out, static_cast<int>(record.pid));
  out += ' ';
  appendInt(out, static_cast<int>(record.tid));
  out += ' ';
  if (record.severity == LogSeverity::kError) out += "ERROR ";
  out += '[';
  out += record.tag;
  out += "] ";
  out += record.text;
}

// Live file sinks, flushed at process exit and before fork.
struct FileSinkRegistry {
  std::mutex mutex;
  std::vector<FileLogSink*> sinks;
};

FileSinkRegistry& fileSinks() {
  static FileSinkRegistry* registry = [] {
    auto* r = new FileSinkRegistry;  // never destroyed: used by the exit handler
    auto flushAll = [] {
      FileSinkRegistry& reg = fileSinks();
      std::lock_guard<std::mutex> lock(reg.mutex);
      for (FileLogSink* sink : reg.sinks) sink->flush();
    };
    std::atexit(flushAll);
    pthread_atfork(flushAll, nullptr, nullptr);
    return r;
  }();
  return *registry;
}

constexpr size_t kFileBufferBytes = 64 * 1024;
constexpr int64_t kFileFlushMicros = 1000000;

int openLogFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

}  // namespace

std::string formatLogLine(const LogRecord& record) {
  if (record.timeMicros >= 0) {
    std::string line;
    line.reserve(64 + record.tag.size() + record.text.size());
    appendLogLine(record, line);
    return line;
  }
  const time_t seconds = static_cast<time_t>(record.timeMicros / 1000000);
  const long micros = static_cast<long>(record.timeMicros % 1000000);
  struct tm parts;
  localtime_r(&seconds, &parts);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
  char head[96];
  snprintf(head, sizeof head, "%s.%06ld %d %d ", stamp, micros, static_cast<int>(record.pid),
           static_cast<int>(record.tid));
  std::string line(head);
  line += record.severity == LogSeverity::kError ? "ERROR " : "";
  line += '[';
  line += record.tag;
  line += "] ";
  line += record.text;
  return line;
}

LogSink::~LogSink() = default;

void LogSink::flush() {}

void StderrLogSink::write(const LogRecord& record) {
  std::string line;
  line.reserve(64 + record.tag.size() + record.text.size());
  appendLogLine(record, line);
  line += '\n';
  // One write call per line keeps lines of concurrent threads whole.
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

FileLogSink::FileLogSink(const std::string& path) : path_(path), fd_(openLogFile(path)) {
  buffer_.reserve(kFileBufferBytes + 1024);
  FileSinkRegistry& registry = fileSinks();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.sinks.push_back(this);
}

FileLogSink::~FileLogSink() {
  {
    FileSinkRegistry& registry = fileSinks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.sinks.begin(); it != registry.sinks.end(); ++it) {
      if (*it == this) {
        registry.sinks.erase(it);
        break;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  flushLocked();
  if (fd_ >= 0) ::close(fd_);
}

bool FileLogSink::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_ >= 0;
}

void FileLogSink::write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fd_ < 0) return;
  appendLogLine(record, buffer_);
  buffer_ += '\n';
  if (buffer_.size() >= kFileBufferBytes || record.severity == LogSeverity::kError ||
      record.timeMicros - lastWriteMicros_ >= kFileFlushMicros) {
    flushLocked();
    lastWriteMicros_ = record.timeMicros;
  }
}

void FileLogSink::flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  flushLocked();
}

bool FileLogSink::reopen() {
  std::lock_guard<std::mutex> lock(mutex_);
  flushLocked();
  if (fd_ >= 0) ::close(fd_);
  fd_ = openLogFile(path_);
  return fd_ >= 0;
}

void FileLogSink::flushLocked() {
  size_t done = 0;
  while (fd_ >= 0 && done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the disk refuses: the lines are dropped, as a failed write would
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void MemoryLogSink::write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.push_back(record);
}

std::vector<LogRecord> MemoryLogSink::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<std::string> MemoryLogSink::textsFor(const std::string& tag) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const LogRecord& record : records_) {
    if (record.tag == tag) texts.push_back(record.text);
  }
  return texts;
}

size_t MemoryLogSink::count(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const LogRecord& record : records_) n += record.text == text ? 1 : 0;
  return n;
}

void MemoryLogSink::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

namespace EvLog {

void setSink(std::shared_ptr<LogSink> sink) {
  std::shared_ptr<LogSink> old;
  {
    std::lock_guard<std::mutex> lock(config().mutex);
    old = std::move(config().sink);
    config().sink = sink ? std::move(sink) : std::make_shared<StderrLogSink>();
    config().version.fetch_add(1, std::memory_order_release);
  }
  // Threads drop their copy of the old sink at their next line; its lines
  // so far go out now.
  old->flush();
}

std::shared_ptr<LogSink> sink() {
  std::lock_guard<std::mutex> lock(config().mutex);
  return config().sink;
}

void setLevel(int level) { levelSetting().store(level); }

int level() { return levelSetting().load(); }

void flush() { sink()->flush(); }

}  // namespace EvLog

void EvDebug::Debug(const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kDebug, 0, tag, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(int level, const char* tag, const char* format, ...) {
  if (level > EvLog::level()) return;
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kDebug, level, tag, format, args);
  va_end(args);
}

void EvDebug::Error(const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kError, 0, tag, format, args);
  va_end(args);
}

void EvDebug::emit(LogSeverity severity, int level, const char* tag, const char* format, va_list args) {
  const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  LogConfig& cfg = config();
  if (threadStateGone || threadState.recordBusy) {
    // During thread or process exit, or from inside a sink: no cached state.
    LogRecord record;
    record.timeMicros = now;
    record.pid = getpid();
    record.tid = currentTid();
    record.eventId = eventId_;
    record.severity = severity;
    record.level = level;
    record.tag = tag != nullptr ? tag : "";
    formatText(record.text, format, args);
    EvLog::sink()->write(record);
    return;
  }

  ThreadState& state = threadState;
  const uint64_t generation = forkGeneration.load(std::memory_order_relaxed);
  if (state.idGeneration != generation) {
    state.pid = getpid();
    state.tid = currentTid();
    state.idGeneration = generation;
  }
  const uint64_t version = cfg.version.load(std::memory_order_acquire);
  if (state.sinkVersion != version || !state.sink) {
    std::lock_guard<std::mutex> lock(cfg.mutex);
    state.sink = cfg.sink;
    state.sinkVersion = cfg.version.load(std::memory_order_relaxed);
  }

  LogRecord& record = state.record;
  record.timeMicros = now;
  record.pid = state.pid;
  record.tid = state.tid;
  record.eventId = eventId_;
  record.severity = severity;
  record.level = level;
  record.tag.assign(tag != nullptr ? tag : "");
  formatText(record.text, format, args);
  // Only this thread changes its copy of the sink, and not while the record
  // is busy (lines logged from inside write take the path above).
  state.recordBusy = true;
  state.sink->write(record);
  state.recordBusy = false;
}

EvEvent::EvEvent() : EvDebug(nextEventId.fetch_add(1)) {}
