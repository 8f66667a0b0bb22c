// Log level filtering, the line layout (also across the cached second), and
// the file sink's background writing: every line arrives once and in order
// on flush, reopen, sink replacement and exit, also from several threads
// and from a forked child.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

TEST(LogLevelTest, DebugLvlAboveTheSettingIsDropped) {
  auto sink = std::make_shared<MemoryLogSink>();
  EvLog::setSink(sink);
  const int saved = EvLog::level();
  EvLog::setLevel(6);
  EvEvent ev;
  ev.DebugLvl(6, "tag", "kept %d", 6);
  ev.DebugLvl(7, "tag", "dropped");
  ev.Debug("tag", "always");
  ev.Error("tag", "always too");
  EvLog::setLevel(saved);
  EvLog::setSink(nullptr);

  EXPECT_EQ(sink->textsFor("tag"), (std::vector<std::string>{"kept 6", "always", "always too"}));
  const std::vector<LogRecord> records = sink->records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].level, 6);
  EXPECT_EQ(records[2].severity, LogSeverity::kError);
  EXPECT_EQ(records[0].eventId, ev.id());
}

namespace {

// Keeps the texts of the lines it admits, each behind the mark it asks for.
// Puts a mark in front of every line; keeps the texts, or hands the lines
// on to a file sink, as a host's level filter does.
class MarkingSink final : public LogSink {
 public:
  explicit MarkingSink(std::shared_ptr<FileLogSink> next = nullptr) : next_(std::move(next)) {}
  const char* admit(const char*, LogSeverity, int) override { return "DEBUG "; }
  bool writeFormatted(const LogLineStart& line, const char* format, va_list args) override {
    return next_ && next_->writeFormatted(line, format, args);
  }
  void write(const LogRecord& record) override {
    next_ ? next_->write(record) : texts.push_back(record.text);
  }
  void flush() override {
    if (next_) next_->flush();
  }
  std::vector<std::string> texts;

 private:
  std::shared_ptr<FileLogSink> next_;
};

}  // namespace

namespace {

std::string readFile(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
    std::fclose(f);
  }
  return text;
}

size_t lineCount(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The numbers of the lines "<who> line <n>" logged under `tag`, by who, in
// file order.
std::map<std::string, std::vector<int>> lineNumbers(const std::string& text, const std::string& tag) {
  std::map<std::string, std::vector<int>> numbers;
  const std::string marker = "[" + tag + "] ";
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    const size_t start = line.find(marker);
    const size_t split = line.rfind(" line ");
    if (start == std::string::npos || split == std::string::npos) continue;
    const std::string who = line.substr(start + marker.size(), split - start - marker.size());
    numbers[who].push_back(std::atoi(line.c_str() + split + 6));
  }
  return numbers;
}

std::vector<int> upTo(int n) {
  std::vector<int> numbers(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) numbers[static_cast<size_t>(i)] = i;
  return numbers;
}

// Log files of one test under the test's temporary directory, removed
// (and the process sink reset) when the test ends.
class FileLogSinkTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EvLog::setSink(nullptr);
    for (const std::string& file : files_) std::remove(file.c_str());
  }
  std::string logPath(const char* what) {
    files_.push_back(::testing::TempDir() + "evdebug-" + what + "-" + std::to_string(getpid()) + ".log");
    std::remove(files_.back().c_str());
    return files_.back();
  }
  std::vector<std::string> files_;
};

}  // namespace

