// The ODBC timestamp structure, as database rows deliver it. An ODBC
// sqltypes.h defines the same structure inside its __SQLDATE block; when
// that header has been included first, its definition is used instead.
#ifndef APPMGR_ODBCTIMESTAMP_H_
#define APPMGR_ODBCTIMESTAMP_H_

#include <cstdint>

#ifndef __SQLDATE
struct tagTIMESTAMP_STRUCT {
  int16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint32_t fraction;
};
#endif

#endif  // APPMGR_ODBCTIMESTAMP_H_
