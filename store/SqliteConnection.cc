// SQLite connections, cached statements and the translation of SQLite
// result codes.
#include "SqliteConnection.h"

#include "AppMgr/appMgrErrorCodes.h"

int sqliteErrorCode(const SqliteFailure& failure, std::string& errorText) {
  uint32_t code = XR_APPMGR_GENERIC_ERROR;
  switch (failure.resultCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      code = XR_SESSION_LOCK_FAILED;  // another writer held the store past the busy timeout
      break;
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
      code = XR_INVALID_DATA;  // the data would break the tree's rules
      break;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      code = XR_GET_INTERFACE_FAILED;  // the store file cannot be used
      break;
    default:
      code = XR_APPMGR_GENERIC_ERROR;  // I/O, corruption, full disk, out of memory
      break;
  }
  errorText = failure.context + ": " + failure.message + " (SQLite result " +
              std::to_string(failure.resultCode) + ")";
  return static_cast<int>(code);
}

namespace {

// SQLite counts every allocation for sqlite3_status under one process-wide
// mutex, which threads reading at once then queue on. Nothing here reads
// those counts, so the counting is turned off as the library is loaded,
// before anything can start SQLite (which refuses the setting afterwards;
// it then keeps counting, which only costs time).
[[maybe_unused]] const bool kMemoryStatusOff = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;

}  // namespace

SqliteConnection::SqliteConnection(const std::string& path, int flags, int busyTimeoutMs,
                                   bool durableCommits) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_EXRESCODE, nullptr);
  if (rc != SQLITE_OK) {
    SqliteFailure failure{rc, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc),
                          "cannot open " + path};
    sqlite3_close(db_);
    db_ = nullptr;
    throw failure;
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs);
  try {
    // The page cache (16 MiB per connection) holds the whole working set of
    // a store of some thousand objects, so a warm read never copies a page
    // in from the file. No memory map: SQLite drops its map whenever another
    // connection has written, and re-mapping after every write costs more
    // than the copies it saves.
    // synchronous=FULL in WAL mode syncs the WAL at every commit, so a
    // write is acknowledged only once it would survive a power failure.
    const std::string pragmas = std::string("PRAGMA foreign_keys = ON; PRAGMA synchronous = ") +
                                (durableCommits ? "FULL" : "NORMAL") +
                                "; PRAGMA temp_store = MEMORY; PRAGMA cache_size = -16384";
    execute(pragmas.c_str(), "cannot configure " + path);
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

SqliteConnection::~SqliteConnection() {
  // The checkpoint on close deletes the WAL by name, which may by now be
  // the WAL of a file put in the old one's place.
  if (db_ != nullptr && hasMoved()) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  for (sqlite3_stmt*& statement : statements_) {
    sqlite3_finalize(statement);
    statement = nullptr;
  }
  sqlite3_close(db_);
}

bool SqliteConnection::hasMoved() const {
  int moved = 0;
  return sqlite3_file_control(db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

void SqliteConnection::fail(int rc, const std::string& context) const {
  throw SqliteFailure{rc, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc), context};
}

sqlite3_stmt* SqliteConnection::statement(Sql id) {
  sqlite3_stmt*& statement = statements_[static_cast<size_t>(id)];
  if (statement == nullptr) {
    const int rc =
        sqlite3_prepare_v3(db_, sqlStatement(id).text, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (rc != SQLITE_OK) {
      statement = nullptr;
      fail(rc, "cannot prepare a statement");
    }
  }
  return statement;
}

void SqliteConnection::execute(const char* sql, const std::string& context) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) fail(rc, context);
}

int64_t SqliteConnection::queryInteger(const char* sql, const std::string& context) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(statement);
    fail(rc, context);
  }
  int64_t value = 0;
  rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    value = sqlite3_column_int64(statement, 0);
    rc = SQLITE_DONE;
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_DONE) fail(rc, context);
  return value;
}

SqliteQuery::SqliteQuery(SqliteConnection& connection, Sql id)
    : connection_(connection), id_(id), statement_(connection.statement(id)) {}

SqliteQuery::~SqliteQuery() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

SqliteQuery& SqliteQuery::bind(int64_t value) {
  const int rc = sqlite3_bind_int64(statement_, nextParameter_++, value);
  if (rc != SQLITE_OK) connection_.fail(rc, "cannot bind a parameter");
  return *this;
}

SqliteQuery& SqliteQuery::bind(uint64_t value) { return bind(static_cast<int64_t>(value)); }

SqliteQuery& SqliteQuery::bind(const std::string& value) {
  const int rc = sqlite3_bind_text64(statement_, nextParameter_++, value.data(), value.size(),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) connection_.fail(rc, "cannot bind a parameter");
  return *this;
}

bool SqliteQuery::next() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  connection_.fail(rc, "statement " + std::to_string(static_cast<int>(id_)) + " failed");
}

int SqliteQuery::run() {
  const int rc = sqlite3_step(statement_);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW)
    connection_.fail(rc, "statement " + std::to_string(static_cast<int>(id_)) + " failed");
  return sqlite3_changes(connection_.handle());
}

std::string SqliteQuery::textAt(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  const int length = sqlite3_column_bytes(statement_, column);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), length);
}
