// The subclient lookup reads properties as views and entries into reused
// storage; a class derived from the listener takes the plain route
// (callback copies, heap records, BackupContent). Both must send the same
// bytes, also when one thread's lookups follow each other with fewer and
// shorter items than before.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AppMgr/SubclientBCLsn.h"
#include "AppMgr/appMgrErrorCodes.h"
#include "AppMgr/appMgrStructDefines.h"
#include "platform/EvDebug.h"

#include "fakes/RecordingSession.h"
#include "fakes/RequestBuilder.h"
#include "store/MemoryConfigStore.h"

namespace {

constexpr uint64_t kSubclientId = 9;

class PlainSubclientBCLsn final : public SubclientBCLsn {};

struct Subclient {
  const char* what;
  uint64_t appTypeId;
  bool exists;
  std::vector<PropertyRow> properties;
  std::map<int, std::vector<std::string>> groups;  // content (1) and filters (2..8)
  unsigned int protocolVersion;
};

std::shared_ptr<MemoryConfigStore> storeWith(const Subclient& c) {
  auto store = std::make_shared<MemoryConfigStore>();
  ApplicationRow app;
  app.velmoraId = 2;
  app.appId = 1045;
  app.appTypeId = c.appTypeId;
  app.subclientId = kSubclientId;
  store->addApplication(app);
  if (!c.exists) return store;
  SubclientRow row;
  row.id = kSubclientId;
  row.name = "home dirs";
  row.flags = 8;
  store->addSubclient(row);
  std::string errorText;
  store->setProperties(PropertyOwner::kSubclient, kSubclientId, c.properties, errorText);
  for (const auto& [group, entries] : c.groups) {
    store->updateSubclientEntries(kSubclientId, group, entries, {}, errorText);
  }
  return store;
}

struct Answer {
  int result;
  std::optional<std::string> text;
  std::string errorText;
};

Answer lookUp(SubclientBCLsn& listener, unsigned int protocolVersion) {
  Request<appmanObjectReq> request;
  request.record().objectId = kSubclientId;
  request.record().appIdText = "2:1045";
  RecordingSession session;
  session.setProtocolVersion(protocolVersion);
  const int result = listener.handleMessage(session, APPMAN_SUBCLIENT_BY_ID_REQ, request.buf());
  const SentResponse& sent = session.only();
  return {result, sent.text(offsetof(appmanGeneralMsg, data)), sent.errorText};
}

std::vector<PropertyRow> manyProperties(int n) {
  std::vector<PropertyRow> rows;
  for (int i = 0; i < n; ++i) {
    rows.push_back({"`Prop " + std::to_string(i) + std::string(static_cast<size_t>(i), '+'),
                    static_cast<unsigned long>(i) * 0x40000001ul,
                    i % 5 == 0 ? "" : "a b+c " + std::to_string(i)});
  }
  return rows;
}

std::vector<std::string> manyEntries(int n, const std::string& stem) {
  std::vector<std::string> entries;
  for (int i = 0; i < n; ++i) entries.push_back(stem + std::to_string(i) + "/my documents+`");
  return entries;
}

TEST(DirectReadTest, DirectAndPlainRoutesSendTheSameBytes) {
  const std::string nul("a\0b c", 5);
  const Subclient cases[] = {
      {"many items",
       33,
       true,
       manyProperties(40),
       {{1, manyEntries(30, "/home/a long user name ")},
        {2, {"*.tmp"}},
        {5, manyEntries(3, "x")},
        {8, {"`"}}},
       7},
      {"fewer and shorter items than before", 33, true, manyProperties(2), {{1, {"/a"}}, {3, {"b"}}}, 7},
      {"texts with a NUL",
       33,
       true,
       {{nul, 1, nul},
        {"n", 2, std::string(1, '\0')},
        {std::string("0123456789abc\0efghij", 20), 3, std::string("01234567\0x", 10)},
        {std::string("0123456789abcdef01\0j", 20), 4, std::string("\0 leading NUL", 13)}},
       {{1, {nul}}},
       7},
      {"nothing at all", 33, true, {}, {}, 7},
      {"a type without content", 16, true, manyProperties(3), {{1, {"/skipped"}}}, 7},
      {"an old peer", 33, true, manyProperties(4), {{1, {"/c d"}}, {4, {"e"}}}, 6},
      {"no such subclient", 33, false, {}, {}, 7},
  };
  EvLog::setSink(std::make_shared<MemoryLogSink>());
  for (const Subclient& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigStore::install(storeWith(c));
    SubclientBCLsn direct;
    PlainSubclientBCLsn plain;
    const Answer want = lookUp(plain, c.protocolVersion);
    const Answer got = lookUp(direct, c.protocolVersion);
    EXPECT_EQ(got.result, want.result);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.errorText, want.errorText);
    EXPECT_EQ(want.result, c.exists ? 0 : static_cast<int>(XR_STREAM_FAILURE));
  }
  ConfigStore::install(nullptr);
  EvLog::setSink(nullptr);
}

}  // namespace
