#include "sim/org_json.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

#include "mapi/mapi.h"
#include "platform/code_page.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/org_generator.h"
#include "sim/profile_admin.h"
#include "sim/props.h"
#include "sim/sim_text.h"

namespace sim {

OrderedJson ObjectWithRoom(std::size_t members) {
    OrderedJson object = OrderedJson::object();
    object.get_ref<OrderedJson::object_t&>().reserve(members);
    return object;
}

void AppendMember(OrderedJson& object, std::string key, OrderedJson value) {
    auto& members = object.get_ref<OrderedJson::object_t&>();
    members.OrderedJson::object_t::Container::emplace_back(std::move(key), std::move(value));
}
namespace {

using mapi::ULONG;
using platform::RegistryRoot;

std::string Hex32(std::uint32_t value, bool upper) {
    char text[16];
    std::snprintf(text, sizeof text, upper ? "0x%08X" : "0x%08x", value);
    return text;
}


const Json& CheckedString(const Json& value, const std::string& path) {
    if (!value.is_string()) ThrowAt(path, "expected a string");
    return value;
}

std::u16string WideString(const Json& value, const std::string& path) {
    return FromUtf8(CheckedString(value, path).get<std::string>());
}

const Json& CheckedArray(const Json& value, const std::string& path) {
    if (!value.is_array()) ThrowAt(path, "expected an array");
    return value;
}

const Json& CheckedObject(const Json& value, const std::string& path) {
    if (!value.is_object()) ThrowAt(path, "expected an object");
    return value;
}

// ---- Names of codes, tags and types ----

struct NamedCode {
    const char* name;
    std::uint32_t code;
};

// The first name of a code is the one written back.
constexpr NamedCode kResultCodes[] = {
    {"S_OK", 0x00000000},
    {"S_FALSE", 0x00000001},
    {"MAPI_W_ERRORS_RETURNED", 0x00040380},
    {"MAPI_W_POSITION_CHANGED", 0x00040481},
    {"MAPI_W_APPROX_COUNT", 0x00040482},
    {"MAPI_W_NO_SERVICE", 0x00040203},
    {"E_FAIL", 0x80004005},
    {"MAPI_E_CALL_FAILED", 0x80004005},
    {"E_NOTIMPL", 0x80004001},
    {"E_NOINTERFACE", 0x80004002},
    {"MAPI_E_INTERFACE_NOT_SUPPORTED", 0x80004002},
    {"E_POINTER", 0x80004003},
    {"E_ABORT", 0x80004004},
    {"E_UNEXPECTED", 0x8000FFFF},
    {"MAPI_E_NO_ACCESS", 0x80070005},
    {"E_ACCESSDENIED", 0x80070005},
    {"E_HANDLE", 0x80070006},
    {"MAPI_E_NOT_ENOUGH_MEMORY", 0x8007000E},
    {"E_OUTOFMEMORY", 0x8007000E},
    {"MAPI_E_INVALID_PARAMETER", 0x80070057},
    {"E_INVALIDARG", 0x80070057},
    {"MAPI_E_NO_SUPPORT", 0x80040102},
    {"MAPI_E_BAD_CHARWIDTH", 0x80040103},
    {"MAPI_E_STRING_TOO_LONG", 0x80040105},
    {"MAPI_E_UNKNOWN_FLAGS", 0x80040106},
    {"MAPI_E_INVALID_ENTRYID", 0x80040107},
    {"MAPI_E_INVALID_OBJECT", 0x80040108},
    {"MAPI_E_OBJECT_CHANGED", 0x80040109},
    {"MAPI_E_OBJECT_DELETED", 0x8004010A},
    {"MAPI_E_BUSY", 0x8004010B},
    {"MAPI_E_NOT_ENOUGH_DISK", 0x8004010D},
    {"MAPI_E_NOT_ENOUGH_RESOURCES", 0x8004010E},
    {"MAPI_E_NOT_FOUND", 0x8004010F},
    {"MAPI_E_VERSION", 0x80040110},
    {"MAPI_E_LOGON_FAILED", 0x80040111},
    {"MAPI_E_SESSION_LIMIT", 0x80040112},
    {"MAPI_E_USER_CANCEL", 0x80040113},
    {"MAPI_E_UNABLE_TO_ABORT", 0x80040114},
    {"MAPI_E_NETWORK_ERROR", 0x80040115},
    {"MAPI_E_DISK_ERROR", 0x80040116},
    {"MAPI_E_TOO_COMPLEX", 0x80040117},
    {"MAPI_E_BAD_COLUMN", 0x80040118},
    {"MAPI_E_EXTENDED_ERROR", 0x80040119},
    {"MAPI_E_COMPUTED", 0x8004011A},
    {"MAPI_E_CORRUPT_DATA", 0x8004011B},
    {"MAPI_E_UNCONFIGURED", 0x8004011C},
    {"MAPI_E_FAILONEPROVIDER", 0x8004011D},
    {"MAPI_E_END_OF_SESSION", 0x80040200},
    {"MAPI_E_UNKNOWN_ENTRYID", 0x80040201},
    {"MAPI_E_MISSING_REQUIRED_COLUMN", 0x80040202},
    {"MAPI_E_BAD_VALUE", 0x80040301},
    {"MAPI_E_INVALID_TYPE", 0x80040302},
    {"MAPI_E_TYPE_NO_SUPPORT", 0x80040303},
    {"MAPI_E_UNEXPECTED_TYPE", 0x80040304},
    {"MAPI_E_TOO_BIG", 0x80040305},
    {"MAPI_E_DECLINE_COPY", 0x80040306},
    {"MAPI_E_UNEXPECTED_ID", 0x80040307},
    {"MAPI_E_UNABLE_TO_COMPLETE", 0x80040400},
    {"MAPI_E_TIMEOUT", 0x80040401},
    {"MAPI_E_TABLE_EMPTY", 0x80040402},
    {"MAPI_E_TABLE_TOO_BIG", 0x80040403},
    {"MAPI_E_INVALID_BOOKMARK", 0x80040405},
    {"MAPI_E_WAIT", 0x80040500},
    {"MAPI_E_CANCEL", 0x80040501},
    {"MAPI_E_NOT_ME", 0x80040502},
    {"MAPI_E_CORRUPT_STORE", 0x80040600},
    {"MAPI_E_NOT_IN_QUEUE", 0x80040601},
    {"MAPI_E_NO_SUPPRESS", 0x80040602},
    {"MAPI_E_COLLISION", 0x80040604},
    {"MAPI_E_NOT_INITIALIZED", 0x80040605},
    {"MAPI_E_NON_STANDARD", 0x80040606},
    {"MAPI_E_NO_RECIPIENTS", 0x80040607},
    {"MAPI_E_SUBMITTED", 0x80040608},
    {"MAPI_E_HAS_FOLDERS", 0x80040609},
    {"MAPI_E_HAS_MESSAGES", 0x8004060A},
    {"MAPI_E_FOLDER_CYCLE", 0x8004060B},
    {"MAPI_E_AMBIGUOUS_RECIP", 0x80040700},
};

// Tags with names, the library's own configuration properties first.
constexpr NamedCode kPropertyTags[] = {
    {"SERVICE_NAME", 0x600C001F},
    {"PENDING_SERVICE_NAME", 0x601A001F},
    {"PENDING_ROUTING_INFO", 0x601B001F},
    {"STATS_USER_DN", 0x600C001F},
    {"HANDHELD_USER_DN", 0x6002001F},
    {"REDIR_SELECTED", 0x60220003},
    {"NUM_SELECTED_FOLDERS", 0x60240003},
    {"SELECTION_TIME", 0x60250040},
    {"REDIR_SENT_ITEMS", 0x60700003},
    {"SENT_ACTIVATION_TIME", 0x60710040},
    {"PR_IMPORTANCE", 0x00170003},
    {"PR_MESSAGE_CLASS_W", mapi::PR_MESSAGE_CLASS_W},
    {"PR_MESSAGE_CLASS_A", mapi::PR_MESSAGE_CLASS_A},
    {"PR_SUBJECT_W", mapi::PR_SUBJECT_W},
    {"PR_SUBJECT_A", mapi::PR_SUBJECT_A},
    {"PR_CLIENT_SUBMIT_TIME", mapi::PR_CLIENT_SUBMIT_TIME},
    {"PR_SENDER_NAME_W", 0x0C1A001F},
    {"PR_SENDER_EMAIL_ADDRESS_W", 0x0C1F001F},
    {"PR_RECIPIENT_TYPE", mapi::PR_RECIPIENT_TYPE},
    {"PR_DELETE_AFTER_SUBMIT", mapi::PR_DELETE_AFTER_SUBMIT},
    {"PR_DISPLAY_BCC_W", 0x0E02001F},
    {"PR_DISPLAY_CC_W", 0x0E03001F},
    {"PR_DISPLAY_TO_W", 0x0E04001F},
    {"PR_MESSAGE_DELIVERY_TIME", mapi::PR_MESSAGE_DELIVERY_TIME},
    {"PR_MESSAGE_FLAGS", mapi::PR_MESSAGE_FLAGS},
    {"PR_MESSAGE_SIZE", mapi::PR_MESSAGE_SIZE},
    {"PR_PARENT_ENTRYID", mapi::PR_PARENT_ENTRYID},
    {"PR_SENTMAIL_ENTRYID", mapi::PR_SENTMAIL_ENTRYID},
    {"PR_HASATTACH", 0x0E1B000B},
    {"PR_BODY_W", mapi::PR_BODY_W},
    {"PR_BODY_A", mapi::PR_BODY_A},
    {"PR_ATTR_HIDDEN", 0x10F4000B},
    {"PR_ACCESS", mapi::PR_ACCESS},
    {"PR_INSTANCE_KEY", mapi::PR_INSTANCE_KEY},
    {"PR_ACCESS_LEVEL", mapi::PR_ACCESS_LEVEL},
    {"PR_RECORD_KEY", mapi::PR_RECORD_KEY},
    {"PR_STORE_ENTRYID", mapi::PR_STORE_ENTRYID},
    {"PR_OBJECT_TYPE", mapi::PR_OBJECT_TYPE},
    {"PR_ENTRYID", mapi::PR_ENTRYID},
    {"PR_ROWID", mapi::PR_ROWID},
    {"PR_DISPLAY_NAME_W", mapi::PR_DISPLAY_NAME_W},
    {"PR_DISPLAY_NAME_A", mapi::PR_DISPLAY_NAME_A},
    {"PR_ADDRTYPE_W", mapi::PR_ADDRTYPE_W},
    {"PR_ADDRTYPE_A", mapi::PR_ADDRTYPE_A},
    {"PR_EMAIL_ADDRESS_W", mapi::PR_EMAIL_ADDRESS_W},
    {"PR_EMAIL_ADDRESS_A", mapi::PR_EMAIL_ADDRESS_A},
    {"PR_COMMENT_W", mapi::PR_COMMENT_W},
    {"PR_COMMENT_A", mapi::PR_COMMENT_A},
    {"PR_DEPTH", mapi::PR_DEPTH},
    {"PR_CREATION_TIME", mapi::PR_CREATION_TIME},
    {"PR_LAST_MODIFICATION_TIME", mapi::PR_LAST_MODIFICATION_TIME},
    {"PR_SEARCH_KEY", mapi::PR_SEARCH_KEY},
    {"PR_DEFAULT_STORE", mapi::PR_DEFAULT_STORE},
    {"PR_STORE_SUPPORT_MASK", mapi::PR_STORE_SUPPORT_MASK},
    {"PR_MDB_PROVIDER", mapi::PR_MDB_PROVIDER},
    {"PR_IPM_SUBTREE_ENTRYID", mapi::PR_IPM_SUBTREE_ENTRYID},
    {"PR_IPM_OUTBOX_ENTRYID", mapi::PR_IPM_OUTBOX_ENTRYID},
    {"PR_IPM_WASTEBASKET_ENTRYID", mapi::PR_IPM_WASTEBASKET_ENTRYID},
    {"PR_IPM_SENTMAIL_ENTRYID", mapi::PR_IPM_SENTMAIL_ENTRYID},
    {"PR_FOLDER_TYPE", mapi::PR_FOLDER_TYPE},
    {"PR_CONTENT_COUNT", mapi::PR_CONTENT_COUNT},
    {"PR_CONTENT_UNREAD", mapi::PR_CONTENT_UNREAD},
    {"PR_SUBFOLDERS", mapi::PR_SUBFOLDERS},
    {"PR_CONTAINER_CLASS_W", mapi::PR_CONTAINER_CLASS_W},
    {"PR_CONTAINER_CLASS_A", mapi::PR_CONTAINER_CLASS_A},
    {"PR_IPM_APPOINTMENT_ENTRYID", mapi::PR_IPM_APPOINTMENT_ENTRYID},
    {"PR_IPM_CONTACT_ENTRYID", mapi::PR_IPM_CONTACT_ENTRYID},
    {"PR_IPM_JOURNAL_ENTRYID", mapi::PR_IPM_JOURNAL_ENTRYID},
    {"PR_IPM_NOTE_ENTRYID", mapi::PR_IPM_NOTE_ENTRYID},
    {"PR_IPM_TASK_ENTRYID", mapi::PR_IPM_TASK_ENTRYID},
    {"PR_IPM_DRAFTS_ENTRYID", mapi::PR_IPM_DRAFTS_ENTRYID},
    {"PR_ADDITIONAL_REN_ENTRYIDS", mapi::PR_ADDITIONAL_REN_ENTRYIDS},
    {"PR_SOURCE_KEY", mapi::PR_SOURCE_KEY},
    {"PR_DISPLAY_TYPE", mapi::PR_DISPLAY_TYPE},
    {"PR_SMTP_ADDRESS_W", mapi::PR_SMTP_ADDRESS_W},
    {"PR_SEND_RICH_INFO", mapi::PR_SEND_RICH_INFO},
    {"PR_EMS_AB_HOME_MDB_W", mapi::PR_EMS_AB_HOME_MDB_W},
    {"PR_EMS_AB_HOME_MDB_A", mapi::PR_EMS_AB_HOME_MDB_A},
    {"PR_EMS_AB_PROXY_ADDRESSES_W", mapi::PR_EMS_AB_PROXY_ADDRESSES_W},
    {"PR_EMS_AB_PROXY_ADDRESSES_A", mapi::PR_EMS_AB_PROXY_ADDRESSES_A},
};

constexpr NamedCode kPropertyTypes[] = {
    {"PT_LONG", mapi::PT_LONG},
    {"PT_BOOLEAN", mapi::PT_BOOLEAN},
    {"PT_I8", mapi::PT_I8},
    {"PT_SYSTIME", mapi::PT_SYSTIME},
    {"PT_STRING8", mapi::PT_STRING8},
    {"PT_UNICODE", mapi::PT_UNICODE},
    {"PT_BINARY", mapi::PT_BINARY},
    {"PT_MV_LONG", mapi::PT_MV_LONG},
    {"PT_MV_STRING8", mapi::PT_MV_STRING8},
    {"PT_MV_UNICODE", mapi::PT_MV_UNICODE},
    {"PT_MV_BINARY", mapi::PT_MV_BINARY},
};

constexpr NamedCode kButtons[] = {{"OK", 1},     {"Cancel", 2}, {"Abort", 3}, {"Retry", 4},
                                  {"Ignore", 5}, {"Yes", 6},    {"No", 7}};

constexpr NamedCode kLanguages[] = {
    {"en-US", 1033}, {"de-DE", 1031}, {"fr-FR", 1036}, {"it-IT", 1040}, {"es-ES", 3082}};

constexpr NamedCode kRegistryTypes[] = {
    {"REG_NONE", platform::kRegNone},          {"REG_SZ", platform::kRegSz},
    {"REG_EXPAND_SZ", platform::kRegExpandSz}, {"REG_BINARY", platform::kRegBinary},
    {"REG_DWORD", platform::kRegDword},        {"REG_MULTI_SZ", platform::kRegMultiSz}};

template <std::size_t N>
const NamedCode* ByName(const NamedCode (&table)[N], std::string_view name, bool foldCase) {
    for (const NamedCode& entry : table) {
        if (foldCase ? EqualsAsciiNoCase(name, entry.name) : name == entry.name) return &entry;
    }
    return nullptr;
}

template <std::size_t N>
const NamedCode* ByCode(const NamedCode (&table)[N], std::uint32_t code) {
    for (const NamedCode& entry : table)
        if (entry.code == code) return &entry;
    return nullptr;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text.substr(2)) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

ULONG ParsePropertyType(const Json& value, const std::string& path) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (const NamedCode* type = ByName(kPropertyTypes, text, false)) return type->code;
        if (auto number = ParseHexNumber(text); number && *number <= 0xFFFF) return *number;
    }
    ThrowAt(path, "expected a property type such as \"PT_BINARY\"");
}

