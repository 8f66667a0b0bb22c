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

// Every operation returns 0 or an error code with a text in errorText; the
// void* and int* arguments are unused and passed null. Every id is taken as
// a client id, whichever request it came from.
class ClientInterface {
 public:
  using PropertyList = std::list<const ApplProperty*>;

  virtual ~ClientInterface();
  // Finds one client by the first of these that is set: a non-zero
  // info.clientId, a non-empty info.clientName, a non-empty info.hostName
  // (none set: XR_CLIENT_NOT_FOUND). info.qualifier goes to the store with
  // the key. On success info.clientId, qualifier (the client's stored
  // qualifier), clientAttribute, clientName, hostName and versionText hold
  // the client's values, and each of the three records behind `platform`
  // (null: none wanted) gets the client's text for its type: 1 the
  // operating system, 2 its version, 4 the processor, any other type empty.
  virtual int lookup(_AppClientInfo& info, ClientPlatformInfo* platform, std::string& errorText,
                     void* reserved) = 0;
  // Hands every property of the client to callback before returning. scope
  // goes to the store unchanged. A client that does not exist:
  // XR_CLIENT_NOT_FOUND; a null callback: XR_BAD_ARGS.
  virtual int getProperties(unsigned long clientId, long scope, std::string& errorText,
                            PropCallBack* callback, void* reserved) = 0;
  // Sets (adds or replaces by name) every property of `properties` for the
  // client, as one change; removeProperties removes the properties named
  // (names not set are ignored). A client that does not exist is refused
  // with XR_CLIENT_NOT_FOUND and a list holding a null property with
  // XR_BAD_ARGS, both changing nothing. `flag` is not used by this store.
  virtual int setProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                            void* reserved, int* reserved2) = 0;
  virtual int removeProperties(unsigned long id, PropertyList& properties, bool flag, std::string& errorText,
                               void* reserved, int* reserved2) = 0;
};

class ClientInterfaceDB final : public ClientInterface {
 public:
  // Both arguments are kept and not used by this store.
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
