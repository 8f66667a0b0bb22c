// Error codes of the application manager. The high 16 bits name the family
// (application id, Velmora, client, ...), the low 16 bits the case. Handlers
// put these into the errorCode field of their response records.
#ifndef APPMGR_APPMGRERRORCODES_H_
#define APPMGR_APPMGRERRORCODES_H_

#include <cstdint>

// Application id.
constexpr uint32_t XR_APPID_NOT_FOUND = 0x10001;
constexpr uint32_t XR_APPID_BAD_ARGS = 0x10002;
constexpr uint32_t XR_APPID_DEL_DEFBS_ATTEMPT = 0x10003;
constexpr uint32_t XR_APPID_DEL_DEFSC_ATTEMPT = 0x10004;
constexpr uint32_t XR_APPID_DELETE_FAILED = 0x10005;
constexpr uint32_t XR_APPID_ALREADY_INIT = 0x10006;
constexpr uint32_t XR_APPID_NONCREATE_MODE = 0x10007;

// Velmora.
constexpr uint32_t XR_VELMORA_NOT_FOUND = 0x20001;
constexpr uint32_t XR_VELMORA_BAD_TIMEZONE = 0x20002;

// Client.
constexpr uint32_t XR_CLIENT_NOT_FOUND = 0x30001;
constexpr uint32_t XR_CLIENT_BAD_PLATFORM = 0x30002;
constexpr uint32_t XR_CLIENT_BAD_UPDATE_REQUEST = 0x30003;

// Application type.
constexpr uint32_t XR_APPTYPE_NOT_FOUND = 0x40001;
constexpr uint32_t XR_APPTYPE_EXISTS = 0x40002;

// Instance.
constexpr uint32_t XR_INSTANCE_NOT_FOUND = 0x50001;
constexpr uint32_t XR_EMPTY_INSTANCE_NAME = 0x50002;
constexpr uint32_t XR_INSTANCE_UNAVAILABLE = 0x50003;
constexpr uint32_t XR_INST_IN_USE = 0x50004;
constexpr uint32_t XR_INST_UPDATE_DENIED = 0x50005;
constexpr uint32_t XR_INST_CREATE_DENIED = 0x50006;

// Backup set.
constexpr uint32_t XR_BACKUPSET_NOT_FOUND = 0x60001;
constexpr uint32_t XR_EMPTY_BACKUPSET_NAME = 0x60002;
constexpr uint32_t XR_DEFAULT_BS_DEL_DENIED = 0x60003;
constexpr uint32_t XR_BSET_IN_USE = 0x60004;
constexpr uint32_t XR_BS_UPDATE_DENIED = 0x60005;
constexpr uint32_t XR_BS_ALREADY_EXISTS = 0x60006;

// Subclient.
constexpr uint32_t XR_SUBCLIENT_NOT_FOUND = 0x70001;
constexpr uint32_t XR_EMPTY_SUBCLIENT_NAME = 0x70002;
constexpr uint32_t XR_SUBCLIENT_UNAVAILABLE = 0x70003;
constexpr uint32_t XR_DEFAULT_SC_DEL_DENIED = 0x70004;
constexpr uint32_t XR_SC_UPDATE_DENIED = 0x70005;

// Property. XR_PROP_EXISTS_IN_QVL has six hexadecimal digits (family 0x0080).
constexpr uint32_t XR_PROP_NOT_FOUND = 0x80001;
constexpr uint32_t XR_INVALID_GLOBAL_PROP = 0x80002;
constexpr uint32_t XR_PROP_EXISTS_IN_QVL = 0x800003;

// Content.
constexpr uint32_t XR_CONTENT_NOT_FOUND = 0x90001;
constexpr uint32_t XR_BAD_CONTENT_TYPE = 0x90002;
constexpr uint32_t XR_CANT_UPDATE_CONTENT = 0x90003;
constexpr uint32_t XR_ASSOC_CCP_ATTEMPT = 0x90004;
constexpr uint32_t XR_DUPL_CONTENT_FOUND = 0x90005;
constexpr uint32_t XR_CONTENT_INVALID_SUBCLIENT = 0x90006;

// General.
constexpr uint32_t XR_NEW_UNKNOWN_EXCEPTION = 0xa0000;
constexpr uint32_t XR_APPMGR_GENERIC_ERROR = 0xa0001;
constexpr uint32_t XR_DECRYPT_PSWD_FAILED = 0xa0002;
constexpr uint32_t XR_ENCRYPT_PSWD_FAILED = 0xa0003;
constexpr uint32_t XR_INVALID_DATA = 0xa0004;
constexpr uint32_t XR_SESSION_LOCK_FAILED = 0xa0005;
constexpr uint32_t XR_SESSION_NOTCONNECTED = 0xa0006;
constexpr uint32_t XR_BAD_ARGS = 0xa0007;
constexpr uint32_t XR_BAD_REQUEST = 0xa0008;
constexpr uint32_t XR_BAD_ALERT_SENDER_ADDR = 0xa0009;
constexpr uint32_t XR_BAD_TABLE_ID = 0xa000a;
constexpr uint32_t XR_GET_INTERFACE_FAILED = 0xa000b;
constexpr uint32_t XR_UCS2_TO_UTF8_CONV_FAILED = 0xa000c;
constexpr uint32_t XR_UTF8_TO_UCS2_CONV_FAILED = 0xa000d;
constexpr uint32_t XR_SUBCLIENT_POLICY_CREATION_FAILED = 0xa000e;
constexpr uint32_t XR_SUBCLIENT_POLICY_ASSOC_FAILED = 0xa000f;
constexpr uint32_t XR_NOT_IMPLEMENTED = 0xa0010;
constexpr uint32_t XR_INVALID_SUBTASKID = 0xa0012;
constexpr uint32_t XR_SCRIPT_SAVE_FAILED = 0xa0013;
constexpr uint32_t XR_ERROR_JOBS_RUNNING = 0xa0014;

// Application manager. Six hexadecimal digits: family 0x00a0, not 0x000a.
constexpr uint32_t XR_APPMGR_NO_RIGHTS = 0xa00015;
constexpr uint32_t XR_APPMGR_JOB_NOT_ACTIVE = 0xa00016;
constexpr uint32_t XR_APPMGR_JOB_NOT_FOUND = 0xa00017;
constexpr uint32_t XR_APPMGR_CCSDB_NET_FALLBACK = 0xa00018;

// Database: the query returned no row.
constexpr uint32_t XR_DB_NODATA = 100;

// Decoding or lookup failure of the property-stream handlers.
constexpr uint32_t XR_STREAM_FAILURE = 0xC201;

constexpr int XR_APPMGR_VERSION_2 = 2;
constexpr int XR_MAX_HOSTNAME_LEN = 1024;
constexpr int XR_APPMGR_PROP_DELIMITER = 32;  // space
constexpr int XR_APPMGR_FILE_DELIMITER = 59;  // semicolon
constexpr int XR_PASSWORD_VER_1 = 1;
constexpr int XR_PASSWORD_VER_2 = 2;

#endif  // APPMGR_APPMGRERRORCODES_H_
