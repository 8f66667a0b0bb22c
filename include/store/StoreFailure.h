// How a store operation reports a failure: the error code as the result,
// its text in the caller's errorText. The stores and the database classes
// above them report failures this one way.
#ifndef STORE_STOREFAILURE_H_
#define STORE_STOREFAILURE_H_

#include <cstdint>
#include <string>

// Sets errorText and returns code as a database result.
int storeFailure(uint32_t code, std::string& errorText, const std::string& text);

#endif  // STORE_STOREFAILURE_H_
