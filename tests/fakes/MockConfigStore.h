// GoogleMock of the configuration store.
#ifndef TESTS_FAKES_MOCKCONFIGSTORE_H_
#define TESTS_FAKES_MOCKCONFIGSTORE_H_

#include <gmock/gmock.h>

#include "store/ConfigStore.h"

class MockConfigStore : public ConfigStore {
 public:
  MOCK_METHOD(int, findVelmora, (uint64_t, const std::string&, VelmoraRow&, std::string&), (override));
  MOCK_METHOD(int, getGlobalParam, (const std::string&, std::string&, std::string&), (override));
  MOCK_METHOD(int, findApplication, (ApplicationKey, const ApplicationRow&, ApplicationRow&, std::string&),
              (override));
  MOCK_METHOD(int, findClient, (ClientKey, const ClientRow&, ClientRow&, std::string&), (override));
  MOCK_METHOD(int, findInstance, (uint64_t, InstanceRow&, std::string&), (override));
  MOCK_METHOD(int, findBackupSet, (uint64_t, BackupSetRow&, std::string&), (override));
  MOCK_METHOD(int, findSubclient, (uint64_t, SubclientRow&, std::string&), (override));
  MOCK_METHOD(int, listProperties,
              (PropertyOwner, uint64_t, int64_t, std::vector<PropertyRow>&, std::string&), (override));
  MOCK_METHOD(int, setProperties, (PropertyOwner, uint64_t, const std::vector<PropertyRow>&, std::string&),
              (override));
  MOCK_METHOD(int, removeProperties, (PropertyOwner, uint64_t, const std::vector<std::string>&, std::string&),
              (override));
  MOCK_METHOD(int, listInstanceContent, (uint64_t, std::vector<ContentRow>&, std::string&), (override));
  MOCK_METHOD(int, listSubclientEntries, (uint64_t, int, std::vector<std::string>&, std::string&),
              (override));
  MOCK_METHOD(int, updateSubclientEntries,
              (uint64_t, int, const std::vector<std::string>&, const std::vector<std::string>&, std::string&),
              (override));

  // Adapter list queries and lookups
  MOCK_METHOD(int, listVelmoras, (uint64_t, ListOrder, std::vector<AdapterListRow>&, std::string&),
              (override));
  MOCK_METHOD(int, listClients, (uint64_t, int, std::vector<AdapterListRow>&, std::string&), (override));
  MOCK_METHOD(int, listClientsOfType,
              (uint64_t, uint32_t, ListOrder, std::vector<AdapterListRow>&, std::string&), (override));
  MOCK_METHOD(int, listApplications,
              (uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, ListOrder, std::vector<ApplicationRow>&,
               std::string&),
              (override));
  MOCK_METHOD(int, listApplicationTypes, (uint64_t, int, std::vector<AdapterListRow>&, std::string&),
              (override));
  MOCK_METHOD(int, listInstances,
              (uint64_t, uint64_t, uint64_t, ListOrder, std::vector<AdapterListRow>&, std::string&),
              (override));
  MOCK_METHOD(int, listBackupSets,
              (uint64_t, uint64_t, uint64_t, ListOrder, std::vector<AdapterListRow>&, std::string&),
              (override));
  MOCK_METHOD(int, listSubclients,
              (uint64_t, uint64_t, ListOrder, std::vector<AdapterListRow>&, std::string&), (override));
  MOCK_METHOD(int, listArchiveGroupApplications,
              (uint64_t, uint64_t, std::vector<ApplicationRow>&, std::string&), (override));
  MOCK_METHOD(int, findApplicationTypeName, (uint64_t, std::string&, std::string&), (override));
  MOCK_METHOD(int, findApplicationBySubclient, (uint64_t, ApplicationRow&, std::string&), (override));
};

#endif  // TESTS_FAKES_MOCKCONFIGSTORE_H_
