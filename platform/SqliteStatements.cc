// The SQL text of every statement of the SQLite store.
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

const SqlStatement kStatements[] = {
    {Sql::kBeginRead, "BEGIN", false},
    {Sql::kBeginWrite, "BEGIN IMMEDIATE", false},
    {Sql::kCommit, "COMMIT", false},
    {Sql::kRollback, "ROLLBACK", false},
    {Sql::kFindVelmoraById, VELMORA_COLUMNS "WHERE id = ?1", false},
    {Sql::kFindVelmoraByName, VELMORA_COLUMNS "WHERE name = ?1", false},
    {Sql::kGetGlobalParam, "SELECT value FROM global_param WHERE name = ?1", false},
    {Sql::kFindApplicationNumeric,
     APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN
                         "WHERE a.velmora_id = ?1 AND a.app_id = ?2",
     false},
    // The name lookups start from the instance's unique (client, type, name)
    // index and walk down through the (parent, name) indexes.
    {Sql::kFindApplicationNames,
     APPLICATION_COLUMNS
     "FROM instance i JOIN client c ON c.id = i.client_id JOIN backup_set b ON b.instance_id = i.id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.name = ?4 AND b.name = ?5 "
     "AND s.name = ?6",
     false},
    {Sql::kFindApplicationInstanceAndNames,
     APPLICATION_COLUMNS
     "FROM instance i JOIN client c ON c.id = i.client_id JOIN backup_set b ON b.instance_id = i.id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 AND b.name = ?5 "
     "AND s.name = ?6",
     false},
    {Sql::kFindApplicationBackupSetAndName,
     APPLICATION_COLUMNS
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id JOIN client c ON c.id = i.client_id "
     "JOIN subclient s ON s.backup_set_id = b.id JOIN application a ON a.subclient_id = s.id "
     "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 AND b.id = ?5 "
     "AND s.name = ?6",
     false},
    {Sql::kFindApplicationIds,
     APPLICATION_COLUMNS "FROM subclient s " APPLICATION_CHAIN "JOIN application a ON a.subclient_id = s.id "
                         "WHERE c.velmora_id = ?1 AND i.client_id = ?2 AND i.app_type_id = ?3 AND i.id = ?4 "
                         "AND b.id = ?5 AND s.id = ?6",
     false},
    {Sql::kFindClientById, CLIENT_COLUMNS "WHERE id = ?1", false},
    {Sql::kFindClientByName, CLIENT_COLUMNS "WHERE name = ?1", false},
    // Host names need not be unique: the client with the lowest id wins.
    {Sql::kFindClientByHostName, CLIENT_COLUMNS "WHERE host_name = ?1 ORDER BY id LIMIT 1", false},
    {Sql::kFindInstance,
     "SELECT i.id, i.name, i.flags, i.client_id, i.app_type_id, c.velmora_id, i.description, i.cluster_type, "
     "i.cloud_apps_type FROM instance i JOIN client c ON c.id = i.client_id WHERE i.id = ?1",
     false},
    {Sql::kFindBackupSet,
     "SELECT b.id, b.name, b.flags, b.instance_id, i.client_id, i.app_type_id, b.description, "
     "(SELECT count(*) FROM subclient WHERE backup_set_id = b.id) "
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id WHERE b.id = ?1",
     false},
    {Sql::kFindSubclient,
     "SELECT s.id, s.name, s.flags, s.backup_set_id, b.instance_id, i.client_id, s.description "
     "FROM subclient s JOIN backup_set b ON b.id = s.backup_set_id JOIN instance i ON i.id = b.instance_id "
     "WHERE s.id = ?1",
     false},
    {Sql::kClientExists, "SELECT 1 FROM client WHERE id = ?1", false},
    {Sql::kInstanceExists, "SELECT 1 FROM instance WHERE id = ?1", false},
    {Sql::kBackupSetExists, "SELECT 1 FROM backup_set WHERE id = ?1", false},
    {Sql::kSubclientExists, "SELECT 1 FROM subclient WHERE id = ?1", false},
    {Sql::kListProperties,
     "SELECT name, type, value FROM property WHERE owner_kind = ?1 AND owner_id = ?2 ORDER BY seq", false},
    // A new name goes to the end of the list; a known one keeps its place.
    {Sql::kUpsertProperty,
     "INSERT INTO property (owner_kind, owner_id, seq, name, type, value) VALUES (?1, ?2, "
     "(SELECT coalesce(max(seq), 0) + 1 FROM property WHERE owner_kind = ?1 AND owner_id = ?2), ?3, ?4, ?5) "
     "ON CONFLICT (owner_kind, owner_id, name) DO UPDATE SET type = excluded.type, value = excluded.value",
     false},
    {Sql::kDeleteProperty, "DELETE FROM property WHERE owner_kind = ?1 AND owner_id = ?2 AND name = ?3",
     false},
    {Sql::kListInstanceContent, "SELECT type, path FROM instance_content WHERE instance_id = ?1 ORDER BY seq",
     false},
    {Sql::kListSubclientEntries,
     "SELECT path FROM subclient_entry WHERE subclient_id = ?1 AND grp = ?2 ORDER BY seq", false},
    {Sql::kAddSubclientEntry,
     "INSERT INTO subclient_entry (subclient_id, grp, seq, path) VALUES (?1, ?2, "
     "(SELECT coalesce(max(seq), 0) + 1 FROM subclient_entry WHERE subclient_id = ?1 AND grp = ?2), ?3) "
     "ON CONFLICT (subclient_id, grp, path) DO NOTHING",
     false},
    {Sql::kDeleteSubclientEntry,
     "DELETE FROM subclient_entry WHERE subclient_id = ?1 AND grp = ?2 AND path = ?3", false},

    {Sql::kDeleteAllSubclientEntries, "DELETE FROM subclient_entry", true},
    {Sql::kDeleteAllProperties, "DELETE FROM property", true},
    {Sql::kDeleteAllApplications, "DELETE FROM application", true},
    {Sql::kDeleteAllSubclients, "DELETE FROM subclient", true},
    {Sql::kDeleteAllBackupSets, "DELETE FROM backup_set", true},
    {Sql::kDeleteAllInstanceContent, "DELETE FROM instance_content", true},
    {Sql::kDeleteAllInstances, "DELETE FROM instance", true},
    {Sql::kDeleteAllClients, "DELETE FROM client", true},
    {Sql::kDeleteAllApplicationTypes, "DELETE FROM application_type", true},
    {Sql::kDeleteAllGlobalParams, "DELETE FROM global_param", true},
    {Sql::kDeleteAllVelmoras, "DELETE FROM velmora", true},
    {Sql::kInsertVelmora,
     "INSERT INTO velmora (id, name, release_id, flags, time_zone_id, host_name, description, "
     "time_zone_name, "
     "install_dir, utc_offset_minutes) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
     true},
    {Sql::kInsertGlobalParam, "INSERT INTO global_param (name, value) VALUES (?1, ?2)", true},
    {Sql::kInsertApplicationType, "INSERT INTO application_type (id, name) VALUES (?1, ?2)", true},
    {Sql::kInsertClient,
     "INSERT INTO client (id, velmora_id, name, host_name, qualifier, attribute, os_name, os_version, "
     "processor, version_text, is_nas, is_non_ndmp) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
     "?12)",
     true},
    {Sql::kInsertInstance,
     "INSERT INTO instance (id, client_id, app_type_id, name, flags, description, cluster_type, "
     "cloud_apps_type) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
     true},
    {Sql::kInsertInstanceContent,
     "INSERT INTO instance_content (instance_id, seq, type, path) VALUES (?1, ?2, ?3, ?4)", true},
    {Sql::kInsertBackupSet,
     "INSERT INTO backup_set (id, instance_id, name, flags, description) VALUES (?1, ?2, ?3, ?4, ?5)", true},
    {Sql::kInsertSubclient,
     "INSERT INTO subclient (id, backup_set_id, name, flags, description) VALUES (?1, ?2, ?3, ?4, ?5)", true},
    // The Velmora of an application is that of its subclient's client.
    {Sql::kInsertApplication,
     "INSERT INTO application (velmora_id, app_id, subclient_id, aux1, aux2) "
     "SELECT c.velmora_id, ?1, s.id, ?2, ?3 FROM subclient s " APPLICATION_CHAIN "WHERE s.id = ?4",
     true},
    {Sql::kInsertProperty,
     "INSERT INTO property (owner_kind, owner_id, seq, name, type, value) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
     true},
    {Sql::kInsertSubclientEntry,
     "INSERT INTO subclient_entry (subclient_id, grp, seq, path) VALUES (?1, ?2, ?3, ?4)", true},
    {Sql::kReadVelmoras, VELMORA_COLUMNS "ORDER BY id", true},
    {Sql::kReadGlobalParams, "SELECT name, value FROM global_param ORDER BY name", true},
    {Sql::kReadApplicationTypes, "SELECT id, name FROM application_type ORDER BY id", true},
    {Sql::kReadClients, CLIENT_COLUMNS "ORDER BY id", true},
    {Sql::kReadInstances,
     "SELECT i.id, i.name, i.flags, i.client_id, i.app_type_id, c.velmora_id, i.description, i.cluster_type, "
     "i.cloud_apps_type FROM instance i JOIN client c ON c.id = i.client_id ORDER BY i.id",
     true},
    {Sql::kReadInstanceContent,
     "SELECT instance_id, type, path FROM instance_content ORDER BY instance_id, seq", true},
    {Sql::kReadBackupSets,
     "SELECT b.id, b.name, b.flags, b.instance_id, i.client_id, i.app_type_id, b.description, "
     "(SELECT count(*) FROM subclient WHERE backup_set_id = b.id) "
     "FROM backup_set b JOIN instance i ON i.id = b.instance_id ORDER BY b.id",
     true},
    {Sql::kReadSubclients,
     "SELECT s.id, s.name, s.flags, s.backup_set_id, b.instance_id, i.client_id, s.description "
     "FROM subclient s JOIN backup_set b ON b.id = s.backup_set_id JOIN instance i ON i.id = b.instance_id "
     "ORDER BY s.id",
     true},
    {Sql::kReadApplications,
     APPLICATION_COLUMNS "FROM application a JOIN subclient s ON s.id = a.subclient_id " APPLICATION_CHAIN
                         "ORDER BY a.velmora_id, a.app_id",
     true},
    {Sql::kReadProperties,
     "SELECT owner_kind, owner_id, name, type, value FROM property ORDER BY owner_kind, owner_id, seq", true},
    {Sql::kReadSubclientEntries,
     "SELECT subclient_id, grp, path FROM subclient_entry ORDER BY subclient_id, grp, seq", true},
};

static_assert(sizeof kStatements / sizeof kStatements[0] == kSqlCount, "one SQL text per statement");

}  // namespace

const SqlStatement& sqlStatement(Sql id) { return kStatements[static_cast<size_t>(id)]; }
