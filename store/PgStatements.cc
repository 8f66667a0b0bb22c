// The SQL text of every statement of the PostgreSQL store: the SQLite
// store's statements, same numbering and same results, with PostgreSQL's
// $n parameters (whose types the connection declares when it prepares a
// statement) and its own transaction openers, plus the row locks that
// serialise the writers of one owner.
#include "PgStatements.h"

#include <array>
#include <cctype>
#include <string>

namespace {

// Reads that take several statements see one snapshot; writes run at READ
// COMMITTED and first lock the row of the object they change (see
// kLockStatements), so that every statement after the lock sees the work
// of the writer before.
const char* const kBeginRead = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
const char* const kBeginWrite = "BEGIN ISOLATION LEVEL READ COMMITTED";

// FOR NO KEY UPDATE conflicts with itself but not with the key-share locks
// that foreign-key checks take, so writers of one owner queue up while
// inserts of children elsewhere go on.
const char* const kLockStatements[] = {
    "SELECT 1 FROM client WHERE id = $1 FOR NO KEY UPDATE",
    "SELECT 1 FROM instance WHERE id = $1 FOR NO KEY UPDATE",
    "SELECT 1 FROM backup_set WHERE id = $1 FOR NO KEY UPDATE",
    "SELECT 1 FROM subclient WHERE id = $1 FOR NO KEY UPDATE",
};
static_assert(sizeof kLockStatements / sizeof kLockStatements[0] == kPgLockCount, "one lock per owner kind");

// SQLite's numbered parameters ?n become $n; the texts hold no other '?'.
std::string withDollarParameters(const char* text) {
  std::string out(text);
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    if (out[i] == '?' && std::isdigit(static_cast<unsigned char>(out[i + 1]))) out[i] = '$';
  }
  return out;
}

// Built once, on first use, from the SQLite texts.
const std::array<std::string, kSqlCount>& sharedTexts() {
  static const std::array<std::string, kSqlCount> texts = [] {
    std::array<std::string, kSqlCount> out;
    for (size_t i = 0; i < kSqlCount; ++i)
      out[i] = withDollarParameters(sqlStatement(static_cast<Sql>(i)).text);
    // SQLite's NOCASE comparison of host names is lower() under "C" here,
    // matching the expression index of schema version 3.
    std::string& byHost = out[static_cast<size_t>(Sql::kFindClientByHostName)];
    const std::string noCase = "host_name = $1 COLLATE NOCASE";
    byHost.replace(byHost.find(noCase), noCase.size(), "lower(host_name) = lower($1 COLLATE \"C\")");
    out[static_cast<size_t>(Sql::kBeginRead)] = kBeginRead;
    out[static_cast<size_t>(Sql::kBeginWrite)] = kBeginWrite;
    return out;
  }();
  return texts;
}

}  // namespace

const char* pgStatementText(size_t index) {
  return index < kSqlCount ? sharedTexts()[index].c_str() : kLockStatements[index - kSqlCount];
}
