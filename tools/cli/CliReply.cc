// Decoding the records and streams that come back, and printing them.
#include "CliReply.h"

#include <cstdio>
#include <iomanip>
#include <sstream>
#include <vector>

#include "AppMgr/TokenEscape.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "AppMgr/appMgrStructDefines.h"

#include "CliErrorNames.h"

namespace appmgr {
namespace cli {

namespace {

std::string hex(unsigned long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%#lx", value);
  return text;
}

Json textOrNull(const AppMgrReply& reply, size_t offset) {
  const std::optional<std::string> text = reply.text(offset);
  return text ? Json(*text) : Json(nullptr);
}

// Reads the tokens of a stream: whitespace-separated, unescaped on request.
// Every read fails (returns false) once the tokens are used up or a number
// does not parse.
class TokenReader {
 public:
  explicit TokenReader(const std::string& text) {
    std::istringstream in(text);
    for (std::string token; in >> token;) tokens_.push_back(token);
  }
  bool atEnd() const { return next_ == tokens_.size(); }
  bool raw(std::string& out, const char* what) {
    if (atEnd()) return fail(std::string("missing ") + what);
    out = tokens_[next_++];
    return true;
  }
  bool text(std::string& out, const char* what) {
    if (!raw(out, what)) return false;
    transform_string_decode(out, TransformStringFromSymbol, TransformStringToSymbol);
    return true;
  }
  bool number(long long& out, const char* what) {
    std::string token;
    if (!raw(token, what)) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(token.c_str(), &end, 10);
    if (token.empty() || *end != '\0' || errno == ERANGE) return fail(std::string(what) + " is not a number");
    return true;
  }
  bool count(size_t& out, const char* what) {
    long long n = 0;
    if (!number(n, what)) return false;
    // A count the remaining tokens cannot back is refused before anything is read.
    if (n < 0 || static_cast<unsigned long long>(n) > tokens_.size() - next_) {
      return fail(std::string(what) + " " + std::to_string(n) + " is more than the stream holds");
    }
    out = static_cast<size_t>(n);
    return true;
  }
  bool flag(bool& out) {
    std::string token;
    if (!raw(token, "flag")) return false;
    if (token == XR_APPMGR_PROP_TRUE_STR_VAL) {
      out = true;
    } else if (token == XR_APPMGR_PROP_FALSE_STR_VAL) {
      out = false;
    } else {
      return fail("flag token \"" + token + "\" is neither true nor false");
    }
    return true;
  }
  const std::string& why() const { return why_; }

