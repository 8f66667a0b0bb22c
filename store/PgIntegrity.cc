// The checks of pgCheckIntegrity, from the outside in: the marker, the
// shape of every table, then the rows. The row checks run only when every
// table and column is there, since their queries name them.
#include "PgIntegrity.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "PgConnection.h"
#include "PgSchema.h"

namespace {

const char kContext[] = "integrity check";

// The objects of the connection's current schema.
#define IN_SCHEMA \
  "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = pg_catalog.current_schema() "

std::string value(PgConnection& c, const char* sql, const std::vector<std::string>& params = {}) {
  std::string text;
  c.queryValue(sql, params, text, kContext);
  return text;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> items;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) items.push_back(item);
  return items;
}

void checkMarker(PgConnection& c, std::vector<std::string>& problems) {
  const std::string rows = value(c, "SELECT count(*) FROM appmgr_schema");
  if (rows != "1") {
    problems.push_back("the marker table appmgr_schema holds " + rows + " rows instead of 1");
    return;
  }
  const std::string application = value(c, "SELECT application FROM appmgr_schema");
  if (application != kPgStoreApplication)
    problems.push_back("the marker names the application \"" + application + "\"");
  const std::string version = value(c, "SELECT version FROM appmgr_schema");
  if (version != std::to_string(pgSchemaVersion())) {
    problems.push_back("the marker holds schema version " + version + " instead of " +
                       std::to_string(pgSchemaVersion()));
  }
}

// False when a table or column is missing, so that the row checks are skipped.
bool checkTables(PgConnection& c, std::vector<std::string>& problems) {
  bool complete = true;
  for (const PgTableShape& table : pgExpectedTables()) {
    std::string columns;
    if (!c.queryValue("SELECT string_agg(a.attname, ',') FROM pg_catalog.pg_attribute a "
                      "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid " IN_SCHEMA
                      "AND c.relname = $1::text AND c.relkind IN ('r', 'p') AND a.attnum > 0 AND NOT "
                      "a.attisdropped",
                      {table.name}, columns, kContext)) {
      problems.push_back("table " + std::string(table.name) + " is missing");
      complete = false;
      continue;
    }
    const std::vector<std::string> present = split(columns);
    for (const char* column : table.columns) {
      if (std::find(present.begin(), present.end(), column) == present.end()) {
        problems.push_back("column " + std::string(table.name) + "." + column + " is missing");
        complete = false;
      }
    }
    const int unique =
        std::atoi(value(c,
                        "SELECT count(*) FROM pg_catalog.pg_index i JOIN pg_catalog.pg_class c "
                        "ON c.oid = i.indrelid " IN_SCHEMA "AND c.relname = $1::text AND i.indisunique",
                        {table.name})
                      .c_str());
    if (unique < table.uniqueIndexes) {
      problems.push_back("table " + std::string(table.name) + " has " + std::to_string(unique) + " of its " +
                         std::to_string(table.uniqueIndexes) + " unique indexes");
    }
    const int keys =
        std::atoi(value(c,
                        "SELECT count(*) FROM pg_catalog.pg_constraint k JOIN pg_catalog.pg_class c "
                        "ON c.oid = k.conrelid " IN_SCHEMA
                        "AND c.relname = $1::text AND k.contype = 'f' AND k.convalidated",
                        {table.name})
                      .c_str());
    if (keys < table.foreignKeys) {
      problems.push_back("table " + std::string(table.name) + " has " + std::to_string(keys) + " of its " +
                         std::to_string(table.foreignKeys) + " validated foreign keys");
    }
  }
  for (const char* index : pgExpectedIndexes()) {
    if (value(c,
              "SELECT count(*) FROM pg_catalog.pg_class c " IN_SCHEMA
              "AND c.relname = $1::text AND c.relkind = 'i'",
              {index}) == "0") {
      problems.push_back("index " + std::string(index) + " is missing");
    }
  }
  // An index left unusable by an interrupted CREATE INDEX CONCURRENTLY or REINDEX.
  const std::string invalid =
      value(c,
            "SELECT string_agg(c.relname, ', ' ORDER BY c.relname) FROM pg_catalog.pg_index i "
            "JOIN pg_catalog.pg_class c ON c.oid = i.indexrelid " IN_SCHEMA
            "AND NOT (i.indisvalid AND i.indisready)");
  if (!invalid.empty()) problems.push_back("indexes not valid (rebuild them with REINDEX): " + invalid);
  // Foreign keys are triggers; ALTER TABLE ... DISABLE TRIGGER ALL stops enforcing them.
  const std::string disabled =
      value(c,
            "SELECT string_agg(DISTINCT c.relname, ', ' ORDER BY c.relname) FROM "
            "pg_catalog.pg_trigger t JOIN pg_catalog.pg_class c ON c.oid = t.tgrelid " IN_SCHEMA
            "AND t.tgenabled = 'D'");
  if (!disabled.empty()) problems.push_back("triggers disabled (foreign keys not enforced) on: " + disabled);
  return complete;
}

