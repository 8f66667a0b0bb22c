// Token escaping on character ranges, for the list codec's fast paths: the
// same code as transform_string_encode / transform_string_decode, appended
// to an output string without a temporary copy of the token.
#ifndef SRC_UTIL_TOKENCODEC_H_
#define SRC_UTIL_TOKENCODEC_H_

#include <cstddef>
#include <string>

// Room to give putEncodedToken for length bytes: the escaped form takes at
// most 2 * length + 1 bytes; the scanning version may store up to sixteen
// bytes beyond what it writes.
constexpr size_t maxEncodedLength(size_t length) { return 2 * length + 17; }

// Writes the escaped form of the length bytes at text at out, which has
// room for maxEncodedLength(length) bytes; returns the end. Scans sixteen
// bytes at a time with SSE2 where the target has it.
char* putEncodedToken(char* out, const char* text, size_t length);

// The same, one byte at a time: the reference of the scanning version.
char* putEncodedTokenScalar(char* out, const char* text, size_t length);

// Appends the escaped form of the length bytes at text to out.
void appendEncodedToken(const char* text, size_t length, std::string& out);

// Replaces out with the unescaped form of the length bytes at token.
void assignDecodedToken(const char* token, size_t length, std::string& out);

#endif  // SRC_UTIL_TOKENCODEC_H_
