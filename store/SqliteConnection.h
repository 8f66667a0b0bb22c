// One SQLite connection with its prepared statements, a cursor over one
// cached statement, and the one place where SQLite result codes become the
// store's error codes.
//
// Inside the store, a failing SQLite call throws SqliteFailure; the store
// operation catches it at its boundary and hands it to sqliteErrorCode.
#ifndef STORE_SQLITECONNECTION_H_
#define STORE_SQLITECONNECTION_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include <sqlite3.h>

#include "SqliteStatements.h"

struct SqliteFailure {
  int resultCode;       // extended SQLite result code
  std::string message;  // SQLite's text for it
  std::string context;  // what the store was doing
};

// The store's error code for a SQLite result code; errorText receives
// "<context>: <SQLite message> (SQLite result <code>)".
int sqliteErrorCode(const SqliteFailure& failure, std::string& errorText);

class SqliteConnection final {
 public:
  // Opens path with flags; throws SqliteFailure. Sets the busy timeout,
  // foreign keys on, synchronous=FULL (NORMAL without durableCommits) and the connection's own read
  // settings (page cache size, temporary tables in memory), none of which
  // touches the file or the other connections on it.
  SqliteConnection(const std::string& path, int flags, int busyTimeoutMs, bool durableCommits = true);
  // Closes the connection; one whose file has moved closes without the
  // final checkpoint, which would delete the WAL file now at its path.
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  sqlite3* handle() const { return db_; }

  // True when the file this connection opened is no longer at its path
  // (removed, or replaced by another file). Such a connection writes into a
  // file nobody will open again, so the store stops using it.
  bool hasMoved() const;

  // Whether the store's changes on this connection write audit entries;
  // off only to measure what the trail costs (SqliteConfigStore::Options).
  bool auditTrail() const { return auditTrail_; }
  void setAuditTrail(bool on) { auditTrail_ = on; }

  // The file watch's generation at which hasMoved() last answered false
  // (kept by the pool, which alone compares it).
  uint64_t checkedGeneration() const { return checkedGeneration_; }
  void setCheckedGeneration(uint64_t generation) { checkedGeneration_ = generation; }

  // The connection's prepared copy of a statement, reset and without
  // bindings. Throws SqliteFailure.
  sqlite3_stmt* statement(Sql id);

  // Runs SQL text without parameters (schema and pragmas). Throws.
  void execute(const char* sql, const std::string& context);
  // The first column of the first row of a parameterless query, as an
  // integer (0 without a row). Throws.
  int64_t queryInteger(const char* sql, const std::string& context);

  // Throws SqliteFailure for rc with this connection's message.
  [[noreturn]] void fail(int rc, const std::string& context) const;

 private:
  bool auditTrail_ = true;
  sqlite3* db_ = nullptr;
  uint64_t checkedGeneration_ = 0;
  std::array<sqlite3_stmt*, kSqlCount> statements_{};
};

// Binds parameters in order and steps one cached statement; resets it when
// it goes out of scope so that it holds no read lock afterwards.
class SqliteQuery final {
 public:
  SqliteQuery(SqliteConnection& connection, Sql id);
  ~SqliteQuery();
  SqliteQuery(const SqliteQuery&) = delete;
  SqliteQuery& operator=(const SqliteQuery&) = delete;

  SqliteQuery& bind(int64_t value);
  SqliteQuery& bind(uint64_t value);  // stored as the same 64 bits, signed
  SqliteQuery& bind(int value) { return bind(static_cast<int64_t>(value)); }
  SqliteQuery& bind(bool value) { return bind(static_cast<int64_t>(value ? 1 : 0)); }
  SqliteQuery& bind(const std::string& value);

  // Steps once: true with a row, false when done. Throws.
  bool next();
  // Steps a statement that returns no rows; the number of rows changed.
  int run();

  int64_t signedAt(int column) const { return sqlite3_column_int64(statement_, column); }
  uint64_t unsignedAt(int column) const { return static_cast<uint64_t>(signedAt(column)); }
  std::string textAt(int column) const;

 private:
  SqliteConnection& connection_;
  Sql id_;
  sqlite3_stmt* statement_;
  int nextParameter_ = 1;
};

#endif  // STORE_SQLITECONNECTION_H_
