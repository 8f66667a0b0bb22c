// Adapter list queries and lookups: every type reaches its store call with
// the request's numbers in the right places and the fixed arguments, the
// answer lines byte for byte, failures and unserved types. Lists of
// different lengths and unreadable numbers are the adapter_text fuzz
// target's job.
#include <cstdio>
#include <functional>
#include <optional>
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
using ::testing::Return;
using ::testing::SetArgReferee;

namespace {

using Rows = std::vector<ConfigStore::AdapterListRow>;
using Order = ConfigStore::ListOrder;
constexpr unsigned long kQuery = APPMAN_DOQUERY_REQ;
constexpr unsigned long kLookup = APPMAN_DOLOOKUP_REQ;
constexpr size_t kText = offsetof(appmanGeneralMsg, data);
constexpr uint64_t kContext = 0xC0FFEE;

ApplicationRow app(uint64_t velmoraId, uint64_t appId) {
  ApplicationRow row;
  row.velmoraId = velmoraId;
  row.appId = appId;
  return row;
}

InstanceRow instance(const std::string& name, uint64_t clientId, uint64_t velmoraId) {
  InstanceRow row;
  row.name = name;
  row.clientId = clientId;
  row.velmoraId = velmoraId;
  return row;
}

template <typename... Args>
std::string line(const char* format, Args... args) {
  char text[160];
  snprintf(text, sizeof text, format, args...);
  return text;
}

// A store action that fills output argument N with `value` and succeeds.
template <size_t N, typename T>
auto fills(T value) {
  return DoAll(SetArgReferee<N>(value), Return(0));
}

class AdaptersBCLsnTest : public ListenerTest {
 protected:
  // Sends `text` under `code` through the entry point.
  int send(RecordingSession& session, unsigned long code, const std::string& text) {
    request_.record().data = text.c_str();
    request_.record().context = kContext;
    return BCLsnMsgHandler::handleMessage(session, code, request_.buf());
  }
  // The answer text of the only response, after checking the record.
  static std::optional<std::string> answerText(const RecordingSession& session, unsigned long code,
                                               int errorCode) {
    const SentResponse& sent = answer(session, code);
    const auto rsp = sent.as<appmanGeneralMsg>();
    EXPECT_EQ(rsp.msgCode, static_cast<uint32_t>(sent.responseCode));
    EXPECT_EQ(rsp.context, kContext);
    EXPECT_EQ(rsp.errorCode, static_cast<uint32_t>(errorCode));
    EXPECT_EQ(rsp.reserved, 0u);
    EXPECT_EQ(rsp.pad0, 0u);
    return sent.text(kText);
  }