// The common conversions are formatted without stdio (by the file sink
// straight into its block of lines), the rest through it: either way a line
// reads as printf writes it, behind the mark a sink asks for.
TEST_F(FileLogSinkTest, LinesReadAsPrintfWritesThem) {
  const std::string path = logPath("printf");
  const std::string longText(700, 'x');
  auto logLines = [&](auto line) {
    line("Request Type [%#lx], sending response Code [%d] back to client", 0x1a003311ul, -49665);
    line("Command [0x%x] %#lx %#x %#lx", 0xABCDEFu, 0ul, 0u, ULONG_MAX);
    line("%d %i %ld %u %lu", INT_MIN, INT_MAX, LONG_MIN, UINT_MAX, ULONG_MAX);
    line("100%% [%s]%s", "", "end");
    line("%s|%s", longText.c_str(), longText.c_str());
    line("null [%s]", static_cast<const char*>(nullptr));
    line("%5d|%-3s|%.2s|%08x|%c|%lld|%p", 42, "a", "abc", 255u, 'z', -7LL, static_cast<const void*>(&path));
  };
  for (const int sinks : {0, 1, 2}) {  // marked in memory, file, marked file
    SCOPED_TRACE(sinks);
    std::remove(path.c_str());
    const std::string mark = sinks == 1 ? "" : "DEBUG ";
    const bool toFile = sinks > 0;
    auto marking = std::make_shared<MarkingSink>(sinks == 2 ? std::make_shared<FileLogSink>(path) : nullptr);
    EvLog::setSink(sinks == 1 ? std::shared_ptr<LogSink>(std::make_shared<FileLogSink>(path)) : marking);
    std::vector<std::string> want;
    EvEvent ev;
    logLines([&](const char* format, auto... args) {
      char text[2048];
      snprintf(text, sizeof text, format, args...);
      want.push_back(mark + text);
      ev.Debug("printf", format, args...);
    });
    EvLog::setSink(nullptr);
    std::vector<std::string> got = marking->texts;
    const std::string lines = readFile(path);
    for (size_t at = 0, end; toFile && (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
      const size_t text = lines.find("[printf] ", at) + 9;
      got.push_back(lines.substr(text, end - text));
    }
    EXPECT_EQ(got, want);
  }
}

// Time, pid, tid, severity, tag and text. The cached per-second stamp must
// give the strftime layout at second and day boundaries, and follow a
// change of time zone.
TEST(LogLineTest, LayoutAndCachedStampAcrossBoundaries) {
  setenv("TZ", "UTC", 1);
  tzset();
  LogRecord record;
  record.pid = 4711;
  record.tid = 4712;
  record.tag = "VelmoraBCLsn::lookupVelmoraById";
  record.text = "Error [x]";
  const struct {
    int64_t micros;
    LogSeverity severity;
    const char* stamp;
  } cases[] = {{1796546430123456, LogSeverity::kDebug, "2026-12-06 08:40:30.123456"},
               {1796546430000007, LogSeverity::kError, "2026-12-06 08:40:30.000007"},
               {1796546399999999, LogSeverity::kDebug, "2026-12-06 08:39:59.999999"},
               {1796601600000000, LogSeverity::kDebug, "2026-12-07 00:00:00.000000"}};
  for (const auto& c : cases) {
    record.timeMicros = c.micros;
    record.severity = c.severity;
    EXPECT_EQ(formatLogLine(record), std::string(c.stamp) + " 4711 4712 " +
                                         (c.severity == LogSeverity::kError ? "ERROR " : "") +
                                         "[VelmoraBCLsn::lookupVelmoraById] Error [x]");
  }
  setenv("TZ", "UTC-2", 1);
  tzset();
  EXPECT_EQ(formatLogLine(record).substr(0, 26), "2026-12-07 02:00:00.000000");
  setenv("TZ", "UTC", 1);
  tzset();
}

// A line that does not fill a block reaches the file without a flush,
// about a second later. Buffered lines reach the file on flush, on reopen
// (after a rotation the old file keeps what was logged before, the new one
// what follows), when the sink is replaced, and an error line at once.
TEST_F(FileLogSinkTest, EveryLineReachesTheFile) {
  const std::string path = logPath("lines");
  const std::string rotated = logPath("rotated");
  auto sink = std::make_shared<FileLogSink>(path);
  ASSERT_TRUE(sink->isOpen());
  EvLog::setSink(sink);
  EvEvent ev;
  ev.Debug("FileLogSinkTest", "idle line");
  for (int i = 0; i < 50 && readFile(path).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NE(readFile(path).find("[FileLogSinkTest] idle line\n"), std::string::npos);
  for (int i = 0; i < 1000; ++i) ev.Debug("FileLogSinkTest", "line %d of the test", i);
  EvLog::flush();
  std::string text = readFile(path);
  EXPECT_EQ(lineCount(text), 1001u);
  EXPECT_NE(text.find("[FileLogSinkTest] line 999 of the test\n"), std::string::npos);

  ASSERT_EQ(std::rename(path.c_str(), rotated.c_str()), 0);
  ev.Debug("FileLogSinkTest", "before the reopen");
  ASSERT_TRUE(sink->reopen());
  ev.Debug("FileLogSinkTest", "after the reopen");
  ev.Error("FileLogSinkTest", "an error");
  EXPECT_EQ(lineCount(readFile(rotated)), 1002u);
  text = readFile(path);
  EXPECT_NE(text.find("[FileLogSinkTest] after the reopen\n"), std::string::npos);
  EXPECT_NE(text.find("ERROR [FileLogSinkTest] an error\n"), std::string::npos);
  ev.Debug("FileLogSinkTest", "last");
  EvLog::setSink(nullptr);
  EXPECT_EQ(lineCount(readFile(path)), 3u);
}

// Each thread's lines arrive whole, once and in order (more lines than the
// writer may hold, so callers also wait for it).
TEST_F(FileLogSinkTest, ThreadsLinesArriveOnceAndInOrder) {
  const std::string path = logPath("order");
  auto sink = std::make_shared<FileLogSink>(path);
  EvLog::setSink(sink);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      EvEvent ev;
      for (int i = 0; i < 6000; ++i) ev.Debug("order", "thread%d line %d", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EvLog::flush();
  const std::string text = readFile(path);
  EXPECT_EQ(lineCount(text), 24000u);
  const auto numbers = lineNumbers(text, "order");
  ASSERT_EQ(numbers.size(), 4u);
  for (const auto& [who, seen] : numbers) EXPECT_EQ(seen, upTo(6000)) << who;
}

// A process that logs and exits without flushing still leaves every line:
// with a sink of its own, and with the sink it inherited, whose unwritten
// lines at the fork are the parent's to write (once).
TEST_F(FileLogSinkTest, LinesAreFlushedAtExit) {
  const std::string path = logPath("exit");
  const std::string inherited = logPath("inherited");
  EvLog::setSink(std::make_shared<FileLogSink>(inherited));
  EvEvent ev;
  for (int i = 0; i < 10; ++i) ev.Debug("exit", "parent line %d", i);
  for (const bool ownSink : {true, false}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (ownSink) EvLog::setSink(std::make_shared<FileLogSink>(path));
      for (int i = 0; i < 3000; ++i) ev.Debug("exit", "child line %d", i);
      std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
  }
  for (int i = 10; i < 20; ++i) ev.Debug("exit", "parent line %d", i);
  EvLog::setSink(nullptr);
  EXPECT_EQ(lineNumbers(readFile(path), "exit"),
            (std::map<std::string, std::vector<int>>{{"child", upTo(3000)}}));
  EXPECT_EQ(lineNumbers(readFile(inherited), "exit"),
            (std::map<std::string, std::vector<int>>{{"child", upTo(3000)}, {"parent", upTo(20)}}));
}
