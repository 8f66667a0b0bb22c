// Logging: formatting of lines, the process-wide sink and level, and the
// sinks that a process can choose.
#include "platform/EvDebug.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <utility>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LogConfig {
  std::mutex mutex;
  std::shared_ptr<LogSink> sink = std::make_shared<StderrLogSink>();
};

LogConfig& config() {
  static LogConfig* cfg = new LogConfig;  // never destroyed: lines may be logged during exit
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

}  // namespace

std::string formatLogLine(const LogRecord& record) {
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

void StderrLogSink::write(const LogRecord& record) {
  const std::string line = formatLogLine(record) + "\n";
  // One write call per line keeps lines of concurrent threads whole.
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

FileLogSink::FileLogSink(const std::string& path) : file_(std::fopen(path.c_str(), "a")) {}

FileLogSink::~FileLogSink() {
  if (file_ != nullptr) std::fclose(file_);
}

void FileLogSink::write(const LogRecord& record) {
  if (file_ == nullptr) return;
  const std::string line = formatLogLine(record);
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
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
  std::lock_guard<std::mutex> lock(config().mutex);
  config().sink = sink ? std::move(sink) : std::make_shared<StderrLogSink>();
}

std::shared_ptr<LogSink> sink() {
  std::lock_guard<std::mutex> lock(config().mutex);
  return config().sink;
}

void setLevel(int level) { levelSetting().store(level); }

int level() { return levelSetting().load(); }

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
  LogRecord record;
  record.timeMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  record.pid = getpid();
  record.tid = static_cast<pid_t>(syscall(SYS_gettid));
  record.eventId = eventId_;
  record.severity = severity;
  record.level = level;
  record.tag = tag != nullptr ? tag : "";

  va_list copy;
  va_copy(copy, args);
  const int needed = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed > 0) {
    record.text.resize(static_cast<size_t>(needed) + 1);
    vsnprintf(&record.text[0], record.text.size(), format, args);
    record.text.resize(static_cast<size_t>(needed));
  }
  EvLog::sink()->write(record);
}

EvEvent::EvEvent() : EvDebug(nextEventId.fetch_add(1)) {}
