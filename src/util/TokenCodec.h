// Token escaping on character ranges, for the list codec's fast paths: the
// same code as transform_string_encode / transform_string_decode, appended
// to an output string without a temporary copy of the token.
#ifndef SRC_UTIL_TOKENCODEC_H_
#define SRC_UTIL_TOKENCODEC_H_

#include <cstddef>
#include <string>

// Appends the escaped form of the length bytes at text to out.
void appendEncodedToken(const char* text, size_t length, std::string& out);

// Replaces out with the unescaped form of the length bytes at token.
void assignDecodedToken(const char* token, size_t length, std::string& out);

#endif  // SRC_UTIL_TOKENCODEC_H_
