// The PostgreSQL store's schema: the migrations that take a database schema
// from one version to the next, and the table that marks a schema as ours
// and holds its version. The schema version is the number of migrations;
// the tables are those of the SQLite store (SqliteSchema.h) in PostgreSQL's
// dialect, so that the two stores keep the same version numbers.
#ifndef STORE_PGSCHEMA_H_
#define STORE_PGSCHEMA_H_

#include <vector>

// The marker table: one row (application, version). Created before the
// first migration, in the same transaction.
extern const char kPgMarkerTable[];
// The application name in the marker row of every store.
extern const char kPgStoreApplication[];

// pgMigrations()[i] takes a schema of version i to version i + 1: SQL
// statements run inside the migrating transaction.
const std::vector<const char*>& pgMigrations();

// The version this build writes: the number of migrations.
int pgSchemaVersion();

// What the migrations leave behind, for the integrity check: every table
// with its columns, how many unique indexes (the primary key included) and
// foreign keys it has, and the indexes created by name. A migration that
// changes the tables changes these lists too.
struct PgTableShape {
  const char* name;
  std::vector<const char*> columns;
  int uniqueIndexes;
  int foreignKeys;
};
const std::vector<PgTableShape>& pgExpectedTables();
const std::vector<const char*>& pgExpectedIndexes();

#endif  // STORE_PGSCHEMA_H_
