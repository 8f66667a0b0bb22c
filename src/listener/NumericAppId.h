// The numeric application id text of the instance and subclient lookups:
// "<velmoraId><XR_NUMERIC_APPLICATIONID_DELIMITER><appId>".
#ifndef SRC_LISTENER_NUMERICAPPID_H_
#define SRC_LISTENER_NUMERICAPPID_H_

#include "AppMgr/AppIdInfo.h"

// Splits `text` at the first delimiter and reads the part before it into
// info.velmoraId and the part after it into info.appId; nothing else of
// info changes. Each part is an unsigned decimal: leading whitespace is
// skipped, reading stops at the first non-digit, a part that does not start
// with a digit gives 0 and a value too large for the field gives its
// maximum. Returns false, leaving info untouched, when text is null or holds
// no delimiter.
bool parseNumericAppId(const char* text, AppIdInfo& info);

#endif  // SRC_LISTENER_NUMERICAPPID_H_
