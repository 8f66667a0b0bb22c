// The HTTP endpoint that serves the host's metrics to a Prometheus scraper:
// GET /metrics in the text exposition format, on a loopback address only
// (the counts tell an outsider what the host is doing), on a thread of its
// own so a scrape never waits for the request path.
#ifndef HOST_METRICSENDPOINT_H_
#define HOST_METRICSENDPOINT_H_

#include <cstdint>
#include <memory>
#include <string>

#include <prometheus/collectable.h>

namespace prometheus {
class Exposer;
}

namespace appmgr {

class MetricsEndpoint {
 public:
  MetricsEndpoint();
  ~MetricsEndpoint();

  // Serves `metrics` at `host`:`port` (port 0 picks a free one). A name is
  // served when every address it resolves to is a loopback one; the first
  // is bound. False with a message naming --metrics otherwise.
  bool start(const std::string& host, uint16_t port, std::weak_ptr<prometheus::Collectable> metrics,
             std::string& error);
  // "ADDRESS:PORT" bound, an IPv6 address in brackets; empty before start.
  const std::string& address() const { return address_; }

 private:
  std::unique_ptr<prometheus::Exposer> exposer_;
  std::string address_;
};

}  // namespace appmgr

#endif  // HOST_METRICSENDPOINT_H_
