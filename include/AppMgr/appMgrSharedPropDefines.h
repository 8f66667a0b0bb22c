// Shared text constants of the application manager: the numeric application
// id delimiter, the content prefixes of Notes profiles and views, the flag
// tokens written into lookup streams, and the names of the properties that
// hold passwords.
#ifndef APPMGR_APPMGRSHAREDPROPDEFINES_H_
#define APPMGR_APPMGRSHAREDPROPDEFINES_H_

#include <string>

// "<velmoraId>:<appId>", for example "2:1045".
constexpr char XR_NUMERIC_APPLICATIONID_DELIMITER[] = ":";

// Prepended to instance content paths of types 9 (profile) and 10 (view).
constexpr char XR_NOTES_PROFILE_PREFIX[] = "NotesProfile:";
constexpr char XR_NOTES_VIEW_PREFIX[] = "NotesView:";

// Flag tokens of the lookup streams and adapter lists; distinct, no spaces.
constexpr char XR_APPMGR_PROP_TRUE_STR_VAL[] = "true";
constexpr char XR_APPMGR_PROP_FALSE_STR_VAL[] = "false";

// Property names whose values are encrypted passwords.
inline const std::string XR_PROP_FS_USER_PASSWORD = "FS User Password";
inline const std::string XR_INFORMIX_PASSWORD = "Informix Password";
inline const std::string XR_ORACLE_SQL_CONNECT_PWD = "Oracle SQL Connect Password";
inline const std::string XR_ORACLE_CATALOG_CONNECT_PWD = "Oracle Catalog Connect Password";
inline const std::string XR_ORACLE_PASSWORD = "Oracle Password";
inline const std::string XR_ORACLE_DOMAIN_USER_PASSWORD = "Oracle Domain User Password";
inline const std::string XR_EXCHANGE_USERPASS = "Exchange User Password";
inline const std::string XR_PROP_UNC_CONTENT_PASSWORD = "UNC Content Password";

#endif  // APPMGR_APPMGRSHAREDPROPDEFINES_H_
