// Version-text parsing, timestamps, the process name and the default
// backup-stream count.
#include <cstring>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/PlatformHelpers.h"

#include "fakes/TestEnvironment.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Return;
using ::testing::SetArgReferee;

TEST(ParseSPVersionInfo, SplitsEveryVersionForm) {
  const std::tuple<const char*, int, int> cases[] = {
      {"SP12", 12, 0},  {"  SP12a \t", 12, 1}, {"SP12+", 12, 0},    {"SP12-", 12, 0},
      {"11.20", 20, 0}, {"11.20.35", 20, 35},  {"V11", 0, 0},       {"", 0, 0},
      {"SP", 0, 0},     {"11.", 0, 0},         {"SP12 HPK", 12, 0}, {"11.0.0 SP22 HPK5", 22, 5},
      {"SPx", 0, 24},   {"SP1\xe9", 1, -119}};
  for (const auto& [text, servicePack, update] : cases) {
    int sp = -7, up = -7;
    ParseSPVersionInfo(text, sp, up);
    EXPECT_EQ(std::make_pair(sp, up), std::make_pair(servicePack, update)) << "'" << text << "'";
  }
}

TEST(PlatformHelpers, TimestampIsLocalMidnightAndProcessNameTakesTenBytes) {
  const tagTIMESTAMP_STRUCT afternoon{2020, 2, 29, 13, 45, 10, 999};
  const time_t t = AppTimeStampTotime_t(&afternoon);
  struct tm local;
  ASSERT_NE(localtime_r(&t, &local), nullptr);
  EXPECT_EQ(std::make_tuple(local.tm_mday, local.tm_mon, local.tm_hour, local.tm_min),
            std::make_tuple(29, 1, 0, 0));
  EXPECT_EQ(AppTimeStampTotime_t(nullptr), static_cast<time_t>(-1));
  char buffer[16];
  std::memset(buffer, 'x', sizeof(buffer));
  GetProcessNameAndID(buffer);
  EXPECT_STREQ(buffer, "RedAveVar");
  EXPECT_EQ(buffer[10], 'x');
}

class BackupStreamsTest : public ListenerTest {
 protected:
  // Client 7 and instance 9 as the store holds them.
  void client(const std::string& version, bool nas, bool nonNdmp) {
    ClientRow row;
    row.id = 7;
    row.versionText = version;
    row.isNAS = nas;
    row.isNonNDMP = nonNdmp;
    EXPECT_CALL(store(), findClient(ClientKey::kId, Field(&ClientRow::id, 7u), _, _))
        .WillRepeatedly(DoAll(SetArgReferee<2>(row), Return(0)));
  }
  void instance(int clusterType, int cloudAppsType) {
    InstanceRow row;
    row.clusterType = clusterType;
    row.cloudAppsType = cloudAppsType;
    EXPECT_CALL(store(), findInstance(9u, _, _)).WillRepeatedly(DoAll(SetArgReferee<1>(row), Return(0)));
  }
  static int streams(int type, int clientId, int instanceId) {
    return getDefaultNumberofBackupStreams(type, clientId, instanceId, nullptr);
  }
};

TEST_F(BackupStreamsTest, FileSystemAndDatabaseTypesFollowTheClientRelease) {
  // Releases up to 10 and 11 before SP22 get four unless NAS or non-NDMP; the
  // release is the number in the first two characters only.
  const std::tuple<const char*, bool, bool, int> clients[] = {
      {"12.0.0", false, false, 0},      {"11.0.0 SP22 HPK5", false, false, 0},
      {"11.0.0 SP20", true, false, 0},  {"11.0.0 SP20", false, true, 0},
      {"11.0.0 SP20", false, false, 4}, {"10.0", false, false, 4},
      {"9.0 SP30", false, false, 4},    {"1x", false, false, 4},
      {"V11 SP30", false, false, 4},    {"", false, false, 4}};
  for (const auto& [version, nas, nonNdmp, expected] : clients) {
    client(version, nas, nonNdmp);
    for (int type : {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 42, 43, 63, 74}) {
      EXPECT_EQ(streams(type, 7, 0), expected) << "'" << version << "' type " << type;
    }
  }
  // Type 38 and unknown clients never reach the store (strict mock).
  EXPECT_EQ(streams(38, 7, 0), 4);
  EXPECT_EQ(streams(1, 0, 0), 4);
}

TEST_F(BackupStreamsTest, ClusterCloudAndFixedTypes) {
  for (const auto& [cluster, expected] : {std::pair{1, 4}, {15, 4}, {2, 0}}) {
    instance(cluster, 0);
    EXPECT_EQ(streams(64, 0, 9), expected) << cluster;
  }
  for (const auto& [cloud, expected] : {std::pair{33, 0}, {34, 0}, {7, -1}}) {
    instance(0, cloud);
    EXPECT_EQ(streams(134, 0, 9), expected) << cloud;
  }
  EXPECT_EQ(std::make_tuple(streams(64, 0, 0), streams(134, 0, 0), streams(106, 0, 0), streams(12, 0, 0),
                            streams(99, 7, 9)),
            std::make_tuple(4, -1, 5, 2, -1));
  // An unreachable store gives the defaults.
  ConfigStore::install(nullptr);
  EXPECT_EQ(std::make_tuple(streams(1, 7, 0), streams(64, 0, 9), streams(134, 0, 9)),
            std::make_tuple(4, 0, -1));
}
