// The metrics endpoint: prometheus-cpp's exposer on a resolved loopback address.
#include "host/MetricsEndpoint.h"

#include <exception>

#include <asio.hpp>
#include <prometheus/exposer.h>

namespace appmgr {

MetricsEndpoint::MetricsEndpoint() = default;

MetricsEndpoint::~MetricsEndpoint() = default;

bool MetricsEndpoint::start(const std::string& host, uint16_t port,
                            std::weak_ptr<prometheus::Collectable> metrics, std::string& error) {
  asio::io_context io;
  asio::ip::tcp::resolver resolver(io);
  asio::error_code ec;
  const auto results =
      resolver.resolve(host, std::to_string(port), asio::ip::resolver_base::numeric_service, ec);
  if (ec || results.empty()) {
    error = "cannot resolve the metrics address " + host +
            " (--metrics): " + (ec ? ec.message() : std::string("no address"));
    return false;
  }
  for (const auto& result : results) {
    if (!result.endpoint().address().is_loopback()) {
      error = "refusing to serve metrics on " + host +
              " (--metrics): metrics are served on a loopback address "
              "only; scrape them through an agent or a tunnel on this machine";
      return false;
    }
  }
  const asio::ip::address address = results.begin()->endpoint().address();
  const std::string numeric = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  try {
    exposer_ = std::make_unique<prometheus::Exposer>(numeric + ":" + std::to_string(port), 1);
  } catch (const std::exception& e) {
    error = "cannot serve metrics on " + numeric + ":" + std::to_string(port) + " (--metrics): " + e.what();
    return false;
  }
  const auto ports = exposer_->GetListeningPorts();
  address_ = numeric + ":" + std::to_string(ports.empty() ? port : ports.front());
  exposer_->RegisterCollectable(metrics);
  return true;
}

}  // namespace appmgr
