// The argument model of appmgr: one CLI11 subcommand per request of the
// table (and per adapter query and lookup), each with a help text and an
// example, plus health, help and the store administration commands. And
// the run of one command: the usage checks, the reads a command makes
// before its request, the request, and one report per failure (a line on
// stderr and, with --json, one document on stdout).
#include "CliApp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>
#include <openssl/crypto.h>

#include "CliAudit.h"
#include "CliErrorNames.h"
#include "CliReply.h"
#include "CliRequest.h"
#include "CliSecret.h"
#include "StoreAdmin.h"
#include "host/AppMgrClient.h"
#include "host/BuildInfo.h"
#include "store/AuditTrail.h"

namespace appmgr {
namespace cli {

namespace {

struct GlobalOptions {
  std::string host;
  uint16_t port = 0;
  std::string socket;
  double timeoutSeconds = 10;
  uint32_t protocolVersion = 0x1003;
  bool json = false;
  bool raw = false;
  std::string registry;
  AppMgrClientTlsOptions tls;
};

// A command that failed after its arguments parsed. `message` goes to
// stderr; with --json, `document` (the reply, when there is one) goes to
// stdout with "error": {name, number, text}. Failures outside the listener
// carry the exit code as their number.
struct CommandFailure {
  int exitCode;
  std::string name;
  uint64_t number;
  std::string message;
  std::string text;
  Json document;
};

CommandFailure hostFailure(int exitCode, const char* name, const std::string& message) {
  return {exitCode, name, static_cast<uint64_t>(exitCode), message, message, Json()};
}

// An IPv6 address goes in brackets, so that its colons are not read as the port's.
bool wellFormedAddress(const std::string& address) {
  if (address.rfind("unix:", 0) == 0) return address.size() > 5;
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string port = address.substr(colon + 1), host = address.substr(0, colon);
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long number = std::stoul(port);
  if (number == 0 || number > 65535) return false;
  return host.find(':') == std::string::npos ||
         (host.size() > 2 && host.front() == '[' && host.back() == ']');
}

// The address to connect to; a malformed APPMGR_ADDRESS is a usage error.
std::string hostAddress(const GlobalOptions& options, const std::string& envAddress) {
  if (!options.socket.empty()) return "unix:" + options.socket;
  if (!options.host.empty() || options.port != 0) {
    std::string host = options.host.empty() ? "127.0.0.1" : options.host;
    if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
    return host + ":" + std::to_string(options.port != 0 ? options.port : 7410);
  }
  if (envAddress.empty()) return kDefaultAddress;
  if (!wellFormedAddress(envAddress)) {
    throw UsageError(std::string(kAddressVariable) + " is \"" + envAddress +
                     "\", which is neither HOST:PORT ([v6]:PORT) nor unix:PATH");
  }
  return envAddress;
}

// The connection to appmgrd, opened by the first request of a command.
class HostLink {
 public:
  HostLink(const GlobalOptions& options, const std::string& envAddress)
      : options_(options), envAddress_(envAddress) {}

  const GlobalOptions& options() const { return options_; }
  const std::string& address() {
    if (address_.empty()) address_ = hostAddress(options_, envAddress_);
    return address_;
  }
  AppMgrClient& client() {
    if (client_) return *client_;
    AppMgrClientOptions clientOptions;
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(options_.timeoutSeconds * 1000));
    clientOptions.connectTimeout = timeout;
    clientOptions.replyTimeout = timeout;
    clientOptions.peerProtocolVersion = options_.protocolVersion;
    clientOptions.tls = options_.tls;
    const std::string& where = address();
    try {
      client_ = AppMgrClient::connect(where, clientOptions);
    } catch (const AppMgrClientError& e) {
      throw hostFailure(kExitUnreachable, "UNREACHABLE",
                        "cannot reach the host at " + where + ": " + e.what());
    }
    return *client_;
  }

  // The decoded reply of `request`. Throws CommandFailure when the host
  // cannot be reached or answers with an error frame, when the listener
  // sends no response, answers an error or a reply that does not decode.
  Json read(const CliRequest& request, bool raw = false) {
    AppMgrClient& host = client();
    AppMgrReply reply;
    try {
      reply = request.call(host);
    } catch (const AppMgrClientError& e) {
      throw hostFailure(kExitUnreachable, "UNREACHABLE",
                        "cannot reach the host at " + address() + ": " + e.what());
    }
    if (reply.isError()) {
      const std::string name = wire::wireErrorName(reply.error);
      throw CommandFailure{
          kExitUnreachable,
          name,
          static_cast<uint64_t>(reply.error),
          request.title + ": the host answered with an error frame: " + name + " (" + reply.errorText + ")",
          reply.errorText,
          Json()};
    }
    if (!reply.isResponse()) {
      throw hostFailure(kExitListenerError, "NO_RESPONSE", request.title + ": the listener sent no response");
    }
    Json document = decodeReply(request, reply, raw);
    const uint32_t code = document["errorCode"]["number"].get<uint32_t>();
    if (code != 0) {
      char number[16];
      std::snprintf(number, sizeof number, "%#x", code);
      throw CommandFailure{kExitListenerError,
                           errorCodeName(code),
                           code,
                           request.title + ": " + errorCodeName(code) + " (" + number + ")" +
                               (reply.errorText.empty() ? "" : ": " + reply.errorText),
                           reply.errorText,
                           document};
    }
    if (document["fields"].contains("decodeError")) {
      const std::string why = document["fields"]["decodeError"].get<std::string>();
      throw CommandFailure{kExitListenerError,
                           "UNDECODABLE_REPLY",
                           kExitListenerError,
                           request.title + ": cannot decode the reply: " + why,
                           why,
                           document};
    }
    return document;
  }

