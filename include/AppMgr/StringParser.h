// Splitting a text at a delimiter character into a list of components.
#ifndef APPMGR_STRINGPARSER_H_
#define APPMGR_STRINGPARSER_H_

#include <string>
#include <vector>

#include "AppMgr/AppMgrExport.h"

// Search predicate that is true at the n-th occurrence of the delimiter, or
// at once for every character when n is 0. It counts as it goes, so one
// object serves one scan.
struct APPMGR_EXPORT NthDelimiter {
  int count;
  int n;
  char delimiter;

  NthDelimiter(int n, char delimiter);
  bool operator()(char c);
};

class APPMGR_EXPORT StringParser {
 public:
  StringParser(std::string text, char delimiter);

  // Appends the components of the text to the component list and returns
  // the list. A non-empty text with k delimiters gives k + 1 components (the
  // delimiters themselves dropped, empty components kept); the empty text
  // gives none. When minCount is positive and more than the number of
  // components found, empty strings make up the difference. The list is not
  // cleared first: a second call appends the components again.
  std::vector<std::string>& getComponents(int minCount);

 private:
  std::string text_;
  char delimiter_;
  std::vector<std::string> components_;
};

#endif  // APPMGR_STRINGPARSER_H_
