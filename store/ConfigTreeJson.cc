// JSON codec of the configuration tree. The text nests the tree (Velmoras,
// their clients, instances, backup sets and subclients); ConfigTree keeps it
// flat with parent ids. Parsing checks everything a store would refuse
// (types, ranges, references, duplicate ids and names) so that a bad file is
// reported with the JSON path of the offending value before any store sees
// it.
#include "store/ConfigTreeJson.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "AppMgr/appMgrErrorCodes.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kFormatName = "appmgr-config-tree";
constexpr int64_t kFormatVersion = 1;
constexpr uint64_t kMaxId = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

int invalid(std::string& errorText, const std::string& text) {
  errorText = text;
  return static_cast<int>(XR_INVALID_DATA);
}

// ---- Parsing ----

struct BadTree {
  std::string path;
  std::string why;
};

[[noreturn]] void fail(const std::string& path, const std::string& why) { throw BadTree{path, why}; }

std::string elementPath(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

const char* kindName(const Json& j) { return j.type_name(); }

// Reads the members of one JSON object, each at most once; finish() refuses
// the members nobody asked for, so that a misspelt name is not silently
// dropped.
class ObjectReader {
 public:
  ObjectReader(const Json& json, std::string path) : json_(json), path_(std::move(path)) {
    if (!json_.is_object()) fail(path_, std::string("expected an object, found ") + kindName(json_));
  }

  std::string pathOf(const std::string& key) const { return path_ + "." + key; }
  const std::string& path() const { return path_; }

  const Json* find(const char* key) {
    used_.insert(key);
    const auto it = json_.find(key);
    return it == json_.end() ? nullptr : &*it;
  }

  const Json& require(const char* key) {
    const Json* value = find(key);
    if (value == nullptr) fail(pathOf(key), "missing");
    return *value;
  }

  void finish() const {
    for (const auto& item : json_.items()) {
      if (used_.count(item.key()) == 0) fail(pathOf(item.key()), "unknown member");
    }
  }

  uint64_t unsignedValue(const char* key, uint64_t fallback = 0) {
    const Json* value = find(key);
    return value == nullptr ? fallback : readUnsigned(*value, pathOf(key));
  }
  int64_t signedValue(const char* key, int64_t fallback = 0) {
    const Json* value = find(key);
    return value == nullptr ? fallback : readSigned(*value, pathOf(key));
  }
  int32_t int32Value(const char* key) {
    const int64_t value = signedValue(key);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
      fail(pathOf(key), "out of range of a 32-bit integer");
    return static_cast<int32_t>(value);
  }
  bool boolValue(const char* key) {
    const Json* value = find(key);
    if (value == nullptr) return false;
    if (!value->is_boolean())
      fail(pathOf(key), std::string("expected true or false, found ") + kindName(*value));
    return value->get<bool>();
  }
  std::string text(const char* key) {
    const Json* value = find(key);
    return value == nullptr ? std::string() : readText(*value, pathOf(key));
  }
  std::string name(const char* key) {
    std::string value = readText(require(key), pathOf(key));
    if (value.empty()) fail(pathOf(key), "must not be empty");
    return value;
  }
  uint64_t id(const char* key) { return readId(require(key), pathOf(key)); }

  static uint64_t readUnsigned(const Json& value, const std::string& path) {
    if (value.is_number_unsigned()) return value.get<uint64_t>();
    if (value.is_number_integer()) fail(path, "must not be negative");
    fail(path, std::string("expected an integer, found ") + kindName(value));
  }
  static int64_t readSigned(const Json& value, const std::string& path) {
    if (value.is_number_unsigned()) {
      const uint64_t u = value.get<uint64_t>();
      if (u > kMaxId) fail(path, "out of range of a 64-bit signed integer");
      return static_cast<int64_t>(u);
    }
    if (value.is_number_integer()) return value.get<int64_t>();
    fail(path, std::string("expected an integer, found ") + kindName(value));
  }
  static uint64_t readId(const Json& value, const std::string& path) {
    const uint64_t id = readUnsigned(value, path);
    if (id == 0 || id > kMaxId) fail(path, "an id must be between 1 and 9223372036854775807");
    return id;
  }
  static std::string readText(const Json& value, const std::string& path) {
    if (!value.is_string()) fail(path, std::string("expected a string, found ") + kindName(value));
    return value.get<std::string>();
  }

 private:
  const Json& json_;
  std::string path_;
  std::set<std::string> used_;
};

const Json* optionalArray(ObjectReader& reader, const char* key) {
  const Json* value = reader.find(key);
  if (value != nullptr && !value->is_array())
    fail(reader.pathOf(key), std::string("expected an array, found ") + kindName(*value));
  return value;
}

// Builds the flat tree while checking ids, names and references.
class TreeParser {
 public:
  explicit TreeParser(ConfigTree& tree) : tree_(tree) {}

  void parse(const Json& root) {
    ObjectReader reader(root, "$");
    const Json& format = reader.require("format");
    if (!format.is_string() || format.get<std::string>() != kFormatName)
      fail(reader.pathOf("format"), std::string("expected \"") + kFormatName + "\"");
    const Json& version = reader.require("version");
    if (!version.is_number_integer() || version.get<int64_t>() != kFormatVersion)
      fail(reader.pathOf("version"),
           "unsupported version " + version.dump() + "; this build reads version 1");
    if (const Json* params = reader.find("globalParams")) {
      if (!params->is_object())
        fail(reader.pathOf("globalParams"), std::string("expected an object, found ") + kindName(*params));
      for (const auto& item : params->items()) {
        const std::string path = reader.pathOf("globalParams") + "[" + Json(item.key()).dump() + "]";
        if (item.key().empty()) fail(path, "a parameter name must not be empty");
        tree_.globalParams.emplace_back(item.key(), ObjectReader::readText(item.value(), path));
      }
    }
    if (const Json* types = optionalArray(reader, "applicationTypes")) {
      for (size_t i = 0; i < types->size(); ++i)
        parseApplicationType((*types)[i], elementPath(reader.pathOf("applicationTypes"), i));
    }
    if (const Json* velmoras = optionalArray(reader, "velmoras")) {
      for (size_t i = 0; i < velmoras->size(); ++i)
        parseVelmora((*velmoras)[i], elementPath(reader.pathOf("velmoras"), i));
    }
    reader.finish();
  }

 private:
  template <typename Key>
  static void claim(std::set<Key>& taken, const Key& key, const std::string& path, const std::string& what) {
    if (!taken.insert(key).second) fail(path, what);
  }

  void parseApplicationType(const Json& json, const std::string& path) {
    ObjectReader r(json, path);
    ApplicationTypeRow row;
    row.id = r.id("id");
    claim(appTypeIds_, row.id, r.pathOf("id"),
          "application type " + std::to_string(row.id) + " is declared twice");
    row.name = r.name("name");
    r.finish();
    tree_.applicationTypes.push_back(row);
  }

  void parseVelmora(const Json& json, const std::string& path) {
    ObjectReader r(json, path);
    VelmoraRow row;
    row.id = r.id("id");
    claim(velmoraIds_, row.id, r.pathOf("id"), "Velmora " + std::to_string(row.id) + " appears twice");
    row.name = r.name("name");
    claim(velmoraNames_, row.name, r.pathOf("name"), "another Velmora has the name '" + row.name + "'");
    row.releaseId = r.unsignedValue("releaseId");
    row.flags = r.unsignedValue("flags");
    row.timeZoneId = r.unsignedValue("timeZoneId");
    row.hostName = r.text("hostName");
    row.description = r.text("description");
    row.timeZoneName = r.text("timeZoneName");
    row.installDir = r.text("installDir");
    row.utcOffsetMinutes = r.int32Value("utcOffsetMinutes");
    tree_.velmoras.push_back(row);
    if (const Json* clients = optionalArray(r, "clients")) {
      for (size_t i = 0; i < clients->size(); ++i)
        parseClient((*clients)[i], elementPath(r.pathOf("clients"), i), row);
    }
    r.finish();
  }

  void parseClient(const Json& json, const std::string& path, const VelmoraRow& velmora) {
    ObjectReader r(json, path);
    ClientRow row;
    row.id = r.id("id");
    claim(clientIds_, row.id, r.pathOf("id"), "client " + std::to_string(row.id) + " appears twice");
    row.velmoraId = velmora.id;
    row.name = r.name("name");
    claim(clientNames_, row.name, r.pathOf("name"), "another client has the name '" + row.name + "'");
    row.hostName = r.text("hostName");
    row.qualifier = r.unsignedValue("qualifier");
    row.attribute = r.unsignedValue("attribute");
    row.osName = r.text("osName");
    row.osVersion = r.text("osVersion");
    row.processor = r.text("processor");
    row.versionText = r.text("versionText");
    row.isNAS = r.boolValue("isNAS");
    row.isNonNDMP = r.boolValue("isNonNDMP");
    const uint64_t roles = r.unsignedValue("roles");
    if (roles > std::numeric_limits<uint32_t>::max())
      fail(r.pathOf("roles"), "out of range of a 32-bit mask");
    if (roles != 0) tree_.clientRoles.push_back({row.id, static_cast<uint32_t>(roles)});
    tree_.clients.push_back(row);
    parseProperties(r, PropertyOwner::kClient, row.id);
    if (const Json* instances = optionalArray(r, "instances")) {
      for (size_t i = 0; i < instances->size(); ++i)
        parseInstance((*instances)[i], elementPath(r.pathOf("instances"), i), row);
    }
    r.finish();
  }

  void parseInstance(const Json& json, const std::string& path, const ClientRow& client) {
    ObjectReader r(json, path);
    InstanceRow row;
    row.id = r.id("id");
    claim(instanceIds_, row.id, r.pathOf("id"), "instance " + std::to_string(row.id) + " appears twice");
    row.name = r.name("name");
    row.appTypeId = ObjectReader::readId(r.require("applicationType"), r.pathOf("applicationType"));
    if (appTypeIds_.count(row.appTypeId) == 0)
      fail(r.pathOf("applicationType"),
           "application type " + std::to_string(row.appTypeId) + " is not declared in $.applicationTypes");
    claim(instanceNames_, std::make_tuple(client.id, row.appTypeId, row.name), r.pathOf("name"),
          "the client has another instance of this application type named '" + row.name + "'");
    row.clientId = client.id;
    row.velmoraId = client.velmoraId;
    row.flags = r.signedValue("flags");
    row.description = r.text("description");
    row.clusterType = r.int32Value("clusterType");
    row.cloudAppsType = r.int32Value("cloudAppsType");
    tree_.instances.push_back(row);
    parseProperties(r, PropertyOwner::kInstance, row.id);
    if (const Json* content = optionalArray(r, "content")) {
      InstanceContent list;
      list.instanceId = row.id;
      for (size_t i = 0; i < content->size(); ++i) {
        ObjectReader item((*content)[i], elementPath(r.pathOf("content"), i));
        ContentRow entry;
        entry.type = ObjectReader::readUnsigned(item.require("type"), item.pathOf("type"));
        entry.path = item.name("path");
        item.finish();
        list.content.push_back(entry);
      }
      if (!list.content.empty()) tree_.instanceContent.push_back(list);
    }
    if (const Json* sets = optionalArray(r, "backupSets")) {
      for (size_t i = 0; i < sets->size(); ++i)
        parseBackupSet((*sets)[i], elementPath(r.pathOf("backupSets"), i), row);
    }
    r.finish();
  }

  void parseBackupSet(const Json& json, const std::string& path, const InstanceRow& instance) {
    ObjectReader r(json, path);
    BackupSetRow row;
    row.id = r.id("id");
    claim(backupSetIds_, row.id, r.pathOf("id"), "backup set " + std::to_string(row.id) + " appears twice");
    row.name = r.name("name");
    claim(backupSetNames_, std::make_pair(instance.id, row.name), r.pathOf("name"),
          "the instance has another backup set named '" + row.name + "'");
    row.instanceId = instance.id;
    row.clientId = instance.clientId;
    row.appTypeId = instance.appTypeId;
    row.flags = r.signedValue("flags");
    row.description = r.text("description");
    parseProperties(r, PropertyOwner::kBackupSet, row.id);
    const size_t index = tree_.backupSets.size();
    tree_.backupSets.push_back(row);
    uint64_t count = 0;
    if (const Json* subclients = optionalArray(r, "subclients")) {
      for (size_t i = 0; i < subclients->size(); ++i) {
        parseSubclient((*subclients)[i], elementPath(r.pathOf("subclients"), i), row, instance);
        ++count;
      }
    }
    tree_.backupSets[index].subclientCount = count;
    r.finish();
  }

  void parseSubclient(const Json& json, const std::string& path, const BackupSetRow& backupSet,
                      const InstanceRow& instance) {
    ObjectReader r(json, path);
    SubclientRow row;
    row.id = r.id("id");
    claim(subclientIds_, row.id, r.pathOf("id"), "subclient " + std::to_string(row.id) + " appears twice");
    row.name = r.name("name");
    claim(subclientNames_, std::make_pair(backupSet.id, row.name), r.pathOf("name"),
          "the backup set has another subclient named '" + row.name + "'");
    row.backupSetId = backupSet.id;
    row.instanceId = instance.id;
    row.clientId = instance.clientId;
    row.flags = r.signedValue("flags");
    row.description = r.text("description");
    tree_.subclients.push_back(row);
    if (const Json* application = r.find("application")) {
      ObjectReader a(*application, r.pathOf("application"));
      ApplicationRow app;
      app.appId = a.id("id");
      claim(appIds_, std::make_pair(instance.velmoraId, app.appId), a.pathOf("id"),
            "application id " + std::to_string(app.appId) + " is used twice in this Velmora");
      app.aux1 = a.unsignedValue("aux1");
      app.aux2 = a.unsignedValue("aux2");
      if (const Json* group = a.find("archiveGroup")) {
        tree_.archiveGroups.push_back(
            {instance.velmoraId, app.appId, ObjectReader::readUnsigned(*group, a.pathOf("archiveGroup"))});
      }
      a.finish();
      app.velmoraId = instance.velmoraId;
      app.clientId = instance.clientId;
      app.appTypeId = instance.appTypeId;
      app.instanceId = instance.id;
      app.backupSetId = backupSet.id;
      app.subclientId = row.id;
      app.instanceName = instance.name;
      app.backupSetName = backupSet.name;
      app.subclientName = row.name;
      tree_.applications.push_back(app);
    }
    parseProperties(r, PropertyOwner::kSubclient, row.id);
    if (const Json* content = optionalArray(r, "content")) {
      parseEntries(*content, r.pathOf("content"), row.id, kSubclientContentGroup);
    }
    if (const Json* filters = r.find("filters")) {
      if (!filters->is_object())
        fail(r.pathOf("filters"), std::string("expected an object, found ") + kindName(*filters));
      std::map<int, const Json*> groups;  // numeric order, whatever the text's order
      std::map<int, std::string> paths;
      for (const auto& item : filters->items()) {
        const std::string groupPath = r.pathOf("filters") + "[" + Json(item.key()).dump() + "]";
        const int group = parseGroup(item.key(), groupPath);
        if (!groups.emplace(group, &item.value()).second) fail(groupPath, "filter group given twice");
        paths[group] = groupPath;
      }
      for (const auto& [group, entries] : groups) {
        if (!entries->is_array())
          fail(paths[group], std::string("expected an array, found ") + kindName(*entries));
        parseEntries(*entries, paths[group], row.id, group);
      }
    }
    r.finish();
  }

  // A group key is one decimal digit, a filter group from 2 to 8.
  static int parseGroup(const std::string& key, const std::string& path) {
    if (key == "1") fail(path, "group 1 is the content; list it under \"content\"");
    if (key.size() != 1 || key[0] < '0' + kFirstFilterGroup || key[0] > '0' + kLastFilterGroup)
      fail(path, "a filter group is a number from 2 to 8");
    return key[0] - '0';
  }

  void parseEntries(const Json& list, const std::string& path, uint64_t subclientId, int group) {
    SubclientEntries entries;
    entries.subclientId = subclientId;
    entries.group = group;
    std::set<std::string> seen;
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string itemPath = elementPath(path, i);
      // Empty entries are kept: a store accepts them, so an export may hold them.
      std::string entry = ObjectReader::readText(list[i], itemPath);
      claim(seen, entry, itemPath, "'" + entry + "' is listed twice");
      entries.entries.push_back(std::move(entry));
    }
    if (!entries.entries.empty()) tree_.subclientEntries.push_back(std::move(entries));
  }

  void parseProperties(ObjectReader& owner, PropertyOwner kind, uint64_t ownerId) {
    const Json* list = optionalArray(owner, "properties");
    if (list == nullptr) return;
    OwnedProperties owned;
    owned.owner = kind;
    owned.ownerId = ownerId;
    std::set<std::string> names;
    for (size_t i = 0; i < list->size(); ++i) {
      ObjectReader r((*list)[i], elementPath(owner.pathOf("properties"), i));
      PropertyRow row;
      // Any text, the empty one included, is a property name to a store.
      row.name = ObjectReader::readText(r.require("name"), r.pathOf("name"));
      claim(names, row.name, r.pathOf("name"), "the property '" + row.name + "' is set twice");
      row.type = ObjectReader::readUnsigned(r.require("type"), r.pathOf("type"));
      row.value = ObjectReader::readText(r.require("value"), r.pathOf("value"));
      r.finish();
      owned.properties.push_back(std::move(row));
    }
    if (!owned.properties.empty()) tree_.properties.push_back(std::move(owned));
  }

  ConfigTree& tree_;
  std::set<uint64_t> appTypeIds_, velmoraIds_, clientIds_, instanceIds_, backupSetIds_, subclientIds_;
  std::set<std::string> velmoraNames_, clientNames_;
  std::set<std::tuple<uint64_t, uint64_t, std::string>> instanceNames_;
  std::set<std::pair<uint64_t, std::string>> backupSetNames_, subclientNames_;
  std::set<std::pair<uint64_t, uint64_t>> appIds_;
};

