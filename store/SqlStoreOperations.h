// The operations of the SQL configuration stores, written once for every
// engine: the SQLite store and the PostgreSQL store run the same statements
// (one numbering, Sql, with a text per engine) and read the same columns,
// so each operation's body lives here as a template over the engine. A
// store wraps each body in its own transaction and failure handling (its
// run()); the bodies throw the engine's failure and return 0 or a store
// error code.
//
// An Engine provides:
//   Connection, Query   the engine's connection, and a cursor over one
//                       statement: Query(Connection&, Sql), bind(value)...,
//                       next(), run(), signedAt/unsignedAt/textAt(column)
//   ownerQuery(c, exists, row)
//                       the query (one id parameter) that finds the owner
//                       that the statement `exists` looks for; with
//                       Row::kLock it also keeps writers of that owner
//                       waiting until the transaction ends, where the
//                       engine needs that (SQLite has one writer at a time)
//   beforeReplace(c)    runs first in a whole-tree import (table locks)
//   audits(c)           whether changes write audit entries (always, but
//                       when switched off to measure the trail's cost)
#ifndef STORE_SQLSTOREOPERATIONS_H_
#define STORE_SQLSTOREOPERATIONS_H_

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "AppMgr/appMgrErrorCodes.h"

#include "ClientLookup.h"
#include "SqliteSchema.h"
#include "SqliteStatements.h"
#include "store/AuditTrail.h"
#include "store/ConfigStore.h"
#include "store/ConfigTree.h"
#include "store/StoreFailure.h"

namespace sqlstore {

inline int ownerKind(PropertyOwner owner) {
  switch (owner) {
    case PropertyOwner::kClient:
      return kOwnerKindClient;
    case PropertyOwner::kInstance:
      return kOwnerKindInstance;
    case PropertyOwner::kBackupSet:
      return kOwnerKindBackupSet;
    case PropertyOwner::kSubclient:
      return kOwnerKindSubclient;
  }
  return 0;
}

inline bool ownerOfKind(int64_t kind, PropertyOwner& owner) {
  switch (kind) {
    case kOwnerKindClient:
      owner = PropertyOwner::kClient;
      return true;
    case kOwnerKindInstance:
      owner = PropertyOwner::kInstance;
      return true;
    case kOwnerKindBackupSet:
      owner = PropertyOwner::kBackupSet;
      return true;
    case kOwnerKindSubclient:
      owner = PropertyOwner::kSubclient;
      return true;
  }
  return false;
}

// Whether the write that follows the owner check changes the owner's rows.
enum class Row { kCheck, kLock };

// ---- Rows from result columns (the column order that every engine's
// statements of one number share) ----

template <typename Query>
void readVelmora(const Query& q, VelmoraRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.releaseId = q.unsignedAt(2);
  row.flags = q.unsignedAt(3);
  row.timeZoneId = q.unsignedAt(4);
  row.hostName = q.textAt(5);
  row.description = q.textAt(6);
  row.timeZoneName = q.textAt(7);
  row.installDir = q.textAt(8);
  row.utcOffsetMinutes = static_cast<int32_t>(q.signedAt(9));
}

template <typename Query>
void readClient(const Query& q, ClientRow& row) {
  row.id = q.unsignedAt(0);
  row.velmoraId = q.unsignedAt(1);
  row.name = q.textAt(2);
  row.hostName = q.textAt(3);
  row.qualifier = q.unsignedAt(4);
  row.attribute = q.unsignedAt(5);
  row.osName = q.textAt(6);
  row.osVersion = q.textAt(7);
  row.processor = q.textAt(8);
  row.versionText = q.textAt(9);
  row.isNAS = q.signedAt(10) != 0;
  row.isNonNDMP = q.signedAt(11) != 0;
}

template <typename Query>
void readInstance(const Query& q, InstanceRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.clientId = q.unsignedAt(3);
  row.appTypeId = q.unsignedAt(4);
  row.velmoraId = q.unsignedAt(5);
  row.description = q.textAt(6);
  row.clusterType = static_cast<int32_t>(q.signedAt(7));
  row.cloudAppsType = static_cast<int32_t>(q.signedAt(8));
}

template <typename Query>
void readBackupSet(const Query& q, BackupSetRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.instanceId = q.unsignedAt(3);
  row.clientId = q.unsignedAt(4);
  row.appTypeId = q.unsignedAt(5);
  row.description = q.textAt(6);
  row.subclientCount = q.unsignedAt(7);
}

template <typename Query>
void readSubclient(const Query& q, SubclientRow& row) {
  row.id = q.unsignedAt(0);
  row.name = q.textAt(1);
  row.flags = q.signedAt(2);
  row.backupSetId = q.unsignedAt(3);
  row.instanceId = q.unsignedAt(4);
  row.clientId = q.unsignedAt(5);
  row.description = q.textAt(6);
}

template <typename Query>
void readApplication(const Query& q, ApplicationRow& row) {
  row.appId = q.unsignedAt(0);
  row.aux1 = q.unsignedAt(1);
  row.aux2 = q.unsignedAt(2);
  row.velmoraId = q.unsignedAt(3);
  row.clientId = q.unsignedAt(4);
  row.appTypeId = q.unsignedAt(5);
  row.instanceId = q.unsignedAt(6);
  row.backupSetId = q.unsignedAt(7);
  row.subclientId = q.unsignedAt(8);
  row.instanceName = q.textAt(9);
  row.backupSetName = q.textAt(10);
  row.subclientName = q.textAt(11);
}

// Steps a list query to its end.
template <typename Query>
std::vector<ConfigStore::AdapterListRow> listRows(Query& query) {
  std::vector<ConfigStore::AdapterListRow> rows;
  while (query.next()) rows.push_back({query.unsignedAt(0), query.textAt(1), query.signedAt(2) != 0});
  return rows;
}

template <typename Query>
std::vector<ApplicationRow> applicationRows(Query& query) {
  std::vector<ApplicationRow> rows;
  while (query.next()) readApplication(query, rows.emplace_back());
  return rows;
}

inline int orderValue(ConfigStore::ListOrder order) {
  return order == ConfigStore::ListOrder::kByName ? 1 : 0;
}

template <typename Engine>
struct Operations {
  using Connection = typename Engine::Connection;
  using Query = typename Engine::Query;
  using AdapterListRow = ConfigStore::AdapterListRow;
  using ListOrder = ConfigStore::ListOrder;

