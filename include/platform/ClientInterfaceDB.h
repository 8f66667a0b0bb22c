// Database access to clients and their properties, and the client records
// exchanged with it.
#ifndef PLATFORM_CLIENTINTERFACEDB_H_
#define PLATFORM_CLIENTINTERFACEDB_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "AppMgr/PropCallBack.h"
#include "platform/ApplProperty.h"

// Client-information record, filled by ClientInterface::lookup.
struct _AppClientInfo {
  uint64_t clientId = 0;
  uint64_t qualifier = 0;
  uint64_t reserved0[2] = {0, 0};
  uint64_t clientAttribute = 0;
  uint64_t numbers[3] = {0, 0, 0};
  uint64_t reserved1[2] = {0, 0};
  std::string clientName;
  std::string hostName;
  std::string displayName;
  std::string texts[3];
  uint64_t reserved2[2] = {0, 0};
  std::string versionText;
  uint64_t reserved3[2] = {0, 0};
  std::string installDirectory;
};
static_assert(sizeof(std::string) == 32, "the client records assume 32-byte strings");
static_assert(sizeof(_AppClientInfo) == 368);
static_assert(offsetof(_AppClientInfo, qualifier) == 8);
static_assert(offsetof(_AppClientInfo, clientAttribute) == 32);
static_assert(offsetof(_AppClientInfo, numbers) == 40);
static_assert(offsetof(_AppClientInfo, clientName) == 80);
static_assert(offsetof(_AppClientInfo, hostName) == 112);
static_assert(offsetof(_AppClientInfo, displayName) == 144);
static_assert(offsetof(_AppClientInfo, texts) == 176);
static_assert(offsetof(_AppClientInfo, versionText) == 288);
static_assert(offsetof(_AppClientInfo, installDirectory) == 336);

// One platform attribute of a client: type 1, 2 or 4 and its text.
struct ClientPlatformInfo {
  uint64_t type = 0;
  std::string value;
};
static_assert(sizeof(ClientPlatformInfo) == 40);
static_assert(offsetof(ClientPlatformInfo, value) == 8);

class ClientInterface {
 public:
  using PropertyList = std::list<const ApplProperty*>;

  virtual ~ClientInterface();
  // Finds the client by clientId, clientName or hostName (the first set);
  // platform points to three records of types 1, 2 and 4.
  virtual int lookup(_AppClientInfo& info, ClientPlatformInfo* platform, std::string& errorText,
                     void* reserved) = 0;
  virtual int getProperties(unsigned long clientId, long scope, std::string& errorText,
                            PropCallBack* callback, void* reserved) = 0;
  virtual int setProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                            void* reserved, int* reserved2) = 0;
  virtual int removeProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                               void* reserved, int* reserved2) = 0;
};

class ClientInterfaceDB final : public ClientInterface {
 public:
  ClientInterfaceDB(int mode, const std::string& context);

  int lookup(_AppClientInfo& info, ClientPlatformInfo* platform, std::string& errorText,
             void* reserved) override;
  int getProperties(unsigned long clientId, long scope, std::string& errorText, PropCallBack* callback,
                    void* reserved) override;
  int setProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                    void* reserved, int* reserved2) override;
  int removeProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                       void* reserved, int* reserved2) override;

 private:
  [[maybe_unused]] int mode_;
  std::string context_;
};

#endif  // PLATFORM_CLIENTINTERFACEDB_H_