// ---- Formatting ----

// Sets key to value unless value is its type's default.
template <typename T>
void put(Json& object, const char* key, const T& value) {
  if (value != T{}) object[key] = value;
}

template <typename Row>
std::vector<const Row*> sortedById(const std::vector<Row>& rows) {
  std::vector<const Row*> sorted;
  for (const Row& row : rows) sorted.push_back(&row);
  std::stable_sort(sorted.begin(), sorted.end(), [](const Row* a, const Row* b) { return a->id < b->id; });
  return sorted;
}

struct Orphan {
  std::string text;
};

class TreeFormatter {
 public:
  explicit TreeFormatter(const ConfigTree& tree) : tree_(tree) {
    for (const ApplicationTypeRow& row : tree.applicationTypes) appTypes_.insert(row.id);
    for (const VelmoraRow& row : tree.velmoras) velmoras_.insert(row.id);
    for (const ClientRow& row : tree.clients) clientIds_.insert(row.id);
    for (const InstanceRow& row : tree.instances) instanceIds_.insert(row.id);
    for (const BackupSetRow& row : tree.backupSets) backupSetIds_.insert(row.id);
    for (const SubclientRow& row : tree.subclients) subclientIds_.insert(row.id);
    for (const ClientRow* row : sortedById(tree.clients)) {
      if (velmoras_.count(row->velmoraId) == 0)
        orphan("client " + std::to_string(row->id), "Velmora", row->velmoraId);
      clients_[row->velmoraId].push_back(row);
    }
    for (const InstanceRow* row : sortedById(tree.instances)) {
      if (!has(clientIds_, row->clientId))
        orphan("instance " + std::to_string(row->id), "client", row->clientId);
      if (appTypes_.count(row->appTypeId) == 0)
        orphan("instance " + std::to_string(row->id), "application type", row->appTypeId);
      instances_[row->clientId].push_back(row);
    }
    for (const BackupSetRow* row : sortedById(tree.backupSets)) {
      if (!has(instanceIds_, row->instanceId))
        orphan("backup set " + std::to_string(row->id), "instance", row->instanceId);
      backupSets_[row->instanceId].push_back(row);
    }
    for (const SubclientRow* row : sortedById(tree.subclients)) {
      if (!has(backupSetIds_, row->backupSetId))
        orphan("subclient " + std::to_string(row->id), "backup set", row->backupSetId);
      subclients_[row->backupSetId].push_back(row);
    }
    for (const ClientRoles& row : tree.clientRoles) {
      if (!has(clientIds_, row.clientId)) orphan("a role mask", "client", row.clientId);
      roles_[row.clientId] = row.roles;
    }
    for (const ApplicationRow& row : tree.applications) applicationKeys_.insert({row.velmoraId, row.appId});
    for (const ArchiveGroupAssignment& row : tree.archiveGroups) {
      if (applicationKeys_.count({row.velmoraId, row.appId}) == 0)
        orphan("archive group " + std::to_string(row.archiveGroupId), "application", row.appId);
      archiveGroups_[{row.velmoraId, row.appId}] = row.archiveGroupId;
    }
    for (const ApplicationRow& row : tree.applications) {
      if (!has(subclientIds_, row.subclientId))
        orphan("application " + std::to_string(row.appId), "subclient", row.subclientId);
      applications_[row.subclientId] = &row;
    }
    for (const OwnedProperties& owned : tree.properties) {
      if (owned.properties.empty()) continue;
      const bool known = (owned.owner == PropertyOwner::kClient && has(clientIds_, owned.ownerId)) ||
                         (owned.owner == PropertyOwner::kInstance && has(instanceIds_, owned.ownerId)) ||
                         (owned.owner == PropertyOwner::kBackupSet && has(backupSetIds_, owned.ownerId)) ||
                         (owned.owner == PropertyOwner::kSubclient && has(subclientIds_, owned.ownerId));
      if (!known)
        throw Orphan{"properties of object " + std::to_string(owned.ownerId) + " have no owner in the tree"};
      properties_[{owned.owner, owned.ownerId}] = &owned.properties;
    }
    for (const InstanceContent& content : tree.instanceContent) {
      if (content.content.empty()) continue;
      if (!has(instanceIds_, content.instanceId)) orphan("content", "instance", content.instanceId);
      instanceContent_[content.instanceId] = &content.content;
    }
    for (const SubclientEntries& entries : tree.subclientEntries) {
      if (entries.entries.empty()) continue;
      if (!has(subclientIds_, entries.subclientId)) orphan("entries", "subclient", entries.subclientId);
      entries_[entries.subclientId][entries.group] = &entries.entries;
    }
  }

