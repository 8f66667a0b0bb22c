// Value-to-text conversion with fixed formats, splitting a text at a
// delimiter, and white-space trimming.
#ifndef APPMGR_BASICCONVERSION_H_
#define APPMGR_BASICCONVERSION_H_

#include <string>
#include <vector>

#include "AppMgr/AppMgrExport.h"

// Trims white space (7-bit isspace only; bytes 0x80 to 0xFF never count)
// from both ends of s, in place.
APPMGR_EXPORT void trimWhiteSpace(std::string& s);

// Returns its argument unchanged.
APPMGR_EXPORT std::string StringToWString(std::string s);

#endif  // APPMGR_BASICCONVERSION_H_
