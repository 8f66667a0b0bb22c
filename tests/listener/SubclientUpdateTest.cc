// Subclient content and filter updates: the lists handed to the store per
// group, the two group streams read in step, decoding failures with their
// codes, store refusals passed through, groups applied one by one, and a
// group number that cannot be read ending the request (no phantom group 0).
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/BCLsnMsgHandler.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"

#include "fakes/RequestBuilder.h"
#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::ResultOf;
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

constexpr uint64_t kSubclientId = 77;
constexpr unsigned long kFiles = APPMAN_SUBCLIENT_UPDATE_FILES_REQ;
constexpr unsigned long kFilters = APPMAN_SUBCLIENT_UPDATE_FILTERS_REQ;

std::string joined(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += entry + ";";
  return text;
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

class SubclientUpdateTest : public ListenerTest {
 protected:
  void check(const UpdateCase& c) {
    SCOPED_TRACE(std::string(c.code == kFiles ? "files " : "filters ") + (c.first ? c.first : "(null)"));
    ::testing::InSequence inOrder;
    for (const GroupCall& call : c.calls) {
      EXPECT_CALL(store(), updateSubclientEntries(kSubclientId, call.group, ResultOf(joined, call.add),
                                                  ResultOf(joined, call.remove), _))
          .WillOnce(DoAll(SetArgReferee<4>(call.result != 0 ? "store refused" : ""),
                          Return(static_cast<int>(call.result))));
    }
    Request<appmanObjectReq> req;
    req.record().objectId = kSubclientId;
    req.record().firstList = c.first;
    req.record().secondList = c.second;
    RecordingSession session;

    EXPECT_EQ(BCLsnMsgHandler::handleMessage(session, c.code, req.buf()), static_cast<int>(c.want));
    const SentResponse& sent = answer(session, c.code);
    const auto rsp = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(rsp.msgCode, c.code == kFiles ? backupFilesId : propertiesId);
    EXPECT_EQ(rsp.data, nullptr);
    EXPECT_EQ(rsp.context | rsp.reserved, 0u);
    EXPECT_EQ(rsp.errorCode, c.want);
    EXPECT_EQ(sent.errorText, c.wantText);
    EXPECT_EQ(session.versionQueries(), 0);
    ::testing::Mock::VerifyAndClearExpectations(&store());
  }
};

TEST_F(SubclientUpdateTest, UpdateFilesPassesBothListsAsContentTypeOne) {
  const UpdateCase cases[] = {
      {kFiles, "2 /data/my+1files /var/log+2old", "0", {{1, "/data/my files;/var/log+old;", ""}}, 0, ""},
      {kFiles, nullptr, nullptr, {{1, "", ""}}, 0, ""},
      {kFiles, "1 ``a", "2 /x /y", {{1, "`a;", "/x;/y;"}}, 0, ""},
      {kFiles, "1 a", "x", {}, XR_STREAM_FAILURE, "Error extracting content Count"},
      {kFiles, "3 a b", "0", {}, XR_STREAM_FAILURE, "Error trying to extract content"},
      {kFiles,
       "1 a",
       "1 b",
       {{1, "a;", "b;", XR_CANT_UPDATE_CONTENT}},
       XR_CANT_UPDATE_CONTENT,
       "store refused"},
  };
  for (const UpdateCase& c : cases) check(c);
}

TEST_F(SubclientUpdateTest, UpdateFiltersAppliesGroupsOneByOneWithTheStreamsInStep) {
  const UpdateCase cases[] = {
      {kFilters, "2 3 1 /tmp/a+1b 5 0", "0 1 /x", {{3, "/tmp/a b;", ""}, {5, "", "/x;"}}, 0, ""},
      {kFilters, "2 4 0 4 1 /a", "1 /b 0", {{4, "", "/b;"}, {4, "/a;", ""}}, 0, ""},
      // No group: nothing is read from the second text and no call is made.
      {kFilters, "", "junk", {}, 0, ""},
      {kFilters, " \n", nullptr, {}, 0, ""},
      {kFilters, nullptr, nullptr, {}, 0, ""},
      {kFilters, "0 3 1 /a", "", {}, 0, ""},
      {kFilters, "-2 3 1 /a", "", {}, 0, ""},
      // The second call fails: the first group stays, the third is not read.
      {kFilters,
       "3 2 0 3 0 4 0",
       "",
       {{2, "", ""}, {3, "", "", XR_CANT_UPDATE_CONTENT}},
       XR_CANT_UPDATE_CONTENT,
       "store refused"},
      {kFilters,
       "2 2 1 /a 3 2 b",
       "",
       {{2, "/a;", ""}},
       XR_STREAM_FAILURE,
       "Error trying to extract content"},
      {kFilters, "2 2 0 3 0", "0 x", {{2, "", ""}}, XR_STREAM_FAILURE, "Error extracting content Count"},
      // A group outside 2..8 reaches updateContent, which refuses it.
      {kFilters,
       "2 2 0 12 1 /a",
       "",
       {{2, "", ""}},
       XR_BAD_CONTENT_TYPE,
       "SCInterfaceDB: filter group 12 is not one of 2 to 8"},
      {kFilters, "x", "", {}, XR_STREAM_FAILURE, "Error extracting content group count"},
  };
  for (const UpdateCase& c : cases) check(c);
}

TEST_F(SubclientUpdateTest, GroupNumberThatCannotBeReadEndsTheRequestWithoutPhantomGroups) {
  const UpdateCase cases[] = {
      {kFilters, "5 3 1 /tmp", "", {{3, "/tmp;", ""}}, XR_STREAM_FAILURE, "Error extracting content group"},
      {kFilters, "2147483647 3 0", "", {{3, "", ""}}, XR_STREAM_FAILURE, "Error extracting content group"},
      {kFilters, "2 x 1 /a", "", {}, XR_STREAM_FAILURE, "Error extracting content group"},
      {kFilters, "1 99999999999 0", "", {}, XR_STREAM_FAILURE, "Error extracting content group"},
  };
  for (const UpdateCase& c : cases) check(c);
  EXPECT_EQ(log().count("General Listener Exception:Error extracting content group"), 4u);
}

}  // namespace
