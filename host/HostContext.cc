// Registry of live connections.
#include "host/HostContext.h"

namespace appmgr {

bool HostContext::enter(HostConnection* connection, const std::weak_ptr<HostConnection>& handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (live_.size() >= options.maxConnections) return false;
  live_.emplace(connection, handle);
  return true;
}

void HostContext::leave(HostConnection* connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  live_.erase(connection);
  if (live_.empty()) drained_.notify_all();
}

unsigned HostContext::connectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<unsigned>(live_.size());
}

std::vector<std::weak_ptr<HostConnection>> HostContext::liveConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::weak_ptr<HostConnection>> out;
  out.reserve(live_.size());
  for (const auto& entry : live_) out.push_back(entry.second);
  return out;
}

bool HostContext::waitUntilDrained(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return drained_.wait_for(lock, timeout, [this] { return live_.empty(); });
}

}  // namespace appmgr
