// The argument model of appmgr: one CLI11 subcommand per request of the
// table (and per adapter query and lookup), each with a help text and an
// example, plus the store administration commands.
#include "CliApp.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include <CLI/CLI.hpp>

#include "CliErrorNames.h"
#include "CliReply.h"
#include "CliRequest.h"
#include "StoreAdmin.h"
#include "host/AppMgrClient.h"
#include "host/BuildInfo.h"

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
  AppMgrClientTlsOptions tls;
};

// The leaf subcommands: each builds a request, or runs locally.
struct Leaf {
  CLI::App* app;
  std::function<CliRequest()> build;  // a request for the host
  std::function<int()> local;         // or a local command (store administration)
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

// The options of a set-props command.
void addPropertyEdits(CLI::App* sub, PropertyEdits& edits) {
  sub->add_option("--set", edits.sets,
                  "Set a property: NAME=VALUE (type 1 unless --set-type says otherwise)");
  sub->add_option("--set-type", edits.setTypes, "Type of a property given by --set: NAME=TYPE");
  sub->add_option("--remove", edits.removes, "Remove the property NAME");
}

std::string address(const GlobalOptions& options, const std::string& envAddress) {
  if (!options.socket.empty()) return "unix:" + options.socket;
  if (!options.host.empty() || options.port != 0) {
    const std::string host = options.host.empty() ? "127.0.0.1" : options.host;
    const uint16_t port = options.port != 0 ? options.port : 7410;
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
  }
  return envAddress.empty() ? kDefaultAddress : envAddress;
}

int usage(const std::string& message, std::ostream& err) {
  err << "appmgr: " << message << "\nRun with --help for more information.\n";
  return kExitUsage;
}

int sendAndPrint(const CliRequest& request, const GlobalOptions& options, const std::string& envAddress,
                 std::ostream& out, std::ostream& err) {
  const std::string where = address(options, envAddress);
  AppMgrClientOptions clientOptions;
  const auto timeout = std::chrono::milliseconds(static_cast<long long>(options.timeoutSeconds * 1000));
  clientOptions.connectTimeout = timeout;
  clientOptions.replyTimeout = timeout;
  clientOptions.peerProtocolVersion = options.protocolVersion;
  clientOptions.tls = options.tls;
  AppMgrReply reply;
  try {
    auto client = AppMgrClient::connect(where, clientOptions);
    reply = request.call(*client);
  } catch (const AppMgrClientError& e) {
    err << "appmgr: cannot reach the host at " << where << ": " << e.what() << "\n";
    return kExitUnreachable;
  }
  if (reply.isError()) {
    err << "appmgr: " << request.title
        << ": the host answered with an error frame: " << wire::wireErrorName(reply.error) << " ("
        << reply.errorText << ")\n";
    return kExitUnreachable;
  }
  if (!reply.isResponse()) {
    err << "appmgr: " << request.title << ": the listener sent no response\n";
    return kExitListenerError;
  }
  const Json document = decodeReply(request, reply);
  const uint32_t code = document["errorCode"]["number"].get<uint32_t>();
  // The table of a failed request would only show zeros; the JSON document
  // is printed either way, for scripts.
  if (options.json) {
    out << document.dump(2) << "\n";
  } else if (code == 0) {
    printTable(document, out);
  }
  if (code != 0) {
    char number[16];
    std::snprintf(number, sizeof number, "%#x", code);
    err << "appmgr: " << request.title << ": " << errorCodeName(code) << " (" << number << ")"
        << (reply.errorText.empty() ? "" : ": " + reply.errorText) << "\n";
    return kExitListenerError;
  }
  if (document["fields"].contains("decodeError")) {
    err << "appmgr: " << request.title
        << ": cannot decode the reply: " << document["fields"]["decodeError"].get<std::string>() << "\n";
    return kExitListenerError;
  }
  return kExitOk;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const std::string& envAddress) {
  CLI::App app{
      "appmgr: asks appmgrd's application-manager listener what it knows, changes it, and administers "
      "configuration stores (SQLite files or PostgreSQL catalogs).",
      "appmgr"};
  app.footer(
      "Address: --socket PATH, else --host/--port, else $APPMGR_ADDRESS (HOST:PORT or unix:PATH), else "
      "127.0.0.1:7410. TLS: --tls with --tls-ca, and --tls-cert/--tls-key for a host that requires client "
      "certificates.\nExit codes: 0 ok, 1 the listener answered an error, 2 usage, 3 host unreachable or "
      "error frame.\nExample:\n  appmgr --port 7410 client get 5 --json\n");
  app.set_version_flag("--version", "appmgr " + buildVersion());
  app.require_subcommand(1);
  // Subcommands made below inherit this: the global options may also follow them.
  app.fallthrough();
  GlobalOptions options;
  app.add_option("--host", options.host, "Host name or address of appmgrd (default 127.0.0.1)");
  app.add_option("--port", options.port, "TCP port of appmgrd (default 7410)");
  app.add_option("--socket", options.socket, "Unix socket path of appmgrd (instead of TCP)");
  app.add_option("--timeout", options.timeoutSeconds, "Seconds to wait for the connection and the reply")
      ->check(CLI::Range(0.001, 3600.0));
  app.add_option("--protocol-version", options.protocolVersion,
                 "Protocol version reported to the listener (6 or lower: old password format)");
  app.add_flag("--json", options.json, "Print one JSON document per reply");
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

  // ---- velmora ----
  CLI::App* velmora = addGroup(app, "velmora", "Look up the Velmora");
  CLI::App* sub = addCommand(*velmora, "get", "The Velmora with this id", "appmgr velmora get 2");
  sub->add_option("id", id32, "Velmora id")->required();
  leaves.push_back({sub, [&] { return velmoraById(id32); }, nullptr});
  sub = addCommand(*velmora, "find", "The Velmora with this name", "appmgr velmora find north");
  sub->add_option("name", text, "Velmora name")->required();
  leaves.push_back({sub, [&] { return velmoraByName(text); }, nullptr});

  // ---- param ----
  CLI::App* param = addGroup(app, "param", "Read global parameters");
  sub = addCommand(*param, "get", "The value of a global parameter", "appmgr param get sAuditPath");
  sub->add_option("name", text, "Parameter name")->required();
  leaves.push_back({sub, [&] { return globalParam(text); }, nullptr});

  // ---- client ----
  CLI::App* client = addGroup(app, "client", "Look up clients, read and change their properties");
  sub = addCommand(*client, "get", "A client by id, by --name or by --host",
                   "appmgr client get 5\n  appmgr client get --name build01\n"
                   "  appmgr client get --host build01.example.net");
  auto* byId = sub->add_option("id", optionalId, "Client id");
  auto* byName = sub->add_option("--name", name, "Client name");
  auto* byHost = sub->add_option("--host,--hostname", hostName, "Client host name");
  byId->excludes(byName)->excludes(byHost);
  byName->excludes(byHost);
  sub->require_option(1);
  leaves.push_back({sub,
                    [&, byName, byHost] {
                      if (byName->count() > 0) return clientByName(name);
                      if (byHost->count() > 0) return clientByHostname(hostName);
                      return clientById(*optionalId);
                    },
                    nullptr});
  sub = addCommand(*client, "props", "Every property of a client", "appmgr client props 5");
  sub->add_option("id", id32, "Client id")->required();
  sub->add_option("--header", headerValue, "Value echoed as the first token of the reply")
      ->capture_default_str();
  sub->add_option("--scope", scope, "Property scope passed to the store")->capture_default_str();
  leaves.push_back({sub, [&] { return clientProps(id32, headerValue, scope); }, nullptr});
  sub = addCommand(
      *client, "set-props", "Set and remove properties of a client (by id, or by --app-id)",
      "appmgr client set-props 5 --set 'Log Level=2' --set-type 'Log Level=1' --remove 'Old Prop'");
  auto* setId = sub->add_option("id", optionalId, "Client id");
  auto* setApp = sub->add_option("--app-id", appIdNumber, "Numeric application id instead of a client id");
  setId->excludes(setApp);
  addPropertyEdits(sub, edits);
  leaves.push_back({sub,
                    [&, setApp] {
                      if (setApp->count() > 0) return clientSetPropsByAppId(*appIdNumber, edits);
                      if (!optionalId) throw UsageError("client set-props needs a client id or --app-id");
                      return clientSetProps(*optionalId, edits);
                    },
                    nullptr});

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
                    [&, numeric] {
                      if (numeric->count() == 0) return symbolicAppId(symbolic);
                      uint32_t velmoraId = 0, appId = 0;
                      parseAppId(appIdText, velmoraId, appId);
                      return numericAppId(velmoraId, appId);
                    },
                    nullptr});

  // ---- instance, backup set ----
  sub = addCommand(app, "instance", "An instance: name, properties and content",
                   "appmgr instance 6 --app 2:1045");
  sub->add_option("id", id64, "Instance id")->required();
  sub->add_option("--app", appIdText, "Numeric application id VELMORA:APPID of the instance")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  leaves.push_back({sub, [&] { return instanceById(id64, appIdText, passThrough); }, nullptr});
  sub = addCommand(app, "backup-set", "A backup set: name, flag and properties", "appmgr backup-set 7");
  sub->add_option("id", id64, "Backup set id")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  leaves.push_back({sub, [&] { return backupSetById(id64, passThrough); }, nullptr});

  // ---- subclient ----
  CLI::App* subclient =
      addGroup(app, "subclient", "Look up a subclient, change its content, filters, properties");
  sub = addCommand(*subclient, "get", "A subclient: name, flag, properties, content and filters",
                   "appmgr subclient get 9 --app 2:1046");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--app", appIdText, "Numeric application id VELMORA:APPID of the subclient")->required();
  sub->add_option("--pass-through", passThrough, "Value passed to the store unchanged");
  leaves.push_back({sub, [&] { return subclientById(id64, appIdText, passThrough); }, nullptr});
  sub = addCommand(*subclient, "add-content", "Add paths to a subclient's content",
                   "appmgr subclient add-content 9 '/srv/new data'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("paths", paths, "Paths to add")->required();
  leaves.push_back({sub, [&] { return subclientUpdateContent(id64, paths, {}); }, nullptr});
  sub = addCommand(*subclient, "remove-content", "Remove paths from a subclient's content",
                   "appmgr subclient remove-content 9 /home");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("paths", paths, "Paths to remove")->required();
  leaves.push_back({sub, [&] { return subclientUpdateContent(id64, {}, paths); }, nullptr});
  sub = addCommand(*subclient, "add-filter", "Add entries to one filter group of a subclient",
                   "appmgr subclient add-filter 9 --group 3 '/home/*/.thumbnails'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--group", group, "Filter group (2 to 8)")->required()->check(CLI::Range(2, 8));
  sub->add_option("entries", paths, "Entries to add")->required();
  leaves.push_back({sub, [&] { return subclientUpdateFilters(id64, group, paths, {}); }, nullptr});
  sub = addCommand(*subclient, "remove-filter", "Remove entries from one filter group of a subclient",
                   "appmgr subclient remove-filter 9 --group 3 '/home/*/.cache'");
  sub->add_option("id", id64, "Subclient id")->required();
  sub->add_option("--group", group, "Filter group (2 to 8)")->required()->check(CLI::Range(2, 8));
  sub->add_option("entries", paths, "Entries to remove")->required();
  leaves.push_back({sub, [&] { return subclientUpdateFilters(id64, group, {}, paths); }, nullptr});
  sub = addCommand(*subclient, "set-props", "Set and remove properties of a subclient",
                   "appmgr subclient set-props 9 --set 'Streams=3' --set-type 'Streams=2' --remove Tag");
  sub->add_option("id", id64, "Subclient id")->required();
  addPropertyEdits(sub, edits);
  leaves.push_back({sub, [&] { return subclientSetProps(id64, edits); }, nullptr});

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
    leaves.push_back({sub, [&, q] { return adapterRequest(q, queryValues, context); }, nullptr});
  }
  CLI::App* lookup = addGroup(app, "lookup", "Adapter lookups of one value");
  for (const AdapterQuery& q : adapterLookups()) {
    sub = addCommand(*lookup, q.name, q.help, q.example);
    sub->add_option("id", id64, "The id to look up")->required();
    sub->add_option("--context", context, "Correlation value echoed in the reply");
    leaves.push_back({sub,
                      [&, q] {
                        QueryValues values;
                        values.type = values.instance = values.subclient = id64;
                        return adapterRequest(q, values, context);
                      },
                      nullptr});
  }

  // ---- store administration (local, no host) ----
  CLI::App* store =
      addGroup(app, "store", "Administer a configuration store: an SQLite file or a PostgreSQL catalog");
  const char* const storeArgument =
      "Store file, or a PostgreSQL connection string (postgresql://... or host=... dbname=...)";
  sub = addCommand(*store, "init", "Make an empty store", "appmgr store init /var/lib/appmgr/config.db");
  sub->add_option("store", storePath, storeArgument)->required();
  sub->add_flag("--force", force, "Empty an existing store");
  leaves.push_back({sub, nullptr, [&] { return storeInit(storePath, force, out, err); }});
  sub = addCommand(*store, "import", "Load a JSON tree into a store, in one transaction",
                   "appmgr store import config.db examples/sample-tree.json");
  sub->add_option("store", storePath, storeArgument)->required();
  sub->add_option("tree", treePath, "JSON tree file")->required();
  sub->add_flag("--force", force, "Replace the contents of an existing store");
  leaves.push_back({sub, nullptr, [&] { return storeImport(storePath, treePath, force, out, err); }});
  sub = addCommand(*store, "export", "Write a store's tree as JSON (to stdout without a file)",
                   "appmgr store export config.db tree.json");
  sub->add_option("store", storePath, storeArgument)->required();
  treePath = "-";
  sub->add_option("tree", treePath, "JSON file to write, - for stdout")->capture_default_str();
  sub->add_flag("--force", force, "Replace an existing JSON file");
  leaves.push_back({sub, nullptr, [&] { return storeExport(storePath, treePath, force, out, err); }});
  sub = addCommand(*store, "check", "Check a store's schema, integrity and tree",
                   "appmgr store check postgresql://db.example.net/appmgr");
  sub->add_option("store", storePath, storeArgument)->required();
  leaves.push_back({sub, nullptr, [&] { return storeCheck(storePath, out, err); }});

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (!options.tls.caFile.empty() || !options.tls.certificateFile.empty() || !options.tls.keyFile.empty() ||
      !options.tls.serverName.empty()) {
    options.tls.enabled = true;
  }
  for (const Leaf& leaf : leaves) {
    if (!leaf.app->parsed()) continue;
    if (leaf.local) return leaf.local();
    CliRequest request;
    try {
      request = leaf.build();
    } catch (const UsageError& e) {
      return usage(e.what(), err);
    }
    return sendAndPrint(request, options, envAddress, out, err);
  }
  return usage("no command given", err);
}

}  // namespace cli
}  // namespace appmgr