  Json format() const {
    Json root = Json::object();
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    Json params = Json::object();
    std::map<std::string, std::string> sorted(tree_.globalParams.begin(), tree_.globalParams.end());
    for (const auto& [name, value] : sorted) params[name] = value;
    root["globalParams"] = params;
    Json types = Json::array();
    for (const ApplicationTypeRow* row : sortedById(tree_.applicationTypes))
      types.push_back(Json{{"id", row->id}, {"name", row->name}});
    root["applicationTypes"] = types;
    Json velmoras = Json::array();
    for (const VelmoraRow* row : sortedById(tree_.velmoras)) velmoras.push_back(velmora(*row));
    root["velmoras"] = velmoras;
    return root;
  }

 private:
  static bool has(const std::set<uint64_t>& ids, uint64_t id) { return ids.count(id) != 0; }

  [[noreturn]] static void orphan(const std::string& what, const char* parentKind, uint64_t parentId) {
    throw Orphan{what + " belongs to " + parentKind + " " + std::to_string(parentId) +
                 ", which is not in the tree"};
  }

  template <typename Key, typename Row>
  static const std::vector<const Row*>& childrenOf(const std::map<Key, std::vector<const Row*>>& map,
                                                   Key key) {
    static const std::vector<const Row*> kNone;
    const auto it = map.find(key);
    return it == map.end() ? kNone : it->second;
  }

