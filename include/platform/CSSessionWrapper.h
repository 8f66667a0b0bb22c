// The host's network session as the library sees it. A host (TCP server,
// test harness) derives from it. send() is the third virtual operation.
#ifndef PLATFORM_CSSESSIONWRAPPER_H_
#define PLATFORM_CSSESSIONWRAPPER_H_

#include <string>

#include "platform/CZuError.h"

class CSSessionWrapper {
 public:
  virtual ~CSSessionWrapper();

  // The peer's protocol version. On failure the status is an error and
  // version is left as it was.
  virtual CZuError getProtocolVersion(unsigned int& version);

  // Sends one response: the record of `length` bytes at `record`, under
  // `responseCode`, with the error text. The session is responsible for
  // carrying the text behind the record's pointer fields (see
  // appmanResponseTextFields) to the peer; those texts are valid only until
  // send returns.
  virtual CZuError send(unsigned long responseCode, const void* record, unsigned int length,
                        const std::string& errorText) = 0;
};

#endif  // PLATFORM_CSSESSIONWRAPPER_H_