std::string PropertyTypeName(ULONG type) {
    if (const NamedCode* named = ByCode(kPropertyTypes, type)) return named->name;
    char text[12];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(type));
    return text;
}

// ---- Time ----

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// ---- Registry ----

std::pair<RegistryRoot, std::u16string> ParseRegistryPlace(ObjectReader& reader) {
    std::string root = reader.String("root");
    RegistryRoot parsed;
    if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
        parsed = RegistryRoot::CurrentUser;
    } else if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
        parsed = RegistryRoot::LocalMachine;
    } else {
        reader.Fail("root", "expected \"HKCU\" or \"HKLM\"");
    }
    return {parsed, FromUtf8(reader.String("key"))};
}

std::vector<std::uint8_t> RegistryData(std::uint32_t type, const Json& data,
                                       const std::string& path) {
    if (data.is_object()) {
        ObjectReader reader(data, path);
        Bytes bytes = ParseHex(reader.String("hex"), reader.PathOf("hex"));
        reader.Finish();
        return bytes;
    }
    std::vector<std::uint8_t> bytes;
    switch (type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            std::string text = To8Bit(CheckedString(data, path).get<std::string>());
            bytes.assign(text.begin(), text.end());
            bytes.push_back(0);
            break;
        }
        case platform::kRegDword: {
            std::uint32_t value = ParseUnsigned(data, path);
            for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(value >> (8 * i)));
            break;
        }
        case platform::kRegMultiSz:
            for (std::size_t i = 0; i < CheckedArray(data, path).size(); ++i) {
                std::string text =
                    To8Bit(CheckedString(data[i], IndexPath(path, i)).get<std::string>());
                bytes.insert(bytes.end(), text.begin(), text.end());
                bytes.push_back(0);
            }
            bytes.push_back(0);
            break;
        default:
            return ParseHex(CheckedString(data, path).get<std::string>(), path);
    }
    return bytes;
}

void LoadRegistryEntry(const Json& value, const std::string& path) {
    ObjectReader reader(CheckedObject(value, path), path);
    auto [root, key] = ParseRegistryPlace(reader);
    if (reader.Bool("denied", false)) platform::portable::DenyRegistryKey(root, key);
    if (!reader.Has("name")) {
        if (reader.Has("type") || reader.Has("data")) reader.Fail("name", "a value needs a name");
        platform::portable::AddRegistryKey(root, key);
        reader.Finish();
        return;
    }
    std::string name = To8Bit(reader.String("name"));
    std::uint32_t type = platform::kRegSz;
    const Json& typeValue = reader.Get("type");
    if (typeValue.is_string()) {
        const NamedCode* named = ByName(kRegistryTypes, typeValue.get<std::string>(), false);
        if (!named) reader.Fail("type", "unknown registry type");
        type = named->code;
    } else {
        type = ParseUnsigned(typeValue, reader.PathOf("type"));
    }
    platform::portable::RegistryValue registryValue;
    registryValue.type = type;
    registryValue.data = RegistryData(type, reader.Get("data"), reader.PathOf("data"));
    platform::portable::PutRegistryValue(root, key, name, std::move(registryValue));
    reader.Finish();
}

OrderedJson DumpRegistryData(const platform::portable::RegistryValue& value) {
    const auto& data = value.data;
    auto raw = [&] { return OrderedJson{{"hex", ToHex(Bytes(data.begin(), data.end()))}}; };
    switch (value.type) {
        case platform::kRegSz:
        case platform::kRegExpandSz: {
            if (data.empty() || data.back() != 0) return raw();
            std::string text(data.begin(), data.end() - 1);
            if (text.find('\0') != std::string::npos) return raw();
            return From8Bit(text);
        }
        case platform::kRegDword:
            if (data.size() != 4) return raw();
            return std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                   std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
        case platform::kRegMultiSz: {
            if (data.size() < 2 || data[data.size() - 1] != 0 || data[data.size() - 2] != 0)
                return raw();
            OrderedJson list = OrderedJson::array();
            std::string current;
            for (std::size_t i = 0; i + 1 < data.size(); ++i) {
                if (data[i] == 0) {
                    list.push_back(From8Bit(current));
                    current.clear();
                } else {
                    current.push_back(char(data[i]));
                }
            }
            return list;
        }
        default:
            return ToHex(Bytes(data.begin(), data.end()));
    }
}

std::u16string SubKeyPath(const std::u16string& key, const std::u16string& subKey) {
    std::u16string path = key;
    path += u'\\';
    path += subKey;
    return path;
}

void DumpRegistryKey(RegistryRoot root, const std::u16string& key, OrderedJson& out) {
    const char* rootName = root == RegistryRoot::CurrentUser ? "HKCU" : "HKLM";
    std::vector<std::string> names = platform::portable::RegistryValueNames(root, key);
    std::vector<std::u16string> subKeys = platform::portable::RegistrySubKeys(root, key);
    if (!key.empty() && names.empty() && subKeys.empty())
        out.push_back(OrderedJson{{"root", rootName}, {"key", ToUtf8(key)}});
    for (const std::string& name : names) {
        auto value = platform::portable::GetRegistryValue(root, key, name);
        if (!value) continue;
        OrderedJson entry{{"root", rootName}, {"key", ToUtf8(key)}, {"name", From8Bit(name)}};
        const NamedCode* type = ByCode(kRegistryTypes, value->type);
        entry["type"] = type ? OrderedJson(type->name) : OrderedJson(value->type);
        entry["data"] = DumpRegistryData(*value);
        out.push_back(std::move(entry));
    }
    for (const std::u16string& subKey : subKeys)
        DumpRegistryKey(root, key.empty() ? subKey : SubKeyPath(key, subKey), out);
}

// ---- Properties ----

std::int64_t IntegerIn(const Json& value, std::int64_t low, std::int64_t high,
                       const std::string& path) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() <= std::uint64_t(high))
        return std::int64_t(value.get<std::uint64_t>());
    if (value.is_number_integer() && value.get<std::int64_t>() >= low &&
        value.get<std::int64_t>() <= high)
        return value.get<std::int64_t>();
    ThrowAt(path,
            "expected an integer from " + std::to_string(low) + " to " + std::to_string(high));
}

std::int32_t LongValue(const Json& value, const std::string& path) {
    // PT_LONG holds 32 bits; unsigned spellings (flags) are taken as their bit pattern.
    if (value.is_string()) return static_cast<std::int32_t>(ParseUnsigned(value, path));
    return static_cast<std::int32_t>(IntegerIn(value, std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::uint32_t>::max(), path));
}

