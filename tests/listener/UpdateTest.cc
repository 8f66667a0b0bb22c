// The writes: the three property writes with the id each passes, set
// before remove, the first failing step deciding the answer, and passwords
// re-encrypted for version 6 peers at each handler's own level; and the
// subclient content and filter updates, group by group until the first
// failure.
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/DevPasswordKey.h"
#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::ResultOf;
using ::testing::Return;
using ::testing::SaveArg;
using ::testing::SetArgReferee;

namespace {

constexpr uint32_t kClientId = 12;
constexpr uint64_t kAppId = 0x100000063;  // wider than the client id field
constexpr uint64_t kSubclientId = 77;

std::string joined(const std::vector<PropertyRow>& rows) {
  std::string text;
  for (const PropertyRow& row : rows)
    text += row.name + "|" + std::to_string(row.type) + "|" + row.value + ";";
  return text;
}

std::string joinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += name + ";";
  return text;
}

constexpr unsigned long kFiles = APPMAN_SUBCLIENT_UPDATE_FILES_REQ;
constexpr unsigned long kFilters = APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ;
const unsigned long kWriters[] = {APPMAN_CLIENT_SET_PROPS_REQ, APPMAN_CLIENT_SET_PROPS_BY_APPID_REQ,
                                  APPMAN_SUBCLIENT_UPDATE_PROPS_REQ};

class PropertyWriteTest : public ListenerTest {
 protected:
  static bool isClient(unsigned long code) { return code != APPMAN_SUBCLIENT_UPDATE_PROPS_REQ; }
  static uint64_t idOf(unsigned long code) {
    return code == APPMAN_CLIENT_SET_PROPS_REQ         ? kClientId
           : code == APPMAN_SUBCLIENT_UPDATE_PROPS_REQ ? kSubclientId
                                                       : kAppId;
  }
  // Runs `code` with both ids in the request; each handler must pick its own.
  static int run(RecordingSession& session, unsigned long code, const char* setText, const char* removeText) {
    if (isClient(code)) {
      Request<appmanClientSetPropsReq> req;
      req.record().appId = kAppId;
      req.record().clientId = kClientId;
      req.record().aux = 0xffffffff;
      req.record().setList = setText;
      req.record().removeList = removeText;
      return BCLsnMsgHandler::handleMessage(session, code, req.buf());
    }
    Request<appmanObjectReq> req;
    req.record().objectId = kSubclientId;
    req.record().firstList = setText;
    req.record().secondList = removeText;
    return BCLsnMsgHandler::handleMessage(session, code, req.buf());
  }
  // The existence check that comes before each store write.
  void expectObject(unsigned long code, int times) {
    if (times == 0) return;
    if (isClient(code)) {
      EXPECT_CALL(store(), findClient(ClientKey::kId, Field(&ClientRow::id, idOf(code)), _, _))
          .Times(times)
          .WillRepeatedly(Return(0));
    } else {
      EXPECT_CALL(store(), findSubclient(kSubclientId, _, _)).Times(times).WillRepeatedly(Return(0));
    }
  }
  static PropertyOwner ownerOf(unsigned long code) {
    return isClient(code) ? PropertyOwner::kClient : PropertyOwner::kSubclient;
  }
  static auto fail(int result, const std::string& text) {
    return DoAll(SetArgReferee<3>(result != 0 ? text : ""), Return(result));
  }
  // The only answer: its message code, no text, `errorCode`.
  static void expectAnswer(const RecordingSession& session, unsigned long code, uint32_t errorCode,
                           const std::string& errorText) {
    const SentResponse& sent = answer(session, code);
    const auto rsp = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(rsp.msgCode, code == kFiles ? backupFilesId : propertiesId);
    EXPECT_EQ(rsp.data, nullptr);
    EXPECT_EQ(rsp.context | rsp.reserved, 0u);
    EXPECT_EQ(rsp.errorCode, errorCode);
    EXPECT_EQ(sent.errorText, errorText);
  }
};

