// Store administration on top of the store opener and the JSON tree codec.
#include "StoreAdmin.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/ConfigTree.h"
#include "store/ConfigTreeJson.h"
#include "store/StoreOpener.h"

namespace appmgr {
namespace cli {

namespace {

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool openExisting(const std::string& argument, AdminStore& store, std::ostream& err) {
  std::string error;
  if (openExistingStore(argument, store, error)) return true;
  err << "appmgr: " << error << "\n";
  return false;
}

bool openForWrite(const std::string& argument, bool force, AdminStore& store, std::ostream& err) {
  std::string error;
  if (openStoreForWrite(argument, force, store, error)) return true;
  err << "appmgr: " << error << "\n";
  return false;
}

// The audit trail names the command and the user that ran it.
std::string commandActor(const char* command) {
  const uid_t uid = ::getuid();
  const struct passwd* user = ::getpwuid(uid);
  return std::string("appmgr store ") + command + " (user " + (user != nullptr ? user->pw_name : "?") +
         ", uid " + std::to_string(uid) + ")";
}

}  // namespace

int storeInit(const std::string& storePath, bool force, std::ostream& out, std::ostream& err) {
  AdminStore store;
  if (!openForWrite(storePath, force, store, err)) return 1;
  std::string errorText;
  const std::string who = commandActor("init");
  const ConfigStore::ActorScope actor({who.c_str(), 0, nullptr});
  if (store.tree().replaceTree(ConfigTree(), errorText) != 0) {
    err << "appmgr: " << store.name << ": " << errorText << "\n";
    return 1;
  }
  out << "empty store " << store.name << "\n";
  return 0;
}

int storeImport(const std::string& storePath, const std::string& treePath, bool force, std::ostream& out,
                std::ostream& err) {
  // Parse first, so a bad tree leaves no new file behind.
  std::string errorText;
  std::string text;
  {
    ConfigTree tree;
    FILE* file = std::fopen(treePath.c_str(), "rb");
    if (file == nullptr) {
      err << "appmgr: cannot read " << treePath << "\n";
      return 1;
    }
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
    if (parseConfigTreeJson(text, tree, errorText) != 0) {
      err << "appmgr: " << treePath << ": " << errorText << "\n";
      return 1;
    }
  }
  AdminStore store;
  if (!openForWrite(storePath, force, store, err)) return 1;
  const std::string who = commandActor("import");
  const ConfigStore::ActorScope actor({who.c_str(), 0, nullptr});
  if (importConfigTreeJson(text, store.tree(), errorText) != 0) {
    err << "appmgr: " << store.name << ": " << errorText << "\n";
    return 1;
  }
  out << "imported " << treePath << " into " << store.name << "\n";
  return 0;
}

int storeExport(const std::string& storePath, const std::string& treePath, bool force, std::ostream& out,
                std::ostream& err) {
  AdminStore store;
  if (treePath != "-" && fileExists(treePath) && !force) {
    err << "appmgr: " << treePath << " exists; use --force to replace it\n";
    return 1;
  }
  if (!openExisting(storePath, store, err)) return 1;
  std::string errorText;
  if (treePath == "-") {
    std::string text;
    if (exportConfigTreeJson(store.tree(), text, errorText) != 0) {
      err << "appmgr: " << store.name << ": " << errorText << "\n";
      return 1;
    }
    out << text;
    return 0;
  }
  if (exportConfigTreeFile(store.tree(), treePath, errorText) != 0) {
    err << "appmgr: " << errorText << "\n";
    return 1;
  }
  out << "exported " << store.name << " to " << treePath << "\n";
  return 0;
}

int storeCheck(const std::string& storePath, std::ostream& out, std::ostream& err) {
  AdminStore store;
  if (!openExisting(storePath, store, err)) return 1;  // refuses foreign and newer stores
  std::string errorText;
  std::vector<std::string> problems;
  if (store.checkIntegrity(problems, errorText) != 0) {
    err << "appmgr: " << store.name << ": " << errorText << "\n";
    return 1;
  }
  for (const std::string& problem : problems) err << "appmgr: integrity: " << problem << "\n";
  if (!problems.empty()) return 1;
  // The tree read back must pass the same rules as a tree being imported.
  ConfigTree tree, reparsed;
  std::string text;
  if (store.tree().readTree(tree, errorText) != 0 || formatConfigTreeJson(tree, text, errorText) != 0 ||
      parseConfigTreeJson(text, reparsed, errorText) != 0) {
    err << "appmgr: " << store.name << ": tree check failed: " << errorText << "\n";
    return 1;
  }
  out << store.name << ": ok (schema, integrity, tree: " << tree.velmoras.size() << " Velmoras, "
      << tree.clients.size() << " clients, " << tree.instances.size() << " instances, "
      << tree.backupSets.size() << " backup sets, " << tree.subclients.size() << " subclients)\n";
  return 0;
}

}  // namespace cli
}  // namespace appmgr
