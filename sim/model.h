// The simulated Exchange organisation as plain data: servers, mailboxes with their folder trees and
// messages, the address book, MAPI profiles and the scripted answers of the people in front of the
// dialogs. The MAPI objects of the simulator (sim_*.cpp) work on this model; the JSON loader and
// the C++ builder both produce it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

// One property value with its MAPI type (the low 16 bits of the tag it is stored under).
struct FileTime {
    std::uint64_t value = 0;  // 100-ns intervals since 1601-01-01 UTC
    friend bool operator==(const FileTime&, const FileTime&) = default;
};
using PropValue = std::variant<std::int32_t,               // PT_LONG
                               bool,                       // PT_BOOLEAN
                               std::int64_t,               // PT_I8
                               FileTime,                   // PT_SYSTIME
                               std::string,                // PT_STRING8 (Windows-1252)
                               std::u16string,             // PT_UNICODE
                               Bytes,                      // PT_BINARY
                               std::vector<std::int32_t>,  // PT_MV_LONG
                               std::vector<std::string>,     // PT_MV_STRING8
                               std::vector<std::u16string>,  // PT_MV_UNICODE
                               std::vector<Bytes>>;          // PT_MV_BINARY

// Properties keyed by their full tag (id and type), in tag order. A store holds one value per
// property id.
//
// The interface is the part of std::map's that the simulator uses, over a vector sorted by tag:
// an object has a few dozen properties at most, and a million folders' properties are then a
// million blocks rather than tens of millions of tree nodes. Unlike std::map's, an insertion or
// erasure moves the values after it: references and iterators into the map do not survive
// them.
// GCC 12 at -O3 for i686 Windows takes the moved-from PropValue of an insertion for an
// uninitialised one (a false -Wmaybe-uninitialized on std::variant's move).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
class PropMap {
  public:
    using value_type = std::pair<std::uint32_t, PropValue>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    PropMap() = default;
    PropMap(std::initializer_list<value_type> values) {
        for (const value_type& value : values) insert(value);
    }

    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    void clear() { items_.clear(); }
    // Room for that many properties, so that adding up to them allocates nothing. A copy has
    // room for its properties only.
    void reserve(std::size_t properties) { items_.reserve(properties); }

    iterator lower_bound(std::uint32_t tag) {
        return std::lower_bound(items_.begin(), items_.end(), tag, TagBefore);
    }
    const_iterator lower_bound(std::uint32_t tag) const {
        return std::lower_bound(items_.begin(), items_.end(), tag, TagBefore);
    }
    iterator find(std::uint32_t tag) {
        auto it = lower_bound(tag);
        return it != end() && it->first == tag ? it : end();
    }
    const_iterator find(std::uint32_t tag) const {
        auto it = lower_bound(tag);
        return it != end() && it->first == tag ? it : end();
    }
    std::size_t count(std::uint32_t tag) const { return find(tag) != end() ? 1 : 0; }
    bool contains(std::uint32_t tag) const { return find(tag) != end(); }
    PropValue& at(std::uint32_t tag) {
        auto it = find(tag);
        if (it == end()) throw std::out_of_range("PropMap::at");
        return it->second;
    }
    const PropValue& at(std::uint32_t tag) const {
        auto it = find(tag);
        if (it == end()) throw std::out_of_range("PropMap::at");
        return it->second;
    }
    PropValue& operator[](std::uint32_t tag) {
        auto it = lower_bound(tag);
        if (it == end() || it->first != tag) it = items_.emplace(it, tag, PropValue());
        return it->second;
    }

    std::pair<iterator, bool> insert(value_type value) {
        auto it = lower_bound(value.first);
        if (it != end() && it->first == value.first) return {it, false};
        return {items_.insert(it, std::move(value)), true};
    }

    iterator erase(const_iterator it) { return items_.erase(it); }
    iterator erase(const_iterator first, const_iterator last) { return items_.erase(first, last); }
    std::size_t erase(std::uint32_t tag) {
        auto it = find(tag);
        if (it == end()) return 0;
        items_.erase(it);
        return 1;
    }

    friend bool operator==(const PropMap&, const PropMap&) = default;

  private:
    static bool TagBefore(const value_type& item, std::uint32_t tag) { return item.first < tag; }