  Request<appmanGeneralMsg> request_;
};

// One request per query and lookup type. The numbers n1..n5 are 11..15, so
// a number passed in the wrong place or an ignored one passed at all fails
// the strict store mock. A row: the request code and type, the store call
// expected, the output argument it fills and with what, and the answer.
struct TypeCase {
  unsigned long code;
  uint32_t type;
  std::function<void(MockConfigStore&)> expect;
  const char* answer;
};
#define ROW(code, type, call, out, value, answer)                                                    \
  {                                                                                                  \
    code, type, [](MockConfigStore& s) { EXPECT_CALL(s, call).WillOnce(fills<out>(value)); }, answer \
  }
using Apps = std::vector<ApplicationRow>;
const TypeCase kTypeCases[] = {
    ROW(kQuery, velmoraVelmorasQuery, listVelmoras(11, Order::kById, _, _), 2,
        (Rows{{2, "north", false}, {4, "south pole", true}}), "2\n4\n"),
    ROW(kQuery, velmoraClientsQuery, listClients(12, 2, _, _), 2, (Rows{{5, "b 1"}}), "5\n"),
    ROW(kQuery, velmoraMediaAgentQuery,
        listClientsOfType(11, ConfigStore::kClientRoleMediaAgent, Order::kById, _, _), 3,
        (Rows{{10, "ma"}, {18446744073709551615ul, "max"}}), "10\n18446744073709551615\n"),
    ROW(kQuery, clientApplicationsQuery, listApplications(11, 12, 13, 14, 15, Order::kById, _, _), 6,
        (Apps{app(2, 1045), app(3, 7)}), "2:1045\n3:7\n"),
    ROW(kQuery, clientApplicationTypesQuery, listApplicationTypes(11, 1, _, _), 2,
        (Rows{{7, "File System"}, {22, "`x+y"}}), "7 File+1System\n22 ``x+2y\n"),
    ROW(kQuery, clientInstancesQuery, listInstances(11, 12, 13, Order::kByName, _, _), 4,
        (Rows{{6, "Default Instance"}}), "6 Default+1Instance\n"),
    ROW(kQuery, instanceListFromAppTypeQuery, listInstances(11, 0, 12, Order::kByName, _, _), 4,
        (Rows{{6, ""}}), "6 `\n"),
    ROW(kQuery, clientBackupSetsQuery, listBackupSets(0, 11, 13, Order::kByName, _, _), 4,
        (Rows{{7, "default set", true}, {9, "a+b", false}, {12, "", true}}),
        "7 true default+1set\n9 false a+2b\n12 true `\n"),
    ROW(kQuery, clientBackupSetsNoInstanceQuery, listBackupSets(11, 13, 0, Order::kByName, _, _), 4,
        (Rows{{7, "bs", false}}), "7 false bs\n"),
    ROW(kQuery, clientBackupSetsWithInstance, listBackupSets(11, 13, 15, Order::kByName, _, _), 4,
        (Rows{{7, "bs", true}}), "7 true bs\n"),
    // The subclient flag is not answered.
    ROW(kQuery, clientSubclientsQuery, listSubclients(11, 13, Order::kByName, _, _), 3,
        (Rows{{8, "home dirs", true}}), "8 home+1dirs\n"),
    ROW(kQuery, archiveGroupApplicationsQuery, listArchiveGroupApplications(11, 12, _, _), 2,
        (Apps{app(2, 1046)}), "2:1046\n"),
    ROW(kLookup, ApplicationTypeNameLookup, findApplicationTypeName(11, _, _), 1, "Oracle Database",
        "Oracle+1Database\n"),
    ROW(kLookup, ApplicationIdLookup, findApplicationBySubclient(11, _, _), 1, app(2, 1045), "2:1045\n"),
    ROW(kLookup, ClientIdLookupFromInstanceId, findInstance(11, _, _), 1, instance("i", 12, 3), "12 3\n"),
    ROW(kLookup, LookupInstNameFromId, findInstance(11, _, _), 1, instance("", 5, 2), "`\n"),
};
#undef ROW

}  // namespace

TEST_F(AdaptersBCLsnTest, EveryTypeAsksTheStoreWithItsNumbersAndAnswersItsLines) {
  for (const TypeCase& c : kTypeCases) {
    SCOPED_TRACE(line("type %#x", c.type));
    RecordingSession session;
    log().clear();
    c.expect(store());
    EXPECT_EQ(send(session, c.code, std::to_string(c.type) + " 11 12 13 14 15"), 0);
    EXPECT_EQ(answerText(session, c.code, 0), std::string(c.answer));
    EXPECT_EQ(log().count(line(c.code == kQuery ? "Received APPMAN_DOQUERY_REQ request [0x%x]"
                                                : "Received APPMAN_DOLOOKUP_REQ request [0x%x]",
                               c.type)),
              1u);
    EXPECT_EQ(log().count(line("Command [0x%x] sending response Code [%d] back to client", c.type, 0)), 1u);
    ::testing::Mock::VerifyAndClearExpectations(&store());
  }
}

TEST_F(AdaptersBCLsnTest, StoreFailureAnswersItsCodeWithNoText) {
  EXPECT_CALL(store(), findInstance(4, _, _))
      .WillOnce(DoAll(SetArgReferee<2>("Instance 4 not found"), Return(XR_INSTANCE_NOT_FOUND)));
  EXPECT_EQ(send(session_, kLookup, "135172 4"), static_cast<int>(XR_INSTANCE_NOT_FOUND));
  EXPECT_EQ(answerText(session_, kLookup, XR_INSTANCE_NOT_FOUND), std::nullopt);
  EXPECT_EQ(session_.only().errorText, "Instance 4 not found");
  EXPECT_EQ(log().count("Error [Instance 4 not found]"), 1u);
}

TEST_F(AdaptersBCLsnTest, UnservedTypesAreLoggedAndNotAnswered) {
  // ClientChallenge, types under the other request code, no number, a
  // negative type and one too wide for 32 bits.
  for (const auto& [code, text] : {std::pair{kLookup, "200705 1"},
                                   {kQuery, "200705"},
                                   {kLookup, "69649"},
                                   {kQuery, "abc 69649"},
                                   {kQuery, "-69649"},
                                   {kLookup, "4295102465 1"}}) {
    SCOPED_TRACE(text);
    log().clear();
    EXPECT_EQ(send(session_, code, text), 0);
    EXPECT_EQ(log().count(line("Unexpected network request [%#lx]. Cannot handle this request.", code)), 1u);
  }
  EXPECT_TRUE(session_.sent().empty());
}
