// Schema of the PostgreSQL store, as a list of migrations: the SQLite
// store's tables with 64-bit integers (ids are the platform's own and hold
// any 64-bit value, stored signed) and texts compared byte by byte
// (COLLATE "C"), so that names sort and match the way they do in SQLite
// whatever the database's locale.
#include "PgSchema.h"

const char kPgMarkerTable[] = R"sql(
CREATE TABLE appmgr_schema (
  singleton boolean PRIMARY KEY DEFAULT true CHECK (singleton),
  application text NOT NULL,
  version integer NOT NULL
);
)sql";

const char kPgStoreApplication[] = "appmgr-config-store";

namespace {

// Version 1: the whole configuration tree (see SqliteSchema.cc).
const char kVersion1[] = R"sql(
CREATE TABLE velmora (
  id bigint PRIMARY KEY,
  name text COLLATE "C" NOT NULL UNIQUE,
  release_id bigint NOT NULL DEFAULT 0,
  flags bigint NOT NULL DEFAULT 0,
  time_zone_id bigint NOT NULL DEFAULT 0,
  host_name text COLLATE "C" NOT NULL DEFAULT '',
  description text COLLATE "C" NOT NULL DEFAULT '',
  time_zone_name text COLLATE "C" NOT NULL DEFAULT '',
  install_dir text COLLATE "C" NOT NULL DEFAULT '',
  utc_offset_minutes bigint NOT NULL DEFAULT 0
);

CREATE TABLE global_param (
  name text COLLATE "C" PRIMARY KEY,
  value text COLLATE "C" NOT NULL
);

CREATE TABLE application_type (
  id bigint PRIMARY KEY,
  name text COLLATE "C" NOT NULL
);

CREATE TABLE client (
  id bigint PRIMARY KEY,
  velmora_id bigint NOT NULL REFERENCES velmora (id),
  name text COLLATE "C" NOT NULL UNIQUE,
  host_name text COLLATE "C" NOT NULL DEFAULT '',
  qualifier bigint NOT NULL DEFAULT 0,
  attribute bigint NOT NULL DEFAULT 0,
  os_name text COLLATE "C" NOT NULL DEFAULT '',
  os_version text COLLATE "C" NOT NULL DEFAULT '',
  processor text COLLATE "C" NOT NULL DEFAULT '',
  version_text text COLLATE "C" NOT NULL DEFAULT '',
  is_nas bigint NOT NULL DEFAULT 0,
  is_non_ndmp bigint NOT NULL DEFAULT 0
);
CREATE INDEX client_by_velmora ON client (velmora_id);
CREATE INDEX client_by_host_name ON client (host_name);

CREATE TABLE instance (
  id bigint PRIMARY KEY,
  client_id bigint NOT NULL REFERENCES client (id),
  app_type_id bigint NOT NULL REFERENCES application_type (id),
  name text COLLATE "C" NOT NULL,
  flags bigint NOT NULL DEFAULT 0,
  description text COLLATE "C" NOT NULL DEFAULT '',
  cluster_type bigint NOT NULL DEFAULT 0,
  cloud_apps_type bigint NOT NULL DEFAULT 0,
  UNIQUE (client_id, app_type_id, name)
);
CREATE INDEX instance_by_app_type ON instance (app_type_id);

CREATE TABLE instance_content (
  instance_id bigint NOT NULL REFERENCES instance (id),
  seq bigint NOT NULL,
  type bigint NOT NULL,
  path text COLLATE "C" NOT NULL,
  PRIMARY KEY (instance_id, seq)
);

CREATE TABLE backup_set (
  id bigint PRIMARY KEY,
  instance_id bigint NOT NULL REFERENCES instance (id),
  name text COLLATE "C" NOT NULL,
  flags bigint NOT NULL DEFAULT 0,
  description text COLLATE "C" NOT NULL DEFAULT '',
  UNIQUE (instance_id, name)
);

CREATE TABLE subclient (
  id bigint PRIMARY KEY,
  backup_set_id bigint NOT NULL REFERENCES backup_set (id),
  name text COLLATE "C" NOT NULL,
  flags bigint NOT NULL DEFAULT 0,
  description text COLLATE "C" NOT NULL DEFAULT '',
  UNIQUE (backup_set_id, name)
);

-- The application id of a subclient, unique within its Velmora.
CREATE TABLE application (
  velmora_id bigint NOT NULL REFERENCES velmora (id),
  app_id bigint NOT NULL,
  subclient_id bigint NOT NULL UNIQUE REFERENCES subclient (id),
  aux1 bigint NOT NULL DEFAULT 0,
  aux2 bigint NOT NULL DEFAULT 0,
  PRIMARY KEY (velmora_id, app_id)
);

-- Properties of clients, instances, backup sets and subclients
-- (owner_kind 1 to 4), in list order.
CREATE TABLE property (
  owner_kind bigint NOT NULL CHECK (owner_kind BETWEEN 1 AND 4),
  owner_id bigint NOT NULL,
  seq bigint NOT NULL,
  name text COLLATE "C" NOT NULL,
  type bigint NOT NULL,
  value text COLLATE "C" NOT NULL,
  PRIMARY KEY (owner_kind, owner_id, seq),
  UNIQUE (owner_kind, owner_id, name)
);

-- A subclient's content (grp 1) and filter groups, in list order.
CREATE TABLE subclient_entry (
  subclient_id bigint NOT NULL REFERENCES subclient (id),
  grp bigint NOT NULL,
  seq bigint NOT NULL,
  path text COLLATE "C" NOT NULL,
  PRIMARY KEY (subclient_id, grp, seq),
  UNIQUE (subclient_id, grp, path)
);
)sql";