    std::vector<value_type> items_;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

struct Recipient {
    PropMap props;  // PR_EMAIL_ADDRESS_W, PR_ADDRTYPE_W, PR_RECIPIENT_TYPE, ...
};

struct Message {
    std::uint64_t id = 0;  // unique in the organisation
    bool associated = false;
    PropMap props;  // PR_MESSAGE_CLASS_W, PR_SUBJECT_W, PR_BODY_W, named properties, ...
    std::vector<Recipient> recipients;
};

struct Folder {
    std::uint64_t id = 0;  // unique in the organisation
    PropMap props;         // PR_DISPLAY_NAME_W, PR_CONTAINER_CLASS_W, PR_SOURCE_KEY, ...
    std::vector<std::unique_ptr<Folder>> children;
    std::vector<Message> messages;
    // Rights of the logged-on account: a hidden hierarchy lists no subfolders; a folder that
    // refuses access fails OpenEntry with MAPI_E_NO_ACCESS.
    bool hierarchyHidden = false;
    bool noAccess = false;
};

// The special folders a store names in its properties. Each refers to a folder of the store's
// tree by id (0 when the store has none).
struct SpecialFolders {
    std::uint64_t ipmSubtree = 0;
    std::uint64_t inbox = 0;  // the receive folder
    std::uint64_t outbox = 0;
    std::uint64_t sentItems = 0;
    std::uint64_t deletedItems = 0;
    std::uint64_t calendar = 0;
    std::uint64_t contacts = 0;
    std::uint64_t journal = 0;
    std::uint64_t notes = 0;
    std::uint64_t tasks = 0;
    std::uint64_t drafts = 0;
    std::vector<std::uint64_t> additional;  // PR_ADDITIONAL_REN_ENTRYIDS, 0 = an empty value
};

struct NamedProperty {
    Bytes guid;                   // 16 bytes
    bool isString = true;         // MNID_STRING or MNID_ID
    std::u16string name;          // exact UTF-16 units of an MNID_STRING name
    std::int32_t id = 0;          // MNID_ID
    std::uint16_t propertyId = 0;  // 0x8000 and up, in order of creation
};

struct Mailbox {
    std::uint32_t index = 0;  // unique in the organisation, part of its entry ids
    std::u16string dn;        // mailbox owner's distinguished name
    std::u16string serverDn;  // home server
    std::u16string storeDisplayName;
    std::u16string ownerDisplayName;
    std::unique_ptr<Folder> root;  // the store's root folder (not the IPM subtree)
    SpecialFolders special;
    PropMap storeProps;  // further store properties
    std::vector<NamedProperty> namedProperties;
    // The logged-on account may open this mailbox through the store manager with administrative
    // privilege.
    bool adminAccess = true;

    // Folders of the tree by id, answered from an index as a store answers OpenEntry. A folder
    // added below `root` by other means is found by a walk of the tree the first time, which then
    // indexes the whole tree again. Folders are never taken out of the tree (the store supports
    // no DeleteFolder); code that does so must call ForgetFolders.
    Folder* FindFolder(std::uint64_t id) const;
    Folder* FindParent(std::uint64_t id) const;  // null for the root and for unknown ids
    // Adds `folder` as the last child of `parent`, a folder of this mailbox.
    Folder* AddFolder(Folder& parent, std::unique_ptr<Folder> folder);
    void ForgetFolders() { folderIndex_.clear(); }

  private:
    struct FolderPlace {
        Folder* folder = nullptr;
        Folder* parent = nullptr;
    };
    // Places by folder id. Ids are handed out in sequence, so a mailbox's folders mostly fill
    // one range of them: they are kept in a vector by id, with a hash map for ids far apart.
    class FolderIndex {
      public:
        bool empty() const { return count_ == 0; }
        void clear();
        // Made for `count` folders with ids from first to last.
        void Prepare(std::uint64_t first, std::uint64_t last, std::size_t count);
        const FolderPlace* Find(std::uint64_t id) const;
        // A place already kept for the id stays unless `replace`.
        void Insert(std::uint64_t id, const FolderPlace& place, bool replace);

      private:
        bool Dense(std::uint64_t first, std::uint64_t last, std::size_t count) const;
        void MakeSparse();

