// Instance, backup set and subclient lookups: the texts byte for byte,
// passwords converted only for version 6 peers at each object's own level,
// one 0xC201 response after every failure; and the reading of the numeric
// application id text that these lookups carry.
#include <climits>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BackupSetBCLsn.h"
#include "AppMgr/InstanceBCLsn.h"
#include "AppMgr/SubclientBCLsn.h"
#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"
#include "listener/NumericAppId.h"

using ::testing::_;
using ::testing::AllOf;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr unsigned long kInstance = APPMAN_INSTANCE_BY_ID_REQ;
constexpr unsigned long kBackupSet = APPMAN_BACKUPSET_BY_ID_REQ;
constexpr unsigned long kSubclient = APPMAN_SUBCLIENT_BY_ID_REQ;
constexpr uint64_t kObjectId = 77;
constexpr int64_t kPassThrough = -17;
constexpr uint64_t kNotesType = 7;        // instances with content
constexpr uint64_t kFileSystemType = 33;  // subclients with content and filters
constexpr uint64_t kPlainType = 16;       // neither
constexpr size_t kText = offsetof(appmanGeneralMsg, data);

std::string escaped(std::string text) {
  return transform_string_encode(text, TransformStringFromSymbol, TransformStringToSymbol);
}

// `text` with each version 1 password token replaced by "v1(<plain>)".
std::string withPlainV1(const ScopedDevPasswordKey& key, const std::string& text) {
  std::istringstream in(text);
  std::string out;
  for (std::string token; in >> token;) {
    out += (token.rfind("XRPW1:", 0) == 0 ? "v1(" + key.decrypt(token) + ")" : token) + " ";
  }
  return out;
}

class ObjectLookupTest : public ListenerTest {
 protected:
  // The store calls are expected in lookup order; the one numbered failAt_
  // fails with failText_ and none after it is expected.
  template <size_t Out, size_t Text, typename Row>
  auto reply(const Row& row, uint32_t failure) {
    const int rc = step_++ == failAt_ ? static_cast<int>(failure) : 0;
    return DoAll(SetArgReferee<Out>(row), SetArgReferee<Text>(rc != 0 ? failText_ : ""), Return(rc));
  }
  bool done() const { return step_ > failAt_; }

  // "2:1045" resolves to an application of `appTypeId`.
  void expectApplication(uint64_t appTypeId) {
    if (done()) return;
    ApplicationRow row;
    row.velmoraId = 2;
    row.appId = 1045;
    row.appTypeId = appTypeId;
    EXPECT_CALL(store(),
                findApplication(
                    ApplicationKey::kNumeric,
                    AllOf(Field(&ApplicationRow::velmoraId, 2u), Field(&ApplicationRow::appId, 1045u)), _, _))
        .WillOnce(reply<2, 3>(row, XR_APPID_NOT_FOUND));
  }
  // The instance, backup set or subclient of `code`.
  void expectObject(unsigned long code, const std::string& name, int64_t flags = 0) {
    if (done()) return;
    if (code == kInstance) {
      EXPECT_CALL(store(), findInstance(kObjectId, _, _))
          .WillOnce(reply<1, 2>(row<InstanceRow>(name, flags), XR_INSTANCE_NOT_FOUND));
    } else if (code == kBackupSet) {
      EXPECT_CALL(store(), findBackupSet(kObjectId, _, _))
          .WillOnce(reply<1, 2>(row<BackupSetRow>(name, flags), XR_BACKUPSET_NOT_FOUND));
    } else {
      EXPECT_CALL(store(), findSubclient(kObjectId, _, _))
          .WillOnce(reply<1, 2>(row<SubclientRow>(name, flags), XR_SUBCLIENT_NOT_FOUND));
    }
  }
  template <typename Row>
  static Row row(const std::string& name, int64_t flags) {
    Row row;
    row.name = name;
    row.flags = flags;
    return row;
  }
  void expectProperties(PropertyOwner owner, const std::vector<PropertyRow>& rows) {
    if (done()) return;
    EXPECT_CALL(store(), listProperties(owner, kObjectId, kPassThrough, _, _))
        .WillOnce(reply<3, 4>(rows, XR_PROP_NOT_FOUND));
  }
  void expectContent(const std::vector<ContentRow>& rows) {
    if (done()) return;
    EXPECT_CALL(store(), listInstanceContent(kObjectId, _, _))
        .WillOnce(reply<1, 2>(rows, XR_CONTENT_NOT_FOUND));
  }
  void expectEntries(int group, const std::vector<std::string>& entries) {
    if (done()) return;
    EXPECT_CALL(store(), listSubclientEntries(kObjectId, group, _, _))
        .WillOnce(reply<2, 3>(entries, XR_CONTENT_NOT_FOUND));
  }
  // A whole lookup of `code` for an object called `name`, with `content`
  // for a type 7 instance or as the content group of a file system
  // subclient (whose filter groups are empty), in lookup order.
  void expectLookup(unsigned long code, uint64_t appTypeId, int64_t flags,
                    const std::vector<PropertyRow>& props, const std::string& name = "obj",
                    const std::vector<ContentRow>& content = {}) {
    ::testing::InSequence inOrder;
    if (code != kBackupSet) expectApplication(appTypeId);
    expectObject(code, name, flags);
    expectProperties(code == kInstance    ? PropertyOwner::kInstance
                     : code == kBackupSet ? PropertyOwner::kBackupSet
                                          : PropertyOwner::kSubclient,
                     props);
    if (code == kInstance && appTypeId == kNotesType) expectContent(content);
    if (code != kSubclient || appTypeId != kFileSystemType) return;
    std::vector<std::string> entries;
    for (const ContentRow& row : content) entries.push_back(row.path);
    expectEntries(kSubclientContentGroup, entries);
    for (int group = kFirstFilterGroup; group <= kLastFilterGroup; ++group) expectEntries(group, {});
  }