// Version 2: a client's role mask, the archive group of an application
// (NULL: none) and the index that lists an archive group's applications.
const char kVersion2[] = R"sql(
ALTER TABLE client ADD COLUMN roles bigint NOT NULL DEFAULT 0;
ALTER TABLE application ADD COLUMN archive_group_id bigint;
CREATE INDEX application_by_archive_group ON application (archive_group_id, velmora_id, app_id)
  WHERE archive_group_id IS NOT NULL;
)sql";

// Version 3: host names compare without regard to ASCII case. lower() of a
// COLLATE "C" text folds ASCII letters only, like SQLite's NOCASE; the
// index is on that expression so that a lookup stays a point lookup.
const char kVersion3[] = R"sql(
DROP INDEX client_by_host_name;
CREATE INDEX client_by_host_name ON client (lower(host_name));
)sql";

// Version 4: the audit trail (see SqliteSchema.cc). The identity column's
// sequence only grows; a rolled-back change leaves a gap.
const char kVersion4[] = R"sql(
CREATE TABLE audit (
  seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  at_us bigint NOT NULL,
  who text COLLATE "C" NOT NULL,
  request_code bigint NOT NULL,
  request_name text COLLATE "C" NOT NULL,
  object_kind text COLLATE "C" NOT NULL,
  object_id bigint NOT NULL,
  detail text COLLATE "C" NOT NULL
);
CREATE INDEX audit_by_time ON audit (at_us);
CREATE INDEX audit_by_object ON audit (object_kind, object_id, seq);
)sql";

}  // namespace

const std::vector<const char*>& pgMigrations() {
  static const std::vector<const char*> migrations = {kVersion1, kVersion2, kVersion3, kVersion4};
  return migrations;
}

int pgSchemaVersion() { return static_cast<int>(pgMigrations().size()); }

const std::vector<PgTableShape>& pgExpectedTables() {
  static const std::vector<PgTableShape> tables = {
      {"appmgr_schema", {"singleton", "application", "version"}, 1, 0},
      {"velmora",
       {"id", "name", "release_id", "flags", "time_zone_id", "host_name", "description", "time_zone_name",
        "install_dir", "utc_offset_minutes"},
       2,
       0},
      {"global_param", {"name", "value"}, 1, 0},
      {"application_type", {"id", "name"}, 1, 0},
      {"client",
       {"id", "velmora_id", "name", "host_name", "qualifier", "attribute", "os_name", "os_version",
        "processor", "version_text", "is_nas", "is_non_ndmp", "roles"},
       2,
       1},
      {"instance",
       {"id", "client_id", "app_type_id", "name", "flags", "description", "cluster_type", "cloud_apps_type"},
       2,
       2},
      {"instance_content", {"instance_id", "seq", "type", "path"}, 1, 1},
      {"backup_set", {"id", "instance_id", "name", "flags", "description"}, 2, 1},
      {"subclient", {"id", "backup_set_id", "name", "flags", "description"}, 2, 1},
      {"application", {"velmora_id", "app_id", "subclient_id", "aux1", "aux2", "archive_group_id"}, 2, 2},
      {"property", {"owner_kind", "owner_id", "seq", "name", "type", "value"}, 2, 0},
      {"subclient_entry", {"subclient_id", "grp", "seq", "path"}, 2, 1},
      {"audit",
       {"seq", "at_us", "who", "request_code", "request_name", "object_kind", "object_id", "detail"},
       1,
       0},
  };
  return tables;
}

const std::vector<const char*>& pgExpectedIndexes() {
  static const std::vector<const char*> indexes = {"client_by_velmora",    "client_by_host_name",
                                                   "instance_by_app_type", "application_by_archive_group",
                                                   "audit_by_time",        "audit_by_object"};
  return indexes;
}
