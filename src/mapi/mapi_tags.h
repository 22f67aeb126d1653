// Property types, property tag arithmetic and the property tags the library uses (mapitags.h,
// edkmdb.h, emsabtag.h).
//
// String properties are declared only with an explicit width: _W for PT_UNICODE, _A for
// PT_STRING8. There is no TCHAR-dependent spelling.
#pragma once

#include "mapi/mapi_types.h"

namespace mapi {

// Property types
inline constexpr ULONG PT_UNSPECIFIED = 0x0000;
inline constexpr ULONG PT_NULL = 0x0001;
inline constexpr ULONG PT_I2 = 0x0002;
inline constexpr ULONG PT_SHORT = PT_I2;
inline constexpr ULONG PT_LONG = 0x0003;
inline constexpr ULONG PT_I4 = PT_LONG;
inline constexpr ULONG PT_R4 = 0x0004;
inline constexpr ULONG PT_FLOAT = PT_R4;
inline constexpr ULONG PT_DOUBLE = 0x0005;
inline constexpr ULONG PT_R8 = PT_DOUBLE;
inline constexpr ULONG PT_CURRENCY = 0x0006;
inline constexpr ULONG PT_APPTIME = 0x0007;
inline constexpr ULONG PT_ERROR = 0x000A;
inline constexpr ULONG PT_BOOLEAN = 0x000B;
inline constexpr ULONG PT_OBJECT = 0x000D;
inline constexpr ULONG PT_I8 = 0x0014;
inline constexpr ULONG PT_LONGLONG = PT_I8;
inline constexpr ULONG PT_STRING8 = 0x001E;
inline constexpr ULONG PT_UNICODE = 0x001F;
inline constexpr ULONG PT_SYSTIME = 0x0040;
inline constexpr ULONG PT_CLSID = 0x0048;
inline constexpr ULONG PT_BINARY = 0x0102;

// Multi-valued types: the single-valued type with MV_FLAG. MV_INSTANCE marks a table column
// in which each row carries one value of a multi-valued property.
inline constexpr ULONG MV_FLAG = 0x1000;
inline constexpr ULONG MV_INSTANCE = 0x2000;
inline constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
inline constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
inline constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
inline constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
inline constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
inline constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
inline constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
inline constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
inline constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;
inline constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
inline constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
inline constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;

inline constexpr ULONG PROP_TYPE_MASK = 0x0000FFFF;
inline constexpr ULONG PROP_ID_NULL = 0x0000;
inline constexpr ULONG PROP_ID_INVALID = 0xFFFF;

constexpr ULONG PROP_TAG(ULONG type, ULONG id) {
    return (id << 16) | type;
}
constexpr ULONG PROP_TYPE(ULONG tag) {
    return tag & PROP_TYPE_MASK;
}
constexpr ULONG PROP_ID(ULONG tag) {
    return tag >> 16;
}
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) {
    return (tag & 0xFFFF0000u) | type;
}

inline constexpr ULONG PR_NULL = PROP_TAG(PT_NULL, PROP_ID_NULL);

// Common object properties
inline constexpr ULONG PR_ACCESS = 0x0FF40003;
inline constexpr ULONG PR_INSTANCE_KEY = 0x0FF60102;
inline constexpr ULONG PR_ACCESS_LEVEL = 0x0FF70003;
inline constexpr ULONG PR_RECORD_KEY = 0x0FF90102;
inline constexpr ULONG PR_STORE_ENTRYID = 0x0FFB0102;
inline constexpr ULONG PR_OBJECT_TYPE = 0x0FFE0003;
inline constexpr ULONG PR_ENTRYID = 0x0FFF0102;
inline constexpr ULONG PR_ROWID = 0x30000003;
inline constexpr ULONG PR_DISPLAY_NAME_W = 0x3001001F;
inline constexpr ULONG PR_DISPLAY_NAME_A = 0x3001001E;
inline constexpr ULONG PR_ADDRTYPE_W = 0x3002001F;
inline constexpr ULONG PR_ADDRTYPE_A = 0x3002001E;
inline constexpr ULONG PR_EMAIL_ADDRESS_W = 0x3003001F;
inline constexpr ULONG PR_EMAIL_ADDRESS_A = 0x3003001E;
inline constexpr ULONG PR_COMMENT_W = 0x3004001F;
inline constexpr ULONG PR_COMMENT_A = 0x3004001E;
inline constexpr ULONG PR_DEPTH = 0x30050003;
inline constexpr ULONG PR_CREATION_TIME = 0x30070040;
inline constexpr ULONG PR_LAST_MODIFICATION_TIME = 0x30080040;
inline constexpr ULONG PR_RESOURCE_FLAGS = 0x30090003;
inline constexpr ULONG PR_SEARCH_KEY = 0x300B0102;
inline constexpr ULONG PR_PROVIDER_UID = 0x300C0102;

