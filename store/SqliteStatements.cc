// The SQL text of every statement of the SQL stores, in SQLite's dialect.
// The texts keep to SQL that PostgreSQL reads the same way, apart from the
// parameter sigil and the transaction openers, so that the PostgreSQL store
// derives its texts from these (PgStatements.cc).
#include "SqliteStatements.h"

namespace {

// An application with the ids and names of its chain, joined from the
// subclient up; each lookup below adds the columns it matches.
#define APPLICATION_COLUMNS                                                                       \
  "SELECT a.app_id, a.aux1, a.aux2, a.velmora_id, i.client_id, i.app_type_id, i.id, b.id, s.id, " \
  "i.name, b.name, s.name "
#define APPLICATION_CHAIN                                                                \
  "JOIN backup_set b ON b.id = s.backup_set_id JOIN instance i ON i.id = b.instance_id " \
  "JOIN client c ON c.id = i.client_id "

#define CLIENT_COLUMNS                                                                             \
  "SELECT id, velmora_id, name, host_name, qualifier, attribute, os_name, os_version, processor, " \
  "version_text, is_nas, is_non_ndmp FROM client "

#define VELMORA_COLUMNS                                                                        \
  "SELECT id, name, release_id, flags, time_zone_id, host_name, description, time_zone_name, " \
  "install_dir, utc_offset_minutes FROM velmora "

#define AUDIT_COLUMNS \
  "SELECT seq, at_us, who, request_code, request_name, object_kind, object_id, detail FROM audit "

// Adapter lists. Each id filter is "0 matches any"; the statement of a
// list puts the most specific non-zero filter first as a plain equality,
// so that it drives an index, and keeps the others as filters.
#define CLIENT_SCOPE(n) "AND (?" #n " = 2 OR EXISTS (SELECT 1 FROM instance i WHERE i.client_id = c.id))"
#define APPLICATION_LIST                                                                                \
  APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN \
                      "WHERE "
#define APPLICATION_FILTERS                                                                            \
  "(?1 = 0 OR a.velmora_id = ?1) AND (?2 = 0 OR i.client_id = ?2) AND (?3 = 0 OR i.app_type_id = ?3) " \
  "AND (?4 = 0 OR i.id = ?4) AND (?5 = 0 OR b.id = ?5) "
#define APPLICATION_ORDER                                                         \
  "ORDER BY CASE WHEN ?6 = 1 THEN i.name END, CASE WHEN ?6 = 1 THEN b.name END, " \
  "CASE WHEN ?6 = 1 THEN s.name END, a.app_id, a.velmora_id"
#define INSTANCE_LIST "SELECT i.id, i.name, 0 FROM instance i JOIN client c ON c.id = i.client_id WHERE "
#define INSTANCE_FILTERS                                                                               \
  "(?1 = 0 OR c.velmora_id = ?1) AND (?2 = 0 OR i.client_id = ?2) AND (?3 = 0 OR i.app_type_id = ?3) " \
  "ORDER BY CASE WHEN ?4 = 1 THEN i.name END, i.id"
// The flag of a backup set or subclient in a list is bit 3 of its flags.
#define BACKUP_SET_LIST                                                                         \
  "SELECT b.id, b.name, CASE WHEN (b.flags & 8) <> 0 THEN 1 ELSE 0 END FROM backup_set b JOIN " \
  "instance i ON i.id = b.instance_id WHERE "
#define BACKUP_SET_FILTERS                                                                              \
  "(?1 = 0 OR i.client_id = ?1) AND (?2 = 0 OR i.app_type_id = ?2) AND (?3 = 0 OR b.instance_id = ?3) " \
  "ORDER BY CASE WHEN ?4 = 1 THEN b.name END, b.id"
#define SUBCLIENT_LIST                                                                                      \
  "SELECT s.id, s.name, CASE WHEN (s.flags & 8) <> 0 THEN 1 ELSE 0 END FROM subclient s JOIN backup_set b " \
  "ON b.id = s.backup_set_id "                                                                              \
  "JOIN instance i ON i.id = b.instance_id WHERE "
#define SUBCLIENT_FILTERS                                              \
  "(?1 = 0 OR i.client_id = ?1) AND (?2 = 0 OR s.backup_set_id = ?2) " \
  "ORDER BY CASE WHEN ?3 = 1 THEN s.name END, s.id"
#define ARCHIVE_LIST                                                                                    \
  APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN \
                      "WHERE "
#define ARCHIVE_FILTERS                                                                                   \
  "a.archive_group_id IS NOT NULL AND (?1 = 0 OR a.velmora_id = ?1) AND (?2 = 0 OR a.archive_group_id = " \
  "?2) "                                                                                                  \
  "ORDER BY a.app_id, a.velmora_id"

const SqlStatement kStatements[] = {
    {Sql::kBeginRead, SqlReach::kRows, "BEGIN"},
    {Sql::kBeginWrite, SqlReach::kRows, "BEGIN IMMEDIATE"},
    {Sql::kCommit, SqlReach::kRows, "COMMIT"},
    {Sql::kRollback, SqlReach::kRows, "ROLLBACK"},
    {Sql::kFindVelmoraById, SqlReach::kRows, VELMORA_COLUMNS "WHERE id = ?1"},
    {Sql::kFindVelmoraByName, SqlReach::kRows, VELMORA_COLUMNS "WHERE name = ?1"},
    {Sql::kGetGlobalParam, SqlReach::kRows, "SELECT value FROM global_param WHERE name = ?1"},
    {Sql::kFindApplicationNumeric, SqlReach::kRows,
     APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN
                         "WHERE a.velmora_id = ?1 AND a.app_id = ?2"},
    // The name lookups start from the instance's unique (client, type, name)
    // index and walk down through the (parent, name) indexes.
    {Sql::kFindApplicationNames, SqlReach::kRows,
     APPLICATION_COLUMNS
     "FROM instance i JOIN client c ON c.id = i.client_id JOIN backup_set b ON b.instance_id = i.id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.name = ?4 AND b.name = ?5 "
     "AND s.name = ?6"},
    {Sql::kFindApplicationInstanceAndNames, SqlReach::kRows,
     APPLICATION_COLUMNS
     "FROM instance i JOIN client c ON c.id = i.client_id JOIN backup_set b ON b.instance_id = i.id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 AND b.name = ?5 "
     "AND s.name = ?6"},
    {Sql::kFindApplicationBackupSetAndName, SqlReach::kRows,
     APPLICATION_COLUMNS
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id JOIN client c ON c.id = i.client_id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 AND b.id = ?5 "
     "AND s.name = ?6"},
    {Sql::kFindApplicationIds, SqlReach::kRows,
     APPLICATION_COLUMNS "FROM subclient s " APPLICATION_CHAIN "JOIN application a ON a.subclient_id = s.id "
                         "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 "
                         "AND b.id = ?5 AND s.id = ?6"},
    {Sql::kFindClientById, SqlReach::kRows, CLIENT_COLUMNS "WHERE id = ?1"},
    {Sql::kFindClientByName, SqlReach::kRows, CLIENT_COLUMNS "WHERE name = ?1"},
    // Host names need not be unique: the client with the lowest id wins.
    {Sql::kFindClientByHostName, SqlReach::kRows,
     CLIENT_COLUMNS "WHERE host_name = ?1 COLLATE NOCASE ORDER BY id LIMIT 1"},
    {Sql::kFindInstance, SqlReach::kRows,
     "SELECT i.id, i.name, i.flags, i.client_id, i.app_type_id, c.velmora_id, i.description, i.cluster_type, "
     "i.cloud_apps_type FROM instance i JOIN client c ON c.id = i.client_id WHERE i.id = ?1"},
    {Sql::kFindBackupSet, SqlReach::kRows,
     "SELECT b.id, b.name, b.flags, b.instance_id, i.client_id, i.app_type_id, b.description, "
     "(SELECT count(*) FROM subclient WHERE backup_set_id = b.id) "
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id WHERE b.id = ?1"},
    {Sql::kFindSubclient, SqlReach::kRows,
     "SELECT s.id, s.name, s.flags, s.backup_set_id, b.instance_id, i.client_id, s.description "
     "FROM subclient s JOIN backup_set b ON b.id = s.backup_set_id JOIN instance i ON i.id = b.instance_id "
     "WHERE s.id = ?1"},
    {Sql::kClientExists, SqlReach::kRows, "SELECT 1 FROM client WHERE id = ?1"},
    {Sql::kInstanceExists, SqlReach::kRows, "SELECT 1 FROM instance WHERE id = ?1"},
    {Sql::kBackupSetExists, SqlReach::kRows, "SELECT 1 FROM backup_set WHERE id = ?1"},
    {Sql::kSubclientExists, SqlReach::kRows, "SELECT 1 FROM subclient WHERE id = ?1"},
    {Sql::kListProperties, SqlReach::kRows,
     "SELECT name, type, value FROM property WHERE owner_kind = ?1 AND owner_id = ?2 ORDER BY seq"},
    // A new name goes to the end of the list; a known one keeps its place.
    {Sql::kUpsertProperty, SqlReach::kRows,
     "INSERT INTO property (owner_kind, owner_id, seq, name, type, value) VALUES (?1, ?2, "
     "(SELECT coalesce(max(seq), 0) + 1 FROM property WHERE owner_kind = ?1 AND owner_id = ?2), ?3, ?4, ?5) "
     "ON CONFLICT (owner_kind, owner_id, name) DO UPDATE SET type = excluded.type, value = excluded.value"},
    {Sql::kDeleteProperty, SqlReach::kRows,
     "DELETE FROM property WHERE owner_kind = ?1 AND owner_id = ?2 AND name = ?3"},
    {Sql::kListInstanceContent, SqlReach::kRows,
     "SELECT type, path FROM instance_content WHERE instance_id = ?1 ORDER BY seq"},
    // One row per entry, or one row with "0" in the second column when the
    // subclient has none in the group; no row when there is no subclient.
    // Checking the subclient and listing its entries in one statement reads
    // both from one snapshot without a transaction around them.
    {Sql::kListSubclientEntries, SqlReach::kRows,
     "SELECT e.path, CASE WHEN e.seq IS NULL THEN 0 ELSE 1 END FROM subclient s "
     "LEFT JOIN subclient_entry e ON e.subclient_id = s.id AND e.grp = ?2 WHERE s.id = ?1 ORDER BY e.seq"},
    {Sql::kAddSubclientEntry, SqlReach::kRows,
     "INSERT INTO subclient_entry (subclient_id, grp, seq, path) VALUES (?1, ?2, "
     "(SELECT coalesce(max(seq), 0) + 1 FROM subclient_entry WHERE subclient_id = ?1 AND grp = ?2), ?3) "
     "ON CONFLICT (subclient_id, grp, path) DO NOTHING"},
    {Sql::kDeleteSubclientEntry, SqlReach::kRows,
     "DELETE FROM subclient_entry WHERE subclient_id = ?1 AND grp = ?2 AND path = ?3"},

    // ---- Adapter lists ----
    // "ORDER BY CASE WHEN ?n = 1 ..." sorts by name (then id) for
    // ListOrder::kByName and by id for kById.
    {Sql::kListVelmorasById, SqlReach::kList,
     "SELECT id, name, 0 FROM velmora WHERE id = ?1 ORDER BY CASE WHEN ?2 = 1 THEN name END, id"},
    {Sql::kListVelmorasAll, SqlReach::kWholeTable,
     "SELECT id, name, 0 FROM velmora ORDER BY CASE WHEN ?1 = 1 THEN name END, id"},
    {Sql::kListClientsOfVelmora, SqlReach::kList,
     "SELECT c.id, c.name, 0 FROM client c WHERE c.velmora_id = ?1 " CLIENT_SCOPE(2) " ORDER BY c.id"},
    {Sql::kListClientsAll, SqlReach::kWholeTable,
     "SELECT c.id, c.name, 0 FROM client c WHERE 1 = 1 " CLIENT_SCOPE(1) " ORDER BY c.id"},
    {Sql::kListClientsOfTypeOfVelmora, SqlReach::kList,
     "SELECT id, name, 0 FROM client WHERE velmora_id = ?1 AND (roles & ?2) != 0 "
     "ORDER BY CASE WHEN ?3 = 1 THEN name END, id"},
    {Sql::kListClientsOfTypeAll, SqlReach::kWholeTable,
     "SELECT id, name, 0 FROM client WHERE (roles & ?1) != 0 ORDER BY CASE WHEN ?2 = 1 THEN name END, id"},
    {Sql::kListApplicationsOfBackupSet, SqlReach::kList,
     APPLICATION_LIST "b.id = ?5 AND " APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationsOfInstance, SqlReach::kList,
     APPLICATION_LIST "i.id = ?4 AND " APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationsOfClient, SqlReach::kList,
     APPLICATION_LIST "i.client_id = ?2 AND " APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationsOfVelmora, SqlReach::kList,
     APPLICATION_LIST "a.velmora_id = ?1 AND " APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationsOfType, SqlReach::kList,
     APPLICATION_LIST "i.app_type_id = ?3 AND " APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationsAll, SqlReach::kWholeTable,
     APPLICATION_LIST APPLICATION_FILTERS APPLICATION_ORDER},
    {Sql::kListApplicationTypesAll, SqlReach::kWholeTable,
     "SELECT id, name, 0 FROM application_type ORDER BY id"},
    {Sql::kListApplicationTypesOfClient, SqlReach::kList,
     "SELECT DISTINCT t.id, t.name, 0 FROM instance i JOIN application_type t ON t.id = i.app_type_id "
     "WHERE i.client_id = ?1 ORDER BY t.id"},
    {Sql::kListApplicationTypesInUse, SqlReach::kWholeTable,
     "SELECT t.id, t.name, 0 FROM application_type t "
     "WHERE EXISTS (SELECT 1 FROM instance i WHERE i.app_type_id = t.id) ORDER BY t.id"},
    {Sql::kListInstancesOfClient, SqlReach::kList, INSTANCE_LIST "i.client_id = ?2 AND " INSTANCE_FILTERS},
    {Sql::kListInstancesOfType, SqlReach::kList, INSTANCE_LIST "i.app_type_id = ?3 AND " INSTANCE_FILTERS},
    {Sql::kListInstancesOfVelmora, SqlReach::kList, INSTANCE_LIST "c.velmora_id = ?1 AND " INSTANCE_FILTERS},
    {Sql::kListInstancesAll, SqlReach::kWholeTable, INSTANCE_LIST INSTANCE_FILTERS},
    {Sql::kListBackupSetsOfInstance, SqlReach::kList,
     BACKUP_SET_LIST "b.instance_id = ?3 AND " BACKUP_SET_FILTERS},
    {Sql::kListBackupSetsOfClient, SqlReach::kList,
     BACKUP_SET_LIST "i.client_id = ?1 AND " BACKUP_SET_FILTERS},
    {Sql::kListBackupSetsOfType, SqlReach::kList,
     BACKUP_SET_LIST "i.app_type_id = ?2 AND " BACKUP_SET_FILTERS},
    {Sql::kListBackupSetsAll, SqlReach::kWholeTable, BACKUP_SET_LIST BACKUP_SET_FILTERS},
    {Sql::kListSubclientsOfBackupSet, SqlReach::kList,
     SUBCLIENT_LIST "s.backup_set_id = ?2 AND " SUBCLIENT_FILTERS},
    {Sql::kListSubclientsOfClient, SqlReach::kList, SUBCLIENT_LIST "i.client_id = ?1 AND " SUBCLIENT_FILTERS},
    {Sql::kListSubclientsAll, SqlReach::kWholeTable, SUBCLIENT_LIST SUBCLIENT_FILTERS},
    {Sql::kListArchiveGroupApplicationsOfGroup, SqlReach::kList,
     ARCHIVE_LIST "a.archive_group_id = ?2 AND " ARCHIVE_FILTERS},
    {Sql::kListArchiveGroupApplicationsOfVelmora, SqlReach::kList,
     ARCHIVE_LIST "a.velmora_id = ?1 AND " ARCHIVE_FILTERS},
    {Sql::kListArchiveGroupApplicationsAll, SqlReach::kWholeTable, ARCHIVE_LIST ARCHIVE_FILTERS},
    {Sql::kFindApplicationTypeName, SqlReach::kRows, "SELECT name FROM application_type WHERE id = ?1"},
    {Sql::kFindApplicationBySubclient, SqlReach::kRows,
     APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN
                         "WHERE a.subclient_id = ?1"},

    {Sql::kDeleteAllSubclientEntries, SqlReach::kWholeTable, "DELETE FROM subclient_entry"},
    {Sql::kDeleteAllProperties, SqlReach::kWholeTable, "DELETE FROM property"},
    {Sql::kDeleteAllApplications, SqlReach::kWholeTable, "DELETE FROM application"},
    {Sql::kDeleteAllSubclients, SqlReach::kWholeTable, "DELETE FROM subclient"},
    {Sql::kDeleteAllBackupSets, SqlReach::kWholeTable, "DELETE FROM backup_set"},
    {Sql::kDeleteAllInstanceContent, SqlReach::kWholeTable, "DELETE FROM instance_content"},
    {Sql::kDeleteAllInstances, SqlReach::kWholeTable, "DELETE FROM instance"},
    {Sql::kDeleteAllClients, SqlReach::kWholeTable, "DELETE FROM client"},
    {Sql::kDeleteAllApplicationTypes, SqlReach::kWholeTable, "DELETE FROM application_type"},
    {Sql::kDeleteAllGlobalParams, SqlReach::kWholeTable, "DELETE FROM global_param"},
    {Sql::kDeleteAllVelmoras, SqlReach::kWholeTable, "DELETE FROM velmora"},
    {Sql::kInsertVelmora, SqlReach::kWholeTable,
     "INSERT INTO velmora (id, name, release_id, flags, time_zone_id, host_name, description, "
     "time_zone_name, "
     "install_dir, utc_offset_minutes) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
    {Sql::kInsertGlobalParam, SqlReach::kWholeTable,
     "INSERT INTO global_param (name, value) VALUES (?1, ?2)"},
    {Sql::kInsertApplicationType, SqlReach::kWholeTable,
     "INSERT INTO application_type (id, name) VALUES (?1, ?2)"},
    {Sql::kInsertClient, SqlReach::kWholeTable,
     "INSERT INTO client (id, velmora_id, name, host_name, qualifier, attribute, os_name, os_version, "
     "processor, version_text, is_nas, is_non_ndmp) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
     "?12)"},
    {Sql::kInsertInstance, SqlReach::kWholeTable,
     "INSERT INTO instance (id, client_id, app_type_id, name, flags, description, cluster_type, "
     "cloud_apps_type) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"},
    {Sql::kInsertInstanceContent, SqlReach::kWholeTable,
     "INSERT INTO instance_content (instance_id, seq, type, path) VALUES (?1, ?2, ?3, ?4)"},
    {Sql::kInsertBackupSet, SqlReach::kWholeTable,
     "INSERT INTO backup_set (id, instance_id, name, flags, description) VALUES (?1, ?2, ?3, ?4, ?5)"},
    {Sql::kInsertSubclient, SqlReach::kWholeTable,
     "INSERT INTO subclient (id, backup_set_id, name, flags, description) VALUES (?1, ?2, ?3, ?4, ?5)"},
    // The Velmora of an application is that of its subclient's client.
    {Sql::kInsertApplication, SqlReach::kWholeTable,
     "INSERT INTO application (velmora_id, app_id, subclient_id, aux1, aux2) "
     "SELECT c.velmora_id, ?1, s.id, ?2, ?3 FROM subclient s " APPLICATION_CHAIN "WHERE s.id = ?4"},
    {Sql::kInsertProperty, SqlReach::kWholeTable,
     "INSERT INTO property (owner_kind, owner_id, seq, name, type, value) VALUES (?1, ?2, ?3, ?4, ?5, ?6)"},
    {Sql::kInsertSubclientEntry, SqlReach::kWholeTable,
     "INSERT INTO subclient_entry (subclient_id, grp, seq, path) VALUES (?1, ?2, ?3, ?4)"},
    {Sql::kSetClientRoles, SqlReach::kRows, "UPDATE client SET roles = ?2 WHERE id = ?1"},
    {Sql::kSetArchiveGroup, SqlReach::kRows,
     "UPDATE application SET archive_group_id = ?3 WHERE velmora_id = ?1 AND app_id = ?2"},
    {Sql::kReadVelmoras, SqlReach::kWholeTable, VELMORA_COLUMNS "ORDER BY id"},
    {Sql::kReadGlobalParams, SqlReach::kWholeTable, "SELECT name, value FROM global_param ORDER BY name"},
    {Sql::kReadApplicationTypes, SqlReach::kWholeTable, "SELECT id, name FROM application_type ORDER BY id"},
    {Sql::kReadClients, SqlReach::kWholeTable, CLIENT_COLUMNS "ORDER BY id"},
    {Sql::kReadInstances, SqlReach::kWholeTable,
     "SELECT i.id, i.name, i.flags, i.client_id, i.app_type_id, c.velmora_id, i.description, i.cluster_type, "
     "i.cloud_apps_type FROM instance i JOIN client c ON c.id = i.client_id ORDER BY i.id"},
    {Sql::kReadInstanceContent, SqlReach::kWholeTable,
     "SELECT instance_id, type, path FROM instance_content ORDER BY instance_id, seq"},
    {Sql::kReadBackupSets, SqlReach::kWholeTable,
     "SELECT b.id, b.name, b.flags, b.instance_id, i.client_id, i.app_type_id, b.description, "
     "(SELECT count(*) FROM subclient WHERE backup_set_id = b.id) "
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id ORDER BY b.id"},
    {Sql::kReadSubclients, SqlReach::kWholeTable,
     "SELECT s.id, s.name, s.flags, s.backup_set_id, b.instance_id, i.client_id, s.description "
     "FROM subclient s JOIN backup_set b ON b.id = s.backup_set_id JOIN instance i ON i.id = b.instance_id "
     "ORDER BY s.id"},
    {Sql::kReadApplications, SqlReach::kWholeTable,
     APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN
                         "ORDER BY a.velmora_id, a.app_id"},
    {Sql::kReadProperties, SqlReach::kWholeTable,
     "SELECT owner_kind, owner_id, name, type, value FROM property ORDER BY owner_kind, owner_id, seq"},
    {Sql::kReadSubclientEntries, SqlReach::kWholeTable,
     "SELECT subclient_id, grp, path FROM subclient_entry ORDER BY subclient_id, grp, seq"},
    {Sql::kReadClientRoles, SqlReach::kWholeTable,
     "SELECT id, roles FROM client WHERE roles != 0 ORDER BY id"},
    {Sql::kReadArchiveGroups, SqlReach::kWholeTable,
     "SELECT velmora_id, app_id, archive_group_id FROM application WHERE archive_group_id IS NOT NULL "
     "ORDER BY velmora_id, app_id"},
    {Sql::kFindProperty, SqlReach::kRows,
     "SELECT type, value FROM property WHERE owner_kind = ?1 AND owner_id = ?2 AND name = ?3"},
    {Sql::kInsertAudit, SqlReach::kRows,
     "INSERT INTO audit (at_us, who, request_code, request_name, object_kind, object_id, detail) "
     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"},
    // Newest first; the whole trail when no time bound narrows it.
    {Sql::kReadAudit, SqlReach::kWholeTable,
     AUDIT_COLUMNS "WHERE at_us >= ?1 AND at_us <= ?2 ORDER BY seq DESC LIMIT ?3"},
    {Sql::kReadAuditOfObject, SqlReach::kList,
     AUDIT_COLUMNS "WHERE object_kind = ?4 AND object_id = ?5 AND at_us >= ?1 AND at_us <= ?2 "
                   "ORDER BY seq DESC LIMIT ?3"},
    // The oldest entries first, a batch at a time.
    {Sql::kPruneAudit, SqlReach::kList,
     "DELETE FROM audit WHERE seq IN (SELECT seq FROM audit WHERE at_us < ?1 ORDER BY at_us LIMIT ?2)"},
    {Sql::kCountTree, SqlReach::kWholeTable,
     "SELECT (SELECT count(*) FROM velmora), (SELECT count(*) FROM client), (SELECT count(*) FROM instance), "
     "(SELECT count(*) FROM backup_set), (SELECT count(*) FROM subclient), (SELECT count(*) FROM property), "
     "(SELECT count(*) FROM subclient_entry), (SELECT count(*) FROM global_param)"},
};

static_assert(sizeof kStatements / sizeof kStatements[0] == kSqlCount, "one SQL text per statement");

}  // namespace

const SqlStatement& sqlStatement(Sql id) { return kStatements[static_cast<size_t>(id)]; }