  void putProperties(Json& object, PropertyOwner owner, uint64_t id) const {
    const auto it = properties_.find({owner, id});
    if (it == properties_.end()) return;
    Json list = Json::array();
    for (const PropertyRow& row : *it->second)
      list.push_back(Json{{"name", row.name}, {"type", row.type}, {"value", row.value}});
    object["properties"] = list;
  }

  Json velmora(const VelmoraRow& row) const {
    Json j{{"id", row.id}, {"name", row.name}};
    put(j, "releaseId", row.releaseId);
    put(j, "flags", row.flags);
    put(j, "timeZoneId", row.timeZoneId);
    put(j, "hostName", row.hostName);
    put(j, "description", row.description);
    put(j, "timeZoneName", row.timeZoneName);
    put(j, "installDir", row.installDir);
    put(j, "utcOffsetMinutes", row.utcOffsetMinutes);
    Json clients = Json::array();
    for (const ClientRow* client : childrenOf(clients_, row.id)) clients.push_back(this->client(*client));
    if (!clients.empty()) j["clients"] = clients;
    return j;
  }

  Json client(const ClientRow& row) const {
    Json j{{"id", row.id}, {"name", row.name}};
    put(j, "hostName", row.hostName);
    put(j, "qualifier", row.qualifier);
    put(j, "attribute", row.attribute);
    put(j, "osName", row.osName);
    put(j, "osVersion", row.osVersion);
    put(j, "processor", row.processor);
    put(j, "versionText", row.versionText);
    put(j, "isNAS", row.isNAS);
    put(j, "isNonNDMP", row.isNonNDMP);
    const auto roles = roles_.find(row.id);
    if (roles != roles_.end()) put(j, "roles", roles->second);
    putProperties(j, PropertyOwner::kClient, row.id);
    Json instances = Json::array();
    for (const InstanceRow* instance : childrenOf(instances_, row.id))
      instances.push_back(this->instance(*instance));
    if (!instances.empty()) j["instances"] = instances;
    return j;
  }