// Message properties
inline constexpr ULONG PR_MESSAGE_CLASS_W = 0x001A001F;
inline constexpr ULONG PR_MESSAGE_CLASS_A = 0x001A001E;
inline constexpr ULONG PR_SUBJECT_W = 0x0037001F;
inline constexpr ULONG PR_SUBJECT_A = 0x0037001E;
inline constexpr ULONG PR_CLIENT_SUBMIT_TIME = 0x00390040;
inline constexpr ULONG PR_RECIPIENT_TYPE = 0x0C150003;
inline constexpr ULONG PR_DELETE_AFTER_SUBMIT = 0x0E01000B;
inline constexpr ULONG PR_MESSAGE_DELIVERY_TIME = 0x0E060040;
inline constexpr ULONG PR_MESSAGE_FLAGS = 0x0E070003;
inline constexpr ULONG PR_MESSAGE_SIZE = 0x0E080003;
inline constexpr ULONG PR_PARENT_ENTRYID = 0x0E090102;
inline constexpr ULONG PR_SENTMAIL_ENTRYID = 0x0E0A0102;
inline constexpr ULONG PR_BODY_W = 0x1000001F;
inline constexpr ULONG PR_BODY_A = 0x1000001E;

// Message store properties
inline constexpr ULONG PR_DEFAULT_STORE = 0x3400000B;
inline constexpr ULONG PR_STORE_SUPPORT_MASK = 0x340D0003;
inline constexpr ULONG PR_MDB_PROVIDER = 0x34140102;
inline constexpr ULONG PR_IPM_SUBTREE_ENTRYID = 0x35E00102;
inline constexpr ULONG PR_IPM_OUTBOX_ENTRYID = 0x35E20102;
inline constexpr ULONG PR_IPM_WASTEBASKET_ENTRYID = 0x35E30102;
inline constexpr ULONG PR_IPM_SENTMAIL_ENTRYID = 0x35E40102;

// Folder properties
inline constexpr ULONG PR_FOLDER_TYPE = 0x36010003;
inline constexpr ULONG PR_CONTENT_COUNT = 0x36020003;
inline constexpr ULONG PR_CONTENT_UNREAD = 0x36030003;
inline constexpr ULONG PR_SUBFOLDERS = 0x360A000B;
inline constexpr ULONG PR_CONTAINER_CLASS_W = 0x3613001F;
inline constexpr ULONG PR_CONTAINER_CLASS_A = 0x3613001E;
inline constexpr ULONG PR_IPM_APPOINTMENT_ENTRYID = 0x36D00102;
inline constexpr ULONG PR_IPM_CONTACT_ENTRYID = 0x36D10102;
inline constexpr ULONG PR_IPM_JOURNAL_ENTRYID = 0x36D20102;
inline constexpr ULONG PR_IPM_NOTE_ENTRYID = 0x36D30102;
inline constexpr ULONG PR_IPM_TASK_ENTRYID = 0x36D40102;
inline constexpr ULONG PR_IPM_DRAFTS_ENTRYID = 0x36D70102;
inline constexpr ULONG PR_ADDITIONAL_REN_ENTRYIDS = 0x36D81102;
inline constexpr ULONG PR_SOURCE_KEY = 0x65E00102;

// Address book properties
inline constexpr ULONG PR_DISPLAY_TYPE = 0x39000003;
inline constexpr ULONG PR_SMTP_ADDRESS_W = 0x39FE001F;
inline constexpr ULONG PR_SMTP_ADDRESS_A = 0x39FE001E;
inline constexpr ULONG PR_SEND_RICH_INFO = 0x3A40000B;
inline constexpr ULONG PR_EMS_AB_HOME_MDB_W = 0x8006001F;
inline constexpr ULONG PR_EMS_AB_HOME_MDB_A = 0x8006001E;
inline constexpr ULONG PR_EMS_AB_PROXY_ADDRESSES_W = 0x800F101F;
inline constexpr ULONG PR_EMS_AB_PROXY_ADDRESSES_A = 0x800F101E;

// Profile and message service properties
inline constexpr ULONG PR_SERVICE_NAME_W = 0x3D09001F;
inline constexpr ULONG PR_SERVICE_NAME_A = 0x3D09001E;
inline constexpr ULONG PR_SERVICE_UID = 0x3D0C0102;
inline constexpr ULONG PR_PROFILE_NAME_W = 0x3D12001F;
inline constexpr ULONG PR_PROFILE_NAME_A = 0x3D12001E;
inline constexpr ULONG PR_RESOURCE_TYPE = 0x3E030003;

static_assert(PR_ENTRYID == PROP_TAG(PT_BINARY, 0x0FFF));
static_assert(PR_ADDITIONAL_REN_ENTRYIDS == PROP_TAG(PT_MV_BINARY, 0x36D8));
static_assert(PR_EMS_AB_PROXY_ADDRESSES_W == PROP_TAG(PT_MV_UNICODE, 0x800F));
static_assert(CHANGE_PROP_TYPE(PR_DISPLAY_NAME_W, PT_STRING8) == PR_DISPLAY_NAME_A);
static_assert(CHANGE_PROP_TYPE(PR_IPM_SENTMAIL_ENTRYID, PT_ERROR) == 0x35E4000A);

}  // namespace mapi
