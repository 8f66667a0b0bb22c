// Database access for the adapters' list queries and lookups, answered from
// the installed configuration store (ConfigStore.h gives what each filter
// means). Every operation returns 0 or an error code with a text; its output
// lists are replaced on success and left unspecified on failure. The lists
// of one call always have the same length. An id of 0 means "any" where the
// store operation says so.
#ifndef PLATFORM_ADAPTERSINTERFACEDB_H_
#define PLATFORM_ADAPTERSINTERFACEDB_H_

#include <list>
#include <string>

class AdaptersInterface {
 public:
  using IdList = std::list<unsigned long>;
  using NameList = std::list<std::string>;
  using FlagList = std::list<bool>;

  virtual ~AdaptersInterface();
  // Velmora ids and names: only `velmoraId`, or every Velmora for 0.
  // byName: ordered by name instead of id.
  virtual int getVelmoraList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                             void* reserved, bool byName) = 0;
  // Client ids and names of a Velmora, by id. scope 1: clients with an
  // instance; 2: every client. Other scopes: XR_BAD_ARGS.
  virtual int getClientList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                            void* reserved, int scope) = 0;
  // Clients of a Velmora having any of the role bits `roles` (1 data agent,
  // 2 media agent; other bits: XR_BAD_ARGS). byName: ordered by name.
  virtual int getClientListOfType(IdList& ids, NameList& names, std::string& errorText,
                                  unsigned long velmoraId, int roles, void* reserved, bool byName) = 0;
  // Numeric application id texts ("<velmoraId>:<appId>") of a client's
  // applications, narrowed by application type, instance and backup set.
  // byName: ordered by instance, backup set and subclient name.
  virtual int getAppIdList(NameList& names, std::string& errorText, unsigned long clientId,
                           unsigned long velmoraId, unsigned long appTypeId, unsigned long instanceId,
                           unsigned long backupSetId, void* reserved, bool byName) = 0;
  // Application type ids and names. scope 0: every type; 1: the types of
  // which client `clientId` has an instance. Other scopes: XR_BAD_ARGS.
  virtual int getApplicationTypes(IdList& ids, NameList& names, std::string& errorText,
                                  unsigned long clientId, void* reserved, int scope) = 0;
  // Instances of a client in a Velmora, narrowed by application type.
  // order 0: by id; 1: by name; other orders: XR_BAD_ARGS.
  virtual int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long clientId,
                              unsigned long velmoraId, unsigned long appTypeId, void* reserved,
                              int order) = 0;
  // Instances of an application type in a Velmora, on any client; order as
  // above.
  virtual int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                              unsigned long appTypeId, void* reserved, int order) = 0;
  // Backup sets narrowed by client, application type and instance; the flag
  // is bit 3 of the backup set's flags; order as above.
  virtual int getBackupSetList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                               unsigned long clientId, unsigned long appTypeId, unsigned long instanceId,
                               void* reserved, int order) = 0;
  // Subclients narrowed by client and backup set; the flag is bit 3 of the
  // subclient's flags; order as above.
  virtual int getSubclientList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                               unsigned long clientId, unsigned long backupSetId, void* reserved,
                               int order) = 0;
  // Numeric application id texts of the applications of an archive group;
  // `nonEmpty` tells whether the group has any.
  virtual int getApplications(NameList& names, unsigned long velmoraId, unsigned long archiveGroupId,
                              bool& nonEmpty, std::string& errorText, void* reserved) = 0;
  // The name of an application type.
  virtual int getApplicationTypeName(unsigned long appTypeId, std::string& name, std::string& errorText,
                                     void* reserved) = 0;
  // The numeric application id text of the application of a subclient.
  virtual int getAppIdString(unsigned long subclientId, std::string& text, std::string& errorText,
                             void* reserved) = 0;
  // The client and the Velmora of an instance.
  virtual int getClientId(unsigned long instanceId, unsigned long& clientId, unsigned long& velmoraId,
                          std::string& errorText, void* reserved) = 0;
};

class AdaptersInterfaceDB final : public AdaptersInterface {
 public:
  int getVelmoraList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                     void* reserved, bool byName) override;
  int getClientList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                    void* reserved, int scope) override;
  int getClientListOfType(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                          int roles, void* reserved, bool byName) override;
  int getAppIdList(NameList& names, std::string& errorText, unsigned long clientId, unsigned long velmoraId,
                   unsigned long appTypeId, unsigned long instanceId, unsigned long backupSetId,
                   void* reserved, bool byName) override;
  int getApplicationTypes(IdList& ids, NameList& names, std::string& errorText, unsigned long clientId,
                          void* reserved, int scope) override;
  int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long clientId,
                      unsigned long velmoraId, unsigned long appTypeId, void* reserved, int order) override;
  int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                      unsigned long appTypeId, void* reserved, int order) override;
  int getBackupSetList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                       unsigned long clientId, unsigned long appTypeId, unsigned long instanceId,
                       void* reserved, int order) override;
  int getSubclientList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                       unsigned long clientId, unsigned long backupSetId, void* reserved, int order) override;
  int getApplications(NameList& names, unsigned long velmoraId, unsigned long archiveGroupId, bool& nonEmpty,
                      std::string& errorText, void* reserved) override;
  int getApplicationTypeName(unsigned long appTypeId, std::string& name, std::string& errorText,
                             void* reserved) override;
  int getAppIdString(unsigned long subclientId, std::string& text, std::string& errorText,
                     void* reserved) override;
  int getClientId(unsigned long instanceId, unsigned long& clientId, unsigned long& velmoraId,
                  std::string& errorText, void* reserved) override;
};

#endif  // PLATFORM_ADAPTERSINTERFACEDB_H_