FileTime TimeValue(const Json& value, const std::string& path) {
    if (value.is_object()) {
        ObjectReader reader(value, path);
        const Json& ticks = reader.Get("filetime");
        FileTime time{ticks.is_number_unsigned() ? ticks.get<std::uint64_t>() : 0};
        if (!ticks.is_number_unsigned() &&
            !(ticks.is_number_integer() && ticks.get<std::int64_t>() >= 0))
            reader.Fail("filetime", "expected a non-negative integer");
        if (!ticks.is_number_unsigned()) time.value = std::uint64_t(ticks.get<std::int64_t>());
        reader.Finish();
        return time;
    }
    return FileTime{ParseIsoTime(CheckedString(value, path).get<std::string>(), path)};
}

OrderedJson DumpTime(const FileTime& time) {
    // Years beyond 9999 have no four-digit ISO form; they keep their raw count.
    constexpr std::uint64_t kYear10000 = 2650467744000000000ull;
    if (time.value >= kYear10000) return OrderedJson{{"filetime", time.value}};
    return FormatIsoTime(time.value);
}

Bytes GuidBytes(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                const std::uint8_t (&data4)[8]) {
    Bytes bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(data1 >> (8 * i)));
    for (int i = 0; i < 2; ++i) bytes.push_back(std::uint8_t(data2 >> (8 * i)));
    for (int i = 0; i < 2; ++i) bytes.push_back(std::uint8_t(data3 >> (8 * i)));
    bytes.insert(bytes.end(), data4, data4 + 8);
    return bytes;
}

Bytes GuidBytes(const mapi::GUID& guid) {
    std::uint8_t data4[8];
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), data4);
    return GuidBytes(guid.Data1, guid.Data2, guid.Data3, data4);
}