  // 0 when the owner of a property list exists, else its not-found code.
  static int checkOwner(Connection& c, PropertyOwner owner, uint64_t id, Row row, std::string& errorText) {
    Sql sql = Sql::kClientExists;
    uint32_t code = XR_CLIENT_NOT_FOUND;
    const char* what = "Client";
    switch (owner) {
      case PropertyOwner::kClient:
        break;
      case PropertyOwner::kInstance:
        sql = Sql::kInstanceExists, code = XR_INSTANCE_NOT_FOUND, what = "Instance";
        break;
      case PropertyOwner::kBackupSet:
        sql = Sql::kBackupSetExists, code = XR_BACKUPSET_NOT_FOUND, what = "Backup set";
        break;
      case PropertyOwner::kSubclient:
        sql = Sql::kSubclientExists, code = XR_SUBCLIENT_NOT_FOUND, what = "Subclient";
        break;
    }
    Query query = Engine::ownerQuery(c, sql, row);
    query.bind(id);
    if (query.next()) return 0;
    return storeFailure(code, errorText, std::string(what) + " " + std::to_string(id) + " not found");
  }

  static int checkSubclientForEntries(Connection& c, uint64_t subclientId, Row row, std::string& errorText) {
    Query query = Engine::ownerQuery(c, Sql::kSubclientExists, row);
    query.bind(subclientId);
    if (query.next()) return 0;
    return noSubclientForEntries(subclientId, errorText);
  }

  static int noSubclientForEntries(uint64_t subclientId, std::string& errorText) {
    return storeFailure(XR_CONTENT_INVALID_SUBCLIENT, errorText,
                        "Subclient " + std::to_string(subclientId) + " not found");
  }

