// The plain per-character conversions that the fast paths of the Unicode
// converters and wrappers must match exactly. The fast paths hand every
// character they do not handle themselves to the same per-character code,
// and the differential tests compare the two over large input sets.
#ifndef SRC_UTIL_UNICODEREFERENCE_H_
#define SRC_UTIL_UNICODEREFERENCE_H_

#include <string>

#include "AppMgr/ConvertUTF.h"

namespace unicode_reference {

// Same arguments, results and pointer positions as ConvertUTF8toUTF16 and
// ConvertUTF16toUTF8, one character at a time.
ConversionResult convertUTF8toUTF16(const unsigned char** sourceStart, const unsigned char* sourceEnd,
                                    unsigned short** targetStart, unsigned short* targetEnd,
                                    ConversionFlags flags);
ConversionResult convertUTF16toUTF8(const unsigned short** sourceStart, const unsigned short* sourceEnd,
                                    unsigned char** targetStart, unsigned char* targetEnd,
                                    ConversionFlags flags);

// The wrappers built on the two converters above.
int unicodeToUtf8(const std::wstring& in, std::string& out);
int utf8ToUnicode(const std::string& in, std::wstring& out);

}  // namespace unicode_reference

#endif  // SRC_UTIL_UNICODEREFERENCE_H_
