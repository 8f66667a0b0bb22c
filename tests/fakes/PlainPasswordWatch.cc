// The watched plain password texts.
#include "fakes/PlainPasswordWatch.h"

#include <mutex>
#include <set>

namespace {

std::mutex& watchMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<std::string>& watched() {
  static std::set<std::string> texts;
  return texts;
}

// The watched texts that occur in text.
std::vector<std::string> plainPasswordsIn(const std::string& text) {
  std::lock_guard<std::mutex> lock(watchMutex());
  std::vector<std::string> found;
  for (const std::string& plain : watched()) {
    if (text.find(plain) != std::string::npos) found.push_back(plain);
  }
  return found;
}

}  // namespace

void watchPlainPassword(const std::string& plain) {
  if (plain.size() < kMinWatchedLength) return;
  std::lock_guard<std::mutex> lock(watchMutex());
  watched().insert(plain);
}

void expectNoPlainPasswordInLog(const std::vector<LogRecord>& records) {
  for (const LogRecord& record : records) {
    for (const std::string& plain : plainPasswordsIn(record.tag + " " + record.text)) {
      ADD_FAILURE() << "plain password [" << plain << "] in the log line: " << formatLogLine(record);
    }
  }
}

void expectNoPlainPasswordInText(const std::string& text, const char* what) {
  for (const std::string& plain : plainPasswordsIn(text)) {
    ADD_FAILURE() << "plain password [" << plain << "] in " << what << ": " << text;
  }
}
