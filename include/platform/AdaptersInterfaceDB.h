// Database access for the adapters' list queries and lookups.
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
  virtual int getVelmoraList(IdList& ids, NameList& names, std::string& errorText, unsigned long n1,
                             void* reserved, bool flag) = 0;
  virtual int getClientList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                            void* reserved, int mode) = 0;
  virtual int getClientListOfType(IdList& ids, NameList& names, std::string& errorText, unsigned long n1,
                                  int type, void* reserved, bool flag) = 0;
  virtual int getAppIdList(NameList& names, std::string& errorText, unsigned long n2, unsigned long n1,
                           unsigned long n3, unsigned long n4, unsigned long n5, void* reserved,
                           bool flag) = 0;
  virtual int getApplicationTypes(IdList& ids, NameList& names, std::string& errorText, unsigned long n1,
                                  void* reserved, int mode) = 0;
  // Three-number form.
  virtual int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long a,
                              unsigned long b, unsigned long c, void* reserved, int mode) = 0;
  // Two-number form.
  virtual int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long a,
                              unsigned long b, void* reserved, int mode) = 0;
  virtual int getBackupSetList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                               unsigned long a, unsigned long b, unsigned long c, void* reserved,
                               int mode) = 0;
  virtual int getSubclientList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText,
                               unsigned long a, unsigned long b, void* reserved, int mode) = 0;
  virtual int getApplications(NameList& names, unsigned long n1, unsigned long n2, bool& flag,
                              std::string& errorText, void* reserved) = 0;
  virtual int getApplicationTypeName(unsigned long appTypeId, std::string& name, std::string& errorText,
                                     void* reserved) = 0;
  virtual int getAppIdString(unsigned long appId, std::string& text, std::string& errorText,
                             void* reserved) = 0;
  virtual int getClientId(unsigned long instanceId, unsigned long& first, unsigned long& second,
                          std::string& errorText, void* reserved) = 0;
};

class AdaptersInterfaceDB final : public AdaptersInterface {
 public:
  int getVelmoraList(IdList& ids, NameList& names, std::string& errorText, unsigned long n1, void* reserved,
                     bool flag) override;
  int getClientList(IdList& ids, NameList& names, std::string& errorText, unsigned long velmoraId,
                    void* reserved, int mode) override;
  int getClientListOfType(IdList& ids, NameList& names, std::string& errorText, unsigned long n1, int type,
                          void* reserved, bool flag) override;
  int getAppIdList(NameList& names, std::string& errorText, unsigned long n2, unsigned long n1,
                   unsigned long n3, unsigned long n4, unsigned long n5, void* reserved, bool flag) override;
  int getApplicationTypes(IdList& ids, NameList& names, std::string& errorText, unsigned long n1,
                          void* reserved, int mode) override;
  int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long a, unsigned long b,
                      unsigned long c, void* reserved, int mode) override;
  int getInstanceList(IdList& ids, NameList& names, std::string& errorText, unsigned long a, unsigned long b,
                      void* reserved, int mode) override;
  int getBackupSetList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText, unsigned long a,
                       unsigned long b, unsigned long c, void* reserved, int mode) override;
  int getSubclientList(IdList& ids, NameList& names, FlagList& flags, std::string& errorText, unsigned long a,
                       unsigned long b, void* reserved, int mode) override;
  int getApplications(NameList& names, unsigned long n1, unsigned long n2, bool& flag, std::string& errorText,
                      void* reserved) override;
  int getApplicationTypeName(unsigned long appTypeId, std::string& name, std::string& errorText,
                             void* reserved) override;
  int getAppIdString(unsigned long appId, std::string& text, std::string& errorText, void* reserved) override;
  int getClientId(unsigned long instanceId, unsigned long& first, unsigned long& second,
                  std::string& errorText, void* reserved) override;
};

#endif  // PLATFORM_ADAPTERSINTERFACEDB_H_
