// Log line layout (also across the cached second), level filtering, the
// file sink's buffering (every line arrives: flush, reopen, exit) and lines
// from several threads.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <thread>

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

std::string tempLogPath(const char* what) {
  return ::testing::TempDir() + "evdebug-" + what + "-" + std::to_string(getpid()) + ".log";
}

}  // namespace

// Time, pid, tid, severity, tag and text. The cached per-second stamp must
// give the strftime layout at second, minute and day boundaries, and follow
// a change of time zone.
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
               {1796546400000000, LogSeverity::kDebug, "2026-12-06 08:40:00.000000"},
               {1796601599000001, LogSeverity::kError, "2026-12-06 23:59:59.000001"},
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

// Buffered lines reach the file on flush, on reopen (after a rotation the
// old file keeps what was logged before, the new one what follows), when
// the sink is replaced, and an error line at once.
TEST(FileLogSinkTest, EveryLineReachesTheFile) {
  const std::string path = tempLogPath("lines");
  const std::string rotated = path + ".1";
  std::remove(path.c_str());
  std::remove(rotated.c_str());
  auto sink = std::make_shared<FileLogSink>(path);
  ASSERT_TRUE(sink->isOpen());
  EvLog::setSink(sink);
  EvEvent ev;
  for (int i = 0; i < 1000; ++i) ev.Debug("FileLogSinkTest", "line %d of the test", i);
  EvLog::flush();
  std::string text = readFile(path);
  EXPECT_EQ(lineCount(text), 1000u);
  EXPECT_NE(text.find("[FileLogSinkTest] line 999 of the test\n"), std::string::npos);

  ASSERT_EQ(std::rename(path.c_str(), rotated.c_str()), 0);
  ev.Debug("FileLogSinkTest", "before the reopen");
  ASSERT_TRUE(sink->reopen());
  ev.Debug("FileLogSinkTest", "after the reopen");
  ev.Error("FileLogSinkTest", "an error");
  EXPECT_EQ(lineCount(readFile(rotated)), 1001u);
  text = readFile(path);
  EXPECT_NE(text.find("[FileLogSinkTest] after the reopen\n"), std::string::npos);
  EXPECT_NE(text.find("ERROR [FileLogSinkTest] an error\n"), std::string::npos);

  ev.Debug("FileLogSinkTest", "last");
  EvLog::setSink(nullptr);
  EXPECT_EQ(lineCount(readFile(path)), 3u);
  std::remove(path.c_str());
  std::remove(rotated.c_str());
}

// A process that logs and exits without flushing still leaves every line.
TEST(FileLogSinkTest, LinesAreFlushedAtExit) {
  const std::string path = tempLogPath("exit");
  std::remove(path.c_str());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    EvLog::setSink(std::make_shared<FileLogSink>(path));
    EvEvent ev;
    for (int i = 0; i < 50; ++i) ev.Debug("FileLogSinkTest", "child line %d", i);
    std::exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(lineCount(readFile(path)), 50u);
  std::remove(path.c_str());
}

// Lines from several threads all arrive whole, each with its thread's id.
TEST(LogSinkTest, ThreadsLogWholeLinesWithTheirOwnIds) {
  auto sink = std::make_shared<MemoryLogSink>();
  EvLog::setSink(sink);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      EvEvent ev;
      for (int i = 0; i < 200; ++i) ev.Debug("threads", "thread %d line %d", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EvLog::setSink(nullptr);
  const std::vector<LogRecord> records = sink->records();
  ASSERT_EQ(records.size(), 800u);
  std::map<std::string, std::set<pid_t>> tidsByThread;
  for (const LogRecord& r : records) {
    EXPECT_EQ(r.pid, getpid());
    tidsByThread[r.text.substr(0, r.text.find(" line"))].insert(r.tid);
  }
  ASSERT_EQ(tidsByThread.size(), 4u);
  for (const auto& [name, tids] : tidsByThread) EXPECT_EQ(tids.size(), 1u) << name;
}
