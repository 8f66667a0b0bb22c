// The statements of the PostgreSQL store. It runs the same operations as
// the SQLite store, so it shares that store's statement numbering (Sql) and
// texts, in PostgreSQL's dialect; on top come the row locks of its writers.
// Statement index i < kSqlCount is Sql(i); kSqlCount + PgLock(k) the lock k.
#ifndef STORE_PGSTATEMENTS_H_
#define STORE_PGSTATEMENTS_H_

#include <cstddef>

#include "SqliteStatements.h"

// Locks the row of one owner for the rest of the transaction.
enum class PgLock { kClient, kInstance, kBackupSet, kSubclient, kCount };

constexpr size_t kPgLockCount = static_cast<size_t>(PgLock::kCount);
constexpr size_t kPgStatementCount = kSqlCount + kPgLockCount;

constexpr size_t pgStatementIndex(Sql id) { return static_cast<size_t>(id); }
constexpr size_t pgStatementIndex(PgLock lock) { return kSqlCount + static_cast<size_t>(lock); }

// The text of statement `index` (< kPgStatementCount).
const char* pgStatementText(size_t index);

#endif  // STORE_PGSTATEMENTS_H_