  // Runs the lookup of `code` and checks that its listener keeps no list.
  int run(unsigned long code, RecordingSession& session) {
    Request<appmanObjectReq> request;
    request.record().objectId = kObjectId;
    request.record().passThrough = kPassThrough;
    request.record().appIdText = "2:1045";
    InstanceBCLsn instance;
    BackupSetBCLsn backupSet;
    SubclientBCLsn subclient;
    const int result = code == kInstance    ? instance.handleMessage(session, code, request.buf())
                       : code == kBackupSet ? backupSet.handleMessage(session, code, request.buf())
                                            : subclient.handleMessage(session, code, request.buf());
    EXPECT_TRUE(instance.propList.empty() && instance.contentList.empty());
    EXPECT_TRUE(backupSet.propList.empty() && subclient.propList.empty());
    return result;
  }

  // The text of the only response, after checking its frame.
  static std::optional<std::string> streamText(const RecordingSession& session, unsigned long code,
                                               uint32_t errorCode = 0) {
    const SentResponse& sent = answer(session, code);
    const auto record = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(record.msgCode, APPMAN_PROPERTY_STREAM_RSP);
    EXPECT_EQ(record.context | record.reserved, 0u);
    EXPECT_EQ(record.errorCode, errorCode);
    return sent.texts.count(kText) != 0 ? sent.text(kText) : std::nullopt;
  }

  int step_ = 0;
  int failAt_ = INT_MAX;
  std::string failText_;
};

