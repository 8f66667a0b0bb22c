// What every store shares about looking up a client: host names compare
// without regard to ASCII case (the SQL stores do it in their statements
// and indexes, the memory store here), and a miss says what was looked for.
#ifndef STORE_CLIENTLOOKUP_H_
#define STORE_CLIENTLOOKUP_H_

#include <string>

#include "store/ConfigStore.h"

// Equal but for the case of ASCII letters: SQLite's NOCASE, PostgreSQL's
// lower() under "C".
inline bool sameHostName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// "Client 999 not found", "Client 'db01' not found", "No client has the host name 'x'".
inline std::string clientNotFound(ClientKey key, const ClientRow& match) {
  switch (key) {
    case ClientKey::kId:
      return "Client " + std::to_string(match.id) + " not found";
    case ClientKey::kName:
      return "Client '" + match.name + "' not found";
    case ClientKey::kHostName:
      break;
  }
  return "No client has the host name '" + match.hostName + "'";
}

#endif  // STORE_CLIENTLOOKUP_H_
