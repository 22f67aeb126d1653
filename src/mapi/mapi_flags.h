// Flag words, object types, enumerations of restrictions and table operations, and the stream
// constants of the Extended MAPI calls the library makes (mapidefs.h, mapix.h, mapitags.h,
// edkmdb.h, objidl.h).
#pragma once

#include "mapi/mapi_types.h"

// objbase.h defines the STGM_ names as macros; see mapi_codes.h for how the two meet.
#if defined(_WIN32)
#pragma push_macro("STGM_DIRECT")
#pragma push_macro("STGM_READ")
#pragma push_macro("STGM_WRITE")
#pragma push_macro("STGM_READWRITE")
#pragma push_macro("STGM_SHARE_EXCLUSIVE")
#pragma push_macro("STGM_CREATE")
#pragma push_macro("STGM_TRANSACTED")
#undef STGM_DIRECT
#undef STGM_READ
#undef STGM_WRITE
#undef STGM_READWRITE
#undef STGM_SHARE_EXCLUSIVE
#undef STGM_CREATE
#undef STGM_TRANSACTED
#endif

namespace mapi {

// Character width of strings in a call
inline constexpr ULONG MAPI_UNICODE = 0x80000000;

// MAPIInitialize: MAPIINIT_0
inline constexpr ULONG MAPI_INIT_VERSION = 0;
inline constexpr ULONG MAPI_MULTITHREAD_NOTIFICATIONS = 0x00000001;
inline constexpr ULONG MAPI_NO_COINIT = 0x00000008;
inline constexpr ULONG MAPI_NT_SERVICE = 0x00010000;

// MAPILogonEx
inline constexpr ULONG MAPI_LOGON_UI = 0x00000001;
inline constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
inline constexpr ULONG MAPI_ALLOW_OTHERS = 0x00000008;
inline constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x00000010;
inline constexpr ULONG MAPI_EXTENDED = 0x00000020;
inline constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;
inline constexpr ULONG MAPI_FORCE_DOWNLOAD = 0x00001000;
inline constexpr ULONG MAPI_SERVICE_UI_ALWAYS = 0x00002000;
inline constexpr ULONG MAPI_NO_MAIL = 0x00008000;
inline constexpr ULONG MAPI_PASSWORD_UI = 0x00020000;
inline constexpr ULONG MAPI_TIMEOUT_SHORT = 0x00100000;

// IMAPISession::OpenAddressBook
inline constexpr ULONG AB_NO_DIALOG = 0x00000001;

// IMAPISession::OpenMsgStore
inline constexpr ULONG MDB_NO_DIALOG = 0x00000001;
inline constexpr ULONG MDB_WRITE = 0x00000004;
inline constexpr ULONG MDB_TEMPORARY = 0x00000020;
inline constexpr ULONG MDB_NO_MAIL = 0x00000080;

// IExchangeManageStore::CreateStoreEntryID
inline constexpr ULONG OPENSTORE_USE_ADMIN_PRIVILEGE = 0x00000001;
inline constexpr ULONG OPENSTORE_PUBLIC = 0x00000002;
inline constexpr ULONG OPENSTORE_HOME_LOGON = 0x00000004;
inline constexpr ULONG OPENSTORE_TAKE_OWNERSHIP = 0x00000008;
inline constexpr ULONG OPENSTORE_OVERRIDE_HOME_MDB = 0x00000010;
inline constexpr ULONG OPENSTORE_TRANSPORT = 0x00000020;
inline constexpr ULONG OPENSTORE_REMOTE_TRANSPORT = 0x00000040;

// OpenEntry, OpenProperty, CreateFolder, GetIDsFromNames and the table requests
inline constexpr ULONG MAPI_MODIFY = 0x00000001;
inline constexpr ULONG MAPI_CREATE = 0x00000002;
inline constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
inline constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
inline constexpr ULONG MAPI_ASSOCIATED = 0x00000040;
inline constexpr ULONG OPEN_IF_EXISTS = 0x00000001;

// IMAPIFolder
inline constexpr ULONG FOLDER_ROOT = 0;
inline constexpr ULONG FOLDER_GENERIC = 1;
inline constexpr ULONG FOLDER_SEARCH = 2;
inline constexpr ULONG MAPI_MOVE = 0x00000001;
inline constexpr ULONG MESSAGE_DIALOG = 0x00000002;
inline constexpr ULONG FOLDER_DIALOG = 0x00000002;
inline constexpr ULONG DEL_MESSAGES = 0x00000001;
inline constexpr ULONG DEL_FOLDERS = 0x00000004;
inline constexpr ULONG DEL_ASSOCIATED = 0x00000008;

// IMAPIProp::SaveChanges
inline constexpr ULONG KEEP_OPEN_READONLY = 0x00000001;
inline constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002;
inline constexpr ULONG FORCE_SAVE = 0x00000004;

// Profile and message service administration
inline constexpr ULONG MAPI_DIALOG = 0x00000008;
inline constexpr ULONG MAPI_DEFAULT_SERVICES = 0x00000001;
inline constexpr ULONG SERVICE_UI_ALWAYS = 0x00000002;
inline constexpr ULONG SERVICE_UI_ALLOWED = 0x00000010;

// Recipients
inline constexpr ULONG MAPI_ORIG = 0;
inline constexpr ULONG MAPI_TO = 1;
inline constexpr ULONG MAPI_CC = 2;
inline constexpr ULONG MAPI_BCC = 3;
inline constexpr ULONG MAPI_P1 = 0x10000000;
inline constexpr ULONG MAPI_SUBMITTED = 0x80000000;
inline constexpr ULONG MODRECIP_ADD = 0x00000002;
inline constexpr ULONG MODRECIP_MODIFY = 0x00000004;
inline constexpr ULONG MODRECIP_REMOVE = 0x00000008;

// PR_MESSAGE_FLAGS
inline constexpr ULONG MSGFLAG_READ = 0x00000001;
inline constexpr ULONG MSGFLAG_UNMODIFIED = 0x00000002;
inline constexpr ULONG MSGFLAG_SUBMIT = 0x00000004;
inline constexpr ULONG MSGFLAG_UNSENT = 0x00000008;
inline constexpr ULONG MSGFLAG_HASATTACH = 0x00000010;
inline constexpr ULONG MSGFLAG_FROMME = 0x00000020;
inline constexpr ULONG MSGFLAG_ASSOCIATED = 0x00000040;

// IAddrBook::Address: ADRPARM.ulFlags
inline constexpr ULONG DIALOG_MODAL = 0x00000001;
inline constexpr ULONG DIALOG_SDI = 0x00000002;
inline constexpr ULONG DIALOG_OPTIONS = 0x00000004;
inline constexpr ULONG ADDRESS_ONE = 0x00000008;
inline constexpr ULONG AB_SELECTONLY = 0x00000010;
inline constexpr ULONG AB_RESOLVE = 0x00000020;
inline constexpr ULONG AB_UNICODEUI = 0x00000040;

// PR_OBJECT_TYPE
inline constexpr ULONG MAPI_STORE = 0x1;
inline constexpr ULONG MAPI_ADDRBOOK = 0x2;
inline constexpr ULONG MAPI_FOLDER = 0x3;
inline constexpr ULONG MAPI_ABCONT = 0x4;
inline constexpr ULONG MAPI_MESSAGE = 0x5;
inline constexpr ULONG MAPI_MAILUSER = 0x6;
inline constexpr ULONG MAPI_ATTACH = 0x7;
inline constexpr ULONG MAPI_DISTLIST = 0x8;
inline constexpr ULONG MAPI_PROFSECT = 0x9;
inline constexpr ULONG MAPI_STATUS = 0xA;
inline constexpr ULONG MAPI_SESSION = 0xB;
inline constexpr ULONG MAPI_FORMINFO = 0xC;

// PR_DISPLAY_TYPE
inline constexpr ULONG DT_MAILUSER = 0x00000000;
inline constexpr ULONG DT_DISTLIST = 0x00000001;
inline constexpr ULONG DT_FORUM = 0x00000002;
inline constexpr ULONG DT_AGENT = 0x00000003;
inline constexpr ULONG DT_ORGANIZATION = 0x00000004;
inline constexpr ULONG DT_PRIVATE_DISTLIST = 0x00000005;
inline constexpr ULONG DT_REMOTE_MAILUSER = 0x00000006;
inline constexpr ULONG DT_MODIFIABLE = 0x00010000;
inline constexpr ULONG DT_GLOBAL = 0x00020000;
inline constexpr ULONG DT_LOCAL = 0x00030000;
inline constexpr ULONG DT_WAN = 0x00040000;
inline constexpr ULONG DT_NOT_SPECIFIC = 0x00050000;
inline constexpr ULONG DT_FOLDER = 0x01000000;
inline constexpr ULONG DT_FOLDER_LINK = 0x02000000;
inline constexpr ULONG DT_FOLDER_SPECIAL = 0x04000000;

// Tables
inline constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
inline constexpr BOOKMARK BOOKMARK_CURRENT = 1;
inline constexpr BOOKMARK BOOKMARK_END = 2;
inline constexpr ULONG TBL_ASYNC = 0x00000001;
inline constexpr ULONG TBL_BATCH = 0x00000002;
inline constexpr ULONG TBL_NOADVANCE = 0x00000001;
inline constexpr ULONG TBL_ALL_COLUMNS = 0x00000001;
inline constexpr ULONG TABLE_SORT_ASCEND = 0x00000000;
inline constexpr ULONG TABLE_SORT_DESCEND = 0x00000001;
inline constexpr ULONG TABLE_SORT_COMBINE = 0x00000002;

// SRestriction.rt
inline constexpr ULONG RES_AND = 0x00;
inline constexpr ULONG RES_OR = 0x01;
inline constexpr ULONG RES_NOT = 0x02;
inline constexpr ULONG RES_CONTENT = 0x03;
inline constexpr ULONG RES_PROPERTY = 0x04;
inline constexpr ULONG RES_COMPAREPROPS = 0x05;
inline constexpr ULONG RES_BITMASK = 0x06;
inline constexpr ULONG RES_SIZE = 0x07;
inline constexpr ULONG RES_EXIST = 0x08;
inline constexpr ULONG RES_SUBRESTRICTION = 0x09;
inline constexpr ULONG RES_COMMENT = 0x0A;

// Relational operators of property, compare-properties and size restrictions
inline constexpr ULONG RELOP_LT = 0;
inline constexpr ULONG RELOP_LE = 1;
inline constexpr ULONG RELOP_GT = 2;
inline constexpr ULONG RELOP_GE = 3;
inline constexpr ULONG RELOP_EQ = 4;
inline constexpr ULONG RELOP_NE = 5;
inline constexpr ULONG RELOP_RE = 6;

// Bit mask restrictions
inline constexpr ULONG BMR_EQZ = 0;
inline constexpr ULONG BMR_NEZ = 1;

// Fuzzy levels of content restrictions: one match kind in the low word, modifiers above
inline constexpr ULONG FL_FULLSTRING = 0x00000000;
inline constexpr ULONG FL_SUBSTRING = 0x00000001;
inline constexpr ULONG FL_PREFIX = 0x00000002;
inline constexpr ULONG FL_IGNORECASE = 0x00010000;
inline constexpr ULONG FL_IGNORENONSPACE = 0x00020000;
inline constexpr ULONG FL_LOOSE = 0x00040000;

// MAPINAMEID.ulKind
inline constexpr ULONG MNID_ID = 0;
inline constexpr ULONG MNID_STRING = 1;

// MAPIERROR.ulVersion
inline constexpr ULONG MAPI_ERROR_VERSION = 0;

// Storage modes of IMAPIProp::OpenProperty's interface options for IStream
inline constexpr ULONG STGM_DIRECT = 0x00000000;
inline constexpr ULONG STGM_READ = 0x00000000;
inline constexpr ULONG STGM_WRITE = 0x00000001;
inline constexpr ULONG STGM_READWRITE = 0x00000002;
inline constexpr ULONG STGM_SHARE_EXCLUSIVE = 0x00000010;
inline constexpr ULONG STGM_CREATE = 0x00001000;
inline constexpr ULONG STGM_TRANSACTED = 0x00010000;

// IStream::Seek origins, IStream::Stat and IStream::Commit flags
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;
inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;
inline constexpr DWORD STGC_DEFAULT = 0;

}  // namespace mapi

#if defined(_WIN32)
#pragma pop_macro("STGM_DIRECT")
#pragma pop_macro("STGM_READ")
#pragma pop_macro("STGM_WRITE")
#pragma pop_macro("STGM_READWRITE")
#pragma pop_macro("STGM_SHARE_EXCLUSIVE")
#pragma pop_macro("STGM_CREATE")
#pragma pop_macro("STGM_TRANSACTED")
#endif