TEST_F(ObjectLookupTest, EachObjectSendsItsNameFlagPropertiesAndContentByteForByte) {
  const struct {
    unsigned long code;
    uint64_t appType;
    const char* name;
    int64_t flags;
    std::vector<PropertyRow> props;
    std::vector<ContentRow> content;
    const char* want;
  } cases[] = {
      // An instance of another type: name and properties only (no flag).
      {kInstance,
       13,
       "inst one+`",
       8,
       {{"`Home Dir", 4, "/opt/a b"}, {"", 12, "+"}},
       {},
       "inst+1one+2` 2 0 ``Home+1Dir 4 /opt/a+1b 0 ` 12 +2 "},
      // Type 7 adds its content with the Notes prefixes.
      {kInstance,
       kNotesType,
       "notes",
       0,
       {},
       {{9, "mail/a.nsf"}, {10, "By Date"}, {3, "`db x"}},
       "notes 0 3 NotesProfile:mail/a.nsf NotesView:By+1Date ``db+1x "},
      {kBackupSet,
       0,
       "`nightly set+1",
       8,
       {{"Retain Days", 3, "a b+c"}, {"`Tag", 0xFFFFFFFFul, ""}},
       {},
       "``nightly+1set+21 true 2 0 Retain+1Days 3 a+1b+2c 0 ``Tag -1 ` "},
      // A file system subclient: content, then the seven filter groups in order.
      {kSubclient,
       kFileSystemType,
       "default sc",
       9,
       {{"Scan Type", 2, "1+1"}},
       {{1, "/home/my docs"}, {1, "a+b"}, {1, "`x"}},
       "default+1sc true 1 0 Scan+1Type 2 1+21 3 /home/my+1docs a+2b ``x 7 2 0 3 0 4 0 5 0 6 0 7 0 8 0 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    expectLookup(c.code, c.appType, c.flags, c.props, c.name, c.content);
    RecordingSession session;
    log().clear();
    EXPECT_EQ(run(c.code, session), 0);
    EXPECT_EQ(streamText(session, c.code), c.want);
    char line[96];
    snprintf(line, sizeof line, "Request Type [%#lx], sending response Code [0] back to client", c.code);
    EXPECT_EQ(log().count(line), 1u);
  }
}

TEST_F(ObjectLookupTest, OnlyVersionSixPeerGetsThePasswordsOfTheObjectsLevelInVersionOne) {
  ScopedDevPasswordKey key;
  const std::string stored = key.encryptV2("pw");
  const std::string s = escaped(stored);
  // The first is an instance password, the second a subclient password.
  const std::vector<PropertyRow> props = {{"ORACLE password", 5, stored},
                                          {"unc content password", 5, stored}};
  for (const int version : {6, 7, -1}) {
    const std::string v1 = version == 6 ? "v1(pw)" : s;
    const std::pair<unsigned long, std::string> cases[] = {
        {kInstance, "obj 2 0 ORACLE+1password 5 " + v1 + " 0 unc+1content+1password 5 " + s + " "},
        {kBackupSet, "obj false 2 0 ORACLE+1password 5 " + s + " 0 unc+1content+1password 5 " + s + " "},
        {kSubclient, "obj false 2 0 ORACLE+1password 5 " + s + " 0 unc+1content+1password 5 " + v1 + " 0 "}};
    for (const auto& [code, want] : cases) {
      SCOPED_TRACE(std::to_string(code) + " version " + std::to_string(version));
      RecordingSession session;
      if (version < 0) session.failProtocolVersion("no version");
      if (version >= 0) session.setProtocolVersion(static_cast<unsigned int>(version));
      expectLookup(code, kPlainType, 0, props);
      ASSERT_EQ(run(code, session), 0);
      EXPECT_EQ(withPlainV1(key, streamText(session, code).value_or("")), want);
      EXPECT_EQ(session.versionQueries(), code == kBackupSet ? 0 : 1);
    }
  }
  EXPECT_EQ(log().count("Error getting protocol version [no version]. Will use default encryption."), 2u);
}

TEST_F(ObjectLookupTest, DatabaseFailureAtAnyStepSendsOneStreamFailure) {
  // Steps: application (not for a backup set), object, properties, then the
  // content of a type 7 instance or the content and seven filter groups of
  // a subclient.
  const std::pair<unsigned long, int> lookups[] = {{kInstance, 4}, {kBackupSet, 2}, {kSubclient, 11}};
  for (const auto& [code, steps] : lookups) {
    for (failAt_ = 0; failAt_ < steps; ++failAt_) {
      step_ = 0;
      failText_ = "lookup " + std::to_string(code) + " step " + std::to_string(failAt_) + " failed";
      SCOPED_TRACE(failText_);
      expectLookup(code, code == kInstance ? kNotesType : kFileSystemType, 8, {{"a", 1, "b"}, {"c", 2, "d"}});
      RecordingSession session;
      EXPECT_EQ(run(code, session), static_cast<int>(XR_STREAM_FAILURE));
      EXPECT_EQ(streamText(session, code, XR_STREAM_FAILURE), std::nullopt);
      // The content and filter reads of a subclient give no text.
      const std::string text = code == kSubclient && failAt_ > 2 ? "" : failText_;
      EXPECT_EQ(session.only().errorText, text);
      EXPECT_EQ(log().count("General Listener Exception:" + text), text.empty() ? failAt_ - 2u : 1u);
    }
  }
  EXPECT_EQ(log().count("Request Type [0x1a003311], sending response Code [49665] back to client"), 11u);

  ConfigStore::install(nullptr);
  EXPECT_EQ(run(kBackupSet, session_), static_cast<int>(XR_STREAM_FAILURE));
  EXPECT_EQ(session_.only().errorText, "BSInterfaceDB: no configuration store is installed");
}

// "velmoraId/appId" as read from `text`, with "failed " before it when the
// text is refused.
std::string parsed(const char* text) {
  AppIdInfo info;
  info.velmoraId = 9;  // a refused text leaves the ids untouched
  const bool ok = parseNumericAppId(text, info);
  return (ok ? "" : "failed ") + std::to_string(info.velmoraId) + "/" + std::to_string(info.appId);
}

// A part without a leading unsigned number reads 0; overlong numbers saturate.
TEST(NumericAppId, ReadsLeadingUnsignedNumbersAndRefusesTextsWithoutDelimiter) {
  const std::string max = "18446744073709551615";
  const std::pair<const char*, std::string> cases[] = {
      {"2:1045", "2/1045"},
      {" \t7:  12x", "7/12"},
      {"7:3:4", "7/3"},
      {"2:abc", "2/0"},
      {":", "0/0"},
      {"-1:+5", "0/0"},
      {"18446744073709551615:18446744073709551616", max + "/" + max},
      {"1:999999999999999999999999999999999999999", "1/" + max},
      {"2-1045", "failed 9/0"},
      {"", "failed 9/0"},
      {nullptr, "failed 9/0"}};
  for (const auto& [text, want] : cases) EXPECT_EQ(parsed(text), want) << (text != nullptr ? text : "null");
}

}  // namespace
