// Every SQL statement of the SQLite store, by number, so that each
// connection prepares each statement once and a test can check the query
// plan of all of them. Values reach the statements only as bound
// parameters.
#ifndef PLATFORM_SQLITESTATEMENTS_H_
#define PLATFORM_SQLITESTATEMENTS_H_

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
  kCount
};

constexpr size_t kSqlCount = static_cast<size_t>(Sql::kCount);

struct SqlStatement {
  Sql id;  // equal to the statement's index; checked by a test
  const char* text;
  // True for the whole-tree statements, which read or clear whole tables
  // by design; every other statement touches only the rows it names.
  bool wholeTable;
};

const SqlStatement& sqlStatement(Sql id);

#endif  // PLATFORM_SQLITESTATEMENTS_H_