  Json instance(const InstanceRow& row) const {
    Json j{{"id", row.id}, {"name", row.name}, {"applicationType", row.appTypeId}};
    put(j, "flags", row.flags);
    put(j, "description", row.description);
    put(j, "clusterType", row.clusterType);
    put(j, "cloudAppsType", row.cloudAppsType);
    putProperties(j, PropertyOwner::kInstance, row.id);
    const auto content = instanceContent_.find(row.id);
    if (content != instanceContent_.end()) {
      Json list = Json::array();
      for (const ContentRow& entry : *content->second)
        list.push_back(Json{{"type", entry.type}, {"path", entry.path}});
      j["content"] = list;
    }
    Json sets = Json::array();
    for (const BackupSetRow* set : childrenOf(backupSets_, row.id)) sets.push_back(backupSet(*set));
    if (!sets.empty()) j["backupSets"] = sets;
    return j;
  }

  Json backupSet(const BackupSetRow& row) const {
    Json j{{"id", row.id}, {"name", row.name}};
    put(j, "flags", row.flags);
    put(j, "description", row.description);
    putProperties(j, PropertyOwner::kBackupSet, row.id);
    Json subclients = Json::array();
    for (const SubclientRow* subclient : childrenOf(subclients_, row.id))
      subclients.push_back(this->subclient(*subclient));
    if (!subclients.empty()) j["subclients"] = subclients;
    return j;
  }

