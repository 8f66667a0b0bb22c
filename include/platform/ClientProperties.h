// Properties of one client as the platform describes them.
#ifndef PLATFORM_CLIENTPROPERTIES_H_
#define PLATFORM_CLIENTPROPERTIES_H_

#include <string>

class ClientProperties {
 public:
  explicit ClientProperties(unsigned long clientId) : clientId_(clientId) {}
  // 0 on success; text receives the client's version text.
  int getVersionInfo(std::string& text, void* context);

 private:
  unsigned long clientId_;
};

#endif  // PLATFORM_CLIENTPROPERTIES_H_