  static int findVelmora(Connection& c, uint64_t id, const std::string& name, VelmoraRow& out,
                         std::string& errorText) {
    Query query(c, name.empty() ? Sql::kFindVelmoraById : Sql::kFindVelmoraByName);
    name.empty() ? query.bind(id) : query.bind(name);
    if (!query.next()) {
      return storeFailure(
          XR_VELMORA_NOT_FOUND, errorText,
          name.empty() ? "Velmora " + std::to_string(id) + " not found" : "Velmora '" + name + "' not found");
    }
    readVelmora(query, out);
    return 0;
  }

  static int getGlobalParam(Connection& c, const std::string& name, std::string& value,
                            std::string& errorText) {
    Query query(c, Sql::kGetGlobalParam);
    query.bind(name);
    if (!query.next())
      return storeFailure(XR_INVALID_GLOBAL_PROP, errorText, "No global parameter '" + name + "'");
    value = query.textAt(0);
    return 0;
  }

  static int findApplication(Connection& c, ApplicationKey key, const ApplicationRow& match,
                             ApplicationRow& out, std::string& errorText) {
    Sql sql = Sql::kFindApplicationNumeric;
    switch (key) {
      case ApplicationKey::kNumeric:
        break;
      case ApplicationKey::kNames:
        sql = Sql::kFindApplicationNames;
        break;
      case ApplicationKey::kInstanceAndNames:
        sql = Sql::kFindApplicationInstanceAndNames;
        break;
      case ApplicationKey::kBackupSetAndName:
        sql = Sql::kFindApplicationBackupSetAndName;
        break;
      case ApplicationKey::kIds:
        sql = Sql::kFindApplicationIds;
        break;
    }
    Query query(c, sql);
    query.bind(match.velmoraId);
    switch (key) {
      case ApplicationKey::kNumeric:
        query.bind(match.appId);
        break;
      case ApplicationKey::kNames:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceName).bind(match.backupSetName);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kInstanceAndNames:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetName);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kBackupSetAndName:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetId);
        query.bind(match.subclientName);
        break;
      case ApplicationKey::kIds:
        query.bind(match.clientId).bind(match.appTypeId).bind(match.instanceId).bind(match.backupSetId);
        query.bind(match.subclientId);
        break;
    }
    if (!query.next()) return storeFailure(XR_APPID_NOT_FOUND, errorText, "Application not found");
    readApplication(query, out);
    return 0;
  }

  static int findClient(Connection& c, ClientKey key, const ClientRow& match, ClientRow& out,
                        std::string& errorText) {
    const Sql sql = key == ClientKey::kId     ? Sql::kFindClientById
                    : key == ClientKey::kName ? Sql::kFindClientByName
                                              : Sql::kFindClientByHostName;
    Query query(c, sql);
    if (key == ClientKey::kId) {
      query.bind(match.id);
    } else {
      query.bind(key == ClientKey::kName ? match.name : match.hostName);
    }
    if (!query.next()) return storeFailure(XR_CLIENT_NOT_FOUND, errorText, clientNotFound(key, match));
    readClient(query, out);
    return 0;
  }

  static int findInstance(Connection& c, uint64_t id, InstanceRow& out, std::string& errorText) {
    Query query(c, Sql::kFindInstance);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_INSTANCE_NOT_FOUND, errorText, "Instance " + std::to_string(id) + " not found");
    readInstance(query, out);
    return 0;
  }

  static int findBackupSet(Connection& c, uint64_t id, BackupSetRow& out, std::string& errorText) {
    Query query(c, Sql::kFindBackupSet);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_BACKUPSET_NOT_FOUND, errorText,
                          "Backup set " + std::to_string(id) + " not found");
    readBackupSet(query, out);
    return 0;
  }

  static int findSubclient(Connection& c, uint64_t id, SubclientRow& out, std::string& errorText) {
    Query query(c, Sql::kFindSubclient);
    query.bind(id);
    if (!query.next())
      return storeFailure(XR_SUBCLIENT_NOT_FOUND, errorText,
                          "Subclient " + std::to_string(id) + " not found");
    readSubclient(query, out);
    return 0;
  }

  static int listProperties(Connection& c, PropertyOwner owner, uint64_t id, std::vector<PropertyRow>& out) {
    std::vector<PropertyRow> rows;
    Query query(c, Sql::kListProperties);
    query.bind(ownerKind(owner)).bind(id);
    while (query.next())
      rows.push_back({query.textAt(0), static_cast<unsigned long>(query.unsignedAt(1)), query.textAt(2)});
    out = std::move(rows);
    return 0;
  }

  static int setProperties(Connection& c, PropertyOwner owner, uint64_t id,
                           const std::vector<PropertyRow>& properties, std::string& errorText) {
    const int result = checkOwner(c, owner, id, Row::kLock, errorText);
    if (result != 0) return result;
    const bool audit = Engine::audits(c);
    AuditChange change(AuditChange::Kind::kSetProperties);
    for (const PropertyRow& property : properties) {
      if (audit) {
        Query old(c, Sql::kFindProperty);
        old.bind(ownerKind(owner)).bind(id).bind(property.name);
        const bool existed = old.next();
        change.set(property.name, property.type, existed,
                   existed ? static_cast<unsigned long>(old.unsignedAt(0)) : 0,
                   existed ? old.textAt(1) : std::string(), property.value);
      }
      Query query(c, Sql::kUpsertProperty);
      query.bind(ownerKind(owner)).bind(id).bind(property.name).bind(static_cast<uint64_t>(property.type));
      query.bind(property.value).run();
    }
    if (audit && !properties.empty()) writeAudit(c, auditEntryNow(auditObjectKind(owner), id, change));
    return 0;
  }

  // The entry of a change, in the change's transaction.
  static void writeAudit(Connection& c, const AuditEntry& e) {
    Query q(c, Sql::kInsertAudit);
    q.bind(e.timeUs).bind(e.who).bind(e.requestCode).bind(e.requestName).bind(e.objectKind).bind(e.objectId);
    q.bind(e.change).run();
  }

  static int readAudit(Connection& c, const AuditFilter& filter, std::vector<AuditEntry>& out) {
    const bool byObject = !filter.objectKind.empty();
    Query q(c, byObject ? Sql::kReadAuditOfObject : Sql::kReadAudit);
    const uint64_t most = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    q.bind(filter.sinceUs).bind(filter.untilUs).bind(filter.limit == 0 ? most : std::min(filter.limit, most));
    if (byObject) q.bind(filter.objectKind).bind(filter.objectId);
    std::vector<AuditEntry> rows;
    while (q.next()) {
      AuditEntry& e = rows.emplace_back();
      e.seq = q.unsignedAt(0);
      e.timeUs = q.signedAt(1);
      e.who = q.textAt(2);
      e.requestCode = q.unsignedAt(3);
      e.requestName = q.textAt(4);
      e.objectKind = q.textAt(5);
      e.objectId = q.unsignedAt(6);
      e.change = q.textAt(7);
    }
    out = std::move(rows);
    return 0;
  }

  static int pruneAudit(Connection& c, int64_t beforeUs, uint64_t limit, uint64_t& deleted) {
    const uint64_t most = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    deleted =
        static_cast<uint64_t>(Query(c, Sql::kPruneAudit).bind(beforeUs).bind(std::min(limit, most)).run());
    return 0;
  }

  static int removeProperties(Connection& c, PropertyOwner owner, uint64_t id,
                              const std::vector<std::string>& names, std::string& errorText) {
    const int result = checkOwner(c, owner, id, Row::kLock, errorText);
    if (result != 0) return result;
    const bool audit = Engine::audits(c);
    AuditChange change(AuditChange::Kind::kRemoveProperties);
    for (const std::string& name : names) {
      if (audit) {
        Query old(c, Sql::kFindProperty);
        old.bind(ownerKind(owner)).bind(id).bind(name);
        if (!old.next()) continue;  // not set (or named twice): nothing to remove
        change.removed(name, static_cast<unsigned long>(old.unsignedAt(0)), old.textAt(1));
      }
      Query query(c, Sql::kDeleteProperty);
      query.bind(ownerKind(owner)).bind(id).bind(name).run();
    }
    if (audit && !names.empty()) writeAudit(c, auditEntryNow(auditObjectKind(owner), id, change));
    return 0;
  }

  static int listInstanceContent(Connection& c, uint64_t instanceId, std::vector<ContentRow>& out) {
    std::vector<ContentRow> rows;
    Query query(c, Sql::kListInstanceContent);
    query.bind(instanceId);
    while (query.next()) rows.push_back({static_cast<unsigned long>(query.unsignedAt(0)), query.textAt(1)});
    out = std::move(rows);
    return 0;
  }

  static int listSubclientEntries(Connection& c, uint64_t subclientId, int group,
                                  std::vector<std::string>& out, std::string& errorText) {
    Query query(c, Sql::kListSubclientEntries);
    query.bind(subclientId).bind(group);
    // No row: no subclient; a first row without an entry: an empty group.
    if (!query.next()) return noSubclientForEntries(subclientId, errorText);
    std::vector<std::string> rows;
    if (query.signedAt(1) != 0) {
      do {
        rows.push_back(query.textAt(0));
      } while (query.next());
    }
    out = std::move(rows);
    return 0;
  }

  static int updateSubclientEntries(Connection& c, uint64_t subclientId, int group,
                                    const std::vector<std::string>& add,
                                    const std::vector<std::string>& remove, std::string& errorText) {
    const int result = checkSubclientForEntries(c, subclientId, Row::kLock, errorText);
    if (result != 0) return result;
    if (group != kSubclientContentGroup && (group < kFirstFilterGroup || group > kLastFilterGroup)) {
      return storeFailure(
          XR_BAD_CONTENT_TYPE, errorText,
          "Entry group " + std::to_string(group) + " is neither the content nor a filter group");
    }
    std::vector<std::string> added, removed;
    for (const std::string& entry : add) {
      if (Query(c, Sql::kAddSubclientEntry).bind(subclientId).bind(group).bind(entry).run() != 0)
        added.push_back(entry);
    }
    for (const std::string& entry : remove) {
      if (Query(c, Sql::kDeleteSubclientEntry).bind(subclientId).bind(group).bind(entry).run() == 0) continue;
      // Added by this call and removed again: the group did not change by it.
      const auto it = std::find(added.begin(), added.end(), entry);
      if (it != added.end()) {
        added.erase(it);
      } else {
        removed.push_back(entry);
      }
    }
    AuditChange change(AuditChange::Kind::kEntries);
    change.entries(group, added, removed);
    if (Engine::audits(c) && (!add.empty() || !remove.empty()))
      writeAudit(c, auditEntryNow("subclient", subclientId, change));
    return 0;
  }

  static int listVelmoras(Connection& c, uint64_t velmoraId, ListOrder order,
                          std::vector<AdapterListRow>& out) {
    Query query(c, velmoraId != 0 ? Sql::kListVelmorasById : Sql::kListVelmorasAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(orderValue(order));
    out = listRows(query);
    return 0;
  }

  static int listClients(Connection& c, uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out) {
    Query query(c, velmoraId != 0 ? Sql::kListClientsOfVelmora : Sql::kListClientsAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(scope);
    out = listRows(query);
    return 0;
  }

  static int listClientsOfType(Connection& c, uint64_t velmoraId, uint32_t roles, ListOrder order,
                               std::vector<AdapterListRow>& out) {
    Query query(c, velmoraId != 0 ? Sql::kListClientsOfTypeOfVelmora : Sql::kListClientsOfTypeAll);
    if (velmoraId != 0) query.bind(velmoraId);
    query.bind(static_cast<int64_t>(roles)).bind(orderValue(order));
    out = listRows(query);
    return 0;
  }

  static int listApplications(Connection& c, uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                              uint64_t instanceId, uint64_t backupSetId, ListOrder order,
                              std::vector<ApplicationRow>& out) {
    const Sql sql = backupSetId != 0  ? Sql::kListApplicationsOfBackupSet
                    : instanceId != 0 ? Sql::kListApplicationsOfInstance
                    : clientId != 0   ? Sql::kListApplicationsOfClient
                    : velmoraId != 0  ? Sql::kListApplicationsOfVelmora
                    : appTypeId != 0  ? Sql::kListApplicationsOfType
                                      : Sql::kListApplicationsAll;
    Query query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(instanceId).bind(backupSetId);
    query.bind(orderValue(order));
    out = applicationRows(query);
    return 0;
  }

  static int listApplicationTypes(Connection& c, uint64_t clientId, int scope,
                                  std::vector<AdapterListRow>& out) {
    const Sql sql = scope == 0      ? Sql::kListApplicationTypesAll
                    : clientId != 0 ? Sql::kListApplicationTypesOfClient
                                    : Sql::kListApplicationTypesInUse;
    Query query(c, sql);
    if (sql == Sql::kListApplicationTypesOfClient) query.bind(clientId);
    out = listRows(query);
    return 0;
  }

  static int listInstances(Connection& c, uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId,
                           ListOrder order, std::vector<AdapterListRow>& out) {
    const Sql sql = clientId != 0    ? Sql::kListInstancesOfClient
                    : appTypeId != 0 ? Sql::kListInstancesOfType
                    : velmoraId != 0 ? Sql::kListInstancesOfVelmora
                                     : Sql::kListInstancesAll;
    Query query(c, sql);
    query.bind(velmoraId).bind(clientId).bind(appTypeId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  }

  static int listBackupSets(Connection& c, uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                            ListOrder order, std::vector<AdapterListRow>& out) {
    const Sql sql = instanceId != 0  ? Sql::kListBackupSetsOfInstance
                    : clientId != 0  ? Sql::kListBackupSetsOfClient
                    : appTypeId != 0 ? Sql::kListBackupSetsOfType
                                     : Sql::kListBackupSetsAll;
    Query query(c, sql);
    query.bind(clientId).bind(appTypeId).bind(instanceId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  }

  static int listSubclients(Connection& c, uint64_t clientId, uint64_t backupSetId, ListOrder order,
                            std::vector<AdapterListRow>& out) {
    const Sql sql = backupSetId != 0 ? Sql::kListSubclientsOfBackupSet
                    : clientId != 0  ? Sql::kListSubclientsOfClient
                                     : Sql::kListSubclientsAll;
    Query query(c, sql);
    query.bind(clientId).bind(backupSetId).bind(orderValue(order));
    out = listRows(query);
    return 0;
  }

  static int listArchiveGroupApplications(Connection& c, uint64_t velmoraId, uint64_t archiveGroupId,
                                          std::vector<ApplicationRow>& out) {
    const Sql sql = archiveGroupId != 0 ? Sql::kListArchiveGroupApplicationsOfGroup
                    : velmoraId != 0    ? Sql::kListArchiveGroupApplicationsOfVelmora
                                        : Sql::kListArchiveGroupApplicationsAll;
    Query query(c, sql);
    query.bind(velmoraId).bind(archiveGroupId);
    out = applicationRows(query);
    return 0;
  }

  static int findApplicationTypeName(Connection& c, uint64_t appTypeId, std::string& name,
                                     std::string& errorText) {
    Query query(c, Sql::kFindApplicationTypeName);
    query.bind(appTypeId);
    if (!query.next()) {
      return storeFailure(XR_APPTYPE_NOT_FOUND, errorText,
                          "Application type " + std::to_string(appTypeId) + " not found");
    }
    name = query.textAt(0);
    return 0;
  }

  static int findApplicationBySubclient(Connection& c, uint64_t subclientId, ApplicationRow& out,
                                        std::string& errorText) {
    Query query(c, Sql::kFindApplicationBySubclient);
    query.bind(subclientId);
    if (!query.next()) {
      return storeFailure(XR_APPID_NOT_FOUND, errorText,
                          "No application with subclient " + std::to_string(subclientId));
    }
    readApplication(query, out);
    return 0;
  }

  static int replaceTree(Connection& c, const ConfigTree& tree, std::string& errorText) {
    Engine::beforeReplace(c);
    if (Engine::audits(c)) {
      Query q(c, Sql::kCountTree);
      q.next();
      AuditChange change(AuditChange::Kind::kTree);
      change.replaced({{"velmoras", q.unsignedAt(0)},
                       {"clients", q.unsignedAt(1)},
                       {"instances", q.unsignedAt(2)},
                       {"backupSets", q.unsignedAt(3)},
                       {"subclients", q.unsignedAt(4)},
                       {"properties", q.unsignedAt(5)},
                       {"subclientEntries", q.unsignedAt(6)},
                       {"globalParams", q.unsignedAt(7)}});
      writeAudit(c, auditEntryNow("tree", 0, change));
    }
    for (Sql sql : {Sql::kDeleteAllSubclientEntries, Sql::kDeleteAllProperties, Sql::kDeleteAllApplications,
                    Sql::kDeleteAllSubclients, Sql::kDeleteAllBackupSets, Sql::kDeleteAllInstanceContent,
                    Sql::kDeleteAllInstances, Sql::kDeleteAllClients, Sql::kDeleteAllApplicationTypes,
                    Sql::kDeleteAllGlobalParams, Sql::kDeleteAllVelmoras}) {
      Query(c, sql).run();
    }
    for (const auto& [name, value] : tree.globalParams)
      Query(c, Sql::kInsertGlobalParam).bind(name).bind(value).run();
    for (const ApplicationTypeRow& row : tree.applicationTypes) {
      Query(c, Sql::kInsertApplicationType).bind(row.id).bind(row.name).run();
    }
    for (const VelmoraRow& row : tree.velmoras) {
      Query q(c, Sql::kInsertVelmora);
      q.bind(row.id)
          .bind(row.name)
          .bind(row.releaseId)
          .bind(row.flags)
          .bind(row.timeZoneId)
          .bind(row.hostName);
      q.bind(row.description).bind(row.timeZoneName).bind(row.installDir).bind(row.utcOffsetMinutes).run();
    }
    for (const ClientRow& row : tree.clients) {
      Query q(c, Sql::kInsertClient);
      q.bind(row.id)
          .bind(row.velmoraId)
          .bind(row.name)
          .bind(row.hostName)
          .bind(row.qualifier)
          .bind(row.attribute);
      q.bind(row.osName).bind(row.osVersion).bind(row.processor).bind(row.versionText).bind(row.isNAS);
      q.bind(row.isNonNDMP).run();
    }
    for (const InstanceRow& row : tree.instances) {
      Query q(c, Sql::kInsertInstance);
      q.bind(row.id)
          .bind(row.clientId)
          .bind(row.appTypeId)
          .bind(row.name)
          .bind(row.flags)
          .bind(row.description);
      q.bind(row.clusterType).bind(row.cloudAppsType).run();
    }
    for (const InstanceContent& content : tree.instanceContent) {
      int64_t seq = 0;
      for (const ContentRow& row : content.content) {
        Query q(c, Sql::kInsertInstanceContent);
        q.bind(content.instanceId).bind(++seq).bind(static_cast<uint64_t>(row.type)).bind(row.path).run();
      }
    }
    for (const BackupSetRow& row : tree.backupSets) {
      Query q(c, Sql::kInsertBackupSet);
      q.bind(row.id).bind(row.instanceId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const SubclientRow& row : tree.subclients) {
      Query q(c, Sql::kInsertSubclient);
      q.bind(row.id).bind(row.backupSetId).bind(row.name).bind(row.flags).bind(row.description).run();
    }
    for (const ApplicationRow& row : tree.applications) {
      Query q(c, Sql::kInsertApplication);
      if (q.bind(row.appId).bind(row.aux1).bind(row.aux2).bind(row.subclientId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: application " + std::to_string(row.appId) + " names subclient " +
                                std::to_string(row.subclientId) + ", which is not in the tree");
      }
    }
    for (const ClientRoles& row : tree.clientRoles) {
      if (Query(c, Sql::kSetClientRoles).bind(row.clientId).bind(static_cast<int64_t>(row.roles)).run() ==
          0) {
        return storeFailure(
            XR_INVALID_DATA, errorText,
            "replaceTree: roles for client " + std::to_string(row.clientId) + ", which is not in the tree");
      }
    }
    for (const ArchiveGroupAssignment& row : tree.archiveGroups) {
      Query q(c, Sql::kSetArchiveGroup);
      if (q.bind(row.velmoraId).bind(row.appId).bind(row.archiveGroupId).run() == 0) {
        return storeFailure(XR_INVALID_DATA, errorText,
                            "replaceTree: archive group for application " + std::to_string(row.appId) +
                                ", which is not in the tree");
      }
    }
    for (const OwnedProperties& owned : tree.properties) {
      if (owned.properties.empty()) continue;
      const int result = checkOwner(c, owned.owner, owned.ownerId, Row::kCheck, errorText);
      if (result != 0) return result;
      int64_t seq = 0;
      for (const PropertyRow& row : owned.properties) {
        Query q(c, Sql::kInsertProperty);
        q.bind(ownerKind(owned.owner)).bind(owned.ownerId).bind(++seq).bind(row.name);
        q.bind(static_cast<uint64_t>(row.type)).bind(row.value).run();
      }
    }
    for (const SubclientEntries& entries : tree.subclientEntries) {
      int64_t seq = 0;
      for (const std::string& entry : entries.entries) {
        Query q(c, Sql::kInsertSubclientEntry);
        q.bind(entries.subclientId).bind(entries.group).bind(++seq).bind(entry).run();
      }
    }
    return 0;
  }

  // Into `read`, which it empties first (a retried attempt starts afresh).
  static int readTree(Connection& c, ConfigTree& read) {
    read = ConfigTree();
    {
      Query q(c, Sql::kReadGlobalParams);
      while (q.next()) read.globalParams.emplace_back(q.textAt(0), q.textAt(1));
    }
    {
      Query q(c, Sql::kReadApplicationTypes);
      while (q.next()) read.applicationTypes.push_back({q.unsignedAt(0), q.textAt(1)});
    }
    {
      Query q(c, Sql::kReadVelmoras);
      while (q.next()) readVelmora(q, read.velmoras.emplace_back());
    }
    {
      Query q(c, Sql::kReadClients);
      while (q.next()) readClient(q, read.clients.emplace_back());
    }
    {
      Query q(c, Sql::kReadInstances);
      while (q.next()) readInstance(q, read.instances.emplace_back());
    }
    {
      Query q(c, Sql::kReadInstanceContent);
      while (q.next()) {
        const uint64_t instanceId = q.unsignedAt(0);
        if (read.instanceContent.empty() || read.instanceContent.back().instanceId != instanceId)
          read.instanceContent.push_back({instanceId, {}});
        read.instanceContent.back().content.push_back(
            {static_cast<unsigned long>(q.unsignedAt(1)), q.textAt(2)});
      }
    }
    {
      Query q(c, Sql::kReadBackupSets);
      while (q.next()) readBackupSet(q, read.backupSets.emplace_back());
    }
    {
      Query q(c, Sql::kReadSubclients);
      while (q.next()) readSubclient(q, read.subclients.emplace_back());
    }
    {
      Query q(c, Sql::kReadApplications);
      while (q.next()) readApplication(q, read.applications.emplace_back());
    }
    {
      Query q(c, Sql::kReadClientRoles);
      while (q.next()) read.clientRoles.push_back({q.unsignedAt(0), static_cast<uint32_t>(q.unsignedAt(1))});
    }
    {
      Query q(c, Sql::kReadArchiveGroups);
      while (q.next()) read.archiveGroups.push_back({q.unsignedAt(0), q.unsignedAt(1), q.unsignedAt(2)});
    }
    {
      Query q(c, Sql::kReadProperties);
      while (q.next()) {
        PropertyOwner owner = PropertyOwner::kClient;
        if (!ownerOfKind(q.signedAt(0), owner)) continue;  // the schema's CHECK keeps this from happening
        const uint64_t ownerId = q.unsignedAt(1);
        if (read.properties.empty() || read.properties.back().owner != owner ||
            read.properties.back().ownerId != ownerId) {
          read.properties.push_back({owner, ownerId, {}});
        }
        read.properties.back().properties.push_back(
            {q.textAt(2), static_cast<unsigned long>(q.unsignedAt(3)), q.textAt(4)});
      }
    }
    {
      Query q(c, Sql::kReadSubclientEntries);
      while (q.next()) {
        const uint64_t subclientId = q.unsignedAt(0);
        const int group = static_cast<int>(q.signedAt(1));
        if (read.subclientEntries.empty() || read.subclientEntries.back().subclientId != subclientId ||
            read.subclientEntries.back().group != group) {
          read.subclientEntries.push_back({subclientId, group, {}});
        }
        read.subclientEntries.back().entries.push_back(q.textAt(2));
      }
    }
    return 0;
  }
};

}  // namespace sqlstore

#endif  // STORE_SQLSTOREOPERATIONS_H_