 private:
  const GlobalOptions& options_;
  std::string envAddress_;
  std::string address_;
  std::unique_ptr<AppMgrClient> client_;
};

// The leaf subcommands: each builds a request (after the reads it needs),
// or runs a command of its own.
struct Leaf {
  CLI::App* app;
  std::function<CliRequest(HostLink&)> build;
  std::function<int(HostLink&)> local;
  // Adds to a successful reply what else the reader wants (names of parents).
  std::function<void(HostLink&, Json&)> annotate;
};

CLI::App* addCommand(CLI::App& parent, const std::string& name, const std::string& help,
                     const std::string& example) {
  CLI::App* sub = parent.add_subcommand(name, help);
  sub->footer("Example:\n  " + example + "\n");
  return sub;
}

CLI::App* addGroup(CLI::App& parent, const std::string& name, const std::string& help) {
  CLI::App* sub = parent.add_subcommand(name, help);
  sub->require_subcommand(1);
  return sub;
}

const char* const kPropertyHelp =
    "Property types: 1 text, 2 number, 3 password (the listener keeps the number as given; "
    "these are the platform's conventions). A --set without --set-type keeps the type the property has; "
    "a new property needs --set-type. Password properties take --set-secret NAME, which reads the value "
    "without echo (or a line of standard input) and sends it encrypted with the key of the registry "
    "(--registry or APPMGR_PLATFORM_CONFIG).\n";

// The options of a set-props command.
void addPropertyEdits(CLI::App* sub, PropertyEdits& edits) {
  sub->add_option("--set", edits.sets, "Set a property: NAME=VALUE");
  sub->add_option("--set-secret", edits.secrets, "Set a password property NAME, its value read without echo");
  sub->add_option("--set-type", edits.setTypes,
                  "Type of a property that --set or --set-secret gives: NAME=TYPE");
  sub->add_option("--remove", edits.removes, "Remove the property NAME");
  sub->footer(kPropertyHelp + sub->get_footer());
}

// The edits of a set-props command ready to send: parsed, the types a set
// leaves out taken from the object's current properties (`current` reads
// them), secrets read and encrypted. The key is tried before anything is
// read, so that a missing key is reported before a value is typed.
ParsedEdits prepareEdits(const PropertyEdits& edits, HostLink& link, std::istream* secretInput,
                         std::ostream& err, const std::function<Json(HostLink&)>& current) {
  ParsedEdits parsed = parsePropertyEdits(edits);
  const std::string registry = registryPath(link.options().registry);
  const bool secrets =
      std::any_of(parsed.sets.begin(), parsed.sets.end(), [](const ParsedEdits::Set& s) { return s.secret; });
  if (secrets) encryptSecret("key check", registry);
  if (!parsed.typesKnown()) {
    std::map<std::string, int> types;
    for (const Json& property : current(link)) types[property["name"]] = property["type"].get<int>();
    parsed.withTypesFrom(types);
  }
  for (ParsedEdits::Set& set : parsed.sets) {
    if (!set.secret) continue;
    std::string plain = readSecret(set.name, secretInput, err);
    set.value = encryptSecret(plain, registry);
    OPENSSL_cleanse(plain.data(), plain.size());
  }
  return parsed;
}

// The names of the objects a list query is narrowed to, outermost first:
// {"kind", "id", "name"}, the name null when the object is not found.
Json queryParents(const AdapterQuery& query, const QueryValues& values, HostLink& link) {
  const auto lookup = [](const char* name, uint64_t id) {
    for (const AdapterQuery& q : adapterLookups()) {
      if (std::string(q.name) == name) {
        QueryValues v;
        v.type = v.instance = id;
        return adapterRequest(q, v, 0);
      }
    }
    throw std::logic_error(name);
  };
  const struct {
    QueryArg arg;
    const char* kind;
    uint64_t id;
    std::function<CliRequest(uint64_t)> request;  // null: no name to look up
    const char* field;
  } kinds[] = {
      {QueryArg::kVelmora, "velmora", values.velmora,
       [](uint64_t id) { return velmoraById(static_cast<uint32_t>(id)); }, "velmoraName"},
      {QueryArg::kClient, "client", values.client,
       [](uint64_t id) { return clientById(static_cast<uint32_t>(id)); }, "clientName"},
      {QueryArg::kType, "applicationType", values.type,
       [&](uint64_t id) { return lookup("app-type-name", id); }, "value"},
      {QueryArg::kInstance, "instance", values.instance,
       [&](uint64_t id) { return lookup("instance-name", id); }, "value"},
      {QueryArg::kBackupSet, "backupSet", values.backupSet, [](uint64_t id) { return backupSetById(id, 0); },
       "name"},
      {QueryArg::kArchiveGroup, "archiveGroup", values.archiveGroup, nullptr, ""},
  };
  Json parents = Json::array();
  for (const auto& kind : kinds) {
    if (kind.id == 0 ||
        std::find(std::begin(query.numbers), std::end(query.numbers), kind.arg) == std::end(query.numbers)) {
      continue;
    }
    Json name;
    // Velmora and client ids travel in 32 bits: a larger one names nothing.
    const bool narrow = kind.arg == QueryArg::kVelmora || kind.arg == QueryArg::kClient;
    if (kind.request && (!narrow || kind.id <= UINT32_MAX)) {
      try {
        name = link.read(kind.request(kind.id))["fields"][kind.field];
      } catch (const CommandFailure& f) {
        if (f.exitCode != kExitListenerError) throw;  // not found: the name stays null
      }
    }
    parents.push_back({{"kind", kind.kind}, {"id", kind.id}, {"name", name}});
  }
  return parents;
}

std::string formatUptime(uint64_t ms) {
  if (ms < 60000) return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + "s";
  const uint64_t s = ms / 1000;
  std::string text;
  if (s >= 86400) text += std::to_string(s / 86400) + "d ";
  if (s >= 3600) text += std::to_string(s / 3600 % 24) + "h ";
  return text + std::to_string(s / 60 % 60) + "m " + std::to_string(s % 60) + "s";
}

int printHealth(HostLink& link, std::ostream& out) {
  wire::HealthRecord health;
  try {
    health = link.client().health();
  } catch (const AppMgrClientError& e) {
    throw hostFailure(kExitUnreachable, "UNREACHABLE",
                      "cannot reach the host at " + link.address() + ": " + e.what());
  }
  const char* state = health.state == wire::HealthRecord::kServing    ? "serving"
                      : health.state == wire::HealthRecord::kStopping ? "stopping"
                                                                      : "unknown";
  const Json document = {{"address", link.address()},
                         {"state", state},
                         {"connections", health.connections},
                         {"requestsAnswered", health.requestsAnswered},
                         {"uptimeSeconds", static_cast<double>(health.uptimeMs) / 1000}};
  if (link.options().json) {
    out << document.dump(2) << "\n";
  } else {
    out << "address           " << link.address() << "\nstate             " << state << "\nconnections       "
        << health.connections << "\nrequestsAnswered  " << health.requestsAnswered << "\nuptime            "
        << formatUptime(health.uptimeMs) << "\n";
  }
  return kExitOk;
}

// `appmgr audit`: the trail through the host.
int hostAudit(HostLink& link, const AuditArguments& arguments, std::ostream& out) {
  const AuditFilter filter = auditFilter(arguments);
  AppMgrAuditReply reply;
  try {
    reply = link.client().readAudit(auditReadRecord(filter));
  } catch (const AppMgrClientError& e) {
    throw hostFailure(kExitUnreachable, "UNREACHABLE", "audit: " + link.address() + ": " + e.what());
  }
  if (reply.result != 0) {
    throw CommandFailure{
        kExitListenerError, errorCodeName(reply.result),
        reply.result,       "audit: " + std::string(errorCodeName(reply.result)) + ": " + reply.errorText,
        reply.errorText,    Json()};
  }
  std::vector<AuditEntry> entries;
  for (const std::string& line : reply.entries) {
    std::string why;
    if (!parseAuditEntryJson(line, entries.emplace_back(), why))
      throw hostFailure(kExitUnreachable, "BAD_REPLY", "audit: the host sent " + why);
  }
  printAudit(entries, reply.more, link.options().json, out);
  return kExitOk;
}

// "appmgr client get" for the subcommand `app`.
std::string commandPath(const CLI::App* app) {
  std::string path = app->get_name();
  for (const CLI::App* parent = app->get_parent(); parent != nullptr; parent = parent->get_parent())
    path = parent->get_name() + " " + path;
  return path;
}

std::vector<CLI::App*> subcommandsOf(CLI::App* app) {
  return app->get_subcommands([](CLI::App*) { return true; });
}

size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "unknown command ..." with the nearest subcommand of `parent`, if one is near.
std::string unknownCommand(CLI::App* parent, const std::string& word) {
  std::string best;
  size_t bestDistance = SIZE_MAX;
  for (CLI::App* sub : subcommandsOf(parent)) {
    const std::string& name = sub->get_name();
    const size_t distance = name.rfind(word, 0) == 0 ? 0 : editDistance(word, name);
    if (distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  std::string message = "unknown command \"" + word + "\"";
  if (bestDistance <= std::max<size_t>(2, best.size() / 3)) {
    message += "; did you mean \"" + commandPath(parent) + " " + best + "\"?";
  }
  return message;
}

// Follows the command words of `args` from `app`: where a word should name
// a subcommand and names none, sets `where` to the command it follows and
// returns the message. Options are skipped with their values.
std::optional<std::string> findUnknownCommand(CLI::App* app, const std::vector<std::string>& args,
                                              CLI::App*& where) {
  CLI::App* current = app;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") return std::nullopt;
    if (word.size() > 1 && word[0] == '-') {
      const CLI::Option* option = nullptr;
      for (CLI::App* a = current; a != nullptr && option == nullptr; a = a->get_parent())
        option = a->get_option_no_throw(word);
      if (option != nullptr && word.find('=') == std::string::npos && option->get_items_expected_max() > 0)
        ++i;
      continue;
    }
    const std::vector<CLI::App*> subs = subcommandsOf(current);
    if (subs.empty()) return std::nullopt;  // a leaf's own argument
    const auto next =
        std::find_if(subs.begin(), subs.end(), [&](CLI::App* s) { return s->get_name() == word; });
    if (next == subs.end()) {
      if (current->get_require_subcommand_min() == 0) return std::nullopt;
      where = current;
      return unknownCommand(current, word);
    }
    current = *next;
  }
  return std::nullopt;
}

// The deepest subcommand the parse reached.
CLI::App* deepestParsed(CLI::App* app) {
  for (CLI::App* sub : app->get_subcommands()) {
    if (sub->parsed()) return deepestParsed(sub);
  }
  return app;
}

}  // namespace

const char* const kFilterHelp =
    "Filter groups: beside its content (the paths it backs up) a subclient has seven filter groups, "
    "numbered 2 to 8, each a list of paths or wildcard patterns. appmgr, the listener and the stores keep "
    "each list as given; what a group's number means is up to the backup agent that reads them.\n";

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const std::string& envAddress, std::istream* secretInput) {
  CLI::App app{
      "appmgr: asks appmgrd's application-manager listener what it knows, changes it, and administers "
      "configuration stores (SQLite files or PostgreSQL catalogs).",
      "appmgr"};
  app.footer(
      "Address: --socket PATH, else --host/--port, else $APPMGR_ADDRESS (HOST:PORT or unix:PATH), else "
      "127.0.0.1:7410. TLS: --tls with --tls-ca, and --tls-cert/--tls-key for a host that requires client "
      "certificates.\nExit codes: 0 ok, 1 the listener answered an error, 2 usage, 3 host unreachable or "
      "error frame.\nExamples:\n  appmgr --port 7410 client get 5 --json\n  appmgr help client set-props\n");
  app.set_version_flag("--version", "appmgr " + buildVersion());
  app.require_subcommand(1);
  // Subcommands made below inherit this: the global options may also follow them.
  app.fallthrough();
  GlobalOptions options;
  app.add_option("--host", options.host,
                 "Host name or address of appmgrd (default 127.0.0.1; a name, an IPv4 or an IPv6 address)");
  app.add_option("--port", options.port, "TCP port of appmgrd (default 7410)");
  app.add_option("--socket", options.socket, "Unix socket path of appmgrd (instead of TCP)");
  app.add_option("--timeout", options.timeoutSeconds, "Seconds to wait for the connection and the reply")
      ->check(CLI::Range(0.001, 3600.0));
  app.add_option("--protocol-version", options.protocolVersion,
                 "Protocol version reported to the listener (6 or lower: old password format)");
  app.add_flag("--json", options.json, "Print one JSON document per reply (and one per failure)");
  app.add_flag("--raw", options.raw,
               "Show the reply record as it travels: the record's own field names, texts undecoded");
  app.add_option(
      "--registry", options.registry,
      "Platform registry naming the password key, for --set-secret (default $APPMGR_PLATFORM_CONFIG)");
  app.add_flag("--tls", options.tls.enabled, "Speak TLS to appmgrd (implied by the other --tls options)");
  app.add_option("--tls-ca", options.tls.caFile,
                 "PEM certificate authorities the host's certificate must chain to (default: the system's)");
  app.add_option("--tls-cert", options.tls.certificateFile, "PEM client certificate, for mutual TLS");
  app.add_option("--tls-key", options.tls.keyFile, "PEM private key of --tls-cert");
  app.add_option("--tls-server-name", options.tls.serverName,
                 "Name the host's certificate must carry (default: the host of the address)");

  std::vector<Leaf> leaves;
  // Values of every subcommand; only the chosen one's are read.
  uint32_t id32 = 0;
  uint64_t id64 = 0;
  std::string text, appIdText, name, hostName;
  std::optional<uint32_t> optionalId;
  std::optional<uint64_t> appIdNumber;
  uint64_t headerValue = 1;
  int64_t scope = 0, passThrough = 0;
  int group = 0;
  PropertyEdits edits;
  std::vector<std::string> paths;
  SymbolicAppId symbolic;
  QueryValues queryValues;
  uint64_t context = 0;
  std::string storePath, treePath;
  bool force = false;
  std::vector<std::string> helpWords;

  // ---- help, health ----
  CLI::App* help = addCommand(app, "help", "Show the help of appmgr or of a command",
                              "appmgr help\n  appmgr help subclient add-filter");
  help->add_option("command", helpWords, "The command's words");
  CLI::App* sub = addCommand(app, "health", "Whether appmgrd serves: state, connections, requests, uptime",
                             "appmgr health --json");
  leaves.push_back({sub, nullptr, [&](HostLink& link) { return printHealth(link, out); }, nullptr});

  // ---- audit ----
  AuditArguments auditArguments;
  const auto addAuditFilters = [&](CLI::App* command) {
    command->add_option("--object", auditArguments.object,
                        "Only this object: client:ID, instance:ID, backupSet:ID, subclient:ID or tree:0");
    command->add_option("--since", auditArguments.since,
                        "Only entries at or after this UTC time (2026-12-08T07:30)");
    command->add_option("--until", auditArguments.until, "Only entries at or before this UTC time");
    command->add_option("--limit", auditArguments.limit, "At most this many entries (the newest)");
  };
  sub = addCommand(app, "audit", "Who changed what and when: the store's audit trail, newest first",
                   "appmgr audit --object subclient:9 --since 2026-12-01 --limit 20");
  addAuditFilters(sub);
  leaves.push_back(
      {sub, nullptr, [&](HostLink& link) { return hostAudit(link, auditArguments, out); }, nullptr});

  // ---- velmora ----
  CLI::App* velmora = addGroup(app, "velmora", "Look up the Velmora");
  sub = addCommand(*velmora, "get", "The Velmora with this id", "appmgr velmora get 2");
  sub->add_option("id", id32, "Velmora id")->required();
  leaves.push_back({sub, [&](HostLink&) { return velmoraById(id32); }, nullptr, nullptr});
  sub = addCommand(*velmora, "find", "The Velmora with this name", "appmgr velmora find north");
  sub->add_option("name", text, "Velmora name")->required();
  leaves.push_back({sub, [&](HostLink&) { return velmoraByName(text); }, nullptr, nullptr});

  // ---- param ----
  CLI::App* param = addGroup(app, "param", "Read global parameters");
  sub = addCommand(*param, "get", "The value of a global parameter", "appmgr param get sAuditPath");
  sub->add_option("name", text, "Parameter name")->required();
  leaves.push_back({sub, [&](HostLink&) { return globalParam(text); }, nullptr, nullptr});

  // ---- client ----
  CLI::App* client = addGroup(app, "client", "Look up clients, read and change their properties");
  sub = addCommand(*client, "get", "A client by id, by --name or by --hostname",
                   "appmgr client get 5\n  appmgr client get --name build01\n"
                   "  appmgr client get --hostname BUILD01.example.net");
  auto* byId = sub->add_option("id", optionalId, "Client id");
  auto* byName = sub->add_option("--name", name, "Client name");
  auto* byHost =
      sub->add_option("--hostname", hostName, "Client host name (compared without regard to case)");
  byId->excludes(byName)->excludes(byHost);
  byName->excludes(byHost);
  leaves.push_back({sub,
                    [&, byName, byHost](HostLink&) {
                      if (byName->count() > 0) return clientByName(name);
                      if (byHost->count() > 0) return clientByHostname(hostName);
                      if (optionalId) return clientById(*optionalId);
                      // --host before or after the command names appmgrd's host.
                      throw UsageError(std::string("client get needs a client id, --name or --hostname") +
                                       (options.host.empty() ? "" : " (--host names the host of appmgrd)"));
                    },
                    nullptr, nullptr});
  sub = addCommand(*client, "props", "Every property of a client", "appmgr client props 5");
  sub->add_option("id", id32, "Client id")->required();
  sub->add_option("--header", headerValue, "Value echoed as the first token of the reply")
      ->capture_default_str();
  sub->add_option("--scope", scope, "Property scope passed to the store")->capture_default_str();
  leaves.push_back({sub, [&](HostLink&) { return clientProps(id32, headerValue, scope); }, nullptr, nullptr});
  sub = addCommand(
      *client, "set-props", "Set and remove properties of a client (by id, or by --app-id)",
      "appmgr client set-props 5 --set 'Log Level=4' --remove 'Old Prop'\n"
      "  appmgr client set-props 5 --set 'Owner=QA' --set-type 'Owner=1' --set-secret 'AD User Password'");
  auto* setId = sub->add_option("id", optionalId, "Client id");
  auto* setApp = sub->add_option("--app-id", appIdNumber, "Numeric application id instead of a client id");
  setId->excludes(setApp);
  addPropertyEdits(sub, edits);
  leaves.push_back({sub,
                    [&, setApp](HostLink& link) {
                      if (setApp->count() == 0 && !optionalId) {
                        throw UsageError("client set-props needs a client id or --app-id");
                      }
                      // The platform keeps the properties of --app-id under that id.
                      const uint64_t owner = setApp->count() > 0 ? *appIdNumber : *optionalId;
                      const ParsedEdits parsed =
                          prepareEdits(edits, link, secretInput, err, [&](HostLink& l) {
                            if (owner > UINT32_MAX) return Json::array();
                            const CliRequest read = clientProps(static_cast<uint32_t>(owner), 1, 0);
                            return l.read(read)["fields"]["properties"];
                          });
                      if (setApp->count() > 0) return clientSetPropsByAppId(*appIdNumber, parsed);
                      return clientSetProps(*optionalId, parsed);
                    },
                    nullptr, nullptr});

  // ---- appid ----
  sub = addCommand(app, "appid", "Resolve an application id: VELMORA:APPID, or the ids from client down",
                   "appmgr appid 2:1045\n  appmgr appid --velmora 2 --client 5 --type 7 --instance 6 "
                   "--backup-set 7 --subclient 9");
  auto* numeric = sub->add_option("app", appIdText, "Numeric application id VELMORA:APPID");
  std::vector<CLI::Option*> symbolicOptions = {
      sub->add_option("--velmora", symbolic.velmoraId, "Velmora id"),
      sub->add_option("--client", symbolic.clientId, "Client id"),
      sub->add_option("--type", symbolic.appTypeId, "Application type id"),
      sub->add_option("--instance", symbolic.instanceId, "Instance id"),
      sub->add_option("--backup-set", symbolic.backupSetId, "Backup set id"),
      sub->add_option("--subclient", symbolic.subclientId, "Subclient id")};
  for (CLI::Option* option : symbolicOptions) numeric->excludes(option);
  leaves.push_back({sub,
                    [&, numeric](HostLink&) {
                      if (numeric->count() == 0) return symbolicAppId(symbolic);
                      uint32_t velmoraId = 0, appId = 0;
                      parseAppId(appIdText, velmoraId, appId);
                      return numericAppId(velmoraId, appId);
                    },
                    nullptr, nullptr});

  // ---- instance, backup set ----
  sub = addCommand(app, "instance", "An instance: name, properties and content",
                   "appmgr instance 6 --app 2:1045");
  sub->add_option("id", id64, "Instance id")->required();
  sub->add_option("--app", appIdText, "Numeric application id VELMORA:APPID of the instance")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  leaves.push_back(
      {sub, [&](HostLink&) { return instanceById(id64, appIdText, passThrough); }, nullptr, nullptr});
  sub = addCommand(app, "backup-set", "A backup set: name, flag and properties", "appmgr backup-set 7");
  sub->add_option("id", id64, "Backup set id")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  leaves.push_back({sub, [&](HostLink&) { return backupSetById(id64, passThrough); }, nullptr, nullptr});

  // ---- subclient ----
  CLI::App* subclient =
      addGroup(app, "subclient", "Look up a subclient, change its content, filters, properties");
  sub = addCommand(*subclient, "get", "A subclient: name, flag, properties, content and filters",
                   "appmgr subclient get 9 --app 2:1046");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--app", appIdText, "Numeric application id VELMORA:APPID of the subclient")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  sub->footer(kFilterHelp + sub->get_footer());
  leaves.push_back(
      {sub, [&](HostLink&) { return subclientById(id64, appIdText, passThrough); }, nullptr, nullptr});
  sub = addCommand(*subclient, "add-content", "Add paths to a subclient's content",
                   "appmgr subclient add-content 9 '/srv/new data'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("paths", paths, "Paths to add")->required();
  leaves.push_back(
      {sub, [&](HostLink&) { return subclientUpdateContent(id64, paths, {}); }, nullptr, nullptr});
  sub = addCommand(*subclient, "remove-content", "Remove paths from a subclient's content",
                   "appmgr subclient remove-content 9 /home");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("paths", paths, "Paths to remove")->required();
  leaves.push_back(
      {sub, [&](HostLink&) { return subclientUpdateContent(id64, {}, paths); }, nullptr, nullptr});
  sub = addCommand(*subclient, "add-filter", "Add entries to one filter group of a subclient",
                   "appmgr subclient add-filter 9 --group 3 '/home/*/.thumbnails'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--group", group, "Filter group, 2 to 8 (see below)")->required()->check(CLI::Range(2, 8));
  sub->add_option("entries", paths, "Entries to add")->required();
  sub->footer(kFilterHelp + sub->get_footer());
  leaves.push_back(
      {sub, [&](HostLink&) { return subclientUpdateFilters(id64, group, paths, {}); }, nullptr, nullptr});
  sub = addCommand(*subclient, "remove-filter", "Remove entries from one filter group of a subclient",
                   "appmgr subclient remove-filter 9 --group 3 '/home/*/.cache'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--group", group, "Filter group, 2 to 8 (see below)")->required()->check(CLI::Range(2, 8));
  sub->add_option("entries", paths, "Entries to remove")->required();
  sub->footer(kFilterHelp + sub->get_footer());
  leaves.push_back(
      {sub, [&](HostLink&) { return subclientUpdateFilters(id64, group, {}, paths); }, nullptr, nullptr});
  sub = addCommand(*subclient, "set-props", "Set and remove properties of a subclient",
                   "appmgr subclient set-props 9 --set 'Streams=3' --set-type 'Streams=2' --remove Tag");
  sub->add_option("id", id64, "Subclient id")->required();
  addPropertyEdits(sub, edits);
  leaves.push_back({sub,
                    [&](HostLink& link) {
                      const ParsedEdits parsed =
                          prepareEdits(edits, link, secretInput, err, [&](HostLink& l) {
                            // A subclient is read through its application id.
                            QueryValues values;
                            values.subclient = id64;
                            const Json appId = l.read(adapterRequest(adapterLookups()[1], values, 0));
                            const std::string app = appId["fields"]["value"].get<std::string>();
                            return l.read(subclientById(id64, app, 0))["fields"]["properties"];
                          });
                      return subclientSetProps(id64, parsed);
                    },
                    nullptr, nullptr});

  // ---- adapter queries and lookups ----
  CLI::App* query = addGroup(app, "query", "Adapter list queries");
  for (const AdapterQuery& q : adapterQueries()) {
    sub = addCommand(*query, q.name, q.help, q.example);
    for (QueryArg arg : q.numbers) {
      switch (arg) {
        case QueryArg::kVelmora:
          sub->add_option("--velmora", queryValues.velmora, "Velmora id");
          break;
        case QueryArg::kClient:
          sub->add_option("--client", queryValues.client, "Client id");
          break;
        case QueryArg::kType:
          sub->add_option("--type", queryValues.type, "Application type id");
          break;
        case QueryArg::kInstance:
          sub->add_option("--instance", queryValues.instance, "Instance id");
          break;
        case QueryArg::kBackupSet:
          sub->add_option("--backup-set", queryValues.backupSet, "Backup set id");
          break;
        case QueryArg::kSubclient:
          sub->add_option("--subclient", queryValues.subclient, "Subclient id");
          break;
        case QueryArg::kArchiveGroup:
          sub->add_option("--archive-group", queryValues.archiveGroup, "Archive group id");
          break;
        case QueryArg::kNone:
          break;
      }
    }
    sub->add_option("--context", context, "Correlation value echoed in the reply");
    leaves.push_back({sub, [&, q](HostLink&) { return adapterRequest(q, queryValues, context); }, nullptr,
                      [&, q](HostLink& link, Json& document) {
                        Json parents = queryParents(q, queryValues, link);
                        if (parents.empty()) return;
                        Json fields = {{"parents", parents}};
                        for (auto& item : document["fields"].items()) fields[item.key()] = item.value();
                        document["fields"] = fields;
                      }});
  }
  CLI::App* lookup = addGroup(app, "lookup", "Adapter lookups of one value");
  for (const AdapterQuery& q : adapterLookups()) {
    sub = addCommand(*lookup, q.name, q.help, q.example);
    sub->add_option("id", id64, "The id to look up")->required();
    sub->add_option("--context", context, "Correlation value echoed in the reply");
    leaves.push_back({sub,
                      [&, q](HostLink&) {
                        QueryValues values;
                        values.type = values.instance = values.subclient = id64;
                        return adapterRequest(q, values, context);
                      },
                      nullptr, nullptr});
  }

  // ---- store administration (local, no host) ----
  CLI::App* store =
      addGroup(app, "store", "Administer a configuration store: an SQLite file or a PostgreSQL catalog");
  const char* const storeArgument =
      "Store file, or a PostgreSQL connection string (postgresql://... or host=... dbname=...)";
  sub = addCommand(*store, "init", "Make an empty store", "appmgr store init /var/lib/appmgr/config.db");
  sub->add_option("store", storePath, storeArgument)->required();
  sub->add_flag("--force", force, "Empty an existing store");
  leaves.push_back({sub, nullptr, [&](HostLink&) { return storeInit(storePath, force, out, err); }, nullptr});
  sub = addCommand(*store, "import", "Load a JSON tree into a store, in one transaction",
                   "appmgr store import config.db examples/sample-tree.json");
  sub->add_option("store", storePath, storeArgument)->required();
  sub->add_option("tree", treePath, "JSON tree file")->required();
  sub->add_flag("--force", force, "Replace the contents of an existing store");
  leaves.push_back(
      {sub, nullptr, [&](HostLink&) { return storeImport(storePath, treePath, force, out, err); }, nullptr});
  sub = addCommand(*store, "export", "Write a store's tree as JSON (to stdout without a file)",
                   "appmgr store export config.db tree.json");
  sub->add_option("store", storePath, storeArgument)->required();
  treePath = "-";
  sub->add_option("tree", treePath, "JSON file to write, - for stdout")->capture_default_str();
  sub->add_flag("--force", force, "Replace an existing JSON file");
  std::string auditFile;
  CLI::Option* treeGiven = sub->get_option("tree");
  sub->add_option("--audit", auditFile,
                  "Write the audit trail, oldest first, one JSON line per entry, to this file (- for stdout) "
                  "instead of the tree (as well as the tree when a tree file is named)");
  leaves.push_back({sub, nullptr,
                    [&, treeGiven](HostLink&) {
                      if (auditFile.empty()) return storeExport(storePath, treePath, force, out, err);
                      if (treeGiven->count() > 0 && storeExport(storePath, treePath, force, out, err) != 0)
                        return 1;
                      return storeExportAudit(storePath, auditFile, force, out, err);
                    },
                    nullptr});
  sub = addCommand(*store, "audit", "A store's audit trail, newest first, read without a host",
                   "appmgr store audit config.db --object client:5");
  sub->add_option("store", storePath, storeArgument)->required();
  addAuditFilters(sub);
  leaves.push_back({sub, nullptr,
                    [&](HostLink& link) {
                      return storeAudit(storePath, auditFilter(auditArguments), link.options().json, out,
                                        err);
                    },
                    nullptr});
  sub = addCommand(*store, "check", "Check a store's schema, integrity and tree",
                   "appmgr store check postgresql://db.example.net/appmgr");
  sub->add_option("store", storePath, storeArgument)->required();
  leaves.push_back({sub, nullptr, [&](HostLink&) { return storeCheck(storePath, out, err); }, nullptr});

  // Usage errors and failures: a line on stderr and, with --json, one
  // document on stdout, also when the arguments do not parse.
  const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
  const auto report = [&](const CommandFailure& f) {
    err << "appmgr: " << f.message << "\n";
    if (json) {
      Json document = f.document.is_null() ? Json::object() : f.document;
      document["error"] = {{"name", f.name}, {"number", f.number}, {"text", f.text}};
      out << document.dump(2) << "\n";
    }
    return f.exitCode;
  };
  const auto usage = [&](const std::string& message, const CLI::App* where) {
    const int code = report(hostFailure(kExitUsage, "USAGE", message));
    err << "Run '" << commandPath(where) << " --help' for its usage.\n";
    return code;
  };

  CLI::App* where = &app;
  if (const auto unknown = findUnknownCommand(&app, args, where)) return usage(*unknown, where);
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n";
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return usage(e.what(), deepestParsed(&app));
  }
  if (help->parsed()) {
    CLI::App* target = &app;
    if (const auto unknown = findUnknownCommand(&app, helpWords, target)) return usage(*unknown, target);
    for (const std::string& word : helpWords) {
      for (CLI::App* s : subcommandsOf(target)) {
        if (s->get_name() == word) {
          target = s;
          break;
        }
      }
    }
    const std::string parent = target->get_parent() ? commandPath(target->get_parent()) : "";
    out << target->get_formatter()->make_help(
        target, parent.empty() ? "appmgr" : parent + " " + target->get_name(), CLI::AppFormatMode::Normal);
    return kExitOk;
  }
  if (!options.tls.caFile.empty() || !options.tls.certificateFile.empty() || !options.tls.keyFile.empty() ||
      !options.tls.serverName.empty()) {
    options.tls.enabled = true;
  }
  for (const Leaf& leaf : leaves) {
    if (!leaf.app->parsed()) continue;
    HostLink link(options, envAddress);
    try {
      if (leaf.local) return leaf.local(link);
      const CliRequest request = leaf.build(link);
      Json document = link.read(request, options.raw);
      if (leaf.annotate && !options.raw) leaf.annotate(link, document);
      if (options.json) {
        out << document.dump(2) << "\n";
      } else {
        printTable(document, out);
      }
      return kExitOk;
    } catch (const UsageError& e) {
      return usage(e.what(), leaf.app);
    } catch (const CommandFailure& f) {
      return report(f);
    }
  }
  return usage("no command given", &app);
}

}  // namespace cli
}  // namespace appmgr
