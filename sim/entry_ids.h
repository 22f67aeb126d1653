// Entry identifiers, source keys and the other opaque byte strings of the simulated organisation.
//
// Every entry id starts with four flag bytes and a 16-byte provider or store UID, as MAPI's do.
//
// Store objects (folders and messages) have two forms that reach the same object:
//   long-term   flags 00 00 00 00: what a store names its special folders with (PR_IPM_*_ENTRYID,
//               GetReceiveFolder, PR_ADDITIONAL_REN_ENTRYIDS) and what an open object reports as
//               its PR_ENTRYID;
//   short-term  flags 80 00 00 00 and a different tail: what hierarchy and contents tables list.
// OpenEntry accepts both; only IMsgStore::CompareEntryIDs equates them. The body after the UID is
// a type word (0x0001 folder, 0x0007 message), then a 16-byte database GUID and 6-byte counter per
// object (folder, then message), each followed by two tail bytes (00 00 long-term, 00 01
// short-term).
//
// Source keys (PR_SOURCE_KEY) are 22 bytes: the mailbox's database GUID and a 6-byte counter, as
// Exchange makes them; they are never entry ids.
//
// Store entry ids wrap the Exchange provider's own: flags, the store-wrap UID, a version and flag
// byte, "emsmdb.dll", the wrapped flags and provider UID, then the server and mailbox DNs (8-bit)
// and the simulator's origin byte and OPENSTORE_* flags.
//
// Address-book entry ids: flags, the directory provider's UID, version, display type and the
// entry's index; one-off ids use MAPI's one-off UID with display name, address type and address.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

enum class IdForm { LongTerm, ShortTerm };

// A folder or a message of one mailbox.
struct StoreObjectRef {
    std::uint32_t mailbox = 0;  // Mailbox::index
    std::uint64_t folder = 0;   // the folder, or the folder holding the message
    std::uint64_t message = 0;  // 0 for a folder
    IdForm form = IdForm::LongTerm;
    bool IsMessage() const { return message != 0; }
};

// The 16-byte UID of a mailbox's store (PR_RECORD_KEY, the UID inside its object entry ids).
Bytes StoreUid(std::uint32_t mailboxIndex);
// The 16-byte database (replica) GUID of a mailbox, inside its source keys and entry ids.
Bytes DatabaseGuid(std::uint32_t mailboxIndex);

Bytes FolderEntryId(std::uint32_t mailboxIndex, std::uint64_t folderId, IdForm form);
Bytes MessageEntryId(std::uint32_t mailboxIndex, std::uint64_t folderId, std::uint64_t messageId,
                     IdForm form);
// Null when the bytes are no folder or message entry id of any mailbox.
std::optional<StoreObjectRef> ParseStoreObjectId(const void* data, std::size_t size);
inline std::optional<StoreObjectRef> ParseStoreObjectId(const Bytes& id) {
    return ParseStoreObjectId(id.data(), id.size());
}

// A 22-byte source key for an object of a mailbox.
Bytes SourceKey(std::uint32_t mailboxIndex, std::uint64_t objectId);

// Where a store entry id came from: the session's message-store table (the profile's own store)
// or IExchangeManageStore::CreateStoreEntryID.
enum class StoreIdOrigin : std::uint8_t { Profile = 1, StoreManager = 2 };

struct StoreIdInfo {
    std::u16string serverDn;
    std::u16string mailboxDn;
    StoreIdOrigin origin = StoreIdOrigin::Profile;
    std::uint32_t openStoreFlags = 0;  // OPENSTORE_* given to CreateStoreEntryID
};

Bytes StoreEntryId(const StoreIdInfo& info);
std::optional<StoreIdInfo> ParseStoreEntryId(const void* data, std::size_t size);
inline std::optional<StoreIdInfo> ParseStoreEntryId(const Bytes& id) {
    return ParseStoreEntryId(id.data(), id.size());
}

// The Exchange private store provider's GUID (PR_MDB_PROVIDER of a mailbox store).
Bytes PrivateStoreProviderUid();

// Address book. Containers are numbered (0: the global address list).
struct AddressRef {
    bool container = false;
    std::uint32_t index = 0;  // AddressEntry::index, or the container number
    EntryKind kind = EntryKind::MailUser;
};

Bytes AddressBookUid();
Bytes AddressEntryId(const AddressEntry& entry);
Bytes AddressContainerEntryId(std::uint32_t container);
std::optional<AddressRef> ParseAddressEntryId(const void* data, std::size_t size);
inline std::optional<AddressRef> ParseAddressEntryId(const Bytes& id) {
    return ParseAddressEntryId(id.data(), id.size());
}

// One-off recipients (an address without a directory entry).
struct OneOff {
    std::u16string displayName;
    std::u16string addressType;
    std::u16string address;
    bool sendRichInfo = false;
};
Bytes OneOffEntryId(const OneOff& recipient);
std::optional<OneOff> ParseOneOffEntryId(const void* data, std::size_t size);

// Byte equality of an entry id with a buffer.
bool SameBytes(const Bytes& a, const void* data, std::size_t size);

}  // namespace sim
