// Conversion between wide strings and UTF-8 strings. The wide string holds
// UTF-16 units, one per wide character; a wide character above 0xFFFF (up to
// 0x10FFFF) is taken as the scalar value and written as its surrogate pair.
#ifndef APPMGR_UNICODECONVERSION_H_
#define APPMGR_UNICODECONVERSION_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

constexpr int kUnicodeNoMemory = -11111;          // a working buffer could not be allocated
constexpr int kUnicodeConversionFailed = -33333;  // the text does not convert (strict mode)

// Converts in to UTF-8. Returns 0, kUnicodeNoMemory, or
// kUnicodeConversionFailed for an unpaired surrogate other than a high
// surrogate at the very end, or a wide character above 0x10FFFF. The output
// is assigned only on success and ends at the first NUL character.
APPMGR_EXPORT int unicodeToUtf8(const std::wstring& in, std::string& out);

// Converts UTF-8 in to a wide string of UTF-16 units (a character above
// 0xFFFF gives two wide characters). Returns 0, kUnicodeNoMemory, or
// kUnicodeConversionFailed for any illegal, overlong, surrogate or truncated
// sequence. The output is assigned only on success and ends at the first
// NUL character.
APPMGR_EXPORT int utf8ToUnicode(const std::string& in, std::wstring& out);

#endif  // APPMGR_UNICODECONVERSION_H_
