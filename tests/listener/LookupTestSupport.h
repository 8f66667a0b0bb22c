// Shared pieces of the instance, backup set and subclient lookup tests: the
// request record, the application the numeric id text resolves to, and the
// checks every failed lookup response must pass.
#ifndef TESTS_LISTENER_LOOKUPTESTSUPPORT_H_
#define TESTS_LISTENER_LOOKUPTESTSUPPORT_H_

#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/MockConfigStore.h"
#include "fakes/RecordingSession.h"
#include "fakes/RequestBuilder.h"

namespace lookup_test {

constexpr uint64_t kVelmoraId = 2;
constexpr uint64_t kAppId = 1045;
constexpr int64_t kPassThrough = -17;
constexpr char kAppIdText[] = "2:1045";

inline Request<appmanObjectReq> objectRequest(uint64_t objectId, const char* appIdText = kAppIdText) {
  Request<appmanObjectReq> request;
  request.record().objectId = objectId;
  request.record().passThrough = kPassThrough;
  request.record().appIdText = appIdText;
  return request;
}

// kAppIdText resolves to an application of `appTypeId`.
inline void expectApplication(MockConfigStore& store, uint64_t appTypeId) {
  using ::testing::_;
  using ::testing::AllOf;
  using ::testing::DoAll;
  using ::testing::Field;
  using ::testing::Return;
  using ::testing::SetArgReferee;
  ApplicationRow row;
  row.velmoraId = kVelmoraId;
  row.appId = kAppId;
  row.appTypeId = appTypeId;
  EXPECT_CALL(store, findApplication(ApplicationKey::kNumeric,
                                     AllOf(Field(&ApplicationRow::velmoraId, kVelmoraId),
                                           Field(&ApplicationRow::appId, kAppId)),
                                     _, _))
      .WillOnce(DoAll(SetArgReferee<2>(row), Return(0)));
}

inline void expectProperties(MockConfigStore& store, PropertyOwner owner, uint64_t id,
                             const std::vector<PropertyRow>& rows) {
  using ::testing::_;
  EXPECT_CALL(store, listProperties(owner, id, kPassThrough, _, _))
      .WillOnce(::testing::DoAll(::testing::SetArgReferee<3>(rows), ::testing::Return(0)));
}

// The stream text of the only response, after checking its frame.
inline std::optional<std::string> streamText(const RecordingSession& session) {
  const SentResponse& sent = session.only();
  EXPECT_EQ(sent.responseCode, APPMAN_PROPERTY_STREAM_RSP);
  EXPECT_EQ(sent.length, sizeof(appmanGeneralMsg));
  const appmanGeneralMsg record = sent.as<appmanGeneralMsg>();
  EXPECT_EQ(record.msgCode, APPMAN_PROPERTY_STREAM_RSP);
  EXPECT_EQ(record.context, 0u);
  EXPECT_EQ(record.reserved, 0u);
  return sent.texts.count(offsetof(appmanGeneralMsg, data)) != 0 ? sent.text(offsetof(appmanGeneralMsg, data))
                                                                 : std::nullopt;
}

inline std::string escaped(std::string text) {
  return transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol);
}

inline std::vector<std::string> tokensOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> tokens;
  for (std::string token; in >> token;) tokens.push_back(token);
  return tokens;
}

// A version of -1 makes the session's version query fail with "no version".
inline void setPeerVersion(RecordingSession& session, int version) {
  if (version < 0) {
    session.failProtocolVersion("no version");
  } else {
    session.setProtocolVersion(static_cast<unsigned int>(version));
  }
}

// `text` equals `storedText`, except that with a non-empty `plain` the token
// at `index` must be a version 1 password of `plain` instead.
inline void expectPasswordToken(const ScopedDevPasswordKey& key, const std::string& text,
                                const std::string& storedText, size_t index, const std::string& plain) {
  if (plain.empty()) {
    EXPECT_EQ(text, storedText);
    return;
  }
  std::vector<std::string> tokens = tokensOf(text);
  const std::vector<std::string> expected = tokensOf(storedText);
  ASSERT_EQ(tokens.size(), expected.size());
  ASSERT_LT(index, tokens.size());
  EXPECT_EQ(tokens[index].rfind("XRPW1:", 0), 0u);
  EXPECT_EQ(key.decrypt(tokens[index]), plain);
  tokens[index] = expected[index];
  EXPECT_EQ(tokens, expected);
}

// A failed lookup: one response, status 0xC201 and no text.
inline void expectFailure(const RecordingSession& session, int result) {
  EXPECT_EQ(result, static_cast<int>(XR_STREAM_FAILURE));
  EXPECT_EQ(session.only().as<appmanGeneralMsg>().errorCode, XR_STREAM_FAILURE);
  EXPECT_EQ(streamText(session), std::nullopt);
}

}  // namespace lookup_test

#endif  // TESTS_LISTENER_LOOKUPTESTSUPPORT_H_
