// Differential runs of the listener over several configuration stores: a
// fuzz input is decoded into a sequence of requests (lookups, adapter
// queries, property, content and filter updates, well formed or not) over
// one small tree, and the sequence runs through
// BCLsnMsgHandler::handleMessage on every store, each request on each store
// in turn. The stores must answer alike: the same result, the same response
// record byte for byte (its text pointers compared by the texts they point
// at), the same error text, and after the sequence the same exported tree.
// The first difference is printed and aborts the process.
//
// Input layout (every read past the end reads 0, so any input is a
// sequence):
//   per request  byte: the request kind (modulo the kinds, with one code
//                that is not served); byte: bits 0-1 the peer (0, 1:
//                protocol 7; 2: protocol 6; 3: the version query fails),
//                bits 2-7 all set: no record at all; then the fields of the
//                kind, each chosen by one byte: mostly an id of the kind
//                the field names (or 0, the lists' wildcard), else one of
//                a table of other ids (their neighbours, 32- and 64-bit
//                limits), else eight raw bytes; texts are words of a
//                vocabulary or raw bytes, and list texts are built as the
//                listener's streams with counts, separators, escaping and
//                truncation chosen by further bytes
//   at most kMaxRequests requests; the rest of the input is ignored.
#ifndef FUZZ_STOREDIFFERENTIAL_H_
#define FUZZ_STOREDIFFERENTIAL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/ConfigStore.h"
#include "store/ConfigTree.h"

namespace differential {

constexpr size_t kMaxRequests = 48;

// One store of a comparison. `tree` is the same object as `store`.
struct StoreUnderTest {
  std::string name;
  std::shared_ptr<ConfigStore> store;
  ConfigTreeStore* tree = nullptr;
};

struct Options {
  // Texts are made valid UTF-8 (each byte of a broken sequence becomes
  // '?'): for stores that refuse other texts by design (PostgreSQL).
  bool utf8Only = false;
};

// Sets the process up once: no password key (so conversions for old peers
// fail alike on every store instead of drawing random nonces) and a log
// sink that drops every line.
void initialize();

// The tree every sequence starts from.
const ConfigTree& startTree();

// An empty memory store, and an empty SQLite store in a file of a private
// directory (removed at exit); abort when they cannot be opened.
StoreUnderTest openMemoryStore();
StoreUnderTest openSqliteStore();

// Resets every store to startTree(), decodes `data` and runs the sequence;
// aborts on the first difference from stores[0].
void runSequence(const uint8_t* data, size_t size, const std::vector<StoreUnderTest>& stores,
                 const Options& options = Options());

}  // namespace differential

#endif  // FUZZ_STOREDIFFERENTIAL_H_