// Rows whose parent is gone, and applications whose Velmora is not that of
// their subclient's client (the store derives it from the chain).
struct RowCheck {
  const char* what;
  const char* count;
};

#define ORPHANS(child, column, parent) \
  "SELECT count(*) FROM " child " x WHERE NOT EXISTS (SELECT 1 FROM " parent " p WHERE p.id = x." column ")"
#define ORPHAN_PROPERTIES(kind, parent)                                                                 \
  "SELECT count(*) FROM property x WHERE x.owner_kind = " kind " AND NOT EXISTS (SELECT 1 FROM " parent \
  " p WHERE p.id = x.owner_id)"

const RowCheck kRowChecks[] = {
    {"clients of a missing Velmora", ORPHANS("client", "velmora_id", "velmora")},
    {"instances of a missing client", ORPHANS("instance", "client_id", "client")},
    {"instances of a missing application type", ORPHANS("instance", "app_type_id", "application_type")},
    {"content rows of a missing instance", ORPHANS("instance_content", "instance_id", "instance")},
    {"backup sets of a missing instance", ORPHANS("backup_set", "instance_id", "instance")},
    {"subclients of a missing backup set", ORPHANS("subclient", "backup_set_id", "backup_set")},
    {"applications of a missing Velmora", ORPHANS("application", "velmora_id", "velmora")},
    {"applications of a missing subclient", ORPHANS("application", "subclient_id", "subclient")},
    {"applications whose Velmora is not their client's",
     "SELECT count(*) FROM application a JOIN subclient s ON s.id = a.subclient_id JOIN backup_set b ON b.id "
     "= "
     "s.backup_set_id JOIN instance i ON i.id = b.instance_id JOIN client c ON c.id = i.client_id "
     "WHERE a.velmora_id <> c.velmora_id"},
    {"properties of a missing client", ORPHAN_PROPERTIES("1", "client")},
    {"properties of a missing instance", ORPHAN_PROPERTIES("2", "instance")},
    {"properties of a missing backup set", ORPHAN_PROPERTIES("3", "backup_set")},
    {"properties of a missing subclient", ORPHAN_PROPERTIES("4", "subclient")},
    {"properties of an unknown owner kind",
     "SELECT count(*) FROM property WHERE owner_kind NOT BETWEEN 1 AND 4"},
    {"subclient entries of a missing subclient", ORPHANS("subclient_entry", "subclient_id", "subclient")},
};

}  // namespace

void pgCheckIntegrity(PgConnection& c, std::vector<std::string>& problems) {
  const bool complete = checkTables(c, problems);
  if (!complete) return;
  checkMarker(c, problems);
  for (const RowCheck& check : kRowChecks) {
    const std::string count = value(c, check.count);
    if (count != "0") problems.push_back(count + " " + check.what);
  }
}
