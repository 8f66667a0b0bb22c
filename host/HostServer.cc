// The host server: listening sockets, thread pools and the graceful stop.
#include "host/HostServer.h"

#include <cerrno>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <asio.hpp>
#include <asio/ssl.hpp>
#include <grp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/EvDebug.h"

#include "host/AuditRetention.h"
#include "host/HostConnection.h"
#include "host/HostContext.h"
#include "host/MeteredConfigStore.h"
#include "host/MetricsEndpoint.h"
#include "host/NetworkReadHold.h"
#include "host/TlsSupport.h"

namespace appmgr {

namespace {
constexpr const char* kTag = "HostServer";
using Acceptor = asio::basic_socket_acceptor<asio::generic::stream_protocol>;

// The port of a bound IPv4 or IPv6 endpoint.
uint16_t portOf(const asio::generic::stream_protocol::endpoint& endpoint) {
  const auto* address = static_cast<const sockaddr*>(endpoint.data());
  if (address->sa_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
  if (address->sa_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
  return 0;
}

// "ADDRESS:PORT", with an IPv6 address in brackets.
std::string endpointText(const asio::ip::address& address, uint16_t port) {
  const std::string text = address.to_string();
  return (address.is_v6() ? "[" + text + "]" : text) + ":" + std::to_string(port);
}
}  // namespace

class HostServer::Impl {
 public:
  Impl(const HostOptions& options, std::shared_ptr<ConfigStore> store)
      : store_(std::move(store)),
        context_(options, handlers_),
        handlers_(options.handlerThreads > 0 ? options.handlerThreads : 1) {
    const unsigned threads = options.networkThreads > 0 ? options.networkThreads : 1;
    for (unsigned i = 0; i < threads; ++i) networks_.push_back(std::make_unique<asio::io_context>(1));
  }

  ~Impl() { stop(); }

  bool start(std::string& error) {
    const HostOptions& options = context_.options;
    if (!makeTlsContext(options.tls, error)) return false;
    // The metrics endpoint first: when it cannot start, nothing is bound yet.
    if (context_.metrics &&
        !metrics_.start(options.metricsHost, options.metricsPort, context_.metrics, error)) {
      return false;
    }
    std::string where;  // the address being bound and its flag, for the error
    try {
      if (!options.listenHost.empty()) {
        // A name (localhost) is served when every address it resolves to is
        // allowed; the first one is bound.
        asio::ip::tcp::resolver resolver(*networks_.front());
        asio::error_code ec;
        const auto results = resolver.resolve(options.listenHost, std::to_string(options.listenPort),
                                              asio::ip::resolver_base::numeric_service, ec);
        if (ec || results.empty()) {
          error = "cannot resolve the listening address " + options.listenHost + ": " +
                  (ec ? ec.message() : std::string("no address"));
          return false;
        }
        for (const auto& result : results) {
          // Requests carry configuration and passwords: off this machine they
          // travel only inside TLS.
          if (!result.endpoint().address().is_loopback() && !tls_) {
            const std::string address = result.endpoint().address().to_string();
            error = "refusing to listen on " + options.listenHost +
                    (address == options.listenHost ? "" : " (" + address + ")") +
                    " without TLS: only a loopback address may be served in the clear; give a certificate "
                    "and key (appmgrd --tls-cert FILE --tls-key FILE, and --tls-ca FILE "
                    "--tls-require-client-cert for client certificates) or listen on 127.0.0.1";
            return false;
          }
        }
        const asio::ip::tcp::endpoint endpoint = results.begin()->endpoint();
        where = endpointText(endpoint.address(), endpoint.port()) + " (--listen)";
        auto acceptor = std::make_unique<Acceptor>(*networks_.front());
        const asio::generic::stream_protocol::endpoint generic(endpoint);
        acceptor->open(generic.protocol());
        acceptor->set_option(asio::socket_base::reuse_address(true));
        acceptor->bind(generic);
        acceptor->listen();
        port_ = portOf(acceptor->local_endpoint());
        boundAddress_ = endpointText(endpoint.address(), port_);
        acceptors_.push_back(std::move(acceptor));
        tcpAcceptor_ = acceptors_.back().get();
      }
      if (!options.unixSocketPath.empty()) {
        gid_t group = static_cast<gid_t>(-1);
        if (!options.unixGroup.empty()) {
          const struct group* entry = ::getgrnam(options.unixGroup.c_str());
          if (entry == nullptr) {
            error = "no group \"" + options.unixGroup + "\" for the Unix socket (--unix-group)";
            acceptors_.clear();
            return false;
          }
          group = entry->gr_gid;
        }
        where = "unix:" + options.unixSocketPath + " (--unix)";
        ::unlink(options.unixSocketPath.c_str());  // a stale socket of an earlier run
        const asio::generic::stream_protocol::endpoint generic(
            asio::local::stream_protocol::endpoint(options.unixSocketPath));
        auto acceptor = std::make_unique<Acceptor>(*networks_.front());
        acceptor->open(generic.protocol());
        acceptor->bind(generic);
        if (::chmod(options.unixSocketPath.c_str(), options.unixMode) != 0 ||
            (group != static_cast<gid_t>(-1) &&
             ::chown(options.unixSocketPath.c_str(), static_cast<uid_t>(-1), group) != 0)) {
          throw std::system_error(errno, std::generic_category(),
                                  "setting its mode or group (--unix-mode, --unix-group)");
        }
        acceptor->listen();
        acceptors_.push_back(std::move(acceptor));
      }
    } catch (const std::exception& e) {
      error = "cannot listen on " + where + ": " + e.what();
      acceptors_.clear();
      return false;
    }
    if (acceptors_.empty()) {
      error = "neither a TCP address nor a Unix socket to listen on";
      return false;
    }
    if (store_) {
      installed_ =
          context_.metrics ? std::make_shared<MeteredConfigStore>(store_, *context_.metrics) : store_;
      ConfigStore::install(installed_);
      retention_.start(store_, context_.options.auditRetentionDays);
    }
    for (auto& acceptor : acceptors_) accept(*acceptor);
    for (auto& network : networks_) {
      work_.push_back(asio::make_work_guard(*network));
      threads_.emplace_back([&network = *network] {
        network.run();
        NetworkReadHold::release();  // the thread's held store reads, with the loop it timed them on
      });
    }
    started_ = true;
    return true;
  }

  void stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    context_.stopping = true;
    // Stop accepting, on the network thread that owns the acceptors.
    std::promise<void> closed;
    asio::post(*networks_.front(), [this, &closed] {
      for (auto& acceptor : acceptors_) {
        asio::error_code ignored;
        acceptor->close(ignored);
      }
      closed.set_value();
    });
    closed.get_future().wait();
    retention_.stop();
    for (const auto& weak : context_.liveConnections()) {
      if (auto connection = weak.lock()) connection->shutdown();
    }
    if (!context_.waitUntilDrained(context_.options.stopGrace)) {
      EvEvent ev;
      ev.Error(kTag, "%u connections still busy after the stop grace period; closing them",
               context_.connectionCount());
      for (const auto& weak : context_.liveConnections()) {
        if (auto connection = weak.lock()) connection->abort();
      }
      context_.waitUntilDrained(std::chrono::seconds(1));
    }
    work_.clear();
    handlers_.stop();
    handlers_.join();
    for (auto& network : networks_) network->stop();
    for (auto& thread : threads_) thread.join();
    threads_.clear();
    if (!context_.options.unixSocketPath.empty()) ::unlink(context_.options.unixSocketPath.c_str());
    // Close the store: uninstall it if it is still ours and drop our reference.
    if (installed_ && ConfigStore::current() == installed_) ConfigStore::install(nullptr);
    installed_.reset();
    store_.reset();
  }

  // The server's TLS context when a certificate is configured; false with a
  // message when the settings are incomplete or a file does not load.
  bool makeTlsContext(const HostTlsOptions& options, std::string& error) {
    if (!options.enabled()) {
      if (!options.keyFile.empty() || !options.caFile.empty() || options.requireClientCertificate) {
        error = "TLS settings without a certificate: give the host's certificate too (--tls-cert FILE)";
        return false;
      }
      return true;
    }
    if (options.keyFile.empty()) {
      error = "a TLS certificate needs its private key (--tls-key FILE)";
      return false;
    }
    if (options.requireClientCertificate && options.caFile.empty()) {
      error = "requiring client certificates needs the authorities that issue them (--tls-ca FILE)";
      return false;
    }
    auto context = std::make_unique<asio::ssl::context>(tls::makeContext(asio::ssl::context::tls_server));
    if (!tls::loadIdentity(*context, options.certificateFile, options.keyFile, error)) return false;
    if (!options.caFile.empty()) {
      if (!tls::loadAuthorities(*context, options.caFile, error)) return false;
      // Tell clients which authorities are accepted, so they pick the right certificate.
      if (STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(options.caFile.c_str())) {
        SSL_CTX_set_client_CA_list(context->native_handle(), names);
      }
      context->set_verify_mode(asio::ssl::verify_peer |
                               (options.requireClientCertificate ? asio::ssl::verify_fail_if_no_peer_cert
                                                                 : asio::ssl::verify_none));
      // Resumed sessions of verified clients need an id context.
      static const unsigned char kSessionContext[] = "appmgrd";
      SSL_CTX_set_session_id_context(context->native_handle(), kSessionContext, sizeof kSessionContext - 1);
    }
    tls_ = std::move(context);
    return true;
  }

  // Accepts on the first network thread; connection n goes to thread
  // n modulo the thread count and stays there.
  void accept(Acceptor& acceptor) {
    asio::io_context& network = *networks_[nextNetwork_++ % networks_.size()];
    acceptor.async_accept(network.get_executor(), [this, &acceptor](const asio::error_code& ec,
                                                                    HostConnection::Socket socket) {
      if (ec == asio::error::operation_aborted || context_.stopping) return;
      if (ec) {
        EvEvent ev;
        ev.Error(kTag, "Accept failed: %s", ec.message().c_str());
      } else {
        const bool tcp = &acceptor == tcpAcceptor_;
        if (tcp) {
          asio::error_code ignored;
          socket.set_option(asio::ip::tcp::no_delay(true), ignored);
        }
        std::make_shared<HostConnection>(std::move(socket), context_, tcp ? tls_.get() : nullptr)->start();
      }
      accept(acceptor);
    });
  }

  std::shared_ptr<ConfigStore> store_;
  std::shared_ptr<ConfigStore> installed_;  // store_, wrapped for the metrics when they are on
  // Outlives every connection (destroyed after the io_contexts and their handlers).
  std::unique_ptr<asio::ssl::context> tls_;
  HostContext context_;      // holds a reference to handlers_, used only once started
  MetricsEndpoint metrics_;  // stopped before the context and its metrics go
  AuditRetention retention_;
  uint16_t port_ = 0;
  std::string boundAddress_;  // "ADDRESS:PORT" of the TCP listener
  const Acceptor* tcpAcceptor_ = nullptr;
  bool started_ = false;
  bool stopped_ = false;
  std::vector<std::thread> threads_;
  size_t nextNetwork_ = 0;  // first network thread only
  // Destroyed in reverse order: tasks the handler pool abandoned at stop,
  // then handlers still queued in the io_contexts, release their connections
  // while the io_contexts (their sockets) and the context are alive.
  // One io_context per network thread, each run by that thread alone.
  std::vector<std::unique_ptr<asio::io_context>> networks_;
  std::vector<std::unique_ptr<Acceptor>> acceptors_;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  asio::thread_pool handlers_;
};

HostServer::HostServer(const HostOptions& options, std::shared_ptr<ConfigStore> store)
    : impl_(std::make_unique<Impl>(options, std::move(store))) {}

HostServer::~HostServer() = default;

bool HostServer::start(std::string& error) { return impl_->start(error); }

uint16_t HostServer::port() const { return impl_->port_; }

std::string HostServer::listenAddress() const { return impl_->boundAddress_; }

std::string HostServer::metricsAddress() const { return impl_->metrics_.address(); }

void HostServer::stop() { impl_->stop(); }

bool HostServer::networkResponsive(std::chrono::milliseconds timeout) {
  struct Answers {
    std::mutex mutex;
    std::condition_variable all;
    size_t count = 0;
  };
  auto answers = std::make_shared<Answers>();  // outlives a wait that gives up
  for (auto& network : impl_->networks_) {
    asio::post(*network, [answers] {
      std::lock_guard<std::mutex> lock(answers->mutex);
      ++answers->count;
      answers->all.notify_one();
    });
  }
  std::unique_lock<std::mutex> lock(answers->mutex);
  const size_t threads = impl_->networks_.size();
  return answers->all.wait_for(lock, timeout, [&] { return answers->count == threads; });
}

unsigned HostServer::connections() const { return impl_->context_.connectionCount(); }

uint64_t HostServer::requestsAnswered() const { return impl_->context_.requestsAnswered; }

}  // namespace appmgr
