// Token escaping of the list streams. An escaped token holds no space: a
// space becomes "+1", a plus sign "+2", the empty string a lone backquote,
// and a leading backquote is doubled.
#ifndef APPMGR_TOKENESCAPE_H_
#define APPMGR_TOKENESCAPE_H_

#include <string>

#include "AppMgr/AppMgrExport.h"

constexpr char TransformStringFromSymbol = ' ';
constexpr char TransformStringToSymbol = '+';
constexpr char TransformStringEmptySymbol = '`';

// Escapes s in place and returns it.
APPMGR_EXPORT std::string& transform_string_encode(std::string& s, char from, char to);
// Unescapes s in place and returns it. Never reads or removes past the end.
APPMGR_EXPORT std::string& transform_string_decode(std::string& s, char from, char to);

#endif  // APPMGR_TOKENESCAPE_H_
