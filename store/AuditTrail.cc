// The audit trail's text forms: times, entries as JSON lines, changes.
#include "store/AuditTrail.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t utf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xe  ? 3
                  : (lead >> 3) == 0x1e ? 4
                                        : 0;
  if (length == 0 || i + length > text.size()) return 0;
  uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1f : length == 3 ? lead & 0x0f : lead & 0x07;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3f);
  }
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

std::string number(uint64_t value) { return std::to_string(value); }

}  // namespace

int64_t auditNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string formatAuditTime(int64_t timeUs) {
  int64_t seconds = timeUs / 1000000;
  int64_t micros = timeUs % 1000000;
  if (micros < 0) micros += 1000000, --seconds;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<long long>(micros));
  return text;
}

bool parseAuditTime(const std::string& text, int64_t& timeUs) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10) return false;
  size_t at = 10;
  int64_t micros = 0;
  if (at < text.size() && text[at] == 'T') {
    if (std::sscanf(text.c_str() + at, "T%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3 || used != 9)
      return false;
    at += 9;
    if (at < text.size() && text[at] == '.') {
      int digits = 0;
      for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 6; ++at, ++digits)
        micros = micros * 10 + (text[at] - '0');
      if (digits == 0) return false;
      for (; digits < 6; ++digits) micros *= 10;
    }
  }
  if (at < text.size() && text[at] == 'Z') ++at;
  if (at != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return false;
  }
  const int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  timeUs = ((days * 24 + hour) * 60 + minute) * 60 * 1000000 + int64_t{second} * 1000000 + micros;
  return true;
}

const char* auditObjectKind(PropertyOwner owner) {
  switch (owner) {
    case PropertyOwner::kClient:
      return "client";
    case PropertyOwner::kInstance:
      return "instance";
    case PropertyOwner::kBackupSet:
      return "backupSet";
    case PropertyOwner::kSubclient:
      return "subclient";
  }
  return "unknown";
}

std::string auditJsonString(const std::string& text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8Length(text, i);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && length != 0) {
      out.append(text, i, length);
      i += length;
      continue;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {  // a control character, or a byte that is not valid UTF-8
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
    ++i;
  }
  return out + "\"";
}

std::string auditEntryJson(const AuditEntry& entry) {
  return "{\"seq\":" + number(entry.seq) + ",\"time\":" + auditJsonString(formatAuditTime(entry.timeUs)) +
         ",\"who\":" + auditJsonString(entry.who) + ",\"request\":{\"code\":" + number(entry.requestCode) +
         ",\"name\":" + auditJsonString(entry.requestName) +
         "},\"object\":{\"kind\":" + auditJsonString(entry.objectKind) + ",\"id\":" + number(entry.objectId) +
         "},\"change\":" + (entry.change.empty() ? std::string("{}") : entry.change) + "}";
}

bool parseAuditEntryJson(const std::string& line, AuditEntry& entry, std::string& errorText) {
  try {
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(line);  // keeps the change's order
    AuditEntry out;
    out.seq = j.at("seq").get<uint64_t>();
    if (!parseAuditTime(j.at("time").get<std::string>(), out.timeUs)) {
      errorText = "not an audit time: " + j.at("time").get<std::string>();
      return false;
    }
    out.who = j.at("who").get<std::string>();
    out.requestCode = j.at("request").at("code").get<uint64_t>();
    out.requestName = j.at("request").at("name").get<std::string>();
    out.objectKind = j.at("object").at("kind").get<std::string>();
    out.objectId = j.at("object").at("id").get<uint64_t>();
    out.change = j.at("change").dump();
    entry = std::move(out);
    return true;
  } catch (const std::exception& e) {
    errorText = std::string("not an audit entry: ") + e.what();
    return false;
  }
}

void AuditChange::set(const std::string& name, unsigned long type, bool existed, unsigned long oldType,
                      const std::string& oldValue, const std::string& newValue) {
  if (existed && oldType == type && oldValue == newValue) return;  // set to what it was: no change
  changed_ = true;
  if (!list_.empty()) list_ += ',';
  list_ += "{\"name\":" + auditJsonString(name) + ",\"type\":" + number(type);
  if (existed && oldType != type) list_ += ",\"oldType\":" + number(oldType);
  list_ += ",\"old\":" + (existed ? auditJsonString(oldValue) : std::string("null")) +
           ",\"new\":" + auditJsonString(newValue) + "}";
}

void AuditChange::removed(const std::string& name, unsigned long type, const std::string& oldValue) {
  changed_ = true;
  if (!list_.empty()) list_ += ',';
  list_ += "{\"name\":" + auditJsonString(name) + ",\"type\":" + number(type) +
           ",\"old\":" + auditJsonString(oldValue) + "}";
}

void AuditChange::entries(int group, const std::vector<std::string>& added,
                          const std::vector<std::string>& removed) {
  group_ = group;
  for (const std::string& entry : added) list_ += (list_.empty() ? "" : ",") + auditJsonString(entry);
  for (const std::string& entry : removed) second_ += (second_.empty() ? "" : ",") + auditJsonString(entry);
  changed_ = !added.empty() || !removed.empty();
}

void AuditChange::replaced(const std::vector<std::pair<const char*, uint64_t>>& counts) {
  changed_ = true;
  for (const auto& [what, count] : counts)
    list_ += (list_.empty() ? "" : ",") + auditJsonString(what) + ":" + number(count);
}

std::string AuditChange::json() const {
  std::string out = changed_ ? "{\"changed\":true," : "{\"changed\":false,";
  switch (kind_) {
    case Kind::kSetProperties:
      return out + "\"set\":[" + list_ + "]}";
    case Kind::kRemoveProperties:
      return out + "\"removed\":[" + list_ + "]}";
    case Kind::kEntries:
      return out + "\"group\":" + std::to_string(group_) + ",\"added\":[" + list_ + "],\"removed\":[" +
             second_ + "]}";
    case Kind::kTree:
      break;
  }
  return out + "\"replaced\":{" + list_ + "}}";
}

AuditEntry auditEntryNow(const std::string& objectKind, uint64_t objectId, const AuditChange& change) {
  const AuditActor actor = ConfigStore::currentActor();
  AuditEntry entry;
  entry.timeUs = auditNowUs();
  entry.who = actor.who != nullptr ? actor.who : "library";
  entry.requestCode = actor.requestCode;
  if (actor.requestName != nullptr) entry.requestName = actor.requestName;
  entry.objectKind = objectKind;
  entry.objectId = objectId;
  entry.change = change.json();
  return entry;
}
