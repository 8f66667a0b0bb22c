// The per-thread state of held reads and its release timer.
#include "host/NetworkReadHold.h"

#include "store/ConfigStore.h"

namespace appmgr {

namespace {

struct Hold {
  std::shared_ptr<ConfigStore> store;  // the store whose reads are held; null: none
  std::unique_ptr<asio::steady_timer> timer;
  std::chrono::steady_clock::time_point lastUse;
  bool timing = false;  // a wait of the timer is out
};

thread_local Hold hold;

void onTimer(const asio::error_code& ec);

void wait() {
  hold.timing = true;
  hold.timer->expires_at(hold.lastUse + NetworkReadHold::kKeep);
  hold.timer->async_wait(onTimer);
}

void onTimer(const asio::error_code& ec) {
  hold.timing = false;
  if (ec || !hold.store) return;
  // Requests since the wait began moved lastUse on: wait for the rest.
  if (std::chrono::steady_clock::now() < hold.lastUse + NetworkReadHold::kKeep) {
    wait();
    return;
  }
  NetworkReadHold::release();
}

}  // namespace

void NetworkReadHold::touch(const std::shared_ptr<ConfigStore>& store, const asio::any_io_executor& executor,
                            std::chrono::steady_clock::time_point now) {
  if (hold.store != store) {
    release();
    if (!store) return;
    store->holdReads();
    hold.store = store;
  }
  hold.lastUse = now;
  if (hold.timing) return;  // the wait out sees lastUse when it ends
  if (!hold.timer) hold.timer = std::make_unique<asio::steady_timer>(executor);
  wait();
}

void NetworkReadHold::release() noexcept {
  if (hold.store) {
    hold.store->releaseReads();
    hold.store.reset();
  }
  if (hold.timing) hold.timer->cancel();
}

}  // namespace appmgr
