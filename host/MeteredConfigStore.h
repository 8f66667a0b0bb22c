// A configuration store that counts and times every operation of the store
// it wraps for the host's metrics, and otherwise passes each call through
// unchanged (requests included, so the wrapped store still serves a
// request's operations together).
#ifndef HOST_METEREDCONFIGSTORE_H_
#define HOST_METEREDCONFIGSTORE_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "host/HostMetrics.h"
#include "store/ConfigStore.h"

namespace appmgr {

class MeteredConfigStore final : public ConfigStore {
 public:
  // `metrics` outlives the store.
  MeteredConfigStore(std::shared_ptr<ConfigStore> inner, HostMetrics& metrics)
      : inner_(std::move(inner)), metrics_(metrics) {}

  void beginRequest() noexcept override { inner_->beginRequest(); }
  void endRequest() noexcept override { inner_->endRequest(); }
  void holdReads() noexcept override { inner_->holdReads(); }
  void releaseReads() noexcept override { inner_->releaseReads(); }
  // The audit trail is not metered: it is read by hand and pruned in the background.
  int readAudit(const AuditFilter& filter, std::vector<AuditEntry>& out, std::string& errorText) override {
    return inner_->readAudit(filter, out, errorText);
  }
  int pruneAudit(int64_t beforeUs, uint64_t limit, uint64_t& deleted, std::string& errorText) override {
    return inner_->pruneAudit(beforeUs, limit, deleted, errorText);
  }

  int findVelmora(uint64_t id, const std::string& name, VelmoraRow& out, std::string& errorText) override;
  int getGlobalParam(const std::string& name, std::string& value, std::string& errorText) override;
  int findApplication(ApplicationKey key, const ApplicationRow& match, ApplicationRow& out,
                      std::string& errorText) override;
  int findClient(ClientKey key, const ClientRow& match, ClientRow& out, std::string& errorText) override;
  int findInstance(uint64_t id, InstanceRow& out, std::string& errorText) override;
  int findBackupSet(uint64_t id, BackupSetRow& out, std::string& errorText) override;
  int findSubclient(uint64_t id, SubclientRow& out, std::string& errorText) override;
  int listProperties(PropertyOwner owner, uint64_t id, int64_t scope, std::vector<PropertyRow>& out,
                     std::string& errorText) override;
  int setProperties(PropertyOwner owner, uint64_t id, const std::vector<PropertyRow>& properties,
                    std::string& errorText) override;
  int removeProperties(PropertyOwner owner, uint64_t id, const std::vector<std::string>& names,
                       std::string& errorText) override;
  int listInstanceContent(uint64_t instanceId, std::vector<ContentRow>& out, std::string& errorText) override;
  int listSubclientEntries(uint64_t subclientId, int group, std::vector<std::string>& out,
                           std::string& errorText) override;
  int updateSubclientEntries(uint64_t subclientId, int group, const std::vector<std::string>& add,
                             const std::vector<std::string>& remove, std::string& errorText) override;
  int listVelmoras(uint64_t velmoraId, ListOrder order, std::vector<AdapterListRow>& out,
                   std::string& errorText) override;
  int listClients(uint64_t velmoraId, int scope, std::vector<AdapterListRow>& out,
                  std::string& errorText) override;
  int listClientsOfType(uint64_t velmoraId, uint32_t roles, ListOrder order, std::vector<AdapterListRow>& out,
                        std::string& errorText) override;
  int listApplications(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, uint64_t instanceId,
                       uint64_t backupSetId, ListOrder order, std::vector<ApplicationRow>& out,
                       std::string& errorText) override;
  int listApplicationTypes(uint64_t clientId, int scope, std::vector<AdapterListRow>& out,
                           std::string& errorText) override;
  int listInstances(uint64_t velmoraId, uint64_t clientId, uint64_t appTypeId, ListOrder order,
                    std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listBackupSets(uint64_t clientId, uint64_t appTypeId, uint64_t instanceId, ListOrder order,
                     std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listSubclients(uint64_t clientId, uint64_t backupSetId, ListOrder order,
                     std::vector<AdapterListRow>& out, std::string& errorText) override;
  int listArchiveGroupApplications(uint64_t velmoraId, uint64_t archiveGroupId,
                                   std::vector<ApplicationRow>& out, std::string& errorText) override;
  int findApplicationTypeName(uint64_t appTypeId, std::string& name, std::string& errorText) override;
  int findApplicationBySubclient(uint64_t subclientId, ApplicationRow& out, std::string& errorText) override;

 private:
  template <typename Call>
  int timed(StoreOperation operation, Call call) {
    const auto began = std::chrono::steady_clock::now();
    const int result = call();
    metrics_.countStoreOperation(operation, result == 0, std::chrono::steady_clock::now() - began);
    return result;
  }

  std::shared_ptr<ConfigStore> inner_;
  HostMetrics& metrics_;
};

}  // namespace appmgr

#endif  // HOST_METEREDCONFIGSTORE_H_
