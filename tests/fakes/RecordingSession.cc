// Recording test session.
#include "fakes/RecordingSession.h"

#include <gtest/gtest.h>

#include "AppMgr/appMgrStructDefines.h"

std::optional<std::string> SentResponse::text(size_t offset) const {
  const auto it = texts.find(offset);
  if (it == texts.end()) {
    ADD_FAILURE() << "no text field at offset " << offset << " for response code 0x" << std::hex
                  << responseCode;
    return std::nullopt;
  }
  return it->second;
}

CZuError RecordingSession::getProtocolVersion(unsigned int& version) {
  ++versionQueries_;
  if (versionFailure_) return CZuError(-1, *versionFailure_);
  version = protocolVersion_;
  return CZuError();
}

CZuError RecordingSession::send(unsigned long responseCode, const void* record, unsigned int length,
                                const std::string& errorText) {
  SentResponse response;
  response.responseCode = responseCode;
  response.length = length;
  response.errorText = errorText;
  const auto* bytes = static_cast<const unsigned char*>(record);
  response.bytes.assign(bytes, bytes + length);
  const appmanTextFields fields = appmanResponseTextFields(responseCode);
  for (size_t i = 0; i < fields.count; ++i) {
    const size_t offset = fields.offsets[i];
    if (offset + sizeof(const char*) > length) {
      ADD_FAILURE() << "record of " << length << " bytes too short for the text field at " << offset;
      continue;
    }
    const char* text = nullptr;
    std::memcpy(&text, bytes + offset, sizeof text);
    response.texts[offset] = text != nullptr ? std::optional<std::string>(text) : std::nullopt;
  }
  sent_.push_back(std::move(response));
  if (failSends_) return CZuError(-5, "send failed (test)");
  return CZuError();
}

const SentResponse& RecordingSession::only() const {
  EXPECT_EQ(sent_.size(), 1u) << "expected exactly one response";
  static const SentResponse kEmpty;
  return sent_.empty() ? kEmpty : sent_.front();
}
