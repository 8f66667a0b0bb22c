// The requests appmgr-bench sends: each one a whole request frame built
// once (header, record, text area) so that the load loop only patches the
// correlation id. The ids come from a configuration tree in its JSON form
// (the one `appmgr store import` reads), or default to the sample tree's.
#ifndef TOOLS_BENCH_BENCHREQUESTS_H_
#define TOOLS_BENCH_BENCHREQUESTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace appmgr {
namespace bench {

enum class RequestKind {
  kVelmoraById,    // APPMAN_VELMORA_BY_ID_REQ for every Velmora of the tree
  kSubclientById,  // APPMAN_SUBCLIENT_BY_ID_REQ for every subclient with an application id
};

// "velmora" or "subclient"; false for another name.
bool parseRequestKind(const std::string& name, RequestKind& out);
const char* requestKindName(RequestKind kind);

struct BenchRequest {
  std::string label;  // "velmora 2", "subclient 9 (2:1046)"
  unsigned long code = 0;
  std::vector<unsigned char> frame;  // correlation id 0; patch with setCorrelationId
};

// Offset of the correlation id inside a frame header.
constexpr size_t kCorrelationIdOffset = 16;
void setCorrelationId(unsigned char* frame, uint64_t id);

// One request for `kind` per matching object of the tree in `treeJson`.
// Throws std::runtime_error when the text is not a tree or holds no object
// of that kind.
std::vector<BenchRequest> requestsFromTree(RequestKind kind, const std::string& treeJson);

// The request for one object: a Velmora id, or a subclient id with the
// Velmora and application ids its lookup names.
BenchRequest velmoraRequest(uint32_t velmoraId);
// A redis GET of `key`, for the reference runs (LoadOptions::redis).
BenchRequest redisGetRequest(const std::string& key);
BenchRequest subclientRequest(uint64_t subclientId, uint64_t velmoraId, uint64_t appId);

}  // namespace bench
}  // namespace appmgr

#endif  // TOOLS_BENCH_BENCHREQUESTS_H_
