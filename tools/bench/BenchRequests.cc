// Request frames of appmgr-bench, and the ids taken from a JSON tree.
#include "bench/BenchRequests.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"

#include "host/WireFormat.h"

namespace appmgr {
namespace bench {

namespace {

std::vector<unsigned char> requestFrame(unsigned long code, const void* record, size_t length) {
  const wire::FlatRecord flat =
      wire::flattenRecord(record, length, appmanRequestTextFields(code), std::string());
  wire::FrameHeader header;
  header.type = wire::FrameType::kRequest;
  header.code = code;
  return wire::buildFrame(header, flat.record, flat.textArea);
}

// The member `key` of `object` when it is an array; an empty array otherwise.
const nlohmann::json& arrayAt(const nlohmann::json& object, const char* key) {
  static const nlohmann::json empty = nlohmann::json::array();
  if (!object.is_object()) return empty;
  const auto it = object.find(key);
  return it != object.end() && it->is_array() ? *it : empty;
}

bool unsignedAt(const nlohmann::json& object, const char* key, uint64_t& out) {
  if (!object.is_object()) return false;
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_unsigned()) return false;
  out = it->get<uint64_t>();
  return true;
}

}  // namespace

bool parseRequestKind(const std::string& name, RequestKind& out) {
  if (name == "velmora") {
    out = RequestKind::kVelmoraById;
  } else if (name == "subclient") {
    out = RequestKind::kSubclientById;
  } else {
    return false;
  }
  return true;
}

const char* requestKindName(RequestKind kind) {
  return kind == RequestKind::kVelmoraById ? "Velmora by id" : "subclient lookup";
}

void setCorrelationId(unsigned char* frame, uint64_t id) {
  for (size_t i = 0; i < 8; ++i) frame[kCorrelationIdOffset + i] = static_cast<unsigned char>(id >> (8 * i));
}

BenchRequest velmoraRequest(uint32_t velmoraId) {
  appmanVelmoraByIdReq req;
  req.velmoraId = velmoraId;
  return {"velmora " + std::to_string(velmoraId), APPMAN_VELMORA_BY_ID_REQ,
          requestFrame(APPMAN_VELMORA_BY_ID_REQ, &req, sizeof req)};
}

BenchRequest redisGetRequest(const std::string& key) {
  const std::string command = "*2\r\n$3\r\nGET\r\n$" + std::to_string(key.size()) + "\r\n" + key + "\r\n";
  return {"redis GET " + key, 0, std::vector<unsigned char>(command.begin(), command.end())};
}

BenchRequest subclientRequest(uint64_t subclientId, uint64_t velmoraId, uint64_t appId) {
  const std::string appIdText =
      std::to_string(velmoraId) + XR_NUMERIC_APPLICATIONID_DELIMITER + std::to_string(appId);
  appmanObjectReq req;
  req.objectId = subclientId;
  req.appIdText = appIdText.c_str();
  return {"subclient " + std::to_string(subclientId) + " (" + appIdText + ")", APPMAN_SUBCLIENT_BY_ID_REQ,
          requestFrame(APPMAN_SUBCLIENT_BY_ID_REQ, &req, sizeof req)};
}

std::vector<BenchRequest> requestsFromTree(RequestKind kind, const std::string& treeJson) {
  const nlohmann::json tree = nlohmann::json::parse(treeJson, nullptr, /*allow_exceptions=*/false);
  if (tree.is_discarded() || !tree.is_object()) throw std::runtime_error("the tree is not a JSON object");
  std::vector<BenchRequest> out;
  for (const auto& velmora : arrayAt(tree, "velmoras")) {
    uint64_t velmoraId = 0;
    // A Velmora id is 32 bits wide in the request; larger ids cannot be asked for.
    if (!unsignedAt(velmora, "id", velmoraId) || velmoraId > UINT32_MAX) continue;
    if (kind == RequestKind::kVelmoraById) {
      out.push_back(velmoraRequest(static_cast<uint32_t>(velmoraId)));
      continue;
    }
    for (const auto& client : arrayAt(velmora, "clients")) {
      for (const auto& instance : arrayAt(client, "instances")) {
        for (const auto& backupSet : arrayAt(instance, "backupSets")) {
          for (const auto& subclient : arrayAt(backupSet, "subclients")) {
            uint64_t subclientId = 0;
            uint64_t appId = 0;
            const auto app = subclient.is_object() ? subclient.find("application") : subclient.end();
            if (!unsignedAt(subclient, "id", subclientId) || app == subclient.end() ||
                !unsignedAt(*app, "id", appId)) {
              continue;
            }
            out.push_back(subclientRequest(subclientId, velmoraId, appId));
          }
        }
      }
    }
  }
  if (out.empty()) {
    throw std::runtime_error(std::string("the tree holds nothing for a ") + requestKindName(kind));
  }
  return out;
}

}  // namespace bench
}  // namespace appmgr
