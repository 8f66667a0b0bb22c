// The SQLite store's schema: the application id that marks our files, and
// the migrations that take a file from one schema version to the next. The
// schema version is the number of migrations; PRAGMA user_version holds the
// version of a file.
#ifndef STORE_SQLITESCHEMA_H_
#define STORE_SQLITESCHEMA_H_

#include <cstdint>
#include <vector>

// PRAGMA application_id of every store file: "AmCf" in ASCII.
constexpr int32_t kSqliteStoreApplicationId = 0x416d4366;

// Property owner kinds as stored in property.owner_kind. Stored values:
// never renumber.
constexpr int kOwnerKindClient = 1;
constexpr int kOwnerKindInstance = 2;
constexpr int kOwnerKindBackupSet = 3;
constexpr int kOwnerKindSubclient = 4;

// migrations()[i] takes a database of version i to version i + 1: SQL
// statements run inside the migrating transaction.
const std::vector<const char*>& sqliteMigrations();

// The version this build writes: the number of migrations.
int sqliteSchemaVersion();

#endif  // STORE_SQLITESCHEMA_H_
