// Store administration on top of SqliteConfigStore and the JSON tree codec.
#include "StoreAdmin.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <sys/stat.h>

#include "platform/ConfigTree.h"
#include "platform/ConfigTreeJson.h"
#include "platform/PgConfigStore.h"
#include "platform/SqliteConfigStore.h"

namespace appmgr {
namespace cli {

namespace {

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Opens an existing store (never creates one).
bool openExisting(const std::string& path, std::shared_ptr<SqliteConfigStore>& store, std::ostream& err) {
  if (!fileExists(path)) {
    err << "appmgr: no store at " << path << "\n";
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(path, store, errorText) != 0) {
    err << "appmgr: " << path << ": " << errorText << "\n";
    return false;
  }
  return true;
}

// Opens the store at path for replacing its contents: refused when the
// file exists and force is not set. Opening checks that an existing file is
// one of our stores, so --force cannot clobber another kind of file.
bool openForWrite(const std::string& path, bool force, std::shared_ptr<SqliteConfigStore>& store,
                  std::ostream& err) {
  if (fileExists(path) && !force) {
    err << "appmgr: " << path << " exists; use --force to replace its contents\n";
    return false;
  }
  std::string errorText;
  if (SqliteConfigStore::open(path, store, errorText) != 0) {
    err << "appmgr: " << path << ": " << errorText << "\n";
    return false;
  }
  return true;
}

// Loads `text` into the PostgreSQL store `conninfo`: refused when the store
// already holds a Velmora or a client and force is not set. The connection
// string may carry a password, so messages never repeat it.
int importIntoPostgres(const std::string& conninfo, const std::string& text, const std::string& treePath,
                       bool force, std::ostream& out, std::ostream& err) {
  std::shared_ptr<PgConfigStore> store;
  std::string errorText;
  if (PgConfigStore::open(conninfo, store, errorText) != 0) {
    err << "appmgr: cannot open the PostgreSQL store: " << errorText << "\n";
    return 1;
  }
  if (!force) {
    ConfigTree current;
    if (store->readTree(current, errorText) != 0) {
      err << "appmgr: the PostgreSQL store: " << errorText << "\n";
      return 1;
    }
    if (!current.velmoras.empty() || !current.clients.empty()) {
      err << "appmgr: the PostgreSQL store holds a tree; use --force to replace its contents\n";
      return 1;
    }
  }
  if (importConfigTreeJson(text, *store, errorText) != 0) {
    err << "appmgr: the PostgreSQL store: " << errorText << "\n";
    return 1;
  }
  out << "imported " << treePath << " into the PostgreSQL store\n";
  return 0;
}

}  // namespace

int storeInit(const std::string& storePath, bool force, std::ostream& out, std::ostream& err) {
  std::shared_ptr<SqliteConfigStore> store;
  if (!openForWrite(storePath, force, store, err)) return 1;
  std::string errorText;
  if (store->replaceTree(ConfigTree(), errorText) != 0) {
    err << "appmgr: " << storePath << ": " << errorText << "\n";
    return 1;
  }
  out << "empty store " << storePath << "\n";
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
  if (PgConfigStore::isConnectionString(storePath)) {
    return importIntoPostgres(storePath, text, treePath, force, out, err);
  }
  std::shared_ptr<SqliteConfigStore> store;
  if (!openForWrite(storePath, force, store, err)) return 1;
  if (importConfigTreeJson(text, *store, errorText) != 0) {
    err << "appmgr: " << storePath << ": " << errorText << "\n";
    return 1;
  }
  out << "imported " << treePath << " into " << storePath << "\n";
  return 0;
}

int storeExport(const std::string& storePath, const std::string& treePath, bool force, std::ostream& out,
                std::ostream& err) {
  std::shared_ptr<SqliteConfigStore> store;
  if (treePath != "-" && fileExists(treePath) && !force) {
    err << "appmgr: " << treePath << " exists; use --force to replace it\n";
    return 1;
  }
  if (!openExisting(storePath, store, err)) return 1;
  std::string errorText;
  if (treePath == "-") {
    std::string text;
    if (exportConfigTreeJson(*store, text, errorText) != 0) {
      err << "appmgr: " << storePath << ": " << errorText << "\n";
      return 1;
    }
    out << text;
    return 0;
  }
  if (exportConfigTreeFile(*store, treePath, errorText) != 0) {
    err << "appmgr: " << errorText << "\n";
    return 1;
  }
  out << "exported " << storePath << " to " << treePath << "\n";
  return 0;
}

int storeCheck(const std::string& storePath, std::ostream& out, std::ostream& err) {
  std::shared_ptr<SqliteConfigStore> store;
  if (!openExisting(storePath, store, err)) return 1;  // refuses foreign and newer files
  std::string errorText;
  std::vector<std::string> problems;
  if (store->checkIntegrity(problems, errorText) != 0) {
    err << "appmgr: " << storePath << ": " << errorText << "\n";
    return 1;
  }
  for (const std::string& problem : problems) err << "appmgr: integrity: " << problem << "\n";
  if (!problems.empty()) return 1;
  // The tree read back must pass the same rules as a tree being imported.
  ConfigTree tree, reparsed;
  std::string text;
  if (store->readTree(tree, errorText) != 0 || formatConfigTreeJson(tree, text, errorText) != 0 ||
      parseConfigTreeJson(text, reparsed, errorText) != 0) {
    err << "appmgr: " << storePath << ": tree check failed: " << errorText << "\n";
    return 1;
  }
  out << storePath << ": ok (schema, integrity, tree: " << tree.velmoras.size() << " Velmoras, "
      << tree.clients.size() << " clients, " << tree.instances.size() << " instances, "
      << tree.backupSets.size() << " backup sets, " << tree.subclients.size() << " subclients)\n";
  return 0;
}

}  // namespace cli
}  // namespace appmgr
