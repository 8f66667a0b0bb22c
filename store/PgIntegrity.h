// The integrity check of a PostgreSQL store: what `appmgr store check`
// reports. PostgreSQL keeps its own files consistent, so the check looks at
// what an operator or a partial restore can break: the marker row, the
// tables, columns and indexes the migrations made, foreign keys that are
// missing, not validated or not enforced, and rows whose parent is gone.
#ifndef STORE_PGINTEGRITY_H_
#define STORE_PGINTEGRITY_H_

#include <string>
#include <vector>

class PgConnection;

// Appends one line per problem found in the connection's current schema.
// Runs inside the caller's transaction; throws PgFailure when a query
// fails.
void pgCheckIntegrity(PgConnection& connection, std::vector<std::string>& problems);

#endif  // STORE_PGINTEGRITY_H_
