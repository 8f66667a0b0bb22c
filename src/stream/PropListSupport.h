// The list handling that the client, instance, backup set and subclient
// listeners share: the property and content callbacks append heap records,
// and the clearing operations free them.
#ifndef SRC_STREAM_PROPLISTSUPPORT_H_
#define SRC_STREAM_PROPLISTSUPPORT_H_

#include <list>
#include <string>

#include "AppMgr/AppMgrProps.h"
#include "platform/ApplProperty.h"

// A new NUL-terminated copy of text (array new, length plus one).
char* copyText(const std::string& text);

// Appends a new record with copies of name and value.
void appendProperty(AppMgrPropsList& list, const std::string& name, unsigned long type,
                    const std::string& value);
// Appends a new record with a copy of path.
void appendContent(AppMgrContentList& list, unsigned long type, const std::string& path);

// Frees every record (its texts first) and empties the list.
void clearPropList(AppMgrPropsList& list);
void clearContentList(AppMgrContentList& list);

// Deletes every element of an incoming list (decoded properties or content
// entries) and empties the list.
void deleteIncomingList(std::list<const ApplProperty*>& list);
void deleteIncomingList(std::list<std::string*>& list);

// One incoming list owned by a handler: clear() deletes its elements, and so
// does the destructor, on every path out of the handler.
template <typename Element>
class IncomingList {
 public:
  IncomingList() = default;
  IncomingList(const IncomingList&) = delete;
  IncomingList& operator=(const IncomingList&) = delete;
  ~IncomingList() { clear(); }

  std::list<Element*>& items() { return items_; }
  void clear() { deleteIncomingList(items_); }

 private:
  std::list<Element*> items_;
};

#endif  // SRC_STREAM_PROPLISTSUPPORT_H_
