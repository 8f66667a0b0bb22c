// Store administration on top of the SQLite and PostgreSQL stores and the
// JSON tree codec.
#include "StoreAdmin.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <sys/stat.h>

#include "platform/ConfigTree.h"
#include "platform/ConfigTreeJson.h"
#include "platform/PgConfigStore.h"
#include "platform/SqliteConfigStore.h"

#include "host/StoreOpener.h"

namespace appmgr {
namespace cli {

namespace {

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The store a command works on: an SQLite file or a PostgreSQL catalog,
// as host/StoreOpener tells them apart.
struct AdminStore {
  std::shared_ptr<SqliteConfigStore> sqlite;
  std::shared_ptr<PgConfigStore> postgres;
  std::string name;  // for messages: the file, or the connection string without its password

  ConfigTreeStore& tree() {
    if (sqlite) return *sqlite;
    return *postgres;
  }
  int checkIntegrity(std::vector<std::string>& problems, std::string& errorText) {
    return sqlite ? sqlite->checkIntegrity(problems, errorText)
                  : postgres->checkIntegrity(problems, errorText);
  }
};

bool isPostgres(const std::string& argument) {
  return appmgr::storeSpecForArgument(argument).kind == appmgr::StoreSpec::Kind::kPostgres;
}

// Opens the PostgreSQL store; with `create`, an empty schema becomes one.
bool openPostgres(const std::string& conninfo, bool create, AdminStore& store, std::ostream& err) {
  PgConfigStore::Options options;
  options.poolSize = 1;
  options.create = create;
  store.name = PgConfigStore::describe(conninfo);
  std::string errorText;
  if (PgConfigStore::open(conninfo, options, store.postgres, errorText) != 0) {
    err << "appmgr: " << store.name << ": " << errorText << "\n";
    return false;
  }
  return true;
}

// Opens an existing store (never creates one).
bool openExisting(const std::string& argument, AdminStore& store, std::ostream& err) {
  if (isPostgres(argument)) return openPostgres(argument, false, store, err);
  store.name = argument;
  if (!fileExists(argument)) {
    err << "appmgr: no store at " << argument << "\n";
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(argument, store.sqlite, errorText) != 0) {
    err << "appmgr: " << argument << ": " << errorText << "\n";
    return false;
  }
  return true;
}

bool holdsConfiguration(const ConfigTree& tree) {
  return !tree.globalParams.empty() || !tree.applicationTypes.empty() || !tree.velmoras.empty() ||
         !tree.clients.empty();
}

// Opens the store for replacing its contents: refused when the file exists
// (a PostgreSQL store: when it holds any configuration) and force is not
// set. Opening checks that an existing file or schema is one of our stores,
// so --force cannot clobber anything else.
bool openForWrite(const std::string& argument, bool force, AdminStore& store, std::ostream& err) {
  if (isPostgres(argument)) {
    if (!openPostgres(argument, true, store, err)) return false;
    if (force) return true;
    ConfigTree tree;
    std::string errorText;
    if (store.postgres->readTree(tree, errorText) != 0) {
      err << "appmgr: " << store.name << ": " << errorText << "\n";
      return false;
    }
    if (holdsConfiguration(tree)) {
      err << "appmgr: " << store.name << " holds a configuration; use --force to replace its contents\n";
      return false;
    }
    return true;
  }
  store.name = argument;
  if (fileExists(argument) && !force) {
    err << "appmgr: " << argument << " exists; use --force to replace its contents\n";
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(argument, store.sqlite, errorText) != 0) {
    err << "appmgr: " << argument << ": " << errorText << "\n";
    return false;
  }
  return true;
}

}  // namespace

int storeInit(const std::string& storePath, bool force, std::ostream& out, std::ostream& err) {
  AdminStore store;
  if (!openForWrite(storePath, force, store, err)) return 1;
  std::string errorText;
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
