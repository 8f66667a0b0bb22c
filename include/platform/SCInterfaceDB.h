// Database access to subclients: lookup, properties and content updates.
#ifndef PLATFORM_SCINTERFACEDB_H_
#define PLATFORM_SCINTERFACEDB_H_

#include <list>
#include <string>

#include "AppMgr/PropCallBack.h"
#include "platform/ApplProperty.h"

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
  virtual int setProperties(unsigned long subclientId, PropertyList& properties, bool flag,
                            std::string& errorText, void* reserved, int* reserved2) = 0;
  virtual int removeProperties(unsigned long subclientId, PropertyList& properties, bool flag,
                               std::string& errorText, void* reserved, int* reserved2) = 0;
  // Applies `first` (entries to add) and `second` (entries to remove) to the
  // content (type 1) or a filter group (type 2..8) of the subclient.
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
};

#endif  // PLATFORM_SCINTERFACEDB_H_
