// PostgreSQL connections, prepared statements and the translation of libpq
// failures.
#include "PgConnection.h"

#include <cstdlib>
#include <cstring>

#include "AppMgr/appMgrErrorCodes.h"

namespace {

constexpr Oid kInt8Oid = 20;
constexpr Oid kTextOid = 25;

// libpq's messages end in a newline and may span lines; the store's error
// texts are one line.
std::string oneLine(const char* text) {
  std::string out;
  bool space = false;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
    if (*p == '\n' || *p == '\t' || *p == '\r') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += *p;
  }
  return out;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The server is going away or not accepting connections yet: admin or
// crash shutdown, startup, or a connection-class error.
bool connectionState(const std::string& state) {
  return startsWith(state, "08") || state == "57P01" || state == "57P02" || state == "57P03";
}

}  // namespace

int pgErrorCode(const PgFailure& failure, std::string& errorText) {
  const std::string& state = failure.sqlState;
  uint32_t code = XR_APPMGR_GENERIC_ERROR;
  if (failure.connectionLost || connectionState(state)) {
    code = XR_GET_INTERFACE_FAILED;  // the store cannot be reached
  } else if (state == "40001" || state == "40P01" || state == "55P03" || state == "57014") {
    code = XR_SESSION_LOCK_FAILED;  // lost to concurrent writers, or waited too long
  } else if (startsWith(state, "22") || startsWith(state, "23")) {
    code = XR_INVALID_DATA;  // the data would break the tree's rules or is not valid text
  } else if (startsWith(state, "28") || startsWith(state, "3D") || startsWith(state, "3F") ||
             state == "42501" || state == "53300") {
    code = XR_GET_INTERFACE_FAILED;  // no right to the database, or no such database or schema
  }
  errorText = failure.context + ": " + failure.message +
              (state.empty() ? std::string(" (no connection to PostgreSQL)") : " (SQLSTATE " + state + ")");
  return static_cast<int>(code);
}

bool pgRetryable(const PgFailure& failure) {
  return failure.connectionLost || connectionState(failure.sqlState) || failure.sqlState == "40001" ||
         failure.sqlState == "40P01";
}

PgConnection::PgConnection(const std::string& conninfo, const std::string& schema) {
  // Keywords are applied in order and the connection string is expanded in
  // place of dbname: the caller's string may set its own connect timeout
  // and application name, but the encoding is always UTF8.
  const char* const keywords[] = {"connect_timeout", "fallback_application_name", "dbname", "client_encoding",
                                  nullptr};
  const char* const values[] = {"5", "appmgr", conninfo.c_str(), "UTF8", nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
    PgFailure failure{"", conn_ != nullptr ? oneLine(PQerrorMessage(conn_)) : "out of memory",
                      "cannot connect to PostgreSQL", true};
    PQfinish(conn_);
    throw failure;
  }
  // Server notices (for example of a schema that already exists) are not
  // failures; they would otherwise go to stderr.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  if (!schema.empty()) {
    const char* const params[] = {schema.c_str()};
    PGresult* result = PQexecParams(
        conn_, "SELECT pg_catalog.set_config('search_path', pg_catalog.quote_ident($1::text), false)", 1,
        nullptr, params, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok) {
      try {
        fail(result, "cannot set the search path");
      } catch (...) {
        PQclear(result);
        PQfinish(conn_);
        throw;
      }
    }
    PQclear(result);
  }
}

PgConnection::~PgConnection() { PQfinish(conn_); }

void PgConnection::fail(const PGresult* result, const std::string& context) const {
  PgFailure failure;
  failure.context = context;
  const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  failure.sqlState = state != nullptr ? state : "";
  failure.message = oneLine(primary != nullptr ? primary : PQerrorMessage(conn_));
  if (failure.message.empty()) failure.message = "no result from the server";
  failure.connectionLost = PQstatus(conn_) == CONNECTION_BAD || connectionState(failure.sqlState);
  throw failure;
}

