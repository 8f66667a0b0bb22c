// Held store reads of a network thread. A network thread that serves
// requests itself holds reads on the store (ConfigStore::holdReads), so its
// requests share one read view for as long as nothing is written, instead
// of setting up one each (for SQLite: a read transaction, with its file
// locks, per request). The hold ends kKeep after the thread's last request,
// on a timer of the thread's own event loop, so an idle thread keeps no view
// that would stop the store from reclaiming space.
//
// All calls are made on the network thread itself; the state is per thread.
#ifndef HOST_NETWORKREADHOLD_H_
#define HOST_NETWORKREADHOLD_H_

#include <chrono>
#include <memory>

#include <asio.hpp>

class ConfigStore;

namespace appmgr {

class NetworkReadHold {
 public:
  static constexpr std::chrono::milliseconds kKeep{10};

  // Before the frames of a read are served on this thread (the host's one
  // call, in HostConnection::readHeader): holds reads on `store`
  // (ending a hold on another store) and keeps the hold kKeep past `now`.
  // The release timer runs on `executor`, the thread's event loop.
  static void touch(const std::shared_ptr<ConfigStore>& store, const asio::any_io_executor& executor,
                    std::chrono::steady_clock::time_point now);
  // Ends this thread's hold now; for the end of the thread's event loop.
  static void release() noexcept;
};

}  // namespace appmgr

#endif  // HOST_NETWORKREADHOLD_H_
