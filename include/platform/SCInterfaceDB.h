// Database access to subclients: lookup, properties and content updates.
#ifndef PLATFORM_SCINTERFACEDB_H_
#define PLATFORM_SCINTERFACEDB_H_

#include <list>
#include <string>

#include "AppMgr/PropCallBack.h"
#include "platform/ApplProperty.h"
#include "platform/PropertyVisitor.h"

// Every operation returns 0 or an error code with a text in errorText; the
// void* and int* arguments are unused and passed null.
class SCInterface {
 public:
  using PropertyList = std::list<const ApplProperty*>;
  using EntryList = std::list<std::string*>;

  virtual ~SCInterface();
  // On success: name, flags, backup set id, instance id, client id and
  // description of the subclient.
  virtual int lookup(unsigned long subclientId, std::string& name, long& flags, unsigned long& backupSetId,
                     unsigned long& instanceId, unsigned long& clientId, std::string& description,
                     std::string& errorText, void* reserved) = 0;
  virtual int getProperties(unsigned long subclientId, long passThrough, std::string& errorText,
                            PropCallBack* callback, void* reserved) = 0;
  // Sets (adds or replaces by name) every property of `properties` for the
  // subclient, as one change; removeProperties removes the properties named
  // (names not set are ignored). A subclient that does not exist is refused
  // with XR_SUBCLIENT_NOT_FOUND and a list holding a null property with
  // XR_BAD_ARGS, both changing nothing. `flag` is not used by this store.
  virtual int setProperties(unsigned long subclientId, PropertyList& properties, bool flag,
                            std::string& errorText, void* reserved, int* reserved2) = 0;
  virtual int removeProperties(unsigned long subclientId, PropertyList& properties, bool flag,
                               std::string& errorText, void* reserved, int* reserved2) = 0;
  // Changes one entry group of the subclient, all or nothing:
  //   contentType  1 addresses the backup content, 2 to 8 the filter groups
  //   first        entries to add, in order; adding an entry that is there
  //                is a no-op
  //   second       entries to remove; removing an entry that is not there is
  //                a no-op. Additions come before removals, so an entry in
  //                both lists ends up absent
  //   isContent    true for the backup content, false for a filter group
  //   flag2, flag3 not used by this store
  // A content type outside 1..8, type 1 without isContent or a filter group
  // with it is refused with XR_BAD_CONTENT_TYPE; a list holding a null entry
  // with XR_BAD_ARGS; a subclient that does not exist with
  // XR_CONTENT_INVALID_SUBCLIENT. A refused call changes nothing; the
  // change is one store call, so the store applies it whole or not at all.
  virtual int updateContent(unsigned long subclientId, int contentType, EntryList& first, EntryList& second,
                            bool isContent, bool flag2, bool flag3, std::string& errorText, void* reserved,
                            int* reserved2) = 0;
};

class SCInterfaceDB final : public SCInterface {
 public:
  int lookup(unsigned long subclientId, std::string& name, long& flags, unsigned long& backupSetId,
             unsigned long& instanceId, unsigned long& clientId, std::string& description,
             std::string& errorText, void* reserved) override;
  int getProperties(unsigned long subclientId, long passThrough, std::string& errorText,
                    PropCallBack* callback, void* reserved) override;
  int setProperties(unsigned long subclientId, PropertyList& properties, bool flag, std::string& errorText,
                    void* reserved, int* reserved2) override;
  int removeProperties(unsigned long subclientId, PropertyList& properties, bool flag, std::string& errorText,
                       void* reserved, int* reserved2) override;
  int updateContent(unsigned long subclientId, int contentType, EntryList& first, EntryList& second,
                    bool isContent, bool flag2, bool flag3, std::string& errorText, void* reserved,
                    int* reserved2) override;

  // The read of getProperties for in-process callers: the same properties
  // in the same order, each handed to `visitor` as views that live until
  // the call returns, without a copy of its texts per property; the same
  // result and error text.
  int visitProperties(unsigned long subclientId, long passThrough, std::string& errorText,
                      PropertyVisitor& visitor);
};

#endif  // PLATFORM_SCINTERFACEDB_H_