struct NamedSet {
    const char* name;
    mapi::GUID guid;
};
const NamedSet kPropertySets[] = {
    {"PS_PUBLIC_STRINGS", mapi::PS_PUBLIC_STRINGS},
    {"PS_MAPI", mapi::PS_MAPI},
    {"PSETID_Common", {0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
    {"PSETID_Address", {0x00062004, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
    {"PSETID_Appointment", {0x00062002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
    {"PS_INTERNET_HEADERS", {0x00020386, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}},
};

// A mailbox's name-map entry for a named property given in JSON; made when missing.
const NamedProperty& RegisterName(Mailbox& mailbox, ObjectReader& reader) {
    NamedProperty wanted;
    wanted.guid = ParsePropertySet(reader.String("set"), reader.PathOf("set"));
    if (reader.Has("name")) {
        std::string name = reader.String("name");
        std::string form = reader.OptionalString("form").value_or("utf16");
        if (form == "utf16") {
            wanted.name = FromUtf8(name);
        } else if (form == "ascii-packed") {
            for (char c : name)
                if (static_cast<unsigned char>(c) >= 0x80)
                    reader.Fail("name", "an ascii-packed name must be ASCII");
            wanted.name = PackAsciiName(name);
        } else {
            reader.Fail("form", "expected \"utf16\" or \"ascii-packed\"");
        }
        if (wanted.name.empty()) reader.Fail("name", "a name must not be empty");
        wanted.isString = true;
    } else {
        wanted.isString = false;
        wanted.id = static_cast<std::int32_t>(ParseUnsigned(reader.Get("id"), reader.PathOf("id")));
    }
    auto propertyId = reader.OptionalInteger("propertyId", 0x8000, 0xFFFE);
    for (const NamedProperty& known : mailbox.namedProperties) {
        bool same = known.guid == wanted.guid && known.isString == wanted.isString &&
                    (known.isString ? known.name == wanted.name : known.id == wanted.id);
        if (!same) continue;
        if (propertyId && *propertyId != known.propertyId)
            reader.Fail("propertyId", "the name is registered under another id already");
        return known;
    }
    std::uint32_t next = 0x8000;
    for (const NamedProperty& known : mailbox.namedProperties) {
        next = std::max<std::uint32_t>(next, known.propertyId + 1u);
        if (propertyId && known.propertyId == *propertyId)
            reader.Fail("propertyId", "the id belongs to another name already");
    }
    wanted.propertyId = static_cast<std::uint16_t>(propertyId.value_or(next));
    if (wanted.propertyId > 0xFFFE) reader.Fail("set", "the store's name map is full");
    mailbox.namedProperties.push_back(std::move(wanted));
    return mailbox.namedProperties.back();
}

// A binary value that names a folder of the mailbox being loaded ({"sourceKeyOf": path} or
// {"entryIdOf": path}); it is filled in once the mailbox's folders all exist.
// The implicit moves are those of the members, which do not throw.
// NOLINTNEXTLINE(bugprone-exception-escape)
struct FolderReference {
    std::function<PropMap&()> target;
    ULONG tag = 0;
    bool sourceKey = true;
    Json folderPath;
    std::string path;
};
using FolderReferences = std::vector<FolderReference>;

bool IsFolderReference(ULONG tag, const Json& value) {
    return mapi::PROP_TYPE(tag) == mapi::PT_BINARY && value.is_object() &&
           (value.contains("sourceKeyOf") || value.contains("entryIdOf"));
}

void PutValue(PropMap& props, ULONG tag, const Json& value, const std::string& path,
              FolderReferences* references, const std::function<PropMap&()>& locate) {
    if (!IsFolderReference(tag, value)) {
        PutProp(props, tag, ParsePropValue(tag, value, path));
        return;
    }
    if (!references) ThrowAt(path, "folder references are allowed only in a mailbox's objects");
    ObjectReader reader(value, path);
    FolderReference reference;
    reference.target = locate;
    reference.tag = tag;
    reference.sourceKey = reader.Has("sourceKeyOf");
    reference.folderPath = reader.Get(reference.sourceKey ? "sourceKeyOf" : "entryIdOf");
    reference.path = reader.PathOf(reference.sourceKey ? "sourceKeyOf" : "entryIdOf");
    reader.Finish();
    references->push_back(std::move(reference));
}

// Applies "properties" (null removes a property) and "named" to a property map.
void LoadProperties(ObjectReader& reader, PropMap& props, Mailbox* mailbox,
                    FolderReferences* references = nullptr,
                    const std::function<PropMap&()>& locate = {}) {
    if (const Json* properties = reader.Optional("properties")) {
        const std::string path = reader.PathOf("properties");
        for (const auto& [key, value] : CheckedObject(*properties, path).items()) {
            std::string valuePath = path;
            valuePath += '.';
            valuePath += key;
            ULONG tag = ParsePropertyTag(key, valuePath);
            if (value.is_null()) {
                RemoveProp(props, tag);
            } else {
                PutValue(props, tag, value, valuePath, references, locate);
            }
        }
    }
    if (const Json* named = reader.Optional("named")) {
        const std::string path = reader.PathOf("named");
        if (!mailbox) reader.Fail("named", "named properties belong to a mailbox");
        for (std::size_t i = 0; i < CheckedArray(*named, path).size(); ++i) {
            const std::string itemPath = IndexPath(path, i);
            ObjectReader item(CheckedObject((*named)[i], itemPath), itemPath);
            ULONG type = ParsePropertyType(item.Get("type"), item.PathOf("type"));
            const NamedProperty& name = RegisterName(*mailbox, item);
            ULONG tag = mapi::PROP_TAG(type, name.propertyId);
            PutValue(props, tag, item.Get("value"), item.PathOf("value"), references, locate);
            item.Finish();
        }
    }
}

OrderedJson DumpName(const NamedProperty& name) {
    OrderedJson out{{"set", PropertySetName(name.guid)}};
    if (!name.isString) {
        out["id"] = Hex32(static_cast<std::uint32_t>(name.id), true);
    } else if (auto ascii = UnpackAsciiName(name.name)) {
        out["name"] = *ascii;
        out["form"] = "ascii-packed";
    } else {
        out["name"] = ToUtf8(name.name);
    }
    return out;
}

// ---- Organisation ----

struct SpecialSlot {
    const char* name;
    std::uint64_t SpecialFolders::*member;
};
constexpr SpecialSlot kSpecialSlots[] = {
    {"ipmSubtree", &SpecialFolders::ipmSubtree},
    {"inbox", &SpecialFolders::inbox},
    {"outbox", &SpecialFolders::outbox},
    {"sentItems", &SpecialFolders::sentItems},
    {"deletedItems", &SpecialFolders::deletedItems},
    {"calendar", &SpecialFolders::calendar},
    {"contacts", &SpecialFolders::contacts},
    {"journal", &SpecialFolders::journal},
    {"notes", &SpecialFolders::notes},
    {"tasks", &SpecialFolders::tasks},
    {"drafts", &SpecialFolders::drafts},
};

class OrgLoader {
  public:
    explicit OrgLoader(Organisation& org) : builder_(org), org_(org) {}

    void Load(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        if (const Json* servers = reader.Optional("servers")) {
            for (std::size_t i = 0; i < CheckedArray(*servers, reader.PathOf("servers")).size();
                 ++i)
                LoadServer((*servers)[i], IndexPath(reader.PathOf("servers"), i));
        }
        if (const Json* mailboxes = reader.Optional("mailboxes")) {
            const std::string listPath = reader.PathOf("mailboxes");
            for (std::size_t i = 0; i < CheckedArray(*mailboxes, listPath).size(); ++i)
                LoadMailbox((*mailboxes)[i], IndexPath(listPath, i));
        }
        if (const Json* entries = reader.Optional("addressBook")) {
            const std::string listPath = reader.PathOf("addressBook");
            std::vector<std::pair<std::uint32_t, const Json*>> lists;
            for (std::size_t i = 0; i < CheckedArray(*entries, listPath).size(); ++i)
                LoadEntry((*entries)[i], IndexPath(listPath, i), lists);
            // Members may name entries listed after their list.
            for (std::size_t i = 0; i < lists.size(); ++i) ResolveMembers(lists[i]);
        }
        if (const Json* delivered = reader.Optional("delivered")) {
            const std::string listPath = reader.PathOf("delivered");
            for (std::size_t i = 0; i < CheckedArray(*delivered, listPath).size(); ++i)
                LoadDelivered((*delivered)[i], IndexPath(listPath, i));
        }
        reader.Finish();
    }

    void LoadProfile(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::string name = To8Bit(reader.String("name"));
        if (name.empty()) reader.Fail("name", "a profile needs a name");
        if (org_.FindProfile(name)) reader.Fail("name", "a profile of this name exists already");
        ProfileBuilder& profile = builder_.Profile(name);
        profile.Password(To8Bit(reader.OptionalString("password").value_or("")));
        if (const Json* services = reader.Optional("services")) {
            const std::string listPath = reader.PathOf("services");
            for (std::size_t i = 0; i < CheckedArray(*services, listPath).size(); ++i)
                LoadService(profile, (*services)[i], IndexPath(listPath, i));
        }
        profile.Model().registryKey = reader.Bool("registryKey", true);
        profile.Model().publicFolders = reader.Bool("publicFolders", true);
        if (const Json* rows = reader.Optional("storeRows")) {
            const std::string listPath = reader.PathOf("storeRows");
            for (std::size_t i = 0; i < CheckedArray(*rows, listPath).size(); ++i) {
                const std::string rowPath = IndexPath(listPath, i);
                ObjectReader row(CheckedObject((*rows)[i], rowPath), rowPath);
                PropMap props;
                LoadProperties(row, props, nullptr);
                row.Finish();
                profile.Model().extraStoreRows.push_back(std::move(props));
            }
        }
        reader.Finish();
    }

  private:
    void LoadServer(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::u16string dn = FromUtf8(reader.String("dn"));
        builder_.Server(dn, FromUtf8(reader.OptionalString("name").value_or("")));
        reader.Finish();
    }

    std::u16string ServerDn(const std::string& text) const {
        std::u16string wanted = FromUtf8(text);
        for (const Server& server : org_.servers) {
            if (EqualsAsciiNoCase(server.name, wanted) || EqualsAsciiNoCase(server.dn, wanted))
                return server.dn;
        }
        return wanted;
    }

    void LoadMailbox(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::u16string dn = FromUtf8(reader.String("dn"));
        if (org_.FindMailbox(dn)) reader.Fail("dn", "a mailbox with this DN exists already");
        MailboxBuilder& mailbox = builder_.Mailbox(dn, ServerDn(reader.String("server")));
        references_.clear();
        if (auto name = reader.OptionalString("ownerDisplayName")) {
            mailbox.OwnerDisplayName(FromUtf8(*name));
            if (!reader.Has("storeDisplayName"))
                mailbox.StoreDisplayName(u"Mailbox - " + FromUtf8(*name));
        }
        if (auto name = reader.OptionalString("storeDisplayName"))
            mailbox.StoreDisplayName(FromUtf8(*name));
        mailbox.AdminAccess(reader.Bool("adminAccess", true));
        if (reader.Bool("standardFolders", false)) mailbox.StandardFolders();
        if (const Json* storeProps = reader.Optional("store")) {
            ObjectReader store(CheckedObject(*storeProps, reader.PathOf("store")),
                               reader.PathOf("store"));
            sim::Mailbox* model = &mailbox.Model();
            LoadProperties(store, model->storeProps, model, &references_,
                           [model]() -> PropMap& { return model->storeProps; });
            store.Finish();
        }
        if (const Json* names = reader.Optional("namedProperties")) {
            const std::string listPath = reader.PathOf("namedProperties");
            for (std::size_t i = 0; i < CheckedArray(*names, listPath).size(); ++i) {
                const std::string itemPath = IndexPath(listPath, i);
                ObjectReader item(CheckedObject((*names)[i], itemPath), itemPath);
                RegisterName(mailbox.Model(), item);
                item.Finish();
            }
        }
        if (const Json* root = reader.Optional("rootFolder")) {
            const std::string rootPath = reader.PathOf("rootFolder");
            ObjectReader rootReader(CheckedObject(*root, rootPath), rootPath);
            LoadFolderFlags(mailbox, mailbox.Root(), rootReader);
            rootReader.Finish();
        }
        LoadFolderContent(mailbox, mailbox.Root(), reader, 0);
        if (const Json* generated = reader.Optional("generatedFolders"))
            GenerateFolders(mailbox, ParseGeneration(*generated, reader.PathOf("generatedFolders")));
        pathIndex_.clear();
        if (const Json* additional = reader.Optional("additionalSpecialFolders")) {
            const std::string listPath = reader.PathOf("additionalSpecialFolders");
            for (std::size_t i = 0; i < CheckedArray(*additional, listPath).size(); ++i) {
                const Json& folderPath = (*additional)[i];
                if (folderPath.is_null()) {
                    mailbox.AdditionalSpecial(0);
                    continue;
                }
                Folder* folder = FolderAtPath(mailbox.Model(), folderPath, IndexPath(listPath, i));
                mailbox.AdditionalSpecial(folder->id);
            }
        }
        for (const FolderReference& reference : references_) {
            Folder* folder = FolderAtPath(mailbox.Model(), reference.folderPath, reference.path);
            Bytes bytes;
            if (reference.sourceKey) {
                const PropValue* key = FindProp(folder->props, mapi::PR_SOURCE_KEY);
                if (!key || !std::holds_alternative<Bytes>(*key))
                    ThrowAt(reference.path, "the folder has no source key");
                bytes = std::get<Bytes>(*key);
            } else {
                bytes = FolderEntryId(mailbox.Index(), folder->id, IdForm::LongTerm);
            }
            PutProp(reference.target(), reference.tag, std::move(bytes));
        }
        references_.clear();
        pathIndex_.clear();
        reader.Finish();
    }

    static FolderGeneration ParseGeneration(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        FolderGeneration generation;
        generation.count = static_cast<std::uint32_t>(reader.Integer("count", 0, 1'000'000));
        const std::string shape = reader.OptionalString("shape").value_or("wide");
        if (shape == "deep")
            generation.shape = FolderShape::Deep;
        else if (shape != "wide")
            reader.Fail("shape", "expected \"wide\" or \"deep\"");
        const std::string marked = reader.OptionalString("marked").value_or("none");
        if (marked == "tenth")
            generation.marked = MarkedShare::Tenth;
        else if (marked == "all")
            generation.marked = MarkedShare::All;
        else if (marked != "none")
            reader.Fail("marked", "expected \"none\", \"tenth\" or \"all\"");
        generation.seed = static_cast<std::uint64_t>(
            reader.OptionalInteger("seed", 0, std::int64_t{1} << 53).value_or(1));
        if (auto service = reader.OptionalString("serviceName"))
            generation.serviceName = FromUtf8(*service);
        reader.Finish();
        return generation;
    }

    // Folders by their path below the root: "Top of Information Store/Inbox".
    Folder* FolderAtPath(Mailbox& mailbox, const Json& value, const std::string& path) {
        std::u16string text = WideString(value, path);
        Folder* folder = mailbox.root.get();
        std::size_t start = 0;
        while (folder && start <= text.size()) {
            std::size_t slash = text.find(u'/', start);
            std::u16string part =
                text.substr(start, slash == std::u16string::npos ? slash : slash - start);
            auto [children, made] = pathIndex_.try_emplace(folder);
            if (made) {
                for (auto& child : folder->children) {
                    const PropValue* name = FindProp(child->props, mapi::PR_DISPLAY_NAME_W);
                    if (name && std::holds_alternative<std::u16string>(*name))
                        children->second.emplace(std::get<std::u16string>(*name), child.get());
                }
            }
            auto next = children->second.find(part);
            folder = next == children->second.end() ? nullptr : next->second;
            if (slash == std::u16string::npos) break;
            start = slash + 1;
        }
        if (!folder) ThrowAt(path, "no folder at this path");
        return folder;
    }

    // depth: the folder's level below the store's root (0 for the root).
    void LoadFolderContent(MailboxBuilder& mailbox, FolderBuilder& folder, ObjectReader& reader,
                           int depth) {
        if (const Json* folders = reader.Optional("folders")) {
            const std::string listPath = reader.PathOf("folders");
            if (depth == kMaxFolderDepth)
                ThrowAt(listPath, "folders nest deeper than " + std::to_string(kMaxFolderDepth) +
                                      " levels below the store's root");
            for (std::size_t i = 0; i < CheckedArray(*folders, listPath).size(); ++i)
                LoadFolder(mailbox, folder, (*folders)[i], IndexPath(listPath, i), depth + 1);
        }
        if (const Json* messages = reader.Optional("messages")) {
            const std::string listPath = reader.PathOf("messages");
            for (std::size_t i = 0; i < CheckedArray(*messages, listPath).size(); ++i)
                LoadMessage(mailbox, folder, (*messages)[i], IndexPath(listPath, i));
        }
    }

    // What a folder says of itself: special roles, rights, source key and properties.
    void LoadFolderFlags(MailboxBuilder& mailbox, FolderBuilder& folder, ObjectReader& reader) {
        if (const Json* special = reader.Optional("special")) {
            std::vector<Json> names = special->is_array() ? special->get<std::vector<Json>>()
                                                          : std::vector<Json>{*special};
            for (const Json& slotName : names) {
                const SpecialSlot* slot = nullptr;
                for (const SpecialSlot& candidate : kSpecialSlots)
                    if (slotName.is_string() && slotName == candidate.name) slot = &candidate;
                if (!slot) reader.Fail("special", "unknown special folder");
                mailbox.Model().special.*(slot->member) = folder.Id();
            }
        }
        folder.HierarchyHidden(reader.Bool("hierarchyHidden", folder.Model().hierarchyHidden));
        folder.NoAccess(reader.Bool("noAccess", folder.Model().noAccess));
        if (reader.Bool("noSourceKey", false)) folder.NoSourceKey();
        sim::Folder* model = &folder.Model();
        LoadProperties(reader, model->props, &mailbox.Model(), &references_,
                       [model]() -> PropMap& { return model->props; });
    }

    FolderBuilder& NewSibling(FolderBuilder& parent, const std::u16string& name,
                              const std::u16string& containerClass) {
        // The builder reuses a subfolder of the same name; a second one of that name is made
        // under a name no sibling can have and then renamed.
        std::u16string unique = u"\x1F";
        for (std::size_t n = parent.Model().children.size() + 1; n; n /= 10)
            unique.push_back(char16_t(u'0' + n % 10));
        FolderBuilder& created = parent.Folder(unique, containerClass);
        created.Prop(mapi::PR_DISPLAY_NAME_W, name);
        return created;
    }

    void LoadFolder(MailboxBuilder& mailbox, FolderBuilder& parent, const Json& value,
                    const std::string& path, int depth) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::u16string name = FromUtf8(reader.String("name"));
        std::u16string containerClass = FromUtf8(reader.OptionalString("class").value_or(""));
        FolderBuilder& folder = reader.Bool("duplicate", false)
                                    ? NewSibling(parent, name, containerClass)
                                    : parent.Folder(name, containerClass);
        if (!containerClass.empty()) folder.ContainerClass(containerClass);
        LoadFolderFlags(mailbox, folder, reader);
        LoadFolderContent(mailbox, folder, reader, depth);
        reader.Finish();
    }

    PropMap LoadRecipient(const Json& value, const std::string& path, Mailbox* mailbox) {
        ObjectReader reader(CheckedObject(value, path), path);
        PropMap props;
        if (auto address = reader.OptionalString("address")) {
            std::u16string text = FromUtf8(*address);
            props[mapi::PR_EMAIL_ADDRESS_W] = text;
            props[mapi::PR_DISPLAY_NAME_W] =
                FromUtf8(reader.OptionalString("name").value_or(*address));
            props[mapi::PR_ADDRTYPE_W] =
                FromUtf8(reader.OptionalString("addressType").value_or("SMTP"));
            std::string type = reader.OptionalString("type").value_or("to");
            std::int32_t recipientType = type == "to"    ? 1
                                         : type == "cc"  ? 2
                                         : type == "bcc" ? 3
                                                         : 0;
            if (!recipientType) reader.Fail("type", "expected \"to\", \"cc\" or \"bcc\"");
            props[mapi::PR_RECIPIENT_TYPE] = recipientType;
        }
        LoadProperties(reader, props, mailbox);
        reader.Finish();
        return props;
    }

    void LoadMessage(MailboxBuilder& mailbox, FolderBuilder& folder, const Json& value,
                     const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::u16string messageClass = FromUtf8(reader.OptionalString("class").value_or(""));
        MessageBuilder& message = reader.Bool("associated", false)
                                      ? folder.AssociatedMessage(messageClass)
                                      : folder.Message(messageClass);
        if (auto subject = reader.OptionalString("subject")) message.Subject(FromUtf8(*subject));
        if (auto body = reader.OptionalString("body"))
            message.Prop(mapi::PR_BODY_W, FromUtf8(*body));
        if (reader.Bool("noSourceKey", false)) message.NoSourceKey();
        sim::Folder* holder = &folder.Model();
        const std::uint64_t id = message.Id();
        LoadProperties(reader, message.Model().props, &mailbox.Model(), &references_,
                       [holder, id]() -> PropMap& {
                           for (sim::Message& candidate : holder->messages)
                               if (candidate.id == id) return candidate.props;
                           throw std::logic_error("message removed while loading");
                       });
        if (const Json* recipients = reader.Optional("recipients")) {
            const std::string listPath = reader.PathOf("recipients");
            for (std::size_t i = 0; i < CheckedArray(*recipients, listPath).size(); ++i)
                message.Recipient(
                    LoadRecipient((*recipients)[i], IndexPath(listPath, i), &mailbox.Model()));
        }
        reader.Finish();
    }

    void LoadEntry(const Json& value, const std::string& path,
                   std::vector<std::pair<std::uint32_t, const Json*>>& lists) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::string type = reader.OptionalString("type").value_or("user");
        std::u16string displayName = FromUtf8(reader.String("displayName"));
        std::u16string dn = FromUtf8(reader.OptionalString("dn").value_or(""));
        AddressEntryBuilder* entry = nullptr;
        if (type == "user") {
            if (auto mailboxDn = reader.OptionalString("mailbox")) {
                Mailbox* mailbox = org_.FindMailbox(FromUtf8(*mailboxDn));
                if (!mailbox) reader.Fail("mailbox", "no mailbox has this DN");
                entry = &builder_.User(displayName, dn.empty() ? mailbox->dn : dn)
                             .HomeMdb(OrgBuilder::HomeMdbOf(mailbox->serverDn));
            } else {
                entry = &builder_.User(displayName, dn);
            }
        } else if (type == "distList") {
            entry = &builder_.DistList(displayName, dn);
        } else {
            reader.Fail("type", "expected \"user\" or \"distList\"");
        }
        if (auto homeMdb = reader.OptionalString("homeMdb")) entry->HomeMdb(FromUtf8(*homeMdb));
        if (auto addressType = reader.OptionalString("addressType"))
            entry->Prop(mapi::PR_ADDRTYPE_W, FromUtf8(*addressType));
        if (auto address = reader.OptionalString("emailAddress"))
            entry->Prop(mapi::PR_EMAIL_ADDRESS_W, FromUtf8(*address));
        if (const Json* proxies = reader.Optional("proxies")) {
            const std::string listPath = reader.PathOf("proxies");
            std::vector<std::u16string> list;
            for (std::size_t i = 0; i < CheckedArray(*proxies, listPath).size(); ++i)
                list.push_back(WideString((*proxies)[i], IndexPath(listPath, i)));
            entry->Proxies(std::move(list));
        }
        if (auto smtp = reader.OptionalString("smtp")) entry->Smtp(FromUtf8(*smtp));
        if (reader.Has("sendRichInfo")) entry->SendRichInfo(reader.Bool("sendRichInfo", true));
        entry->Model().dialogEntryId = reader.Bool("dialogEntryId", true);
        entry->Model().preparesRecipients = reader.Bool("preparesRecipients", true);
        LoadProperties(reader, entry->Model().props, nullptr);
        if (const Json* members = reader.Optional("members")) {
            if (type != "distList") reader.Fail("members", "only distribution lists have members");
            CheckedArray(*members, reader.PathOf("members"));
            lists.emplace_back(entry->Index(), members);
            memberPaths_[entry->Index()] = reader.PathOf("members");
        }
        reader.Finish();
    }

    void ResolveMembers(const std::pair<std::uint32_t, const Json*>& list) {
        const std::string& path = memberPaths_[list.first];
        std::vector<std::uint32_t> members;
        for (std::size_t i = 0; i < list.second->size(); ++i)
            members.push_back(entryNames_.Resolve((*list.second)[i], IndexPath(path, i)));
        org_.FindEntry(list.first)->members = std::move(members);
    }

    void LoadDelivered(const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        DeliveredMail mail;
        mail.fromMailboxDn = FromUtf8(reader.String("from"));
        Mailbox* mailbox = org_.FindMailbox(mail.fromMailboxDn);
        LoadProperties(reader, mail.props, mailbox);
        if (const Json* recipients = reader.Optional("recipients")) {
            const std::string listPath = reader.PathOf("recipients");
            for (std::size_t i = 0; i < CheckedArray(*recipients, listPath).size(); ++i)
                mail.recipients.push_back(
                    {LoadRecipient((*recipients)[i], IndexPath(listPath, i), mailbox)});
        }
        org_.delivered.push_back(std::move(mail));
        reader.Finish();
    }

    void LoadService(ProfileBuilder& profile, const Json& value, const std::string& path) {
        ObjectReader reader(CheckedObject(value, path), path);
        std::string name = To8Bit(reader.OptionalString("service").value_or("MSEMS"));
        bool configured = reader.Bool("configured", true);
        profile.ExchangeService(FromUtf8(reader.OptionalString("server").value_or("")),
                                FromUtf8(reader.OptionalString("mailbox").value_or("")),
                                configured);
        MsgService& service = profile.Model().services.back();
        service.name = name;
        if (auto displayName = reader.OptionalString("displayName"))
            service.displayName = FromUtf8(*displayName);
        if (auto uid = reader.OptionalString("uid"))
            service.uid = ParseHex(*uid, reader.PathOf("uid"));
        reader.Finish();
    }

  private:
    OrgBuilder builder_;
    Organisation& org_;
    std::map<std::uint32_t, std::string> memberPaths_;
    EntryNames entryNames_{org_};
    FolderReferences references_;
    // The subfolders of the folders that paths went through, by exact name (the first of each),
    // while the references of a mailbox are resolved: its tree no longer changes then.
    std::unordered_map<const Folder*, std::unordered_map<std::u16string, Folder*>> pathIndex_;
};

// ---- Dumps ----

std::u16string DisplayName(const PropMap& props) {
    const PropValue* name = FindProp(props, mapi::PR_DISPLAY_NAME_W);
    return name && std::holds_alternative<std::u16string>(*name) ? std::get<std::u16string>(*name)
                                                                 : std::u16string();
}

std::vector<std::string> SpecialNames(const Mailbox& mailbox, std::uint64_t id) {
    std::vector<std::string> names;
    for (const SpecialSlot& slot : kSpecialSlots)
        if (mailbox.special.*(slot.member) == id) names.push_back(slot.name);
    return names;
}

// Properties the builder gives every object; written only when they differ from its defaults.
void DropDefaults(PropMap& props, const Mailbox& mailbox, std::uint64_t id) {
    const PropValue* key = FindProp(props, mapi::PR_SOURCE_KEY);
    if (key && *key == PropValue(SourceKey(mailbox.index, id)))
        RemoveProp(props, mapi::PR_SOURCE_KEY);
}

OrderedJson DumpPropsInto(OrderedJson out, const PropMap& props, const Mailbox* mailbox) {
    DumpedProps dumped = DumpProperties(props, mailbox);
    if (!dumped.props.empty()) out["properties"] = std::move(dumped.props);
    if (!dumped.named.empty()) out["named"] = std::move(dumped.named);
    return out;
}

OrderedJson DumpRecipient(const Recipient& recipient, const Mailbox* mailbox) {
    PropMap props = recipient.props;
    RemoveProp(props, mapi::PR_ROWID);
    return DumpPropsInto(OrderedJson::object(), props, mailbox);
}

OrderedJson DumpMessage(const Message& message, const Mailbox& mailbox) {
    OrderedJson out = OrderedJson::object();
    PropMap props = message.props;
    const PropValue* messageClass = FindProp(props, mapi::PR_MESSAGE_CLASS_W);
    if (messageClass && std::holds_alternative<std::u16string>(*messageClass)) {
        out["class"] = ToUtf8(std::get<std::u16string>(*messageClass));
        RemoveProp(props, mapi::PR_MESSAGE_CLASS_W);
    }
    if (message.associated) out["associated"] = true;
    if (!FindProp(props, mapi::PR_SOURCE_KEY)) out["noSourceKey"] = true;
    DropDefaults(props, mailbox, message.id);
    // The builder gives every message read flags; a message without them says so.
    const std::int32_t defaultFlags =
        message.associated ? mapi::MSGFLAG_READ | mapi::MSGFLAG_ASSOCIATED : mapi::MSGFLAG_READ;
    const PropValue* flags = FindProp(props, mapi::PR_MESSAGE_FLAGS);
    bool flagsMissing = !flags;
    if (flags && *flags == PropValue(defaultFlags)) RemoveProp(props, mapi::PR_MESSAGE_FLAGS);
    out = DumpPropsInto(std::move(out), props, &mailbox);
    if (flagsMissing) out["properties"]["PR_MESSAGE_FLAGS"] = nullptr;
    if (!message.recipients.empty()) {
        OrderedJson recipients = OrderedJson::array();
        for (const Recipient& recipient : message.recipients)
            recipients.push_back(DumpRecipient(recipient, &mailbox));
        out["recipients"] = std::move(recipients);
    }
    return out;
}

OrderedJson DumpFolder(const Folder& folder, const Mailbox& mailbox,
                       const std::vector<std::u16string>& earlierSiblings) {
    OrderedJson out = OrderedJson::object();
    PropMap props = folder.props;
    std::u16string name = DisplayName(props);
    out["name"] = ToUtf8(name);
    RemoveProp(props, mapi::PR_DISPLAY_NAME_W);
    for (const std::u16string& sibling : earlierSiblings)
        if (EqualsAsciiNoCase(sibling, name)) out["duplicate"] = true;
    const PropValue* containerClass = FindProp(props, mapi::PR_CONTAINER_CLASS_W);
    if (containerClass && std::holds_alternative<std::u16string>(*containerClass) &&
        !std::get<std::u16string>(*containerClass).empty()) {
        out["class"] = ToUtf8(std::get<std::u16string>(*containerClass));
        RemoveProp(props, mapi::PR_CONTAINER_CLASS_W);
    }
    std::vector<std::string> special = SpecialNames(mailbox, folder.id);
    if (special.size() == 1) out["special"] = special.front();
    if (special.size() > 1) out["special"] = special;
    if (folder.hierarchyHidden) out["hierarchyHidden"] = true;
    if (folder.noAccess) out["noAccess"] = true;
    if (!FindProp(props, mapi::PR_SOURCE_KEY)) out["noSourceKey"] = true;
    DropDefaults(props, mailbox, folder.id);
    out = DumpPropsInto(std::move(out), props, &mailbox);
    std::vector<std::u16string> names;
    OrderedJson children = OrderedJson::array();
    for (const auto& child : folder.children) {
        children.push_back(DumpFolder(*child, mailbox, names));
        names.push_back(DisplayName(child->props));
    }
    if (!children.empty()) out["folders"] = std::move(children);
    OrderedJson messages = OrderedJson::array();
    for (const Message& message : folder.messages)
        messages.push_back(DumpMessage(message, mailbox));
    if (!messages.empty()) out["messages"] = std::move(messages);
    return out;
}

std::string FolderPath(const Folder& root, std::uint64_t id) {
    std::vector<const Folder*> chain;
    std::function<bool(const Folder&)> walk = [&](const Folder& folder) {
        if (folder.id == id) return true;
        for (const auto& child : folder.children) {
            if (walk(*child)) {
                chain.push_back(child.get());
                return true;
            }
        }
        return false;
    };
    if (!walk(root)) return {};
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += "/";
        path += ToUtf8(DisplayName((*it)->props));
    }
    return path;
}

}  // namespace

std::string NamedPropertyKey(const NamedProperty& name) {
    std::string key = PropertySetName(name.guid);
    key += ':';
    if (!name.isString) {
        key += '#';
        key += Hex32(static_cast<std::uint32_t>(name.id), true);
    } else if (auto ascii = UnpackAsciiName(name.name)) {
        key += *ascii;
    } else {
        AppendUtf8(key, name.name);
    }
    return key;
}

// ---- ObjectReader ----

ObjectReader::ObjectReader(const Json& object, std::string path)
    : object_(object), path_(std::move(path)) {
    if (!object_.is_object()) ThrowAt(path_.empty() ? "(document)" : path_, "expected an object");
}

std::string ObjectReader::PathOf(std::string_view key) const {
    return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

void ObjectReader::Finish() const {
    for (const auto& [key, value] : object_.items()) {
        if (!used_.count(key)) ThrowAt(PathOf(key), "unknown member");
    }
}

bool ObjectReader::Has(std::string_view key) {
    used_.emplace(key);
    return object_.contains(std::string(key));
}

const Json& ObjectReader::Get(std::string_view key) {
    const Json* value = Optional(key);
    if (!value) Fail(key, "missing");
    return *value;
}

const Json* ObjectReader::Optional(std::string_view key) {
    used_.emplace(key);
    auto it = object_.find(std::string(key));
    return it == object_.end() ? nullptr : &*it;
}

std::string ObjectReader::String(std::string_view key) {
    return CheckedString(Get(key), PathOf(key)).get<std::string>();
}

std::optional<std::string> ObjectReader::OptionalString(std::string_view key) {
    const Json* value = Optional(key);
    if (!value) return std::nullopt;
    return CheckedString(*value, PathOf(key)).get<std::string>();
}

bool ObjectReader::Bool(std::string_view key, bool fallback) {
    const Json* value = Optional(key);
    if (!value) return fallback;
    if (!value->is_boolean()) Fail(key, "expected true or false");
    return value->get<bool>();
}

std::int64_t ObjectReader::Integer(std::string_view key, std::int64_t low, std::int64_t high) {
    return IntegerIn(Get(key), low, high, PathOf(key));
}

std::optional<std::int64_t> ObjectReader::OptionalInteger(std::string_view key, std::int64_t low,
                                                          std::int64_t high) {
    const Json* value = Optional(key);
    if (!value) return std::nullopt;
    if (value->is_string()) {
        auto number = ParseHexNumber(value->get<std::string>());
        if (!number || *number < low || *number > high) Fail(key, "number out of range");
        return *number;
    }
    return IntegerIn(*value, low, high, PathOf(key));
}

void ObjectReader::Fail(std::string_view key, std::string_view message) const {
    ThrowAt(PathOf(key), message);
}

void ThrowAt(const std::string& path, std::string_view message) {
    throw JsonError((path.empty() ? std::string("(document)") : path) + ": " +
                    std::string(message));
}

std::string IndexPath(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

namespace {

// Throws when arrays and objects nest deeper than kMaxJsonDepth, naming the line and column.
void CheckNesting(const std::string& text, const std::filesystem::path& path) {
    int depth = 0, line = 1;
    std::size_t lineStart = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            ++line;
            lineStart = i + 1;
        } else if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth)
                throw JsonError(path.string() + ": line " + std::to_string(line) + ", column " +
                                std::to_string(i - lineStart + 1) + ": nested deeper than " +
                                std::to_string(kMaxJsonDepth) + " levels");
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

}  // namespace

Json ReadJsonFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw JsonError(path.string() + ": is a folder, not a file");
    // A device or a pipe could be read for ever (/dev/zero) or block: only files are read.
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error))
        throw JsonError(path.string() + ": is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw JsonError(path.string() + ": cannot be read");
    std::stringstream text;
    text << in.rdbuf();
    CheckNesting(text.str(), path);
    try {
        return Json::parse(text.str());
    } catch (const Json::exception& error) {  // a syntax error, or a number out of range
        throw JsonError(path.string() + ": not valid JSON (" + error.what() + ")");
    }
}

// ---- Values ----

std::int32_t ParseResultCode(const Json& value, const std::string& path) {
    if (value.is_number_integer()) {
        return static_cast<std::int32_t>(IntegerIn(value, std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::uint32_t>::max(),
                                                   path));
    }
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (const NamedCode* named = ByName(kResultCodes, text, false))
            return static_cast<std::int32_t>(named->code);
        if (auto number = ParseHexNumber(text)) return static_cast<std::int32_t>(*number);
    }
    ThrowAt(path, "expected a result code such as \"MAPI_E_NOT_FOUND\" or \"0x80004005\"");
}

