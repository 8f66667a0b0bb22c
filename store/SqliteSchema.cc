// Schema of the SQLite store, as a list of migrations.
//
// Version 1: the whole configuration tree. Ids are the platform's own
// (INTEGER PRIMARY KEY); fields that follow from a row's parents (an
// instance's Velmora, a subclient's client) are not stored but joined.
// Every list keeps its order with a per-owner sequence number. Each lookup
// of the store is a point lookup or a range scan of a primary key or of one
// of the indexes below; the foreign-key children all have an index that
// leads with the parent column.
#include "SqliteSchema.h"

namespace {

const char kVersion1[] = R"sql(
CREATE TABLE velmora (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  release_id INTEGER NOT NULL DEFAULT 0,
  flags INTEGER NOT NULL DEFAULT 0,
  time_zone_id INTEGER NOT NULL DEFAULT 0,
  host_name TEXT NOT NULL DEFAULT '',
  description TEXT NOT NULL DEFAULT '',
  time_zone_name TEXT NOT NULL DEFAULT '',
  install_dir TEXT NOT NULL DEFAULT '',
  utc_offset_minutes INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE global_param (
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;

CREATE TABLE application_type (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL
);

CREATE TABLE client (
  id INTEGER PRIMARY KEY,
  velmora_id INTEGER NOT NULL REFERENCES velmora (id),
  name TEXT NOT NULL UNIQUE,
  host_name TEXT NOT NULL DEFAULT '',
  qualifier INTEGER NOT NULL DEFAULT 0,
  attribute INTEGER NOT NULL DEFAULT 0,
  os_name TEXT NOT NULL DEFAULT '',
  os_version TEXT NOT NULL DEFAULT '',
  processor TEXT NOT NULL DEFAULT '',
  version_text TEXT NOT NULL DEFAULT '',
  is_nas INTEGER NOT NULL DEFAULT 0,
  is_non_ndmp INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX client_by_velmora ON client (velmora_id);
CREATE INDEX client_by_host_name ON client (host_name);

CREATE TABLE instance (
  id INTEGER PRIMARY KEY,
  client_id INTEGER NOT NULL REFERENCES client (id),
  app_type_id INTEGER NOT NULL REFERENCES application_type (id),
  name TEXT NOT NULL,
  flags INTEGER NOT NULL DEFAULT 0,
  description TEXT NOT NULL DEFAULT '',
  cluster_type INTEGER NOT NULL DEFAULT 0,
  cloud_apps_type INTEGER NOT NULL DEFAULT 0,
  UNIQUE (client_id, app_type_id, name)
);
CREATE INDEX instance_by_app_type ON instance (app_type_id);

CREATE TABLE instance_content (
  instance_id INTEGER NOT NULL REFERENCES instance (id),
  seq INTEGER NOT NULL,
  type INTEGER NOT NULL,
  path TEXT NOT NULL,
  PRIMARY KEY (instance_id, seq)
) WITHOUT ROWID;

CREATE TABLE backup_set (
  id INTEGER PRIMARY KEY,
  instance_id INTEGER NOT NULL REFERENCES instance (id),
  name TEXT NOT NULL,
  flags INTEGER NOT NULL DEFAULT 0,
  description TEXT NOT NULL DEFAULT '',
  UNIQUE (instance_id, name)
);

CREATE TABLE subclient (
  id INTEGER PRIMARY KEY,
  backup_set_id INTEGER NOT NULL REFERENCES backup_set (id),
  name TEXT NOT NULL,
  flags INTEGER NOT NULL DEFAULT 0,
  description TEXT NOT NULL DEFAULT '',
  UNIQUE (backup_set_id, name)
);

-- The application id of a subclient, unique within its Velmora.
CREATE TABLE application (
  velmora_id INTEGER NOT NULL REFERENCES velmora (id),
  app_id INTEGER NOT NULL,
  subclient_id INTEGER NOT NULL UNIQUE REFERENCES subclient (id),
  aux1 INTEGER NOT NULL DEFAULT 0,
  aux2 INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (velmora_id, app_id)
) WITHOUT ROWID;

-- Properties of clients, instances, backup sets and subclients
-- (owner_kind 1 to 4), in list order.
CREATE TABLE property (
  owner_kind INTEGER NOT NULL CHECK (owner_kind BETWEEN 1 AND 4),
  owner_id INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY (owner_kind, owner_id, seq),
  UNIQUE (owner_kind, owner_id, name)
) WITHOUT ROWID;

-- A subclient's content (grp 1) and filter groups, in list order.
CREATE TABLE subclient_entry (
  subclient_id INTEGER NOT NULL REFERENCES subclient (id),
  grp INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  path TEXT NOT NULL,
  PRIMARY KEY (subclient_id, grp, seq),
  UNIQUE (subclient_id, grp, path)
) WITHOUT ROWID;
)sql";

// Version 2: what the adapters' lists need. A client's role mask, the
// archive group of an application (NULL: none), and indexes for listing
// subclients of a client and applications of an archive group.
const char kVersion2[] = R"sql(
ALTER TABLE client ADD COLUMN roles INTEGER NOT NULL DEFAULT 0;
ALTER TABLE application ADD COLUMN archive_group_id INTEGER;
CREATE INDEX application_by_archive_group ON application (archive_group_id, velmora_id, app_id)
  WHERE archive_group_id IS NOT NULL;
)sql";

// Version 3: host names compare without regard to ASCII case, as host names
// do; the index of client host names takes the same collation so that a
// lookup stays a point lookup.
const char kVersion3[] = R"sql(
DROP INDEX client_by_host_name;
CREATE INDEX client_by_host_name ON client (host_name COLLATE NOCASE);
)sql";

// Version 4: the audit trail, one row per change, written in the change's
// transaction. AUTOINCREMENT keeps seq growing even after the newest rows
// are deleted. at_us: UTC microseconds; detail: the change as JSON.
const char kVersion4[] = R"sql(
CREATE TABLE audit (
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  at_us INTEGER NOT NULL,
  who TEXT NOT NULL,
  request_code INTEGER NOT NULL,
  request_name TEXT NOT NULL,
  object_kind TEXT NOT NULL,
  object_id INTEGER NOT NULL,
  detail TEXT NOT NULL
);
CREATE INDEX audit_by_time ON audit (at_us);
CREATE INDEX audit_by_object ON audit (object_kind, object_id, seq);
)sql";

}  // namespace

const std::vector<const char*>& sqliteMigrations() {
  static const std::vector<const char*> migrations = {kVersion1, kVersion2, kVersion3, kVersion4};
  return migrations;
}

int sqliteSchemaVersion() { return static_cast<int>(sqliteMigrations().size()); }
