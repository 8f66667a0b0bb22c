// Logging of the host. Every operation owns one EvEvent for its run and logs
// through it: Debug(tag, format, ...) always, DebugLvl(level, ...) when the
// level is at or below the process's level setting, Error(...) always.
// Lines go to the sink that the process installs (stderr by default).
#ifndef PLATFORM_EVDEBUG_H_
#define PLATFORM_EVDEBUG_H_

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

enum class LogSeverity { kDebug, kError };

// One formatted log line, before layout.
struct LogRecord {
  int64_t timeMicros = 0;  // wall clock, microseconds since the epoch
  pid_t pid = 0;
  pid_t tid = 0;  // kernel thread id
  uint64_t eventId = 0;
  LogSeverity severity = LogSeverity::kDebug;
  int level = 0;  // 0 for Debug and Error lines
  std::string tag;
  std::string text;
};

// A line before its text is formatted, as LogSink::writeFormatted gets it:
// the fields of a LogRecord, the tag as a view of the caller's text, and
// what goes in front of the text.
struct LogLineStart {
  int64_t timeMicros = 0;
  pid_t pid = 0;
  pid_t tid = 0;
  uint64_t eventId = 0;
  LogSeverity severity = LogSeverity::kDebug;
  int level = 0;
  std::string_view tag;
  std::string_view prefix;
};

// "2026-12-06 08:40:30.123456 4711 4712 [tag] text", no newline.
std::string formatLogLine(const LogRecord& record);

class LogSink {
 public:
  virtual ~LogSink();
  // Asked before a line is formatted, so that a line the sink would drop
  // costs no formatting: null drops the line; otherwise the text returned
  // (static, often empty) goes in front of the line's text. The default
  // takes every line as it is.
  virtual const char* admit(const char* tag, LogSeverity severity, int level);
  // Called from any thread; implementations serialise themselves.
  virtual void write(const LogRecord& record) = 0;
  // Offered each admitted line before its text is formatted, so that a sink
  // that keeps lines in its own storage can format the text there, once,
  // without a record in between: the text is `line.prefix` and then
  // `format` with `args` (printf's conversions; the sink formats from a
  // copy of `args`). Returns true when the sink has taken the line (or
  // dropped it, as write would), false to receive it through write as a
  // record. The default returns false.
  virtual bool writeFormatted(const LogLineStart& line, const char* format, va_list args);
  // Hands every line written so far to the operating system. Does nothing
  // for sinks that do not buffer.
  virtual void flush();
};

class StderrLogSink final : public LogSink {
 public:
  void write(const LogRecord& record) override;
};

// Appends lines to a file, opened in append mode. The calling thread lays
// each line out into a block in memory; one background thread of the sink
// writes the blocks to the file, so callers do not wait for write(2).
// Every line reaches the file, in the order logged: a block goes out when it
// fills, and a partly filled one at the latest about a second after the
// writer saw its first line. An error line is in the file when Error()
// returns; flush() and reopen() return once every earlier line is; the
// sink's destruction or replacement and process exit write everything, and
// before fork the parent's lines go out. When the writer falls behind,
// callers wait: at most kMaxBufferedBytes of lines (each block may pass
// kBlockBytes by one line) are held in memory. A child process starts its
// own writer with its first line; lines it inherited belong to the parent.
// The writer thread blocks all signals.
class FileLogSink final : public LogSink {
 public:
  static constexpr size_t kBlockBytes = 256 * 1024;
  static constexpr size_t kMaxBufferedBytes = 8 * kBlockBytes;

  explicit FileLogSink(const std::string& path);
  ~FileLogSink() override;
  bool isOpen() const;
  void write(const LogRecord& record) override;
  // Formats the text of a usual line straight into the block of lines; a
  // long line, or one whose format needs more than the common conversions,
  // is left to write.
  bool writeFormatted(const LogLineStart& line, const char* format, va_list args) override;
  // Returns when every line logged before the call is in the file (the
  // kernel has it).
  void flush() override;
  // Flushes, closes and opens the path again (after the file was rotated):
  // lines logged before the call go to the old file. Returns whether the
  // file is open.
  bool reopen();
  // Bytes of lines logged and not yet written (for tests and diagnostics).
  size_t bufferedBytes() const;

  struct State;  // defined in EvDebug.cc

 private:
  std::unique_ptr<State> state_;
};

// Keeps every record in memory; tests read them back.
class MemoryLogSink final : public LogSink {
 public:
  void write(const LogRecord& record) override;
  std::vector<LogRecord> records() const;
  // Texts of the records logged under `tag`, in order.
  std::vector<std::string> textsFor(const std::string& tag) const;
  // Number of records whose text equals `text`.
  size_t count(const std::string& text) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<LogRecord> records_;
};

namespace EvLog {
// Installs the process-wide sink; null restores the stderr sink.
// The sink that is replaced is flushed.
void setSink(std::shared_ptr<LogSink> sink);
std::shared_ptr<LogSink> sink();
// DebugLvl lines with a level above this are dropped. Default: 1, or the
// value of the environment variable APPMGR_LOG_LEVEL when it is set.
void setLevel(int level);
int level();
// Flushes the installed sink (for a host's shutdown or a rotation signal).
void flush();
}  // namespace EvLog

class EvDebug {
 public:
  void Debug(const char* tag, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void DebugLvl(int level, const char* tag, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void Error(const char* tag, const char* format, ...) __attribute__((format(printf, 3, 4)));

 protected:
  explicit EvDebug(uint64_t eventId) : eventId_(eventId) {}
  uint64_t eventId_;

 private:
  void emit(LogSeverity severity, int level, const char* tag, const char* format, va_list args);
};

// One logging event: an operation's run. Each gets a process-unique id that
// its lines carry.
class EvEvent : public EvDebug {
 public:
  EvEvent();
  uint64_t id() const { return eventId_; }
};

#endif  // PLATFORM_EVDEBUG_H_
