// Re-encryption of the password properties of a property list into another
// password version, for peers that know only password version 1. Which
// property names hold passwords depends on the object the list belongs to
// (the conversion level). Only encrypted text is handled here.
#include <cstdint>
#include <cstring>
#include <string>

#include <strings.h>

#include "AppMgr/PasswordWrapper.h"
#include "AppMgr/Streamer.h"
#include "AppMgr/appMgrSharedPropDefines.h"
#include "platform/EvDebug.h"

namespace {

constexpr char kTag[] = "Streamer::convertPasswords";

const std::string ClPropsPasswords[] = {XR_PROP_FS_USER_PASSWORD, "AD User Password"};
const std::string InstPasswords[] = {XR_INFORMIX_PASSWORD,           XR_ORACLE_SQL_CONNECT_PWD,
                                     XR_ORACLE_CATALOG_CONNECT_PWD,  XR_ORACLE_PASSWORD,
                                     XR_ORACLE_DOMAIN_USER_PASSWORD, XR_EXCHANGE_USERPASS};
const std::string SCPasswords[] = {XR_PROP_UNC_CONTENT_PASSWORD};

struct PasswordNames {
  const std::string* begin = nullptr;
  const std::string* end = nullptr;
  bool ignoreCase = false;
};

// Client names match exactly, instance and subclient names ignoring case.
PasswordNames namesForLevel(int level) {
  switch (level) {
    case CONV_PWD_CLIENT_PROPS_LEVEL:
      return {std::begin(ClPropsPasswords), std::end(ClPropsPasswords), false};
    case CONV_PWD_INST_PROPS_LEVEL:
      return {std::begin(InstPasswords), std::end(InstPasswords), true};
    case CONV_PWD_SC_PROPS_LEVEL:
      return {std::begin(SCPasswords), std::end(SCPasswords), true};
    default:
      return {};
  }
}

bool nameMatches(const char* name, const std::string& entry, bool ignoreCase) {
  if (name == nullptr) return false;
  return ignoreCase ? strcasecmp(name, entry.c_str()) == 0 : entry == name;
}

// The version sits in bits 24 to 31 of the flags, every other bit zero.
unsigned long versionFlags(int version) {
  return static_cast<unsigned long>(static_cast<uint32_t>(static_cast<uint32_t>(version) << 24));
}

// Hands the value, re-encrypted in the version, to apply; logs a failure
// and leaves the value alone.
template <typename Apply>
void convertValue(EvEvent& ev, const char* value, int version, Apply apply) {
  PasswordWrapper wrapper(value);
  const char* converted = wrapper.getEncPassword(versionFlags(version));
  if (converted == nullptr) {
    ev.Debug(kTag, "Could not perform version conversion! Will return value with default encyption.");
    return;
  }
  apply(converted);
}

}  // namespace

void Streamer::convertPasswords(AppMgrPropsList& list, int level, int version) {
  const PasswordNames names = namesForLevel(level);
  if (names.begin == names.end) return;
  EvEvent ev;
  for (const std::string* entry = names.begin; entry != names.end; ++entry) {
    for (AppMgrProps* record : list) {
      if (!nameMatches(record->name, *entry, names.ignoreCase)) continue;
      convertValue(ev, record->value, version, [record](const char* converted) {
        const size_t length = std::strlen(converted);
        if (record->value == nullptr || std::strlen(record->value) < length) {
          delete[] record->value;
          record->value = new char[length + 1];
        }
        std::memcpy(record->value, converted, length + 1);
      });
    }
  }
}

void Streamer::convertPasswords(PropertyList& list, int level, int version) {
  const PasswordNames names = namesForLevel(level);
  if (names.begin == names.end) return;
  EvEvent ev;
  for (const std::string* entry = names.begin; entry != names.end; ++entry) {
    for (const ApplProperty* property : list) {
      if (!nameMatches(property->getName(), *entry, names.ignoreCase)) continue;
      convertValue(ev, property->getValue(), version, [property](const char* converted) {
        // The handler that decoded the list owns these properties; the list
        // holds them const only because the decoder hands them out that way.
        const_cast<ApplProperty*>(property)->setValue(converted);
      });
    }
  }
}