  Json subclient(const SubclientRow& row) const {
    Json j{{"id", row.id}, {"name", row.name}};
    put(j, "flags", row.flags);
    put(j, "description", row.description);
    const auto app = applications_.find(row.id);
    if (app != applications_.end()) {
      Json a{{"id", app->second->appId}};
      put(a, "aux1", app->second->aux1);
      put(a, "aux2", app->second->aux2);
      // Written whenever the application is assigned, group 0 included.
      const auto group = archiveGroups_.find({app->second->velmoraId, app->second->appId});
      if (group != archiveGroups_.end()) a["archiveGroup"] = group->second;
      j["application"] = a;
    }
    putProperties(j, PropertyOwner::kSubclient, row.id);
    const auto groups = entries_.find(row.id);
    if (groups != entries_.end()) {
      Json filters = Json::object();
      for (const auto& [group, entries] : groups->second) {
        if (group == kSubclientContentGroup) {
          j["content"] = *entries;
        } else {
          filters[std::to_string(group)] = *entries;
        }
      }
      if (!filters.empty()) j["filters"] = filters;
    }
    return j;
  }

  const ConfigTree& tree_;
  std::set<uint64_t> appTypes_, velmoras_, clientIds_, instanceIds_, backupSetIds_, subclientIds_;
  std::map<uint64_t, std::vector<const ClientRow*>> clients_;
  std::map<uint64_t, std::vector<const InstanceRow*>> instances_;
  std::map<uint64_t, std::vector<const BackupSetRow*>> backupSets_;
  std::map<uint64_t, std::vector<const SubclientRow*>> subclients_;
  std::map<uint64_t, const ApplicationRow*> applications_;
  std::map<uint64_t, uint32_t> roles_;
  std::set<std::pair<uint64_t, uint64_t>> applicationKeys_;
  std::map<std::pair<uint64_t, uint64_t>, uint64_t> archiveGroups_;
  std::map<std::pair<PropertyOwner, uint64_t>, const std::vector<PropertyRow>*> properties_;
  std::map<uint64_t, const std::vector<ContentRow>*> instanceContent_;
  std::map<uint64_t, std::map<int, const std::vector<std::string>*>> entries_;
};

}  // namespace

