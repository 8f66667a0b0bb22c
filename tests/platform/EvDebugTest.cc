// Log line layout and level filtering.
#include <cstdlib>
#include <ctime>
#include <memory>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

TEST(LogLineTest, LayoutIsTimestampPidTidTagAndText) {
  setenv("TZ", "UTC", 1);
  tzset();
  LogRecord record;
  record.timeMicros = 1796546430123456;  // 2026-12-06 08:40:30.123456 UTC
  record.pid = 4711;
  record.tid = 4712;
  record.tag = "VelmoraBCLsn::lookupVelmoraById";
  record.text = "Error [x]";
  EXPECT_EQ(formatLogLine(record),
            "2026-12-06 08:40:30.123456 4711 4712 [VelmoraBCLsn::lookupVelmoraById] Error [x]");
  record.severity = LogSeverity::kError;
  record.timeMicros = 1796546430000007;
  EXPECT_EQ(formatLogLine(record),
            "2026-12-06 08:40:30.000007 4711 4712 ERROR [VelmoraBCLsn::lookupVelmoraById] Error [x]");
}

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
