// Token escaping: not built yet.
#include "AppMgr/TokenEscape.h"

std::string& transform_string_encode(std::string& s, char /*from*/, char /*to*/) { return s; }
std::string& transform_string_decode(std::string& s, char /*from*/, char /*to*/) { return s; }
