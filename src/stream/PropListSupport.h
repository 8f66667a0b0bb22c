// The list handling that the client, instance, backup set and subclient
// listeners share: the property and content callbacks append heap records,
// and the clearing operations free them.
#ifndef SRC_STREAM_PROPLISTSUPPORT_H_
#define SRC_STREAM_PROPLISTSUPPORT_H_

#include <string>

#include "AppMgr/AppMgrProps.h"

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

#endif  // SRC_STREAM_PROPLISTSUPPORT_H_