void PgConnection::execute(const char* sql, const std::string& context) {
  PGresult* result = PQexec(conn_, sql);
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    try {
      fail(result, context);
    } catch (...) {
      PQclear(result);
      throw;
    }
  }
  PQclear(result);
}

bool PgConnection::queryValue(const char* sql, const std::vector<std::string>& params, std::string& value,
                              const std::string& context) {
  std::vector<const char*> values;
  for (const std::string& param : params) values.push_back(param.c_str());
  PGresult* result = PQexecParams(conn_, sql, static_cast<int>(values.size()), nullptr,
                                  values.empty() ? nullptr : values.data(), nullptr, nullptr, 0);
  if (PQresultStatus(result) != PGRES_TUPLES_OK) {
    try {
      fail(result, context);
    } catch (...) {
      PQclear(result);
      throw;
    }
  }
  const bool found = PQntuples(result) > 0 && PQnfields(result) > 0 && !PQgetisnull(result, 0, 0);
  value = found ? std::string(PQgetvalue(result, 0, 0), static_cast<size_t>(PQgetlength(result, 0, 0))) : "";
  PQclear(result);
  return found;
}

const char* PgConnection::prepared(size_t index, const std::vector<Oid>& types) {
  std::string& name = names_[index];
  if (!prepared_[index]) {
    name = "appmgr_" + std::to_string(index);
    PGresult* result = PQprepare(conn_, name.c_str(), pgStatementText(index), static_cast<int>(types.size()),
                                 types.empty() ? nullptr : types.data());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) {
      try {
        fail(result, "cannot prepare statement " + std::to_string(index));
      } catch (...) {
        PQclear(result);
        throw;
      }
    }
    PQclear(result);
    prepared_[index] = true;
  }
  return name.c_str();
}

bool PgConnection::reusable() const {
  return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE;
}

PgQuery::PgQuery(PgConnection& connection, size_t index) : connection_(connection), index_(index) {}

PgQuery::~PgQuery() { PQclear(result_); }

PgQuery& PgQuery::bind(int64_t value) {
  values_.push_back(std::to_string(value));
  types_.push_back(kInt8Oid);
  formats_.push_back(0);
  return *this;
}

PgQuery& PgQuery::bind(uint64_t value) { return bind(static_cast<int64_t>(value)); }

PgQuery& PgQuery::bind(const std::string& value) {
  values_.push_back(value);
  types_.push_back(kTextOid);
  formats_.push_back(1);
  return *this;
}

void PgQuery::execute() {
  const char* name = connection_.prepared(index_, types_);
  const size_t count = values_.size();
  std::vector<const char*> values(count);
  std::vector<int> lengths(count);
  for (size_t i = 0; i < count; ++i) {
    values[i] = values_[i].c_str();
    lengths[i] = static_cast<int>(values_[i].size());
  }
  result_ = PQexecPrepared(connection_.handle(), name, static_cast<int>(count), values.data(), lengths.data(),
                           formats_.data(), 0);
  const ExecStatusType status = PQresultStatus(result_);
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
    connection_.fail(result_, "statement " + std::to_string(index_) + " failed");
  row_ = -1;
}

bool PgQuery::next() {
  if (result_ == nullptr) execute();
  if (row_ + 1 >= PQntuples(result_)) return false;
  ++row_;
  return true;
}

int PgQuery::run() {
  if (result_ == nullptr) execute();
  return std::atoi(PQcmdTuples(result_));
}

int64_t PgQuery::signedAt(int column) const {
  if (PQgetisnull(result_, row_, column)) return 0;
  const char* text = PQgetvalue(result_, row_, column);
  if (text[0] == 't' || text[0] == 'f') return text[0] == 't' ? 1 : 0;  // a boolean column
  return std::strtoll(text, nullptr, 10);
}

std::string PgQuery::textAt(int column) const {
  return std::string(PQgetvalue(result_, row_, column),
                     static_cast<size_t>(PQgetlength(result_, row_, column)));
}
