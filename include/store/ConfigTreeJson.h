// The JSON form of a whole configuration tree (docs/store-format.md): parse
// and format, and import into or export from any ConfigTreeStore
// (MemoryConfigStore, SqliteConfigStore).
//
// Every function returns 0 on success, otherwise an error code of
// appMgrErrorCodes.h with a text in errorText. A text that is not a valid
// tree is refused with XR_INVALID_DATA and a text of the form
// "<JSON path>: <why>", for example
// "$.velmoras[0].clients[1].instances[0].applicationType: application type 99 is not declared";
// an import that fails leaves the store unchanged.
#ifndef STORE_CONFIGTREEJSON_H_
#define STORE_CONFIGTREEJSON_H_

#include <string>

#include "store/ConfigTree.h"

// Parses and checks a JSON text into tree (replacing its contents).
int parseConfigTreeJson(const std::string& text, ConfigTree& tree, std::string& errorText);

// The canonical JSON text of tree: rows in ascending id order, fields at
// their default left out, two-space indentation, a final newline. Export of
// an imported text gives the same bytes again. Fails with XR_INVALID_DATA
// when a row's parent is not in the tree.
int formatConfigTreeJson(const ConfigTree& tree, std::string& text, std::string& errorText);

// Parses text and replaces the store's contents with it, in one step.
int importConfigTreeJson(const std::string& text, ConfigTreeStore& store, std::string& errorText);
// The store's contents as canonical JSON text.
int exportConfigTreeJson(ConfigTreeStore& store, std::string& text, std::string& errorText);

// The same, reading or writing a file. A failed export leaves no file behind.
int importConfigTreeFile(const std::string& path, ConfigTreeStore& store, std::string& errorText);
int exportConfigTreeFile(ConfigTreeStore& store, const std::string& path, std::string& errorText);

#endif  // STORE_CONFIGTREEJSON_H_
