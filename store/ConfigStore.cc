// Process-wide installation of the configuration store.
#include "store/ConfigStore.h"

#include <mutex>
#include <utility>

#include "store/ConfigTree.h"

namespace {
std::mutex& storeMutex() {
  static std::mutex mutex;
  return mutex;
}
std::shared_ptr<ConfigStore>& installedStore() {
  static std::shared_ptr<ConfigStore> store;
  return store;
}
thread_local AuditActor threadActor;
}  // namespace

ConfigStore::~ConfigStore() = default;

void ConfigStore::install(std::shared_ptr<ConfigStore> store) {
  std::lock_guard<std::mutex> lock(storeMutex());
  installedStore() = std::move(store);
}

std::shared_ptr<ConfigStore> ConfigStore::current() {
  std::lock_guard<std::mutex> lock(storeMutex());
  return installedStore();
}

ConfigStore::RequestScope::RequestScope(std::shared_ptr<ConfigStore> store) noexcept
    : store_(std::move(store)) {
  if (store_) store_->beginRequest();
}

ConfigStore::RequestScope::~RequestScope() {
  if (store_) store_->endRequest();
}

ConfigStore::ActorScope::ActorScope(const AuditActor& actor) noexcept : previous_(threadActor) {
  threadActor = actor;
}

ConfigStore::ActorScope::~ActorScope() { threadActor = previous_; }

AuditActor ConfigStore::currentActor() noexcept { return threadActor; }

int ConfigStore::readAudit(const AuditFilter&, std::vector<AuditEntry>& out, std::string&) {
  out.clear();
  return 0;
}

int ConfigStore::pruneAudit(int64_t, uint64_t, uint64_t& deleted, std::string&) {
  deleted = 0;
  return 0;
}

ConfigTreeStore::~ConfigTreeStore() = default;
