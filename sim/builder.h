// A small C++ API for tests that builds an organisation (by default the Simulator's own,
// Simulator::Instance().Org()):
//
//     OrgBuilder b;
//     auto server = b.Server(u"/o=Example/ou=First Administrative Group/cn=Configuration/"
//                            u"cn=Servers/cn=EXCH01", u"EXCH01");
//     auto& mb = b.Mailbox(u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe",
//                          server).StandardFolders();
//     mb.Folder(u"TavrelHandheldInfo").Message(u"KVO.Tavrel.Handheld.Config")
//         .Prop(0x600C001F, u"TES1");
//     b.User(u"John Doe", mb).Smtp(u"jdoe@example.com");
//     b.Profile("TavrelManager").ExchangeService(server, mb.Dn());
//
// Ids (folders, messages, mailboxes, address entries) are assigned as the model requires; every
// folder and message gets a PR_SOURCE_KEY unless NoSourceKey() takes it away. StandardFolders()
// makes the IPM subtree "Top of Information Store" under the root with the special folders
// Calendar, Contacts, Deleted Items, Drafts, Inbox, Journal, Notes, Outbox, Sent Items and Tasks
// (in that order) and their container classes, and records them in Mailbox::special.
//
// Builders live as long as their OrgBuilder; the references they return stay valid.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "mapi/mapi.h"
#include "sim/entry_ids.h"
#include "sim/model.h"

namespace sim {

class OrgBuilder;
class MailboxBuilder;

class MessageBuilder {
  public:
    MessageBuilder& Prop(mapi::ULONG tag, PropValue value);
    MessageBuilder& Subject(std::u16string subject);
    MessageBuilder& Recipient(PropMap props);
    MessageBuilder& NoSourceKey();

    sim::Message& Model();
    std::uint64_t Id() const { return id_; }
    Bytes EntryId(IdForm form = IdForm::LongTerm) const;

  private:
    friend class FolderBuilder;
    MessageBuilder(std::uint32_t mailbox, sim::Folder* folder, std::uint64_t id)
        : mailbox_(mailbox), folder_(folder), id_(id) {}
    std::uint32_t mailbox_;
    sim::Folder* folder_;
    std::uint64_t id_;
};

class FolderBuilder {
  public:
    // The subfolder of that name (ASCII letters compared without case), made when missing.
    FolderBuilder& Folder(std::u16string name, std::u16string containerClass = {});
    // Always a new subfolder, even beside one of the same name.
    FolderBuilder& AddFolder(std::u16string name, std::u16string containerClass = {});
    MessageBuilder& Message(std::u16string messageClass = {});
    MessageBuilder& AssociatedMessage(std::u16string messageClass = {});
    FolderBuilder& Prop(mapi::ULONG tag, PropValue value);
    FolderBuilder& ContainerClass(std::u16string containerClass);
    FolderBuilder& NoSourceKey();
    FolderBuilder& HierarchyHidden(bool hidden = true);
    FolderBuilder& NoAccess(bool refused = true);
    // The folder this one was made in (itself for a root).
    FolderBuilder& Parent() { return *parent_; }

    sim::Folder& Model() { return *folder_; }
    std::uint64_t Id() const { return folder_->id; }
    Bytes EntryId(IdForm form = IdForm::LongTerm) const;
    Bytes SourceKey() const;

  private:
    friend class MailboxBuilder;
    friend class OrgBuilder;
    FolderBuilder(OrgBuilder* org, std::uint32_t mailbox, sim::Folder* folder,
                  FolderBuilder* parent)
        : org_(org), mailbox_(mailbox), folder_(folder), parent_(parent ? parent : this) {}
    MessageBuilder& AddMessage(std::u16string messageClass, bool associated);

    OrgBuilder* org_;
    std::uint32_t mailbox_;
    sim::Folder* folder_;
    FolderBuilder* parent_;
};

class MailboxBuilder {
  public:
    MailboxBuilder& StandardFolders();
    MailboxBuilder& StoreDisplayName(std::u16string name);
    MailboxBuilder& OwnerDisplayName(std::u16string name);
    MailboxBuilder& AdminAccess(bool allowed);
    MailboxBuilder& StoreProp(mapi::ULONG tag, PropValue value);
    // Appends to PR_ADDITIONAL_REN_ENTRYIDS; 0 gives an empty value.
    MailboxBuilder& AdditionalSpecial(std::uint64_t folderId);

    // The store's root folder, and a subfolder of it (outside the IPM subtree).
    FolderBuilder& Root() { return *root_; }
    FolderBuilder& Folder(std::u16string name, std::u16string containerClass = {});
    // The folders StandardFolders made; they must exist.
    FolderBuilder& Ipm();
    FolderBuilder& Inbox();
    FolderBuilder& Outbox();
    FolderBuilder& SentItems();
    FolderBuilder& DeletedItems();
    FolderBuilder& Calendar();
    FolderBuilder& Contacts();
    FolderBuilder& Drafts();
    FolderBuilder& Journal();
    FolderBuilder& Notes();
    FolderBuilder& Tasks();
    // Room for that many more folders, so that making them grows no index on the way.
    MailboxBuilder& ReserveFolders(std::size_t more);

