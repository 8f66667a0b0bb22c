// The JSON codec of a configuration tree on its own: a bad file is refused
// with the JSON path and the reason, and a tree with an orphan row is not
// exported. (Round trips through every store are in the contract suite.)
#include <string>

#include <gtest/gtest.h>

#include "AppMgr/appMgrErrorCodes.h"

#include "fakes/StoreFixtures.h"
#include "store/ConfigTreeJson.h"

namespace {

TEST(ConfigTreeJson, ExportRefusesRowsWhoseParentIsMissing) {
  ConfigTree tree;
  tree.velmoras.push_back({});
  tree.velmoras[0].id = 1;
  tree.velmoras[0].name = "v";
  ClientRow client;
  client.id = 4;
  client.velmoraId = 2;
  client.name = "lost";
  tree.clients.push_back(client);
  std::string text, errorText;
  EXPECT_EQ(formatConfigTreeJson(tree, text, errorText), static_cast<int>(XR_INVALID_DATA));
  EXPECT_EQ(errorText, "cannot export the tree: client 4 belongs to Velmora 2, which is not in the tree");
}

TEST(ConfigTreeJson, ImportOfAMissingFileSaysSo) {
  MemoryConfigStore store;
  std::string errorText;
  EXPECT_EQ(importConfigTreeFile("/nonexistent/tree.json", store, errorText), static_cast<int>(XR_BAD_ARGS));
  EXPECT_EQ(errorText, "cannot read /nonexistent/tree.json");
}

// Each bad text is the fixture with one piece replaced.
struct BadTree {
  const char* from;
  const char* to;
  const char* error;  // the expected error text (after the JSON path)
};

const BadTree kBadTrees[] = {
    {"\"version\": 1", "\"version\": 1,", "$: not valid JSON: "},
    // A number the parser reads but cannot hold (found by fuzzing).
    {"\"releaseId\": 11", "\"releaseId\": 1844E7777777777", "$: not valid JSON: "},
    {"\"appmgr-config-tree\"", "\"something-else\"", "$.format: expected \"appmgr-config-tree\""},
    {"\"version\": 1", "\"version\": 2", "$.version: unsupported version 2; this build reads version 1"},
    {"\"globalParams\"", "\"globalParameters\"", "$.globalParameters: unknown member"},
    {"\"sAuditPath\": \"/var/log/audit dir\"", "\"sAuditPath\": 5",
     "$.globalParams[\"sAuditPath\"]: expected a string, found number"},
    {"{\"id\": 7, \"name\": \"File System\"}", "{\"id\": 0, \"name\": \"File System\"}",
     "$.applicationTypes[0].id: an id must be between 1 and 9223372036854775807"},
    {"{\"id\": 20, \"name\": \"sydney\",", "{\"id\": 20,", "$.velmoras[1].clients[0].name: missing"},
    {"\"releaseId\": 11", "\"releaseId\": -11", "$.velmoras[0].releaseId: must not be negative"},
    {"\"utcOffsetMinutes\": 60", "\"utcOffsetMinutes\": 6000000000",
     "$.velmoras[0].utcOffsetMinutes: out of range of a 32-bit integer"},
    {"{\"id\": 20, \"name\": \"sydney\"", "{\"id\": 10, \"name\": \"sydney\"",
     "$.velmoras[1].clients[0].id: client 10 appears twice"},
    {"\"archiveGroup\": 40}}", "\"archiveGroup\": -1}}",
     "$.velmoras[0].clients[1].instances[0].backupSets[0].subclients[0].application.archiveGroup: must not "
     "be "
     "negative"},
    {"\"applicationType\": 22", "\"applicationType\": 23",
     "$.velmoras[0].clients[1].instances[0].applicationType: application type 23 is not declared in "
     "$.applicationTypes"},
    {"{\"id\": 9, \"name\": \"home dirs\"", "{\"id\": 9, \"name\": \"default\"",
     "$.velmoras[0].clients[0].instances[0].backupSets[0].subclients[1].name: the backup set has another "
     "subclient named 'default'"},
    {"\"application\": {\"id\": 1046}", "\"application\": {\"id\": 1045}",
     "$.velmoras[0].clients[0].instances[0].backupSets[0].subclients[1].application.id: application id 1045 "
     "is used twice in this Velmora"},
    {"\"4\": [\"/var/cache\"]", "\"9\": [\"/var/cache\"]",
     "$.velmoras[0].clients[0].instances[0].backupSets[0].subclients[0].filters[\"9\"]: a filter group is a "
     "number from 2 to 8"},
    {"[\"/proc\", \"/tmp/*.swp\"]", "[\"/proc\", \"/proc\"]",
     "$.velmoras[0].clients[0].instances[0].backupSets[0].subclients[0].filters[\"2\"][1]: '/proc' is listed "
     "twice"},
    {"{\"name\": \"Log Level\", \"type\": 2, \"value\": \"2\"}",
     "{\"name\": \"Client Description\", \"type\": 2, \"value\": \"2\"}",
     "$.velmoras[0].clients[0].properties[1].name: the property 'Client Description' is set twice"},
};

TEST(ConfigTreeJson, BadFilesAreRefusedWithTheirPathAndReason) {
  for (const BadTree& bad : kBadTrees) {
    std::string text = kStoreFixtureJson;
    const size_t at = text.find(bad.from);
    ASSERT_NE(at, std::string::npos) << bad.from;
    text.replace(at, std::string(bad.from).size(), bad.to);
    ConfigTree tree;
    std::string errorText;
    EXPECT_EQ(parseConfigTreeJson(text, tree, errorText), static_cast<int>(XR_INVALID_DATA)) << bad.to;
    EXPECT_EQ(errorText.substr(0, std::string(bad.error).size()), bad.error);
  }
}

TEST(ConfigTreeJson, AParseErrorNamesTheLine) {
  ConfigTree tree;
  std::string errorText;
  EXPECT_EQ(
      parseConfigTreeJson("{\n\"format\": \"appmgr-config-tree\",\n\"version\": 1,\n]", tree, errorText),
      static_cast<int>(XR_INVALID_DATA));
  EXPECT_NE(errorText.find("line 4"), std::string::npos) << errorText;
}

}  // namespace