int parseConfigTreeJson(const std::string& text, ConfigTree& tree, std::string& errorText) {
  ConfigTree parsed;
  try {
    const Json root = Json::parse(text);
    TreeParser(parsed).parse(root);
  } catch (const Json::parse_error& e) {
    // The parser's message names the line and column.
    return invalid(errorText, std::string("$: not valid JSON: ") + e.what());
  } catch (const Json::exception& e) {
    // Text the parser reads but cannot hold, such as a number beyond a double.
    return invalid(errorText, std::string("$: not valid JSON: ") + e.what());
  } catch (const BadTree& e) {
    return invalid(errorText, e.path + ": " + e.why);
  }
  tree = std::move(parsed);
  return 0;
}

int formatConfigTreeJson(const ConfigTree& tree, std::string& text, std::string& errorText) {
  try {
    text = TreeFormatter(tree).format().dump(2) + "\n";
  } catch (const Orphan& e) {
    return invalid(errorText, "cannot export the tree: " + e.text);
  } catch (const Json::type_error& e) {
    // Strings that are not UTF-8 cannot be written as JSON without loss.
    return invalid(errorText, std::string("cannot export the tree: ") + e.what());
  }
  return 0;
}

int importConfigTreeJson(const std::string& text, ConfigTreeStore& store, std::string& errorText) {
  ConfigTree tree;
  const int result = parseConfigTreeJson(text, tree, errorText);
  if (result != 0) return result;
  return store.replaceTree(tree, errorText);
}

int exportConfigTreeJson(ConfigTreeStore& store, std::string& text, std::string& errorText) {
  ConfigTree tree;
  const int result = store.readTree(tree, errorText);
  if (result != 0) return result;
  return formatConfigTreeJson(tree, text, errorText);
}

int importConfigTreeFile(const std::string& path, ConfigTreeStore& store, std::string& errorText) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) {
    errorText = "cannot read " + path;
    return static_cast<int>(XR_BAD_ARGS);
  }
  const int result = importConfigTreeJson(text.str(), store, errorText);
  if (result != 0) errorText = path + ": " + errorText;
  return result;
}

int exportConfigTreeFile(ConfigTreeStore& store, const std::string& path, std::string& errorText) {
  std::string text;
  const int result = exportConfigTreeJson(store, text, errorText);
  if (result != 0) return result;
  // Written beside the target and renamed over it, so that a reader never
  // sees half a file.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out || !(out << text) || !out.flush()) {
      std::remove(temporary.c_str());
      errorText = "cannot write " + temporary;
      return static_cast<int>(XR_BAD_ARGS);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    errorText = "cannot rename " + temporary + " to " + path;
    return static_cast<int>(XR_BAD_ARGS);
  }
  return 0;
}
