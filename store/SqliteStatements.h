// Every SQL statement of the SQLite store, by number, so that each
// connection prepares each statement once and a test can check the query
// plan of all of them. Values reach the statements only as bound
// parameters.
#ifndef STORE_SQLITESTATEMENTS_H_
#define STORE_SQLITESTATEMENTS_H_

#include <cstddef>

enum class Sql {
  kBeginRead,
  kBeginWrite,
  kCommit,
  kRollback,
  kFindVelmoraById,
  kFindVelmoraByName,
  kGetGlobalParam,
  kFindApplicationNumeric,
  kFindApplicationNames,
  kFindApplicationInstanceAndNames,
  kFindApplicationBackupSetAndName,
  kFindApplicationIds,
  kFindClientById,
  kFindClientByName,
  kFindClientByHostName,
  kFindInstance,
  kFindBackupSet,
  kFindSubclient,
  kClientExists,
  kInstanceExists,
  kBackupSetExists,
  kSubclientExists,
  kListProperties,
  kUpsertProperty,
  kDeleteProperty,
  kListInstanceContent,
  kListSubclientEntries,
  kAddSubclientEntry,
  kDeleteSubclientEntry,
  // Adapter lists: one statement per id filter that drives the query (the
  // most specific non-zero one); "All" when every filter is 0.
  kListVelmorasById,
  kListVelmorasAll,
  kListClientsOfVelmora,
  kListClientsAll,
  kListClientsOfTypeOfVelmora,
  kListClientsOfTypeAll,
  kListApplicationsOfBackupSet,
  kListApplicationsOfInstance,
  kListApplicationsOfClient,
  kListApplicationsOfVelmora,
  kListApplicationsOfType,
  kListApplicationsAll,
  kListApplicationTypesAll,
  kListApplicationTypesOfClient,
  kListApplicationTypesInUse,
  kListInstancesOfClient,
  kListInstancesOfType,
  kListInstancesOfVelmora,
  kListInstancesAll,
  kListBackupSetsOfInstance,
  kListBackupSetsOfClient,
  kListBackupSetsOfType,
  kListBackupSetsAll,
  kListSubclientsOfBackupSet,
  kListSubclientsOfClient,
  kListSubclientsAll,
  kListArchiveGroupApplicationsOfGroup,
  kListArchiveGroupApplicationsOfVelmora,
  kListArchiveGroupApplicationsAll,
  kFindApplicationTypeName,
  kFindApplicationBySubclient,
  // Whole-tree import and export: these read or clear whole tables.
  kDeleteAllSubclientEntries,
  kDeleteAllProperties,
  kDeleteAllApplications,
  kDeleteAllSubclients,
  kDeleteAllBackupSets,
  kDeleteAllInstanceContent,
  kDeleteAllInstances,
  kDeleteAllClients,
  kDeleteAllApplicationTypes,
  kDeleteAllGlobalParams,
  kDeleteAllVelmoras,
  kInsertVelmora,
  kInsertGlobalParam,
  kInsertApplicationType,
  kInsertClient,
  kInsertInstance,
  kInsertInstanceContent,
  kInsertBackupSet,
  kInsertSubclient,
  kInsertApplication,
  kInsertProperty,
  kInsertSubclientEntry,
  kSetClientRoles,
  kSetArchiveGroup,
  kReadVelmoras,
  kReadGlobalParams,
  kReadApplicationTypes,
  kReadClients,
  kReadInstances,
  kReadInstanceContent,
  kReadBackupSets,
  kReadSubclients,
  kReadApplications,
  kReadProperties,
  kReadSubclientEntries,
  kReadClientRoles,
  kReadArchiveGroups,
  // The audit trail: the old value of a property before a change, the
  // entry written with each change, reading and pruning, and the counts of
  // what a whole-tree import replaces.
  kFindProperty,
  kInsertAudit,
  kReadAudit,
  kReadAuditOfObject,
  kPruneAudit,
  kCountTree,
  kCount
};

constexpr size_t kSqlCount = static_cast<size_t>(Sql::kCount);

// What a statement may touch; a test checks each one's query plan.
enum class SqlReach {
  kRows,        // point lookups and range scans only, no sorting
  kList,        // range scans only; may sort its result
  kWholeTable,  // reads or clears whole tables by design (import, export,
                // a list asked for every object)
};

struct SqlStatement {
  Sql id;  // equal to the statement's index; checked by a test
  SqlReach reach;
  const char* text;
};

const SqlStatement& sqlStatement(Sql id);

#endif  // STORE_SQLITESTATEMENTS_H_
