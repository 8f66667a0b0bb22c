// The plain password texts that the tests hand to the platform, and checks
// that none of them shows in clear in a log line or an error text. The
// password suites' fixtures run the check over every line logged during a
// test; ScopedDevPasswordKey watches every text it encrypts.
//
// Texts shorter than kMinWatchedLength are not watched: they turn up by
// chance inside encrypted values and ordinary words.
#ifndef TESTS_FAKES_PLAINPASSWORDWATCH_H_
#define TESTS_FAKES_PLAINPASSWORDWATCH_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

constexpr size_t kMinWatchedLength = 6;

// Adds plain to the watched texts for the rest of the process.
void watchPlainPassword(const std::string& plain);

// Adds a test failure for every record whose tag or text holds a watched
// text, and for every such error text.
void expectNoPlainPasswordInLog(const std::vector<LogRecord>& records);
void expectNoPlainPasswordInText(const std::string& text, const char* what);

// For fixtures: installs a memory log sink for one test and checks what it
// collected when the test ends.
class PlainPasswordLogCheck : public ::testing::Test {
 protected:
  void SetUp() override { EvLog::setSink(watchedLog_); }
  void TearDown() override {
    EvLog::setSink(nullptr);
    expectNoPlainPasswordInLog(watchedLog_->records());
  }
  std::shared_ptr<MemoryLogSink> watchedLog_ = std::make_shared<MemoryLogSink>();
};

#endif  // TESTS_FAKES_PLAINPASSWORDWATCH_H_
