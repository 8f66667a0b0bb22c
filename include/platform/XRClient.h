// A client of the platform, for attribute queries.
#ifndef PLATFORM_XRCLIENT_H_
#define PLATFORM_XRCLIENT_H_

class XRClient {
 public:
  explicit XRClient(unsigned long clientId) : clientId_(clientId) {}
  // 0 on success; the flag receives the answer.
  int isNASClient(bool& flag, void* context);
  int isNonNDMPClient(bool& flag, void* context);

 private:
  unsigned long clientId_;
};

#endif  // PLATFORM_XRCLIENT_H_
