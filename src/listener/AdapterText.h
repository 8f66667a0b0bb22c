// The texts of the adapters' requests and answers.
//
// Request text: whitespace-separated decimal numbers
//   type n1 n2 ...
// where the type is read as a signed 32-bit integer and n1, n2, ... as
// unsigned 64-bit integers, all by the stream's own rules.
//
// Answer text: one line per list entry, each ended by '\n', in one of four
// shapes (names escaped so that they hold no space):
//   id | name | id SP name | id SP flagToken SP name
// A lookup answers one line of the same kind.
#ifndef SRC_LISTENER_ADAPTERTEXT_H_
#define SRC_LISTENER_ADAPTERTEXT_H_

#include <istream>
#include <ostream>
#include <string>

#include "platform/AdaptersInterfaceDB.h"

// Reads the numbers of a request text in order.
class AdapterRequestReader {
 public:
  explicit AdapterRequestReader(std::istream& in) : in_(in) {}

  // The type: the first number, or 0 when the text does not start with one.
  int readType();
  // The next number. A missing or non-numeric number reads as 0, and so do
  // all after it. Throws BCLsnException(XR_BAD_ARGS, "Bad Arguments
  // specified.") when the stream is in its bad state.
  unsigned long next();

 private:
  std::istream& in_;
};

// The lists one database call fills.
struct AdapterLists {
  AdaptersInterface::IdList ids;
  AdaptersInterface::NameList names;
  AdaptersInterface::FlagList flags;
};

enum class ListLine { kId, kName, kIdName, kIdFlagName };

// Writes one line of `shape` per entry, walking the lists the shape uses in
// step. Returns 0; or, when those lists differ in length, XR_INVALID_DATA
// with a text in errorText and nothing written (a peer never receives a list
// cut short).
int writeListLines(std::ostream& out, ListLine shape, const AdapterLists& lists, std::string& errorText);

// `value` escaped as one token.
std::string escapedToken(std::string value);

#endif  // SRC_LISTENER_ADAPTERTEXT_H_
