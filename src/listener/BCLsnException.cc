// Listener exceptions.
#include "AppMgr/BCLsnException.h"

const std::string BCLsnGenException = "General Listener Exception:";

Exception::Exception(int errorCode, const std::string& message, int type, const std::string& prefix)
    : type_(type), errorCode_(errorCode), message_(message), prefix_(prefix) {}

std::string Exception::toString() { return prefix_ + message_; }

int Exception::getErrorCode() { return errorCode_; }

int Exception::getType() { return type_; }

BCLsnException::BCLsnException(int errorCode, const std::string& message)
    : Exception(errorCode, message, BCLSN_GEN_EXCEPTION, BCLsnGenException) {}