    sim::Mailbox& Model() { return *mailbox_; }
    std::uint32_t Index() const { return mailbox_->index; }
    const std::u16string& Dn() const { return mailbox_->dn; }
    const std::u16string& ServerDn() const { return mailbox_->serverDn; }
    // The store entry id of the session's message-store table for this mailbox.
    Bytes ProfileStoreEntryId() const;

  private:
    friend class OrgBuilder;
    MailboxBuilder(OrgBuilder* org, sim::Mailbox* mailbox, FolderBuilder* root)
        : org_(org), mailbox_(mailbox), root_(root) {}
    FolderBuilder& Special(std::uint64_t id, const char* name);

    OrgBuilder* org_;
    sim::Mailbox* mailbox_;
    FolderBuilder* root_;
};

class AddressEntryBuilder {
  public:
    AddressEntryBuilder& Prop(mapi::ULONG tag, PropValue value);
    // PR_EMS_AB_PROXY_ADDRESSES_W, replacing earlier ones.
    AddressEntryBuilder& Proxies(std::vector<std::u16string> proxies);
    // Adds the primary SMTP proxy "SMTP:<address>" in front of the others.
    AddressEntryBuilder& Smtp(const std::u16string& address);
    AddressEntryBuilder& HomeMdb(std::u16string dn);
    AddressEntryBuilder& SendRichInfo(bool rich);
    // Distribution lists: member entries.
    AddressEntryBuilder& Members(std::vector<std::uint32_t> indexes);

    AddressEntry& Model();
    std::uint32_t Index() const { return index_; }
    Bytes EntryId();

  private:
    friend class OrgBuilder;
    AddressEntryBuilder(Organisation* org, std::uint32_t index) : org_(org), index_(index) {}
    Organisation* org_;
    std::uint32_t index_;
};

class ProfileBuilder {
  public:
    ProfileBuilder& Password(std::string password);
    // An "MSEMS" service; configured services name the server and mailbox they log on to.
    ProfileBuilder& ExchangeService(std::u16string server, std::u16string mailboxDn,
                                    bool configured = true);
    // An "MSEMS" service that was added but never configured.
    ProfileBuilder& UnconfiguredExchangeService();

    sim::Profile& Model();

  private:
    friend class OrgBuilder;
    ProfileBuilder(Organisation* org, std::string name) : org_(org), name_(std::move(name)) {}
    Organisation* org_;
    std::string name_;
};

class OrgBuilder {
  public:
    OrgBuilder();
    explicit OrgBuilder(Organisation& org);
    OrgBuilder(const OrgBuilder&) = delete;
    OrgBuilder& operator=(const OrgBuilder&) = delete;

    // Adds a server and returns its DN. name defaults to the DN's last "cn=" part.
    std::u16string Server(std::u16string dn, std::u16string name = {});
    // A mailbox homed on serverDn with only its root folder. The owner's display name defaults
    // to the DN's last "cn=" part, the store's to "Mailbox - <owner>".
    MailboxBuilder& Mailbox(std::u16string dn, std::u16string serverDn);
    // A mail user; with a mailbox, its DN, address type "EX" and home MDB are taken from it.
    AddressEntryBuilder& User(std::u16string displayName, std::u16string dn);
    AddressEntryBuilder& User(std::u16string displayName, MailboxBuilder& mailbox);
    AddressEntryBuilder& DistList(std::u16string displayName, std::u16string dn);
    ProfileBuilder& Profile(std::string name);
    OrgBuilder& ExchangeServiceInstalled(bool installed);

    Organisation& Org() { return *org_; }
    // The home MDB DN Exchange gives the mailboxes of a server.
    static std::u16string HomeMdbOf(std::u16string_view serverDn);

  private:
    friend class FolderBuilder;
    friend class MailboxBuilder;
    FolderBuilder& AddFolderBuilder(std::uint32_t mailbox, sim::Folder* folder,
                                    FolderBuilder* parent);
    sim::Folder* NewFolder(std::uint32_t mailbox, sim::Folder& parent, std::u16string name,
                           std::u16string containerClass);
    // The builder of the first subfolder of that name (ASCII case ignored) that has one.
    FolderBuilder* ChildNamed(sim::Folder& parent, std::u16string_view name);
    void ReserveFolders(std::size_t more) { builderOf_.reserve(builderOf_.size() + more); }
    // One above the highest index of the address book, read on from the entries seen last time
    // (entries are appended; their indexes are not changed afterwards).
    std::uint32_t NextEntryIndex();
    void NameChanged(sim::Folder& parent) { childNames_.erase(&parent); }

    // A folder's subfolders by folded display name, the first of each name; `indexed` is the
    // number of subfolders the index was made from, so that subfolders added or removed behind
    // the builder's back (by the simulation at run time) make it start over.
    struct ChildNames {
        std::size_t indexed = 0;
        std::unordered_map<std::u16string, sim::Folder*> byName;
    };

    Organisation* org_;
    std::deque<FolderBuilder> folders_;
    std::unordered_map<const sim::Folder*, FolderBuilder*> builderOf_;
    std::unordered_map<const sim::Folder*, ChildNames> childNames_;
    std::deque<MessageBuilder> messages_;
    std::deque<MailboxBuilder> mailboxes_;
    std::deque<AddressEntryBuilder> entries_;
    std::size_t entriesSeen_ = 0;
    std::uint32_t nextEntryIndex_ = 1;
    std::deque<ProfileBuilder> profiles_;
};

}  // namespace sim
