// Exceptions of the listeners. A handler throws BCLsnException for its own
// checks and catches it itself, so a client always gets one response.
#ifndef APPMGR_BCLSNEXCEPTION_H_
#define APPMGR_BCLSNEXCEPTION_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

// Exception type of BCLsnException.
constexpr int BCLSN_GEN_EXCEPTION = 0x5001;
// Prefix of BCLsnException::toString(): "General Listener Exception:".
APPMGR_EXPORT extern const std::string BCLsnGenException;

class APPMGR_EXPORT Exception {
 public:
  Exception(int errorCode, const std::string& message, int type, const std::string& prefix);

  // The prefix followed directly by the message.
  virtual std::string toString();
  virtual int getErrorCode();
  virtual int getType();

 private:
  int type_;
  int errorCode_;
  std::string message_;
  std::string prefix_;
};

class APPMGR_EXPORT BCLsnException : public Exception {
 public:
  BCLsnException(int errorCode, const std::string& message);
};

#endif  // APPMGR_BCLSNEXCEPTION_H_