TEST_F(PropertyWriteTest, EachHandlerSetsThenRemovesUnderItsOwnId) {
  for (const unsigned long code : kWriters) {
    SCOPED_TRACE(code);
    ::testing::InSequence inOrder;
    RecordingSession session;
    expectObject(code, 1);
    EXPECT_CALL(store(), setProperties(ownerOf(code), idOf(code),
                                       ResultOf(joined, "Scan Type|2|1+1;`x|4294967295|;"), _))
        .WillOnce(Return(0));
    expectObject(code, 1);
    EXPECT_CALL(store(), removeProperties(ownerOf(code), idOf(code), ResultOf(joinedNames, "Scan Type;"), _))
        .WillOnce(Return(0));

    EXPECT_EQ(run(session, code, "2 0 Scan+1Type 2 1+21 0 9 ``x -1 ` 3", "1 0 Scan+1Type 2 old 0"), 0);
    expectAnswer(session, code, 0, "");
    EXPECT_EQ(session.versionQueries(), 1);
  }
}

TEST_F(PropertyWriteTest, FirstFailingStepDecidesTheAnswerAndEarlierStepsStay) {
  const struct {
    const char* setText;
    const char* removeText;
    int setResult;     // -1: setProperties is not reached
    int removeResult;  // -1: removeProperties is not reached
    uint32_t want;
    const char* wantText;
  } cases[] = {
      {"x", "0 ", -1, -1, XR_STREAM_FAILURE, "Error extracting property Count"},
      {"2 0 a 1 b 0", "", -1, -1, XR_STREAM_FAILURE, "Error trying to extract property"},
      {"1 0 a 1 b 0", "zz", XR_SC_UPDATE_DENIED, -1, XR_SC_UPDATE_DENIED, "set refused"},
      {"1 0 a 1 b 0", "1 0 a", 0, -1, XR_STREAM_FAILURE, "Error trying to extract property"},
      {"1 0 a 1 b 0", "1 0 a 1 b 0", 0, XR_PROP_NOT_FOUND, XR_PROP_NOT_FOUND, "remove refused"},
      {nullptr, nullptr, 0, 0, 0, ""},
      {"  ", "0 ", 0, 0, 0, ""},
  };
  for (const unsigned long code : kWriters) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::to_string(code) + " " + (c.setText ? c.setText : "(null)"));
      RecordingSession session;
      expectObject(code, (c.setResult >= 0) + (c.removeResult >= 0));
      if (c.setResult >= 0) {
        EXPECT_CALL(store(), setProperties(ownerOf(code), idOf(code), _, _))
            .WillOnce(fail(c.setResult, "set refused"));
      }
      if (c.removeResult >= 0) {
        EXPECT_CALL(store(), removeProperties(ownerOf(code), idOf(code), _, _))
            .WillOnce(fail(c.removeResult, "remove refused"));
      }
      EXPECT_EQ(run(session, code, c.setText, c.removeText), static_cast<int>(c.want));
      expectAnswer(session, code, c.want, c.wantText);
      ::testing::Mock::VerifyAndClearExpectations(&store());
    }
  }
  EXPECT_EQ(log().count("General Listener Exception:set refused"), 3u);
}

TEST_F(PropertyWriteTest, OnlyVersionSixPeersHaveTheirLevelsPasswordsMadeVersionTwo) {
  ScopedDevPasswordKey key;
  const std::string v1 = key.encryptV1("pw");
  // A client password and a subclient password, both in version 1.
  const std::string setText = "2 0 AD+1User+1Password 5 " + v1 + " 0 0 UNC+1Content+1Password 5 " + v1 + " 0";
  for (const unsigned long code : kWriters) {
    for (const unsigned int version : {6u, 7u}) {
      SCOPED_TRACE(std::to_string(code) + " version " + std::to_string(version));
      RecordingSession session;
      session.setProtocolVersion(version);
      std::vector<PropertyRow> rows;
      expectObject(code, 2);
      EXPECT_CALL(store(), setProperties(ownerOf(code), idOf(code), _, _))
          .WillOnce(DoAll(SaveArg<2>(&rows), Return(0)));
      EXPECT_CALL(store(), removeProperties(ownerOf(code), idOf(code), _, _)).WillOnce(Return(0));

      EXPECT_EQ(run(session, code, setText.c_str(), "0"), 0);
      ASSERT_EQ(rows.size(), 2u);
      const size_t own = isClient(code) ? 0 : 1;
      for (size_t i = 0; i < rows.size(); ++i) {
        if (version == 6 && i == own) {
          EXPECT_EQ(rows[i].value.rfind("XRPW2:", 0), 0u) << rows[i].value;
          EXPECT_EQ(key.decrypt(rows[i].value), "pw");
        } else {
          EXPECT_EQ(rows[i].value, v1);
        }
      }
      ::testing::Mock::VerifyAndClearExpectations(&store());
    }
  }
}

