// Application-type tables, version-text parsing, timestamps, the cloud-laptop
// test and the default backup-stream count.
#include <cstring>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AppMgr/PlatformHelpers.h"

#include "fakes/TestEnvironment.h"
#include "util/ScopedPlatformConfig.h"

using ::testing::_;
using ::testing::DoAll;
using ::testing::Field;
using ::testing::Return;
using ::testing::SetArgReferee;

TEST(AppTypeTables, ListedTypesOnly) {
  EXPECT_EQ(std::make_tuple(IsUnixTypeFS(12), IsUnixTypeFS(13), IsUnixTypeFS(88), IsUnixTypeFS(89)),
            std::make_tuple(false, true, true, false));
  EXPECT_EQ(std::make_tuple(GetSCPQvlType(93), GetSCPQvlType(91), GetSCPQvlType(74), GetSCPQvlType(86),
                            GetSCPQvlType(94), GetSCPQvlType(0)),
            std::make_tuple(1, 2, 3, 4, 0, 0));
  EXPECT_TRUE(IsBackupSetCaseSensitive(70));
  EXPECT_FALSE(IsBackupSetCaseSensitive(71));
}

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

TEST(AppTimeStampTotime_t, GivesLocalMidnightOfTheDate) {
  const tagTIMESTAMP_STRUCT afternoon{2020, 2, 29, 13, 45, 10, 999};
  const time_t t = AppTimeStampTotime_t(&afternoon);
  struct tm local;
  ASSERT_NE(localtime_r(&t, &local), nullptr);
  EXPECT_EQ(std::make_tuple(local.tm_mday, local.tm_mon, local.tm_hour, local.tm_min),
            std::make_tuple(29, 1, 0, 0));
  EXPECT_EQ(AppTimeStampTotime_t(nullptr), static_cast<time_t>(-1));
}

TEST(GetProcessNameAndID, WritesTenBytesOnly) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof(buffer));
  GetProcessNameAndID(buffer);
  EXPECT_STREQ(buffer, "RedAveVar");
  EXPECT_EQ(buffer[10], 'x');
}

using CloudLaptopTest = ListenerTest;

TEST_F(CloudLaptopTest, CloudPathNeedsCachingEnabledAndALaptop) {
  const int level = EvLog::level();
  EvLog::setLevel(6);
  ScopedPlatformConfig config;
  const auto run = [&](const char* ini) {
    config.write(ini);
    log().clear();
    return isCloudLaptopPlatform();
  };
  const auto lines = [&] { return log().textsFor("::isCloudLaptopPlatform"); };
  EXPECT_FALSE(run("[Base]\nnCloudLaptopClient=1\n"));
  EXPECT_THAT(lines(), ::testing::ElementsAre("AppMgr Cloud caching is disabled. Not using AppMgrCloud. Will "
                                              "route requests to RedAveVar"));
  EXPECT_FALSE(run("[Base]\nnCloudLaptopClient=1\n[Quarvel]\nsDisableCloudCaching=2\n"));
  EXPECT_FALSE(run("[Base]\nnCloudLaptopClient=0\n[Quarvel]\nsDisableCloudCaching=0\n"));
  EXPECT_TRUE(lines().empty());
  EXPECT_TRUE(run("[Base]\nnCloudLaptopClient=1\n[Quarvel]\nsDisableCloudCaching=0\n"));
  EXPECT_THAT(lines(), ::testing::ElementsAre("This is a cloud laptop client. AppMgrCloud will be loaded and "
                                              "client caching will be used."));
  EvLog::setLevel(level);
}

class BackupStreamsTest : public ListenerTest {
 protected:
  void client(const std::string& version, bool nas = false, bool nonNdmp = false) {
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
};

TEST_F(BackupStreamsTest, ReleaseDecidesForEveryFileSystemAndDatabaseType) {
  client("12.0.0");
  for (int type : {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 42, 43, 63, 74}) {
    EXPECT_EQ(getDefaultNumberofBackupStreams(type, 7, 0, nullptr), 0) << type;
  }
  // Type 38 and unknown clients never reach the store (strict mock).
  EXPECT_EQ(getDefaultNumberofBackupStreams(38, 7, 0, nullptr), 4);
  EXPECT_EQ(getDefaultNumberofBackupStreams(1, 0, 0, nullptr), 4);
}

TEST_F(BackupStreamsTest, OldReleasesAndRelease11BeforeSP22GetFourUnlessNASOrNonNDMP) {
  // The release is the number in the first two characters only.
  for (const char* version : {"11.0.0 SP20", "10.0", "9.0 SP30", "1x", "V11 SP30", ""}) {
    client(version);
    EXPECT_EQ(getDefaultNumberofBackupStreams(1, 7, 0, nullptr), 4) << version;
  }
  client("11.0.0 SP22 HPK5");
  EXPECT_EQ(getDefaultNumberofBackupStreams(1, 7, 0, nullptr), 0);
  client("11.0.0 SP20", true);
  EXPECT_EQ(getDefaultNumberofBackupStreams(1, 7, 0, nullptr), 0);
  client("11.0.0 SP20", false, true);
  EXPECT_EQ(getDefaultNumberofBackupStreams(1, 7, 0, nullptr), 0);
}

TEST_F(BackupStreamsTest, ClusterCloudAndFixedTypes) {
  for (const auto& [cluster, expected] : {std::pair{1, 4}, {15, 4}, {2, 0}}) {
    instance(cluster, 0);
    EXPECT_EQ(getDefaultNumberofBackupStreams(64, 0, 9, nullptr), expected) << cluster;
  }
  for (const auto& [cloud, expected] : {std::pair{33, 0}, {34, 0}, {7, -1}}) {
    instance(0, cloud);
    EXPECT_EQ(getDefaultNumberofBackupStreams(134, 0, 9, nullptr), expected) << cloud;
  }
  EXPECT_EQ(getDefaultNumberofBackupStreams(64, 0, 0, nullptr), 4);
  EXPECT_EQ(getDefaultNumberofBackupStreams(134, 0, 0, nullptr), -1);
  EXPECT_EQ(getDefaultNumberofBackupStreams(106, 0, 0, nullptr), 5);
  EXPECT_EQ(getDefaultNumberofBackupStreams(12, 0, 0, nullptr), 2);
  EXPECT_EQ(getDefaultNumberofBackupStreams(99, 7, 9, nullptr), -1);
}

TEST(BackupStreams, UnreachableStoreFallsBackToDefaults) {
  ConfigStore::install(nullptr);
  EXPECT_EQ(getDefaultNumberofBackupStreams(1, 7, 0, nullptr), 4);
  EXPECT_EQ(getDefaultNumberofBackupStreams(64, 0, 9, nullptr), 0);
  EXPECT_EQ(getDefaultNumberofBackupStreams(134, 0, 9, nullptr), -1);
}