 private:
  bool fail(const std::string& why) {
    why_ = why;
    return false;
  }
  std::vector<std::string> tokens_;
  size_t next_ = 0;
  std::string why_;
};

bool readProperties(TokenReader& in, Json& out) {
  size_t count = 0;
  if (!in.count(count, "property count")) return false;
  out = Json::array();
  for (size_t i = 0; i < count; ++i) {
    long long leading = 0, type = 0;
    std::string name, value;
    if (!in.number(leading, "leading field") || !in.text(name, "property name") ||
        !in.number(type, "property type") || !in.text(value, "property value")) {
      return false;
    }
    out.push_back({{"name", name}, {"type", type}, {"value", value}});
  }
  return true;
}

bool readContent(TokenReader& in, Json& out, const char* what) {
  size_t count = 0;
  if (!in.count(count, what)) return false;
  out = Json::array();
  for (size_t i = 0; i < count; ++i) {
    std::string entry;
    if (!in.text(entry, "entry")) return false;
    out.push_back(entry);
  }
  return true;
}

bool decodeLines(ReplyKind kind, const std::string& text, Json& fields, std::string& why) {
  Json rows = Json::array();
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    TokenReader in(line);
    Json row;
    long long id = 0;
    std::string name;
    bool flag = false;
    bool ok = true;
    switch (kind) {
      case ReplyKind::kQueryIds:
        ok = in.number(id, "id");
        row = {{"id", id}};
        break;
      case ReplyKind::kQueryNames:
        ok = in.text(name, "name");
        row = {{"name", name}};
        break;
      case ReplyKind::kQueryIdNames:
        ok = in.number(id, "id") && in.text(name, "name");
        row = {{"id", id}, {"name", name}};
        break;
      default:  // kQueryIdFlagNames
        ok = in.number(id, "id") && in.flag(flag) && in.text(name, "name");
        row = {{"id", id}, {"flag", flag}, {"name", name}};
        break;
    }
    if (!ok || !in.atEnd()) {
      why = ok ? "line \"" + line + "\" has more fields than expected" : in.why();
      return false;
    }
    rows.push_back(row);
  }
  fields["rows"] = rows;
  return true;
}

}  // namespace

bool decodeStream(ReplyKind kind, const std::string& text, Json& fields, std::string& why) {
  TokenReader in(text);
  bool ok = true;
  switch (kind) {
    case ReplyKind::kClientProps: {
      long long header = 0, clientId = 0;
      Json properties;
      ok = in.number(header, "header value") && in.number(clientId, "client id") &&
           readProperties(in, properties);
      if (ok) {
        fields["headerValue"] = header;
        fields["clientId"] = clientId;
        fields["properties"] = properties;
      }
      break;
    }
    case ReplyKind::kInstance: {
      std::string name;
      Json properties, content;
      ok = in.text(name, "instance name") && readProperties(in, properties);
      if (ok) {
        fields["name"] = name;
        fields["properties"] = properties;
        // Only instances of the content-carrying application type have a content list.
        if (!in.atEnd()) {
          ok = readContent(in, content, "content count");
          if (ok) fields["content"] = content;
        }
      }
      break;
    }
    case ReplyKind::kBackupSet: {
      std::string name;
      bool flag = false;
      Json properties;
      ok = in.text(name, "backup set name") && in.flag(flag) && readProperties(in, properties);
      if (ok) {
        fields["name"] = name;
        fields["flag"] = flag;
        fields["properties"] = properties;
      }
      break;
    }
    case ReplyKind::kSubclient: {
      std::string name;
      bool flag = false;
      Json properties, content;
      ok = in.text(name, "subclient name") && in.flag(flag) && readProperties(in, properties) &&
           readContent(in, content, "content count");
      if (!ok) break;
      fields["name"] = name;
      fields["flag"] = flag;
      fields["properties"] = properties;
      fields["content"] = content;
      // Application types without content end after a content count of 0.
      Json filters = Json::object();
      if (!in.atEnd()) {
        size_t groups = 0;
        ok = in.count(groups, "filter group count");
        for (size_t i = 0; ok && i < groups; ++i) {
          long long group = 0;
          Json entries;
          ok = in.number(group, "filter group") && readContent(in, entries, "filter count");
          if (ok) filters[std::to_string(group)] = entries;
        }
      }
      fields["filters"] = filters;
      break;
    }
    case ReplyKind::kLookupName: {
      std::string value;
      ok = in.text(value, "value");
      if (ok) fields["value"] = value;
      break;
    }
    case ReplyKind::kLookupClientOfInstance: {
      long long clientId = 0, velmoraId = 0;
      ok = in.number(clientId, "client id") && in.number(velmoraId, "Velmora id");
      if (ok) {
        fields["clientId"] = clientId;
        fields["velmoraId"] = velmoraId;
      }
      break;
    }
    case ReplyKind::kQueryIds:
    case ReplyKind::kQueryNames:
    case ReplyKind::kQueryIdNames:
    case ReplyKind::kQueryIdFlagNames:
      return decodeLines(kind, text, fields, why);
    default:
      why = "no stream expected";
      return false;
  }
  if (ok && !in.atEnd()) {
    why = "tokens left after the end of the stream";
    return false;
  }
  if (!ok) why = in.why();
  return ok;
}

bool decodePlatformList(const std::string& text, Json& platform) {
  static const char* const kNames[] = {"os", "osVersion", "processor"};
  static const long long kTypes[] = {1, 2, 4};
  TokenReader in(text);
  platform = Json::object();
  for (size_t i = 0; i < 3; ++i) {
    long long type = 0;
    std::string value;
    if (!in.number(type, "platform attribute type") || type != kTypes[i] ||
        !in.text(value, "platform value")) {
      return false;
    }
    platform[kNames[i]] = value;
  }
  return in.atEnd();
}

Json decodeReply(const CliRequest& request, const AppMgrReply& reply, bool raw) {
  Json fields = Json::object();
  uint32_t errorCode = 0;
  switch (request.replyKind) {
    case ReplyKind::kVelmora: {
      const auto r = reply.as<appmanVelmoraRsp>();
      errorCode = r.errorCode;
      const Json name = textOrNull(reply, offsetof(appmanVelmoraRsp, velmoraName));
      if (raw) {
        fields = {{"velmoraId", r.velmoraId},     {"velmoraName", name}, {"value1", r.value1},
                  {"value2", r.value2},           {"value3", r.value3},  {"idCopy", r.idCopy},
                  {"signedValue", r.signedValue}, {"context", r.context}};
      } else {
        fields = {{"velmoraId", r.velmoraId}, {"velmoraName", name},    {"releaseId", r.value1},
                  {"flags", r.value2},        {"timeZoneId", r.value3}, {"utcOffsetMinutes", r.signedValue},
                  {"context", r.context}};
      }
      break;
    }
    case ReplyKind::kGlobalParam: {
      const auto r = reply.as<appmanGlobalParamRsp>();
      errorCode = r.errorCode;
      fields = {{"paramValue", textOrNull(reply, offsetof(appmanGlobalParamRsp, paramValue))}};
      break;
    }
    case ReplyKind::kClient: {
      const auto r = reply.as<appmanClientRsp>();
      errorCode = r.errorCode;
      const Json platformList = textOrNull(reply, offsetof(appmanClientRsp, platformList));
      Json platform;
      if (raw || !platformList.is_string() ||
          !decodePlatformList(platformList.get<std::string>(), platform)) {
        platform = platformList;  // shown as it came when it does not decode
      }
      fields = {{"clientId", r.clientId},
                {"clientName", textOrNull(reply, offsetof(appmanClientRsp, clientName))},
                {"hostName", textOrNull(reply, offsetof(appmanClientRsp, hostName))},
                {raw ? "platformList" : "platform", platform},
                {raw ? "clientAttribute" : "attribute", r.clientAttribute}};
      if (raw) fields["clientIdLong"] = r.clientIdLong;
      fields["qualifier"] = r.qualifier;
      fields["context"] = r.context;
      break;
    }
    case ReplyKind::kAppId: {
      const auto r = reply.as<appmanAppIdRsp>();
      errorCode = r.errorCode;
      fields = {{"appId", r.appId},
                {"velmoraId", r.velmoraId},
                {"clientId", r.clientId},
                {"appTypeId", r.appTypeId},
                {"instanceId", r.instanceId},
                {"backupSetId", r.backupSetId},
                {"subclientId", r.subclientId},
                {"aux1", r.aux1},
                {"aux2", r.aux2},
                {"context", r.context}};
      if (raw) fields["appIdCopy"] = r.appIdCopy;
      break;
    }
    default: {  // every other reply is an appmanGeneralMsg
      const auto r = reply.as<appmanGeneralMsg>();
      errorCode = r.errorCode;
      fields["msgCode"] = hex(r.msgCode);
      if (r.context != 0) fields["context"] = r.context;
      const std::optional<std::string> data = reply.text(offsetof(appmanGeneralMsg, data));
      if (!raw && request.replyKind != ReplyKind::kUpdate && data && errorCode == 0) {
        std::string why;
        Json decoded = Json::object();
        if (decodeStream(request.replyKind, *data, decoded, why)) {
          for (auto& item : decoded.items()) fields[item.key()] = item.value();
        } else {
          fields["data"] = *data;
          fields["decodeError"] = why;
        }
      } else if (data) {
        fields["data"] = *data;
      }
      break;
    }
  }
  Json document;
  document["request"] = request.title;
  document["requestCode"] = hex(request.code);
  document["responseCode"] = hex(reply.code);
  document["errorCode"] = {{"name", errorCodeName(errorCode)}, {"number", errorCode}};
  document["errorText"] = reply.errorText;
  document["fields"] = fields;
  return document;
}

namespace {

std::string cell(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "(null)";
  return value.dump();
}

// A list of records: one header line and one line per record, columns padded.
void printRows(const Json& rows, std::ostream& out) {
  if (rows.empty()) {
    out << "  (none)\n";
    return;
  }
  std::vector<std::string> columns;
  for (auto& item : rows.front().items()) columns.push_back(item.key());
  std::vector<size_t> widths;
  for (const std::string& c : columns) widths.push_back(c.size());
  for (const Json& row : rows) {
    for (size_t i = 0; i < columns.size(); ++i)
      widths[i] = std::max(widths[i], cell(row.value(columns[i], Json())).size());
  }
  auto line = [&](const std::vector<std::string>& cells) {
    out << " ";
    for (size_t i = 0; i < cells.size(); ++i) {
      out << " " << cells[i];
      if (i + 1 < cells.size()) out << std::string(widths[i] - cells[i].size() + 1, ' ');
    }
    out << "\n";
  };
  line(columns);
  for (const Json& row : rows) {
    std::vector<std::string> cells;
    for (const std::string& c : columns) cells.push_back(cell(row.value(c, Json())));
    line(cells);
  }
}

}  // namespace

void printTable(const Json& document, std::ostream& out) {
  // The message code and a zero context say nothing to a reader; the JSON
  // form keeps them. A reply with nothing else to show is a plain "ok".
  Json fields = Json::object();
  for (auto& item : document["fields"].items()) {
    if (item.key() == "msgCode" || (item.key() == "context" && item.value() == 0)) continue;
    fields[item.key()] = item.value();
  }
  if (fields.empty()) {
    if (document["errorCode"]["number"] == 0) out << "ok\n";
    return;
  }
  size_t width = 0;
  for (auto& item : fields.items()) width = std::max(width, item.key().size());
  for (auto& item : fields.items()) {
    const Json& value = item.value();
    if (item.key() == "parents" && value.is_array()) {
      // The chain a list belongs to, outermost first: "client 5 (build01) > backupSet 7 (...)".
      out << std::left << std::setw(static_cast<int>(width)) << "in"
          << " ";
      for (const Json& parent : value) {
        out << (&parent == &value.front() ? " " : " > ") << cell(parent["kind"]) << " " << cell(parent["id"])
            << (parent["name"].is_null() ? " (not found)" : " (" + cell(parent["name"]) + ")");
      }
      out << "\n";
    } else if (value.is_array() && (value.empty() || value.front().is_object())) {
      out << item.key() << ":\n";
      printRows(value, out);
    } else if (value.is_array()) {
      out << item.key() << ":\n";
      for (const Json& entry : value) out << "  " << cell(entry) << "\n";
      if (value.empty()) out << "  (none)\n";
    } else if (value.is_object()) {
      out << item.key() << ":\n";
      for (auto& group : value.items()) {
        out << "  " << group.key() << ":";
        for (const Json& entry : group.value()) out << "  " << cell(entry);
        out << "\n";
      }
      if (value.empty()) out << "  (none)\n";
    } else {
      out << std::left << std::setw(static_cast<int>(width)) << item.key() << "  " << cell(value) << "\n";
    }
  }
}

}  // namespace cli
}  // namespace appmgr