std::string ResultCodeName(std::int32_t code) {
    if (const NamedCode* named = ByCode(kResultCodes, static_cast<std::uint32_t>(code)))
        return named->name;
    return Hex32(static_cast<std::uint32_t>(code), false);
}

int ParseMessageBoxButton(const Json& value, const std::string& path) {
    if (value.is_number_integer() && value.get<std::int64_t>() >= 1 &&
        value.get<std::int64_t>() <= 7)
        return static_cast<int>(value.get<std::int64_t>());
    if (value.is_string()) {
        if (const NamedCode* named = ByName(kButtons, value.get<std::string>(), true))
            return static_cast<int>(named->code);
    }
    ThrowAt(path, "expected a button: OK, Cancel, Abort, Retry, Ignore, Yes or No");
}

std::string MessageBoxButtonName(int button) {
    if (const NamedCode* named = ByCode(kButtons, static_cast<std::uint32_t>(button)))
        return named->name;
    return std::to_string(button);
}

std::uint32_t ParseUnsigned(const Json& value, const std::string& path) {
    if (value.is_string()) {
        if (auto number = ParseHexNumber(value.get<std::string>())) return *number;
        ThrowAt(path, "expected a number or \"0x\" and up to eight hexadecimal digits");
    }
    return static_cast<std::uint32_t>(
        IntegerIn(value, 0, std::numeric_limits<std::uint32_t>::max(), path));
}

