#include "sim/entry_ids.h"

#include <algorithm>
#include <cstring>

#include "platform/code_page.h"

namespace sim {
namespace {

constexpr std::uint8_t kShortTermFlag = 0x80;
constexpr std::uint16_t kFolderType = 0x0001;
constexpr std::uint16_t kMessageType = 0x0007;
constexpr std::size_t kFolderIdSize = 4 + 16 + 2 + 24;
constexpr std::size_t kMessageIdSize = kFolderIdSize + 24;

// Fixed UIDs: the first twelve bytes identify the kind, a mailbox index follows where needed.
constexpr std::uint8_t kStoreUidBase[12] = {0x1C, 0x83, 0x02, 0x10, 0xAA, 0x66,
                                            0x11, 0xCD, 0x9B, 0xC8, 0x00, 0xAA};
constexpr std::uint8_t kDatabaseBase[12] = {0x7A, 0x4E, 0x21, 0x9B, 0x3D, 0x52,
                                            0x4C, 0x11, 0x8F, 0x0E, 0x6B, 0x25};
constexpr std::uint8_t kStoreWrapUid[16] = {0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10, 0x1A,
                                            0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2};
constexpr std::uint8_t kPrivateStoreUid[16] = {0x54, 0x94, 0xA1, 0xC0, 0x29, 0x7F, 0x10, 0x1B,
                                               0xA5, 0x87, 0x08, 0x00, 0x2B, 0x2A, 0x25, 0x17};
constexpr std::uint8_t kAddressBookUid[16] = {0xDC, 0xA7, 0x40, 0xC8, 0xC0, 0x42, 0x10, 0x1A,
                                              0xB4, 0xB9, 0x08, 0x00, 0x2B, 0x2F, 0xE1, 0x82};
constexpr std::uint8_t kOneOffUid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr char kProviderDll[] = "emsmdb.dll";
constexpr std::uint32_t kContainerType = 0x00000100;
constexpr std::uint16_t kOneOffUnicode = 0x8000;
constexpr std::uint16_t kOneOffNoRichInfo = 0x0001;

void PutLe(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutBe(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t GetLe(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

std::uint64_t GetBe(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

void Append(Bytes& out, const std::uint8_t* data, std::size_t size) {
    // Resized and copied rather than inserted: GCC 12 at -O3 takes the insertion of a constant
    // array for an out-of-bounds access (-Warray-bounds) and a release build with warnings as
    // errors would stop.
    const std::size_t at = out.size();
    out.resize(at + size);
    if (size) std::memcpy(out.data() + at, data, size);
}

Bytes IndexedUid(const std::uint8_t (&base)[12], std::uint32_t index) {
    Bytes uid;
    uid.reserve(16);  // allocated once
    uid.assign(base, base + 12);
    PutBe(uid, index, 4);
    return uid;
}

// The UID's mailbox index, when the 16 bytes at p are a UID made from base.
std::optional<std::uint32_t> IndexOf(const std::uint8_t (&base)[12], const std::uint8_t* p) {
    if (std::memcmp(p, base, 12) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(GetBe(p + 12, 4));
}

// Appends the UID made from base and a mailbox index, without a vector of its own.
void PutIndexedUid(Bytes& out, const std::uint8_t (&base)[12], std::uint32_t index) {
    Append(out, base, sizeof base);
    PutBe(out, index, 4);
}

void PutGlobalId(Bytes& out, std::uint32_t mailbox, std::uint64_t id, IdForm form) {
    PutIndexedUid(out, kDatabaseBase, mailbox);
    PutBe(out, id, 6);
    out.push_back(0);
    out.push_back(form == IdForm::ShortTerm ? 1 : 0);
}

Bytes ObjectIdHeader(std::uint32_t mailbox, std::uint16_t type, IdForm form) {
    Bytes id;
    id.reserve(type == kMessageType ? kMessageIdSize : kFolderIdSize);  // allocated once
    id.push_back(form == IdForm::ShortTerm ? kShortTermFlag : std::uint8_t{0});
    PutLe(id, 0, 3);
    PutIndexedUid(id, kStoreUidBase, mailbox);
    PutLe(id, type, 2);
    return id;
}

// Reads one database GUID, counter and tail; false when they do not belong to the mailbox or
// the tail does not fit the form.
bool ReadGlobalId(const std::uint8_t* p, std::uint32_t mailbox, IdForm form, std::uint64_t* id) {
    if (IndexOf(kDatabaseBase, p) != mailbox) return false;
    if (p[22] != 0 || p[23] != (form == IdForm::ShortTerm ? 1 : 0)) return false;
    *id = GetBe(p + 16, 6);
    return *id != 0;
}

std::u16string ReadUnits(const std::uint8_t*& p, const std::uint8_t* end, bool* ok) {
    std::u16string text;
    while (p + 1 < end) {
        char16_t unit = static_cast<char16_t>(p[0] | (p[1] << 8));
        p += 2;
        if (unit == 0) return text;
        text.push_back(unit);
    }
    *ok = false;
    return text;
}

std::string ReadNarrow(const std::uint8_t*& p, const std::uint8_t* end, bool* ok) {
    std::string text;
    while (p < end) {
        char c = static_cast<char>(*p++);
        if (c == 0) return text;
        text.push_back(c);
    }
    *ok = false;
    return text;
}

void PutUnits(Bytes& out, std::u16string_view text) {
    for (char16_t unit : text) PutLe(out, unit, 2);
    PutLe(out, 0, 2);
}

}  // namespace

Bytes StoreUid(std::uint32_t mailboxIndex) {
    return IndexedUid(kStoreUidBase, mailboxIndex);
}

Bytes DatabaseGuid(std::uint32_t mailboxIndex) {
    return IndexedUid(kDatabaseBase, mailboxIndex);
}

Bytes FolderEntryId(std::uint32_t mailboxIndex, std::uint64_t folderId, IdForm form) {
    Bytes id = ObjectIdHeader(mailboxIndex, kFolderType, form);
    PutGlobalId(id, mailboxIndex, folderId, form);
    return id;
}

Bytes MessageEntryId(std::uint32_t mailboxIndex, std::uint64_t folderId, std::uint64_t messageId,
                     IdForm form) {
    Bytes id = ObjectIdHeader(mailboxIndex, kMessageType, form);
    PutGlobalId(id, mailboxIndex, folderId, form);
    PutGlobalId(id, mailboxIndex, messageId, form);
    return id;
}

std::optional<StoreObjectRef> ParseStoreObjectId(const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    if (!p || (size != kFolderIdSize && size != kMessageIdSize)) return std::nullopt;
    if ((p[0] != 0 && p[0] != kShortTermFlag) || p[1] || p[2] || p[3]) return std::nullopt;
    StoreObjectRef ref;
    ref.form = p[0] == kShortTermFlag ? IdForm::ShortTerm : IdForm::LongTerm;
    auto mailbox = IndexOf(kStoreUidBase, p + 4);
    if (!mailbox) return std::nullopt;
    ref.mailbox = *mailbox;
    auto type = static_cast<std::uint16_t>(GetLe(p + 20, 2));
    bool message = size == kMessageIdSize;
    if (type != (message ? kMessageType : kFolderType)) return std::nullopt;
    if (!ReadGlobalId(p + 22, ref.mailbox, ref.form, &ref.folder)) return std::nullopt;
    if (message && !ReadGlobalId(p + 46, ref.mailbox, ref.form, &ref.message)) return std::nullopt;
    return ref;
}

Bytes SourceKey(std::uint32_t mailboxIndex, std::uint64_t objectId) {
    Bytes key;
    key.reserve(16 + 6);  // allocated once
    PutIndexedUid(key, kDatabaseBase, mailboxIndex);
    PutBe(key, objectId, 6);
    return key;
}

Bytes StoreEntryId(const StoreIdInfo& info) {
    Bytes id = {0, 0, 0, 0};
    Append(id, kStoreWrapUid, sizeof kStoreWrapUid);
    id.push_back(0);  // version
    id.push_back(0);  // flag
    Append(id, reinterpret_cast<const std::uint8_t*>(kProviderDll), sizeof kProviderDll);
    PutLe(id, 0, 4);  // wrapped flags
    Append(id, kPrivateStoreUid, sizeof kPrivateStoreUid);
    PutLe(id, 0x0000000C, 4);  // wrapped type: private store
    for (const std::u16string* dn : {&info.serverDn, &info.mailboxDn}) {
        std::string narrow = platform::ToSystemCodePage(*dn);
        Append(id, reinterpret_cast<const std::uint8_t*>(narrow.c_str()), narrow.size() + 1);
    }
    id.push_back(static_cast<std::uint8_t>(info.origin));
    PutLe(id, info.openStoreFlags, 4);
    return id;
}

std::optional<StoreIdInfo> ParseStoreEntryId(const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    constexpr std::size_t fixed = 4 + 16 + 2 + sizeof kProviderDll + 4 + 16 + 4;
    if (!p || size < fixed + 2 + 5) return std::nullopt;
    const std::uint8_t* end = p + size;
    if (p[0] || p[1] || p[2] || p[3]) return std::nullopt;
    if (std::memcmp(p + 4, kStoreWrapUid, 16) != 0) return std::nullopt;
    if (std::memcmp(p + 22, kProviderDll, sizeof kProviderDll) != 0) return std::nullopt;
    const std::uint8_t* q = p + 22 + sizeof kProviderDll + 4;
    if (std::memcmp(q, kPrivateStoreUid, 16) != 0) return std::nullopt;
    q = p + fixed;
    bool ok = true;
    StoreIdInfo info;
    info.serverDn = platform::FromSystemCodePage(ReadNarrow(q, end, &ok));
    info.mailboxDn = platform::FromSystemCodePage(ReadNarrow(q, end, &ok));
    if (!ok || end - q != 5) return std::nullopt;
    if (*q != static_cast<std::uint8_t>(StoreIdOrigin::Profile) &&
        *q != static_cast<std::uint8_t>(StoreIdOrigin::StoreManager)) {
        return std::nullopt;
    }
    info.origin = static_cast<StoreIdOrigin>(*q);
    info.openStoreFlags = static_cast<std::uint32_t>(GetLe(q + 1, 4));
    return info;
}

Bytes PrivateStoreProviderUid() {
    return Bytes(kPrivateStoreUid, kPrivateStoreUid + sizeof kPrivateStoreUid);
}

Bytes AddressBookUid() {
    return Bytes(kAddressBookUid, kAddressBookUid + sizeof kAddressBookUid);
}

namespace {

Bytes AddressId(std::uint32_t type, std::uint32_t index) {
    Bytes id = {0, 0, 0, 0};
    Append(id, kAddressBookUid, sizeof kAddressBookUid);
    PutLe(id, 1, 4);  // version
    PutLe(id, type, 4);
    PutLe(id, index, 4);
    return id;
}

}  // namespace

Bytes AddressEntryId(const AddressEntry& entry) {
    return AddressId(entry.kind == EntryKind::DistList ? mapi::DT_DISTLIST : mapi::DT_MAILUSER,
                     entry.index);
}

Bytes AddressContainerEntryId(std::uint32_t container) {
    return AddressId(kContainerType, container);
}

std::optional<AddressRef> ParseAddressEntryId(const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    if (!p || size != 32 || p[0] || p[1] || p[2] || p[3]) return std::nullopt;
    if (std::memcmp(p + 4, kAddressBookUid, 16) != 0 || GetLe(p + 20, 4) != 1) return std::nullopt;
    auto type = static_cast<std::uint32_t>(GetLe(p + 24, 4));
    AddressRef ref;
    ref.index = static_cast<std::uint32_t>(GetLe(p + 28, 4));
    if (type == kContainerType) {
        ref.container = true;
    } else if (type == mapi::DT_MAILUSER || type == mapi::DT_DISTLIST) {
        ref.kind = type == mapi::DT_DISTLIST ? EntryKind::DistList : EntryKind::MailUser;
    } else {
        return std::nullopt;
    }
    return ref;
}

Bytes OneOffEntryId(const OneOff& recipient) {
    Bytes id = {0, 0, 0, 0};
    Append(id, kOneOffUid, sizeof kOneOffUid);
    PutLe(id, 0, 2);  // version
    PutLe(id, kOneOffUnicode | (recipient.sendRichInfo ? 0 : kOneOffNoRichInfo), 2);
    PutUnits(id, recipient.displayName);
    PutUnits(id, recipient.addressType);
    PutUnits(id, recipient.address);
    return id;
}

std::optional<OneOff> ParseOneOffEntryId(const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    if (!p || size < 24 + 6 || std::memcmp(p + 4, kOneOffUid, 16) != 0) return std::nullopt;
    auto flags = static_cast<std::uint16_t>(GetLe(p + 22, 2));
    if (!(flags & kOneOffUnicode)) return std::nullopt;
    const std::uint8_t* q = p + 24;
    const std::uint8_t* end = p + size;
    bool ok = true;
    OneOff recipient;
    recipient.displayName = ReadUnits(q, end, &ok);
    recipient.addressType = ReadUnits(q, end, &ok);
    recipient.address = ReadUnits(q, end, &ok);
    recipient.sendRichInfo = !(flags & kOneOffNoRichInfo);
    if (!ok) return std::nullopt;
    return recipient;
}

bool SameBytes(const Bytes& a, const void* data, std::size_t size) {
    return a.size() == size && (size == 0 || std::memcmp(a.data(), data, size) == 0);
}

}  // namespace sim