        bool dense_ = true;
        std::uint64_t first_ = 0;
        std::vector<FolderPlace> byOffset_;  // id - first_; empty places have no folder
        std::unordered_map<std::uint64_t, FolderPlace> byId_;
        std::size_t count_ = 0;
    };
    const FolderPlace* Place(std::uint64_t id) const;
    void IndexTree() const;
    mutable FolderIndex folderIndex_;
};

struct Server {
    std::u16string dn;
    std::u16string name;
};

enum class EntryKind { MailUser, DistList };

struct AddressEntry {
    std::uint32_t index = 0;  // unique, part of its entry id
    EntryKind kind = EntryKind::MailUser;
    // PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_EMS_AB_HOME_MDB_W,
    // PR_EMS_AB_PROXY_ADDRESSES_W, PR_SEND_RICH_INFO, ...
    PropMap props;
    std::vector<std::uint32_t> members;  // distribution lists: indexes of member entries
    // Entries of a provider that hands the address dialog its rows without PR_ENTRYID.
    bool dialogEntryId = true;
    // Entries of a provider that does not prepare recipients: PrepareRecips leaves an entry
    // that names one as it was given, and succeeds.
    bool preparesRecipients = true;
};

struct MsgService {
    std::string name;  // "MSEMS"
    std::u16string displayName;
    Bytes uid;  // PR_SERVICE_UID, 16 bytes
    bool configured = false;
    std::u16string server;   // set by the configuration dialog
    std::u16string mailbox;  // DN of the mailbox the profile logs on to
};

struct Profile {
    std::string name;  // 8-bit, as profile administration takes it
    std::string password;
    std::vector<MsgService> services;
    // The profile's key under the Windows Messaging Subsystem profiles key exists (see
    // sim/profile_admin.h). False sets up a profile MAPI holds but whose key is missing.
    bool registryKey = true;
    // The message-store table lists the public folders (not the default store) after the
    // profile's mailbox.
    bool publicFolders = true;
    // Further rows of the message-store table, after the built-in ones, as they are listed.
    std::vector<PropMap> extraStoreRows;
};

// What the people in front of MAPI's own dialogs do, in call order.
struct AddressDialogAnswer {
    enum class Action { Pick, Cancel, Fail } action = Action::Pick;
    // Address-entry indexes, in the order picked; kRemovedPick is an entry the dialog hands back
    // with no values (a recipient taken out of the well again).
    std::vector<std::uint32_t> picks;
    static constexpr std::uint32_t kRemovedPick = 0xFFFFFFFFu;
    std::int32_t failure = 0;          // result of Address for Fail
};
struct ServiceDialogAnswer {
    bool cancel = false;
    std::u16string server;
    std::u16string mailbox;  // DN of the profile's mailbox
};

// A message that SubmitMessage delivered.
struct DeliveredMail {
    std::u16string fromMailboxDn;
    PropMap props;
    std::vector<Recipient> recipients;
};

struct Organisation {
    std::vector<Server> servers;
    std::vector<std::unique_ptr<Mailbox>> mailboxes;
    std::vector<AddressEntry> addressBook;
    std::vector<Profile> profiles;
    bool exchangeServiceInstalled = true;  // CreateMsgService("MSEMS") works
    std::vector<AddressDialogAnswer> addressDialogAnswers;
    // Answers resolved before the run by step path, with the size of the address book they were
    // resolved against: a step queues its own instead of resolving the names again.
    struct CheckedAnswers {
        std::size_t addressEntries = 0;
        std::vector<AddressDialogAnswer> answers;
    };
    std::map<std::string, CheckedAnswers> checkedAddressAnswers;
    std::vector<ServiceDialogAnswer> serviceDialogAnswers;
    std::vector<DeliveredMail> delivered;
    std::uint64_t nextObjectId = 1;  // for folders and messages created at run time

    Mailbox* FindMailbox(std::u16string_view dn);
    Profile* FindProfile(std::string_view name);
    AddressEntry* FindEntry(std::uint32_t index);
    std::uint64_t NewObjectId() { return nextObjectId++; }
};

// Folder lookups inside one tree by walking it (Mailbox::FindFolder answers from its index).
Folder* FindFolder(Folder& root, std::uint64_t id);
Folder* FindParent(Folder& root, std::uint64_t id);

}  // namespace sim