std::uint64_t ParseIsoTime(std::string_view text, const std::string& path) {
    auto fail = [&]() -> std::uint64_t {
        ThrowAt(path, "expected a UTC time such as \"2024-03-01T09:30:00Z\"");
    };
    auto digits = [&](std::size_t at, std::size_t count) -> std::int64_t {
        if (at + count > text.size()) return -1;
        std::int64_t value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text.back() != 'Z')
        return fail();
    std::int64_t year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
    std::int64_t hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
    std::int64_t ticks = 0;
    std::size_t end = text.size() - 1;
    if (end > 19) {
        std::size_t count = end - 20;
        if (text[19] != '.' || count == 0 || count > 7) return fail();
        ticks = digits(20, count);
        if (ticks < 0) return fail();
        for (std::size_t i = count; i < 7; ++i) ticks *= 10;
    }
    if (year < 1601 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, static_cast<unsigned>(month)) || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return fail();
    std::int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day)) + kDaysFrom1601To1970;
    std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond + std::uint64_t(ticks);
}

std::string FormatIsoTime(std::uint64_t fileTime) {
    auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
    auto ticks = static_cast<std::int64_t>(fileTime % kTicksPerSecond);
    std::int64_t days = seconds / 86400 - kDaysFrom1601To1970;
    std::int64_t rest = seconds % 86400;
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02uT%02d:%02d:%02d", year, month, day,
                  int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    std::string out = text;
    if (ticks) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%07" PRId64, ticks);
        std::string digits = fraction;
        while (digits.back() == '0') digits.pop_back();
        out += digits;
    }
    return out + "Z";
}

std::string FormatUnixTime(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02uT%02d:%02d:%02dZ", year, month, day,
                  int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return text;
}

std::string ToHex(const Bytes& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

Bytes ParseHex(std::string_view text, const std::string& path) {
    Bytes bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == ':') continue;
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) ThrowAt(path, "expected hexadecimal digits");
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(std::uint8_t(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) ThrowAt(path, "an odd number of hexadecimal digits");
    return bytes;
}

std::uint32_t ParsePropertyTag(std::string_view text, const std::string& path) {
    if (const NamedCode* named = ByName(kPropertyTags, text, false)) return named->code;
    if (auto number = ParseHexNumber(text); number && text.size() == 10) return *number;
    ThrowAt(path, "unknown property; give a known name or the tag as 0x and eight digits");
}

const char* KnownPropertyTagName(std::uint32_t tag) {
    const NamedCode* named = ByCode(kPropertyTags, tag);
    return named ? named->name : nullptr;
}

std::string PropertyTagName(std::uint32_t tag) {
    if (const char* known = KnownPropertyTagName(tag)) return known;
    return Hex32(tag, true);
}

PropValue ParsePropValue(std::uint32_t tag, const Json& value, const std::string& path) {
    auto each = [&](auto parse) {
        using T = decltype(parse(value, path));
        std::vector<T> list;
        for (std::size_t i = 0; i < CheckedArray(value, path).size(); ++i)
            list.push_back(parse(value[i], IndexPath(path, i)));
        return list;
    };
    auto wide = [](const Json& v, const std::string& p) { return WideString(v, p); };
    auto narrow = [](const Json& v, const std::string& p) {
        return To8Bit(CheckedString(v, p).get<std::string>());
    };
    auto binary = [](const Json& v, const std::string& p) {
        return ParseHex(CheckedString(v, p).get<std::string>(), p);
    };
    switch (mapi::PROP_TYPE(tag)) {
        case mapi::PT_LONG:
            return LongValue(value, path);
        case mapi::PT_BOOLEAN:
            if (!value.is_boolean()) ThrowAt(path, "expected true or false");
            return value.get<bool>();
        case mapi::PT_I8:
            return IntegerIn(value, std::numeric_limits<std::int64_t>::min(),
                             std::numeric_limits<std::int64_t>::max(), path);
        case mapi::PT_SYSTIME:
            return TimeValue(value, path);
        case mapi::PT_STRING8:
            return narrow(value, path);
        case mapi::PT_UNICODE:
            return wide(value, path);
        case mapi::PT_BINARY:
            return binary(value, path);
        case mapi::PT_MV_LONG:
            return each(LongValue);
        case mapi::PT_MV_STRING8:
            return each(narrow);
        case mapi::PT_MV_UNICODE:
            return each(wide);
        case mapi::PT_MV_BINARY:
            return each(binary);
        default:
            ThrowAt(path, "the simulator holds no properties of type " +
                              PropertyTypeName(mapi::PROP_TYPE(tag)));
    }
}

OrderedJson DumpPropValue(std::uint32_t tag, const PropValue& value) {
    (void)tag;
    return std::visit(
        [](const auto& v) -> OrderedJson {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, FileTime>) {
                return DumpTime(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return From8Bit(v);
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                return ToUtf8(v);
            } else if constexpr (std::is_same_v<T, Bytes>) {
                return ToHex(v);
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                OrderedJson list = OrderedJson::array();
                for (const auto& item : v) list.push_back(From8Bit(item));
                return list;
            } else if constexpr (std::is_same_v<T, std::vector<std::u16string>>) {
                OrderedJson list = OrderedJson::array();
                for (const auto& item : v) list.push_back(ToUtf8(item));
                return list;
            } else if constexpr (std::is_same_v<T, std::vector<Bytes>>) {
                OrderedJson list = OrderedJson::array();
                for (const auto& item : v) list.push_back(ToHex(item));
                return list;
            } else {
                return OrderedJson(v);
            }
        },
        value);
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void AppendDumpedValue(std::string& out, const PropValue& value) {
    auto list = [&out](const auto& items, auto each) {
        out += '[';
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i) out += ',';
            each(items[i]);
        }
        out += ']';
    };
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, FileTime>) {
                out += DumpTime(v).dump();
            } else if constexpr (std::is_same_v<T, std::string>) {
                AppendJsonString(out, From8Bit(v));
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                // Converted in a buffer kept from one value to the next.
                thread_local std::string utf8;
                utf8.clear();
                AppendUtf8(utf8, v);
                AppendJsonString(out, utf8);
            } else if constexpr (std::is_same_v<T, Bytes>) {
                out += '"';  // hex digits need no escaping
                AppendHexBytes(out, v.data(), v.size());
                out += '"';
            } else if constexpr (std::is_same_v<T, std::vector<std::int32_t>>) {
                list(v, [&out](std::int32_t item) { out += std::to_string(item); });
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                list(v, [&out](const std::string& item) { AppendJsonString(out, From8Bit(item)); });
            } else if constexpr (std::is_same_v<T, std::vector<std::u16string>>) {
                list(v, [&out](const std::u16string& item) { AppendJsonString(out, ToUtf8(item)); });
            } else {
                static_assert(std::is_same_v<T, std::vector<Bytes>>);
                list(v, [&out](const Bytes& item) { AppendJsonString(out, ToHex(item)); });
            }
        },
        value);
}

