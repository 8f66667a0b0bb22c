// One PostgreSQL connection with its prepared statements, a cursor over the
// result of one prepared statement, and the one place where libpq failures
// and SQLSTATEs become the store's error codes.
//
// Inside the store, a failing libpq call throws PgFailure; the store
// operation catches it at its boundary, retries what may succeed on a
// second try (pgRetryable) and hands the rest to pgErrorCode.
#ifndef STORE_PGCONNECTION_H_
#define STORE_PGCONNECTION_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "PgStatements.h"

struct PgFailure {
  std::string sqlState;         // five characters, or empty when the server sent none
  std::string message;          // libpq's or the server's text, one line
  std::string context;          // what the store was doing
  bool connectionLost = false;  // the connection is gone (or never came up)
};

// The store's error code for a failure; errorText receives
// "<context>: <message> (SQLSTATE <state>)" or, for a lost connection,
// "<context>: <message> (no connection to PostgreSQL)".
int pgErrorCode(const PgFailure& failure, std::string& errorText);

// Whether the same operation may succeed when run again from the start:
// serialisation failures, deadlocks, and lost or refused connections.
bool pgRetryable(const PgFailure& failure);

class PgConnection final {
 public:
  // Connects with a libpq connection string (key=value or URI); throws
  // PgFailure. The client encoding is UTF8; `schema`, when not empty,
  // becomes the search path.
  PgConnection(const std::string& conninfo, const std::string& schema);
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  PGconn* handle() const { return conn_; }

  // Runs SQL text without parameters (schema, transaction control). Throws.
  void execute(const char* sql, const std::string& context);

  // The first column of the first row of SQL text run once with text
  // parameters ($1::text ...); false when there is no row or it is NULL.
  // Throws.
  bool queryValue(const char* sql, const std::vector<std::string>& params, std::string& value,
                  const std::string& context);

  // Prepares statement `index` with the parameter types on first use.
  // Returns its name. Throws.
  const char* prepared(size_t index, const std::vector<Oid>& types);

  // True when the connection is up and outside any transaction, so that it
  // can serve the next operation.
  bool reusable() const;

  // Throws PgFailure for a failed result (or a missing one) of this
  // connection.
  [[noreturn]] void fail(const PGresult* result, const std::string& context) const;

 private:
  PGconn* conn_ = nullptr;
  std::array<bool, kPgStatementCount> prepared_{};
  std::array<std::string, kPgStatementCount> names_{};
};

// Binds parameters in order and runs one prepared statement; owns its
// result. Integers travel as decimal text, texts as their bytes (binary
// format, so that nothing is cut at a NUL and the server checks the
// encoding).
class PgQuery final {
 public:
  PgQuery(PgConnection& connection, Sql id) : PgQuery(connection, pgStatementIndex(id)) {}
  PgQuery(PgConnection& connection, PgLock lock) : PgQuery(connection, pgStatementIndex(lock)) {}
  PgQuery(PgConnection& connection, size_t index);  // index < kPgStatementCount
  ~PgQuery();
  PgQuery(const PgQuery&) = delete;
  PgQuery& operator=(const PgQuery&) = delete;

  PgQuery& bind(int64_t value);
  PgQuery& bind(uint64_t value);  // stored as the same 64 bits, signed
  PgQuery& bind(int value) { return bind(static_cast<int64_t>(value)); }
  PgQuery& bind(bool value) { return bind(static_cast<int64_t>(value ? 1 : 0)); }
  PgQuery& bind(const std::string& value);

  // Runs the statement on the first call; then true with a row, false when
  // done. Throws.
  bool next();
  // Runs a statement; the number of rows it changed or returned. Throws.
  int run();

  int64_t signedAt(int column) const;
  uint64_t unsignedAt(int column) const { return static_cast<uint64_t>(signedAt(column)); }
  std::string textAt(int column) const;

 private:
  void execute();

  PgConnection& connection_;
  size_t index_;
  std::vector<std::string> values_;
  std::vector<Oid> types_;
  std::vector<int> formats_;
  PGresult* result_ = nullptr;
  int row_ = -1;
};

#endif  // STORE_PGCONNECTION_H_
