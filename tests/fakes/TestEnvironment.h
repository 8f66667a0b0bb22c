// Per-test set-up shared by the suites: a strict store mock installed as the
// process store, a memory log sink installed as the process sink, and a
// recording session. Everything is uninstalled at the end of the test, and
// the log and the responses are checked for watched plain passwords.
#ifndef TESTS_FAKES_TESTENVIRONMENT_H_
#define TESTS_FAKES_TESTENVIRONMENT_H_

#include <memory>

#include <gtest/gtest.h>

#include "platform/EvDebug.h"

#include "fakes/MockConfigStore.h"
#include "fakes/PlainPasswordWatch.h"
#include "fakes/RecordingSession.h"
#include "listener/RequestTable.h"

class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = std::make_shared<::testing::StrictMock<MockConfigStore>>();
    ConfigStore::install(store_);
    log_ = std::make_shared<MemoryLogSink>();
    EvLog::setSink(log_);
  }
  // No plain password may show in a log line or in what was sent.
  void TearDown() override {
    ConfigStore::install(nullptr);
    EvLog::setSink(nullptr);
    expectNoPlainPasswordInLog(log_->records());
    for (const SentResponse& sent : session_.sent()) {
      expectNoPlainPasswordInText(sent.errorText, "an error text");
      for (const auto& [offset, text] : sent.texts) {
        if (text) expectNoPlainPasswordInText(*text, "a response text");
      }
    }
  }

  MockConfigStore& store() { return *store_; }
  MemoryLogSink& log() { return *log_; }
  // The only response of `session`, after checking that it carries the
  // response code and record length of the row of `requestCode`.
  static const SentResponse& answer(const RecordingSession& session, unsigned long requestCode) {
    const SentResponse& sent = session.only();
    const RequestRow* row = findRequest(requestCode);
    EXPECT_NE(row, nullptr);
    EXPECT_EQ(sent.responseCode, row != nullptr ? row->responseCode : 0);
    EXPECT_EQ(sent.length, row != nullptr ? row->recordLength : 0);
    return sent;
  }

  std::shared_ptr<::testing::StrictMock<MockConfigStore>> store_;
  std::shared_ptr<MemoryLogSink> log_;
  RecordingSession session_;
};

#endif  // TESTS_FAKES_TESTENVIRONMENT_H_