// One expected store call: the group, the entries to add and to remove
// (joined with ';') and its result.
struct GroupCall {
  int group;
  const char* add;
  const char* remove;
  uint32_t result = 0;
};

struct UpdateCase {
  unsigned long code;
  const char* first;
  const char* second;
  std::vector<GroupCall> calls;
  uint32_t want;
  const char* wantText;
};

class SubclientUpdateTest : public PropertyWriteTest {
 protected:
  void check(const UpdateCase& c) {
    SCOPED_TRACE(std::string(c.code == kFiles ? "files " : "filters ") + (c.first ? c.first : "(null)"));
    ::testing::InSequence inOrder;
    for (const GroupCall& call : c.calls) {
      EXPECT_CALL(store(), updateSubclientEntries(kSubclientId, call.group, ResultOf(joinedNames, call.add),
                                                  ResultOf(joinedNames, call.remove), _))
          .WillOnce(DoAll(SetArgReferee<4>(call.result != 0 ? "store refused" : ""),
                          Return(static_cast<int>(call.result))));
    }
    Request<appmanObjectReq> req;
    req.record().objectId = kSubclientId;
    req.record().firstList = c.first;
    req.record().secondList = c.second;
    RecordingSession session;

    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, req.buf()), static_cast<int>(c.want));
    expectAnswer(session, c.code, c.want, c.wantText);
    EXPECT_EQ(session.versionQueries(), 0);
    ::testing::Mock::VerifyAndClearExpectations(&store());
  }
};

// Files: both lists as content type 1. Filters: groups applied one by one
// with the two streams read in step; a failure keeps the groups before it;
// a group number that cannot be read ends the request without a phantom
// group 0.
TEST_F(SubclientUpdateTest, ListsReachTheStoreGroupByGroupUntilTheFirstFailure) {
  constexpr uint32_t kStream = XR_STREAM_FAILURE, kRefused = XR_CANT_UPDATE_CONTENT;
  const char* const kCount = "Error extracting content Count";
  const char* const kEntry = "Error trying to extract content";
  const char* const kGroup = "Error extracting content group";
  const UpdateCase cases[] = {
      {kFiles, "2 /data/my+1files /var/log+2old", "0", {{1, "/data/my files;/var/log+old;", ""}}, 0, ""},
      {kFiles, "1 ``a", "2 /x /y", {{1, "`a;", "/x;/y;"}}, 0, ""},
      {kFiles, "1 a", "x", {}, kStream, kCount},
      {kFiles, "3 a b", "0", {}, kStream, kEntry},
      {kFiles, "1 a", "1 b", {{1, "a;", "b;", kRefused}}, kRefused, "store refused"},
      {kFilters, "2 3 1 /tmp/a+1b 5 0", "0 1 /x", {{3, "/tmp/a b;", ""}, {5, "", "/x;"}}, 0, ""},
      {kFilters, "2 4 0 4 1 /a", "1 /b 0", {{4, "", "/b;"}, {4, "/a;", ""}}, 0, ""},
      {kFilters, "1 8 1 /a", "", {{8, "/a;", ""}}, 0, ""},  // the last filter group
      // No group: nothing is read from the second text and no call is made.
      {kFilters, "", "junk", {}, 0, ""},
      {kFilters, "0 3 1 /a", "", {}, 0, ""},
      // The second call fails: the first group stays, the third is not read.
      {kFilters, "3 2 0 3 0 4 0", "", {{2, "", ""}, {3, "", "", kRefused}}, kRefused, "store refused"},
      {kFilters, "2 2 1 /a 3 2 b", "", {{2, "/a;", ""}}, kStream, kEntry},
      {kFilters, "2 2 0 3 0", "0 x", {{2, "", ""}}, kStream, kCount},
      // A group outside 2..8 reaches updateContent, which refuses it.
      {kFilters,
       "2 2 0 12 1 /a",
       "",
       {{2, "", ""}},
       XR_BAD_CONTENT_TYPE,
       "SCInterfaceDB: filter group 12 is not one of 2 to 8"},
      {kFilters, "x", "", {}, kStream, "Error extracting content group count"},
      {kFilters, "5 3 1 /tmp", "", {{3, "/tmp;", ""}}, kStream, kGroup},
  };
  for (const UpdateCase& c : cases) check(c);
  EXPECT_EQ(log().count(std::string("General Listener Exception:") + kGroup), 1u);
}

}  // namespace
