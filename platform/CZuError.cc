// Status object of the session operations.
#include "platform/CZuError.h"

#include <utility>

CZuError::CZuError(int code, std::string text)
    : code_(code), detail_(std::make_shared<const std::string>(std::move(text))) {}

std::string CZuError::AsString() const {
  if (detail_ && !detail_->empty()) return *detail_;
  return code_ == 0 ? "Success" : "Error " + std::to_string(code_);
}
