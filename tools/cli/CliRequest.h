// Request building for the command line: one function per request of the
// table that fills its record from typed values, and the encoders of the
// texts a user types (property lists, content lists, filter groups), which
// escape every token before it is streamed.
//
// A CliRequest keeps its record without pointers and the texts beside it;
// call() puts real pointers into the text fields only for the duration of
// the call.
#ifndef TOOLS_CLI_CLIREQUEST_H_
#define TOOLS_CLI_CLIREQUEST_H_

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/AppMgrClient.h"

namespace appmgr {
namespace cli {

// A command line that names something impossible ("2:x" as an application
// id, "Name" without "=value"); reported as a usage error, nothing is sent.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How the reply of a request is decoded (CliReply.h).
enum class ReplyKind {
  kVelmora,
  kGlobalParam,
  kClient,
  kAppId,
  kClientProps,
  kInstance,
  kBackupSet,
  kSubclient,
  kUpdate,
  kQueryIds,                // one id per line
  kQueryNames,              // one escaped name per line
  kQueryIdNames,            // id, escaped name
  kQueryIdFlagNames,        // id, flag token, escaped name
  kLookupName,              // one escaped value
  kLookupClientOfInstance,  // two numbers
};

struct CliRequest {
  std::string title;  // the subcommand, "client get"
  unsigned long code = 0;
  ReplyKind replyKind = ReplyKind::kUpdate;
  std::vector<unsigned char> record;  // text fields zero
  // The texts of the record's text fields, in the order of
  // appmanRequestTextFields(code); nullopt travels as a null pointer.
  std::vector<std::optional<std::string>> texts;

  AppMgrReply call(AppMgrClient& client) const;
};

// One property given on the command line.
struct CliProperty {
  std::string name;
  int type = 1;
  std::string value;
};

// The property edits of a set-props command as typed: --set NAME=VALUE,
// --set-secret NAME (value read without echo), --set-type NAME=TYPE (type
// of a property also set) and --remove NAME.
struct PropertyEdits {
  std::vector<std::string> sets;
  std::vector<std::string> secrets;
  std::vector<std::string> setTypes;
  std::vector<std::string> removes;
};

// The edits parsed. A set without --set-type has no type yet: it keeps the
// type of the property it changes, which the command reads from the host
// (withTypesFrom); a secret has no value until it is read and encrypted.
struct ParsedEdits {
  struct Set {
    std::string name;
    std::optional<int> type;
    std::string value;
    bool secret = false;
  };
  std::vector<Set> sets;
  std::vector<std::string> removes;

  bool typesKnown() const;
  // Gives each untyped set the type of the property of that name in
  // `existing` (name to type); throws UsageError for a new property,
  // naming --set-type.
  void withTypesFrom(const std::map<std::string, int>& existing);
};

// Parses `edits`; throws UsageError on a malformed edit (no '=', a type
// that is not a number, a --set-type for a name not set, a password
// property given in plain text, nothing to do).
ParsedEdits parsePropertyEdits(const PropertyEdits& edits);

// True for the property names that hold passwords (those the listener
// re-encrypts for old peers), compared without regard to case.
bool isPasswordProperty(const std::string& name);
// True for a value in one of the encrypted password formats (XRPW1:hex,
// XRPW2:base64).
bool isEncryptedPassword(const std::string& value);

// Parses "VELMORA:APPID" (both unsigned decimal, 32 bits).
void parseAppId(const std::string& text, uint32_t& velmoraId, uint32_t& appId);

// ---- Text encoders (incoming streams of the listener) ----

// "count (0 name type value 0)*" with every name and value escaped.
std::string encodePropertyStream(const std::vector<CliProperty>& properties);
// "count path*" with every path escaped.
std::string encodeContentStream(const std::vector<std::string>& paths);
// The set and remove streams of `edits`, whose types must all be known.
void encodePropertyEdits(const ParsedEdits& edits, std::string& setList, std::string& removeList);

// ---- Requests ----

CliRequest velmoraById(uint32_t velmoraId);
CliRequest velmoraByName(const std::string& name);
CliRequest globalParam(const std::string& name);
CliRequest clientById(uint32_t clientId);
CliRequest clientByName(const std::string& name);
CliRequest clientByHostname(const std::string& hostName);
CliRequest clientProps(uint32_t clientId, uint64_t headerValue, int64_t scope);
CliRequest clientSetProps(uint32_t clientId, const ParsedEdits& edits);
CliRequest clientSetPropsByAppId(uint64_t appId, const ParsedEdits& edits);
CliRequest numericAppId(uint32_t velmoraId, uint32_t appId);
struct SymbolicAppId {
  uint32_t velmoraId = 0, clientId = 0, appTypeId = 0, instanceId = 0, backupSetId = 0, subclientId = 0;
};
CliRequest symbolicAppId(const SymbolicAppId& ids);
CliRequest instanceById(uint64_t instanceId, const std::string& appIdText, int64_t passThrough);
CliRequest backupSetById(uint64_t backupSetId, int64_t passThrough);
CliRequest subclientById(uint64_t subclientId, const std::string& appIdText, int64_t passThrough);
CliRequest subclientUpdateContent(uint64_t subclientId, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove);
CliRequest subclientUpdateFilters(uint64_t subclientId, int group, const std::vector<std::string>& add,
                                  const std::vector<std::string>& remove);
CliRequest subclientSetProps(uint64_t subclientId, const ParsedEdits& edits);

// ---- Adapter queries and lookups ----

// The arguments an adapter query may take, by name on the command line.
enum class QueryArg { kNone, kVelmora, kClient, kType, kInstance, kBackupSet, kSubclient, kArchiveGroup };

struct AdapterQuery {
  const char* name;  // "clients"
  uint32_t type;     // the query or lookup type number
  unsigned long code;
  QueryArg numbers[5];  // what n1..n5 carry; kNone is sent as 0
  ReplyKind replyKind;
  const char* help;
  const char* example;
};

// Every adapter query and every adapter lookup, by command-line name.
const std::vector<AdapterQuery>& adapterQueries();
const std::vector<AdapterQuery>& adapterLookups();

struct QueryValues {
  uint64_t velmora = 0, client = 0, type = 0, instance = 0, backupSet = 0, subclient = 0, archiveGroup = 0;
};
// The request of `query` with its numbers taken from `values`.
CliRequest adapterRequest(const AdapterQuery& query, const QueryValues& values, uint64_t context);

}  // namespace cli
}  // namespace appmgr

#endif  // TOOLS_CLI_CLIREQUEST_H_