std::uint32_t EntryNames::Resolve(const Json& value, const std::string& path) {
    if (!indexed_) {
        auto text = [](const AddressEntry& entry, ULONG tag) -> std::u16string {
            const PropValue* value = FindProp(entry.props, tag);
            return value && std::holds_alternative<std::u16string>(*value)
                       ? std::get<std::u16string>(*value)
                       : std::u16string();
        };
        for (const AddressEntry& entry : org_.addressBook) {
            byName_[text(entry, mapi::PR_DISPLAY_NAME_W)].push_back(entry.index);
            std::u16string address = FoldAscii(text(entry, mapi::PR_EMAIL_ADDRESS_W));
            if (!address.empty()) byAddress_[std::move(address)].push_back(entry.index);
        }
        indexed_ = true;
    }
    const std::u16string wanted = WideString(value, path);
    const std::vector<std::uint32_t>* entries = nullptr;
    if (auto byName = byName_.find(wanted); byName != byName_.end()) {
        entries = &byName->second;
    } else if (auto byAddress = byAddress_.find(FoldAscii(wanted)); byAddress != byAddress_.end()) {
        entries = &byAddress->second;
    }
    if (!entries) ThrowAt(path, "no address-book entry has this display name or address");
    if (entries->size() > 1) ThrowAt(path, "more than one address-book entry goes by this name");
    return entries->front();
}

AddressDialogAnswer ParseAddressDialogAnswer(const Json& value, const Organisation& org,
                                             const std::string& path) {
    EntryNames names(org);
    return ParseAddressDialogAnswer(value, names, path);
}

AddressDialogAnswer ParseAddressDialogAnswer(const Json& value, EntryNames& names,
                                             const std::string& path) {
    ObjectReader reader(CheckedObject(value, path), path);
    AddressDialogAnswer answer;
    if (const Json* picks = reader.Optional("pick")) {
        answer.action = AddressDialogAnswer::Action::Pick;
        const std::string listPath = reader.PathOf("pick");
        for (std::size_t i = 0; i < CheckedArray(*picks, listPath).size(); ++i)
            answer.picks.push_back((*picks)[i].is_null()
                                       ? AddressDialogAnswer::kRemovedPick
                                       : names.Resolve((*picks)[i], IndexPath(listPath, i)));
    } else if (reader.Bool("cancel", false)) {
        answer.action = AddressDialogAnswer::Action::Cancel;
    } else if (const Json* failure = reader.Optional("fail")) {
        answer.action = AddressDialogAnswer::Action::Fail;
        answer.failure = ParseResultCode(*failure, reader.PathOf("fail"));
    } else {
        ThrowAt(path, "expected \"pick\", \"cancel\": true or \"fail\"");
    }
    reader.Finish();
    return answer;
}

ServiceDialogAnswer ParseServiceDialogAnswer(const Json& value, const std::string& path) {
    ObjectReader reader(CheckedObject(value, path), path);
    ServiceDialogAnswer answer;
    answer.cancel = reader.Bool("cancel", false);
    if (!answer.cancel) {
        answer.server = FromUtf8(reader.String("server"));
        answer.mailbox = FromUtf8(reader.String("mailbox"));
    }
    reader.Finish();
    return answer;
}

FaultSpec ParseFault(const Json& value, const std::string& path) {
    ObjectReader reader(CheckedObject(value, path), path);
    FaultSpec planned;
    planned.fault.method = reader.String("method");
    planned.fault.nullOut = reader.Bool("nullOut", false);
    if (const Json* result = reader.Optional("result")) {
        planned.fault.result = ParseResultCode(*result, reader.PathOf("result"));
    } else if (!planned.fault.nullOut) {
        reader.Fail("result", "a fault needs a result unless it is a nullOut fault");
    }
    planned.fault.nth = static_cast<int>(reader.OptionalInteger("nth", 0, 1000000).value_or(0));
    planned.fault.object = reader.OptionalString("object").value_or("");
    planned.persistent = reader.Bool("persistent", true);
    reader.Finish();
    return planned;
}

OrderedJson DumpFault(const Fault& fault) {
    OrderedJson out{{"method", fault.method}};
    if (!fault.nullOut || fault.result != 0) out["result"] = ResultCodeName(fault.result);
    if (fault.nth) out["nth"] = fault.nth;
    if (!fault.object.empty()) out["object"] = fault.object;
    if (fault.nullOut) out["nullOut"] = true;
    return out;
}

Bytes ParsePropertySet(std::string_view text, const std::string& path) {
    for (const NamedSet& set : kPropertySets)
        if (text == set.name) return GuidBytes(set.guid);
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() == 38 && text.front() == '{' && text.back() == '}' && text[9] == '-' &&
        text[14] == '-' && text[19] == '-' && text[24] == '-') {
        std::string digits;
        for (char c : text.substr(1, 36))
            if (c != '-') digits.push_back(c);
        Bytes raw = ParseHex(digits, path);
        std::uint8_t data4[8];
        std::copy(raw.begin() + 8, raw.end(), data4);
        return GuidBytes(std::uint32_t(raw[0]) << 24 | std::uint32_t(raw[1]) << 16 |
                             std::uint32_t(raw[2]) << 8 | raw[3],
                         std::uint16_t(raw[4] << 8 | raw[5]), std::uint16_t(raw[6] << 8 | raw[7]),
                         data4);
    }
    ThrowAt(path, "expected a property set name such as \"PS_PUBLIC_STRINGS\" or a {GUID}");
}

std::string PropertySetName(const Bytes& guid) {
    for (const NamedSet& set : kPropertySets)
        if (GuidBytes(set.guid) == guid) return set.name;
    if (guid.size() != 16) return ToHex(guid);
    return IidText(guid.data());
}

std::u16string PackAsciiName(std::string_view ascii) {
    std::u16string units;
    for (std::size_t i = 0; i < ascii.size(); i += 2) {
        auto low = static_cast<unsigned char>(ascii[i]);
        auto high = i + 1 < ascii.size() ? static_cast<unsigned char>(ascii[i + 1]) : 0;
        units.push_back(char16_t(low | high << 8));
    }
    return units;
}

std::optional<std::string> UnpackAsciiName(std::u16string_view name) {
    auto printable = [](unsigned byte) { return byte >= 0x20 && byte < 0x7F; };
    if (name.empty()) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned low = name[i] & 0xFF, high = name[i] >> 8;
        bool last = i + 1 == name.size();
        if (!printable(low) || !(printable(high) || (last && high == 0))) return std::nullopt;
        text.push_back(char(low));
        if (high) text.push_back(char(high));
    }
    return text;
}

const NamedProperty* PropertyNameOf(const Mailbox& mailbox, std::uint32_t tag) {
    const NamedProperty* name = nullptr;
    if (mapi::PROP_ID(tag) >= 0x8000) {
        for (const NamedProperty& known : mailbox.namedProperties)
            if (known.propertyId == mapi::PROP_ID(tag)) name = &known;
    }
    return name;
}

DumpedProps DumpProperties(const PropMap& props, const Mailbox* mailbox) {
    DumpedProps out;
    for (const auto& [tag, value] : props) {
        const NamedProperty* name = mailbox ? PropertyNameOf(*mailbox, tag) : nullptr;
        if (name) {
            OrderedJson named = DumpName(*name);
            named["type"] = PropertyTypeName(mapi::PROP_TYPE(tag));
            named["value"] = DumpPropValue(tag, value);
            out.named.push_back(std::move(named));
        } else {
            out.props[PropertyTagName(tag)] = DumpPropValue(tag, value);
        }
    }
    return out;
}

// ---- Setups ----

namespace {

// includeChain: the setup files being read, outermost first, to refuse an include of one of them.
std::string IncludeCycle(const std::vector<std::filesystem::path>& includeChain,
                         const std::filesystem::path& again) {
    std::string text = "include cycle: ";
    bool inCycle = false;
    for (const std::filesystem::path& file : includeChain) {
        inCycle = inCycle || file == again;
        if (inCycle) text += file.filename().string() + " -> ";
    }
    return text + again.filename().string();
}

SetupExtras LoadSetupIn(const Json& setup, const std::filesystem::path& baseDir,
                        std::vector<std::filesystem::path>& includeChain) {
    ObjectReader reader(CheckedObject(setup, ""), "");
    reader.OptionalString("description");  // for the reader of the file only
    SetupExtras extras;
    auto merge = [&extras](SetupExtras more) {
        for (FaultSpec& fault : more.faults) extras.faults.push_back(std::move(fault));
        for (int answer : more.messageBoxAnswers) extras.messageBoxAnswers.push_back(answer);
        if (more.coInitializeResult) extras.coInitializeResult = more.coInitializeResult;
    };
    if (const Json* include = reader.Optional("include")) {
        std::vector<Json> files =
            include->is_array() ? include->get<std::vector<Json>>() : std::vector<Json>{*include};
        for (const Json& file : files) {
            std::filesystem::path path =
                baseDir / CheckedString(file, "include").get<std::string>();
            std::error_code ignored;
            const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
            if (std::find(includeChain.begin(), includeChain.end(), canonical) != includeChain.end())
                ThrowAt("include", IncludeCycle(includeChain, canonical));
            includeChain.push_back(canonical);
            try {
                merge(LoadSetupIn(ReadJsonFile(path), path.parent_path(), includeChain));
                includeChain.pop_back();
            } catch (const JsonError& error) {
                includeChain.pop_back();
                throw JsonError(path.filename().string() + ": " + error.what());
            }
        }
    }
    if (auto clock = reader.OptionalString("clock"))
        platform::portable::FixSystemTime(ParseIsoTime(*clock, reader.PathOf("clock")));
    if (const Json* language = reader.Optional("uiLanguage")) {
        std::uint32_t id = 0;
        if (language->is_string()) {
            const NamedCode* named = ByName(kLanguages, language->get<std::string>(), true);
            if (!named) reader.Fail("uiLanguage", "expected a language id or en-US, de-DE, ...");
            id = named->code;
        } else {
            id = static_cast<std::uint32_t>(reader.Integer("uiLanguage", 1, 0xFFFF));
        }
        platform::portable::SetUiLanguage(static_cast<std::uint16_t>(id));
    }
    if (const Json* environment = reader.Optional("environment")) {
        for (const auto& [name, value] : CheckedObject(*environment, "environment").items()) {
            if (value.is_null()) {
                platform::portable::SetEnvironmentValue(name, std::nullopt);
            } else {
                platform::portable::SetEnvironmentValue(
                    To8Bit(name),
                    To8Bit(CheckedString(value, "environment." + name).get<std::string>()));
            }
        }
    }
    if (const Json* registry = reader.Optional("registry")) {
        for (std::size_t i = 0; i < CheckedArray(*registry, "registry").size(); ++i)
            LoadRegistryEntry((*registry)[i], IndexPath("registry", i));
    }
    if (const Json* com = reader.Optional("com")) {
        ObjectReader comReader(CheckedObject(*com, "com"), "com");
        if (const Json* result = comReader.Optional("coInitializeResult"))
            extras.coInitializeResult =
                ParseResultCode(*result, comReader.PathOf("coInitializeResult"));
        comReader.Finish();
    }
    Organisation& org = Simulator::Instance().Org();
    if (reader.Has("exchangeServiceInstalled"))
        org.exchangeServiceInstalled = reader.Bool("exchangeServiceInstalled", true);
    OrgLoader loader(org);
    if (const Json* organisation = reader.Optional("organisation"))
        loader.Load(*organisation, "organisation");
    if (const Json* profiles = reader.Optional("profiles")) {
        for (std::size_t i = 0; i < CheckedArray(*profiles, "profiles").size(); ++i)
            loader.LoadProfile((*profiles)[i], IndexPath("profiles", i));
    }
    // MAPI keeps every profile under the profiles key, where the library looks for it.
    SyncProfileKeys();
    if (const Json* answers = reader.Optional("answers")) {
        ObjectReader answersReader(CheckedObject(*answers, "answers"), "answers");
        if (const Json* list = answersReader.Optional("addressDialog")) {
            const std::string listPath = answersReader.PathOf("addressDialog");
            EntryNames names(org);
            for (std::size_t i = 0; i < CheckedArray(*list, listPath).size(); ++i)
                org.addressDialogAnswers.push_back(
                    ParseAddressDialogAnswer((*list)[i], names, IndexPath(listPath, i)));
        }
        if (const Json* list = answersReader.Optional("serviceDialog")) {
            const std::string listPath = answersReader.PathOf("serviceDialog");
            for (std::size_t i = 0; i < CheckedArray(*list, listPath).size(); ++i)
                org.serviceDialogAnswers.push_back(
                    ParseServiceDialogAnswer((*list)[i], IndexPath(listPath, i)));
        }
        if (const Json* list = answersReader.Optional("messageBoxes")) {
            const std::string listPath = answersReader.PathOf("messageBoxes");
            for (std::size_t i = 0; i < CheckedArray(*list, listPath).size(); ++i)
                extras.messageBoxAnswers.push_back(
                    ParseMessageBoxButton((*list)[i], IndexPath(listPath, i)));
        }
        answersReader.Finish();
    }
    if (const Json* faults = reader.Optional("faults")) {
        for (std::size_t i = 0; i < CheckedArray(*faults, "faults").size(); ++i)
            extras.faults.push_back(ParseFault((*faults)[i], IndexPath("faults", i)));
    }
    reader.Finish();
    return extras;
}

}  // namespace

