// A session that records every send: the response code, the length, a copy
// of the record's bytes and of every text its pointer fields refer to, taken
// during send (the texts die right after). The protocol version, a failing
// version query and a failing send can be set.
#ifndef TESTS_FAKES_RECORDINGSESSION_H_
#define TESTS_FAKES_RECORDINGSESSION_H_

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/CSSessionWrapper.h"

struct SentResponse {
  unsigned long responseCode = 0;
  unsigned int length = 0;
  std::vector<unsigned char> bytes;
  std::string errorText;
  // Text behind each pointer field, by field offset; nullopt for null.
  std::map<size_t, std::optional<std::string>> texts;

  // The record as type R (R must match the length).
  template <typename R>
  R as() const {
    R record;
    std::memcpy(static_cast<void*>(&record), bytes.data(),
                sizeof(R) < bytes.size() ? sizeof(R) : bytes.size());
    return record;
  }
  // The text behind the pointer field at `offset`; nullopt when it was null.
  std::optional<std::string> text(size_t offset) const;
};

class RecordingSession : public CSSessionWrapper {
 public:
  CZuError getProtocolVersion(unsigned int& version) override;
  CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                const std::string& errorText) override;

  void setProtocolVersion(unsigned int version) { protocolVersion_ = version; }
  void failProtocolVersion(const std::string& text) { versionFailure_ = text; }
  void failSends() { failSends_ = true; }

  const std::vector<SentResponse>& sent() const { return sent_; }
  int versionQueries() const { return versionQueries_; }
  // The only response; fails the test unless exactly one was sent.
  const SentResponse& only() const;

 private:
  unsigned int protocolVersion_ = 7;
  std::optional<std::string> versionFailure_;
  bool failSends_ = false;
  int versionQueries_ = 0;
  std::vector<SentResponse> sent_;
};

#endif  // TESTS_FAKES_RECORDINGSESSION_H_
