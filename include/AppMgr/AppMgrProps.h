// Records that a listener collects while the database layer walks an
// object's properties or content. They live on the heap, are held by
// pointer in the listener's lists, and are freed only by the listener's
// clearing operations (name, value and path with array delete).
#ifndef APPMGR_APPMGRPROPS_H_
#define APPMGR_APPMGRPROPS_H_

#include <list>

#include "AppMgr/AppMgrExport.h"

struct APPMGR_EXPORT AppMgrProps {
  char* name = nullptr;  // owned, NUL-terminated
  unsigned long type = 0;
  char* value = nullptr;  // owned, NUL-terminated; passwords in encrypted form
};

struct APPMGR_EXPORT AppMgrContent {
  char* path = nullptr;  // owned, NUL-terminated
  unsigned long type = 0;
};

using AppMgrPropsList = std::list<AppMgrProps*>;
using AppMgrContentList = std::list<AppMgrContent*>;

#endif  // APPMGR_APPMGRPROPS_H_