SetupExtras LoadSetup(const Json& setup, const std::filesystem::path& baseDir) {
    std::vector<std::filesystem::path> includeChain;
    return LoadSetupIn(setup, baseDir, includeChain);
}

// ---- Dumps ----

OrderedJson DumpNamedProperties(const Mailbox& mailbox) {
    OrderedJson names = OrderedJson::array();
    for (const NamedProperty& name : mailbox.namedProperties) {
        OrderedJson entry = DumpName(name);
        char id[8];
        std::snprintf(id, sizeof id, "0x%04X", static_cast<unsigned>(name.propertyId));
        entry["propertyId"] = id;
        names.push_back(std::move(entry));
    }
    return names;
}

OrderedJson DumpMailbox(const Mailbox& mailbox) {
    OrderedJson out{{"dn", ToUtf8(mailbox.dn)},
                    {"server", ToUtf8(mailbox.serverDn)},
                    {"ownerDisplayName", ToUtf8(mailbox.ownerDisplayName)},
                    {"storeDisplayName", ToUtf8(mailbox.storeDisplayName)}};
    if (!mailbox.adminAccess) out["adminAccess"] = false;
    OrderedJson names = DumpNamedProperties(mailbox);
    if (!names.empty()) out["namedProperties"] = std::move(names);
    OrderedJson store = DumpPropsInto(OrderedJson::object(), mailbox.storeProps, &mailbox);
    if (!store.empty()) out["store"] = std::move(store);
    if (mailbox.root) {
        OrderedJson root = DumpFolder(*mailbox.root, mailbox, {});
        OrderedJson folders = root.contains("folders") ? root["folders"] : OrderedJson();
        OrderedJson messages = root.contains("messages") ? root["messages"] : OrderedJson();
        root.erase("folders");
        root.erase("messages");
        std::string name = root["name"].get<std::string>();
        root.erase("name");
        if (!name.empty()) root["properties"]["PR_DISPLAY_NAME_W"] = name;
        if (!root.empty()) out["rootFolder"] = std::move(root);
        if (!folders.is_null()) out["folders"] = std::move(folders);
        if (!messages.is_null()) out["messages"] = std::move(messages);
    }
    if (!mailbox.special.additional.empty()) {
        OrderedJson additional = OrderedJson::array();
        for (std::uint64_t id : mailbox.special.additional) {
            std::string path = id && mailbox.root ? FolderPath(*mailbox.root, id) : std::string();
            additional.push_back(path.empty() ? OrderedJson(nullptr) : OrderedJson(path));
        }
        out["additionalSpecialFolders"] = std::move(additional);
    }
    return out;
}

OrderedJson DumpAddressEntry(const AddressEntry& entry, const Organisation& org) {
    const bool list = entry.kind == EntryKind::DistList;
    OrderedJson out{{"type", list ? "distList" : "user"},
                    {"displayName", ToUtf8(DisplayName(entry.props))}};
    PropMap props = entry.props;
    RemoveProp(props, mapi::PR_DISPLAY_NAME_W);
    ULONG stored = 0;
    const PropValue* dn = FindProp(props, mapi::PR_EMAIL_ADDRESS_W, &stored);
    bool dnMissing = !dn;
    if (dn && stored == mapi::PR_EMAIL_ADDRESS_W) {
        out["dn"] = ToUtf8(std::get<std::u16string>(*dn));
        RemoveProp(props, mapi::PR_EMAIL_ADDRESS_W);
    }
    // What the builder gives every entry is left out while unchanged and written as null when
    // the entry lacks it; values of another type are written under their own tags.
    const std::pair<ULONG, PropValue> defaults[] = {
        {mapi::PR_ADDRTYPE_W, std::u16string(u"EX")},
        {mapi::PR_SEND_RICH_INFO, true},
        {mapi::PR_DISPLAY_TYPE, std::int32_t(list ? mapi::DT_DISTLIST : mapi::DT_MAILUSER)},
        {mapi::PR_OBJECT_TYPE, std::int32_t(list ? mapi::MAPI_DISTLIST : mapi::MAPI_MAILUSER)},
    };
    std::vector<ULONG> missing;
    if (dnMissing) missing.push_back(mapi::PR_EMAIL_ADDRESS_W);
    for (const auto& [tag, value] : defaults) {
        const PropValue* current = FindProp(props, tag, &stored);
        if (!current) {
            missing.push_back(tag);
        } else if (stored == tag && *current == value) {
            RemoveProp(props, tag);
        }
    }
    if (!entry.dialogEntryId) out["dialogEntryId"] = false;
    if (!entry.preparesRecipients) out["preparesRecipients"] = false;
    out = DumpPropsInto(std::move(out), props, nullptr);
    for (ULONG tag : missing) out["properties"][PropertyTagName(tag)] = nullptr;
    if (list) {
        OrderedJson members = OrderedJson::array();
        for (std::uint32_t index : entry.members) {
            for (const AddressEntry& member : org.addressBook) {
                if (member.index != index) continue;
                const PropValue* address =
                    FindProp(member.props, mapi::PR_EMAIL_ADDRESS_W, &stored);
                bool byAddress = address && stored == mapi::PR_EMAIL_ADDRESS_W &&
                                 !std::get<std::u16string>(*address).empty();
                members.push_back(byAddress ? ToUtf8(std::get<std::u16string>(*address))
                                            : ToUtf8(DisplayName(member.props)));
            }
        }
        out["members"] = std::move(members);
    }
    return out;
}

OrderedJson DumpOrganisation(const Organisation& org) {
    OrderedJson servers = OrderedJson::array();
    for (const Server& server : org.servers)
        servers.push_back(OrderedJson{{"dn", ToUtf8(server.dn)}, {"name", ToUtf8(server.name)}});
    OrderedJson mailboxes = OrderedJson::array();
    for (const auto& mailbox : org.mailboxes)
        if (mailbox) mailboxes.push_back(DumpMailbox(*mailbox));
    OrderedJson entries = OrderedJson::array();
    for (const AddressEntry& entry : org.addressBook)
        entries.push_back(DumpAddressEntry(entry, org));
    OrderedJson out = ObjectWithRoom(4);
    AppendMember(out, "servers", std::move(servers));
    AppendMember(out, "mailboxes", std::move(mailboxes));
    AppendMember(out, "addressBook", std::move(entries));
    OrderedJson delivered = DumpDelivered(org);
    if (!delivered.empty()) out["delivered"] = std::move(delivered);
    return out;
}

OrderedJson DumpProfiles(const Organisation& org) {
    OrderedJson out = OrderedJson::array();
    for (const Profile& profile : org.profiles) {
        OrderedJson entry{{"name", From8Bit(profile.name)}};
        if (!profile.password.empty()) entry["password"] = From8Bit(profile.password);
        OrderedJson services = OrderedJson::array();
        for (const MsgService& service : profile.services) {
            OrderedJson item{{"service", From8Bit(service.name)},
                             {"displayName", ToUtf8(service.displayName)},
                             {"uid", ToHex(service.uid)},
                             {"configured", service.configured}};
            if (!service.server.empty()) item["server"] = ToUtf8(service.server);
            if (!service.mailbox.empty()) item["mailbox"] = ToUtf8(service.mailbox);
            services.push_back(std::move(item));
        }
        entry["services"] = std::move(services);
        if (!profile.registryKey) entry["registryKey"] = false;
        if (!profile.publicFolders) entry["publicFolders"] = false;
        if (!profile.extraStoreRows.empty()) {
            OrderedJson rows = OrderedJson::array();
            for (const PropMap& row : profile.extraStoreRows)
                rows.push_back(DumpPropsInto(OrderedJson::object(), row, nullptr));
            entry["storeRows"] = std::move(rows);
        }
        out.push_back(std::move(entry));
    }
    return out;
}

OrderedJson DumpDelivered(const Organisation& org) {
    OrderedJson out = OrderedJson::array();
    for (const DeliveredMail& mail : org.delivered) {
        Mailbox* mailbox = const_cast<Organisation&>(org).FindMailbox(mail.fromMailboxDn);
        OrderedJson entry =
            DumpPropsInto(OrderedJson{{"from", ToUtf8(mail.fromMailboxDn)}}, mail.props, mailbox);
        OrderedJson recipients = OrderedJson::array();
        for (const Recipient& recipient : mail.recipients)
            recipients.push_back(DumpRecipient(recipient, mailbox));
        entry["recipients"] = std::move(recipients);
        out.push_back(std::move(entry));
    }
    return out;
}

OrderedJson DumpRegistry() {
    OrderedJson out = OrderedJson::array();
    DumpRegistryKey(RegistryRoot::CurrentUser, u"", out);
    DumpRegistryKey(RegistryRoot::LocalMachine, u"", out);
    return out;
}

OrderedJson DumpState() {
    const Organisation& org = Simulator::Instance().Org();
    return OrderedJson{{"registry", DumpRegistry()},
                       {"exchangeServiceInstalled", org.exchangeServiceInstalled},
                       {"profiles", DumpProfiles(org)},
                       {"organisation", DumpOrganisation(org)}};
}

}  // namespace sim
