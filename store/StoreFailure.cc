// The stores' one way of reporting a failure.
#include "store/StoreFailure.h"

int storeFailure(uint32_t code, std::string& errorText, const std::string& text) {
  errorText = text;
  return static_cast<int>(code);
}
