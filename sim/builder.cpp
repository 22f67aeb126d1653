#include "sim/builder.h"

#include <stdexcept>

#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"

namespace sim {
namespace {

std::u16string LastCommonName(std::u16string_view dn) {
    for (std::size_t i = dn.size(); i >= 3; --i) {
        std::u16string_view part = dn.substr(i - 3, 3);
        if (EqualsAsciiNoCase(part, u"cn=")) return std::u16string(dn.substr(i));
    }
    return std::u16string(dn);
}

}  // namespace

// ---- MessageBuilder ----

sim::Message& MessageBuilder::Model() {
    // From the back: a builder mostly sets the properties of the message it just made.
    for (auto it = folder_->messages.rbegin(); it != folder_->messages.rend(); ++it) {
        if (it->id == id_) return *it;
    }
    throw std::logic_error("message removed from its folder");
}

MessageBuilder& MessageBuilder::Prop(mapi::ULONG tag, PropValue value) {
    PutProp(Model().props, tag, std::move(value));
    return *this;
}

MessageBuilder& MessageBuilder::Subject(std::u16string subject) {
    return Prop(mapi::PR_SUBJECT_W, std::move(subject));
}

MessageBuilder& MessageBuilder::Recipient(PropMap props) {
    sim::Message& message = Model();
    PutProp(props, mapi::PR_ROWID, static_cast<std::int32_t>(message.recipients.size()));
    message.recipients.push_back({std::move(props)});
    return *this;
}

MessageBuilder& MessageBuilder::NoSourceKey() {
    RemoveProp(Model().props, mapi::PR_SOURCE_KEY);
    return *this;
}

Bytes MessageBuilder::EntryId(IdForm form) const {
    return MessageEntryId(mailbox_, folder_->id, id_, form);
}

// ---- FolderBuilder ----

FolderBuilder& FolderBuilder::Folder(std::u16string name, std::u16string containerClass) {
    if (FolderBuilder* existing = org_->ChildNamed(*folder_, name)) return *existing;
    return AddFolder(std::move(name), std::move(containerClass));
}

FolderBuilder& FolderBuilder::AddFolder(std::u16string name, std::u16string containerClass) {
    sim::Folder* created =
        org_->NewFolder(mailbox_, *folder_, std::move(name), std::move(containerClass));
    return org_->AddFolderBuilder(mailbox_, created, this);
}

MessageBuilder& FolderBuilder::AddMessage(std::u16string messageClass, bool associated) {
    sim::Message message;
    message.id = org_->Org().NewObjectId();
    message.associated = associated;
    if (!messageClass.empty()) message.props[mapi::PR_MESSAGE_CLASS_W] = std::move(messageClass);
    message.props[mapi::PR_MESSAGE_FLAGS] = static_cast<std::int32_t>(
        associated ? mapi::MSGFLAG_READ | mapi::MSGFLAG_ASSOCIATED : mapi::MSGFLAG_READ);
    message.props[mapi::PR_SOURCE_KEY] = sim::SourceKey(mailbox_, message.id);
    folder_->messages.push_back(std::move(message));
    org_->messages_.push_back(MessageBuilder(mailbox_, folder_, folder_->messages.back().id));
    return org_->messages_.back();
}

MessageBuilder& FolderBuilder::Message(std::u16string messageClass) {
    return AddMessage(std::move(messageClass), false);
}

MessageBuilder& FolderBuilder::AssociatedMessage(std::u16string messageClass) {
    return AddMessage(std::move(messageClass), true);
}

FolderBuilder& FolderBuilder::Prop(mapi::ULONG tag, PropValue value) {
    PutProp(folder_->props, tag, std::move(value));
    if (mapi::PROP_ID(tag) == mapi::PROP_ID(mapi::PR_DISPLAY_NAME_W) && parent_ != this)
        org_->NameChanged(parent_->Model());
    return *this;
}

FolderBuilder& FolderBuilder::ContainerClass(std::u16string containerClass) {
    return Prop(mapi::PR_CONTAINER_CLASS_W, std::move(containerClass));
}

FolderBuilder& FolderBuilder::NoSourceKey() {
    RemoveProp(folder_->props, mapi::PR_SOURCE_KEY);
    return *this;
}

FolderBuilder& FolderBuilder::HierarchyHidden(bool hidden) {
    folder_->hierarchyHidden = hidden;
    return *this;
}

FolderBuilder& FolderBuilder::NoAccess(bool refused) {
    folder_->noAccess = refused;
    return *this;
}

Bytes FolderBuilder::EntryId(IdForm form) const {
    return FolderEntryId(mailbox_, folder_->id, form);
}

Bytes FolderBuilder::SourceKey() const {
    const PropValue* key = FindProp(folder_->props, mapi::PR_SOURCE_KEY);
    return key && std::holds_alternative<Bytes>(*key) ? std::get<Bytes>(*key) : Bytes();
}

// ---- MailboxBuilder ----

MailboxBuilder& MailboxBuilder::StandardFolders() {
    FolderBuilder& ipm = root_->Folder(u"Top of Information Store");
    SpecialFolders& special = mailbox_->special;
    special.ipmSubtree = ipm.Id();
    special.calendar = ipm.Folder(u"Calendar", u"IPF.Appointment").Id();
    special.contacts = ipm.Folder(u"Contacts", u"IPF.Contact").Id();
    special.deletedItems = ipm.Folder(u"Deleted Items", u"IPF.Note").Id();
    special.drafts = ipm.Folder(u"Drafts", u"IPF.Note").Id();
    special.inbox = ipm.Folder(u"Inbox", u"IPF.Note").Id();
    special.journal = ipm.Folder(u"Journal", u"IPF.Journal").Id();
    special.notes = ipm.Folder(u"Notes", u"IPF.StickyNote").Id();
    special.outbox = ipm.Folder(u"Outbox", u"IPF.Note").Id();
    special.sentItems = ipm.Folder(u"Sent Items", u"IPF.Note").Id();
    special.tasks = ipm.Folder(u"Tasks", u"IPF.Task").Id();
    return *this;
}

MailboxBuilder& MailboxBuilder::StoreDisplayName(std::u16string name) {
    mailbox_->storeDisplayName = std::move(name);
    return *this;
}

MailboxBuilder& MailboxBuilder::OwnerDisplayName(std::u16string name) {
    mailbox_->ownerDisplayName = std::move(name);
    return *this;
}

MailboxBuilder& MailboxBuilder::AdminAccess(bool allowed) {
    mailbox_->adminAccess = allowed;
    return *this;
}

MailboxBuilder& MailboxBuilder::StoreProp(mapi::ULONG tag, PropValue value) {
    PutProp(mailbox_->storeProps, tag, std::move(value));
    return *this;
}

MailboxBuilder& MailboxBuilder::AdditionalSpecial(std::uint64_t folderId) {
    mailbox_->special.additional.push_back(folderId);
    return *this;
}

MailboxBuilder& MailboxBuilder::ReserveFolders(std::size_t more) {
    org_->ReserveFolders(more);
    return *this;
}

FolderBuilder& MailboxBuilder::Folder(std::u16string name, std::u16string containerClass) {
    return root_->Folder(std::move(name), std::move(containerClass));
}

FolderBuilder& MailboxBuilder::Special(std::uint64_t id, const char* name) {
    for (FolderBuilder& builder : org_->folders_) {
        if (id && builder.mailbox_ == mailbox_->index && builder.folder_->id == id) return builder;
    }
    throw std::logic_error(std::string("mailbox has no special folder ") + name);
}

FolderBuilder& MailboxBuilder::Ipm() {
    return Special(mailbox_->special.ipmSubtree, "IPM");
}
FolderBuilder& MailboxBuilder::Inbox() {
    return Special(mailbox_->special.inbox, "Inbox");
}
FolderBuilder& MailboxBuilder::Outbox() {
    return Special(mailbox_->special.outbox, "Outbox");
}
FolderBuilder& MailboxBuilder::SentItems() {
    return Special(mailbox_->special.sentItems, "Sent Items");
}
FolderBuilder& MailboxBuilder::DeletedItems() {
    return Special(mailbox_->special.deletedItems, "Deleted Items");
}
FolderBuilder& MailboxBuilder::Calendar() {
    return Special(mailbox_->special.calendar, "Calendar");
}
FolderBuilder& MailboxBuilder::Contacts() {
    return Special(mailbox_->special.contacts, "Contacts");
}
FolderBuilder& MailboxBuilder::Drafts() {
    return Special(mailbox_->special.drafts, "Drafts");
}
FolderBuilder& MailboxBuilder::Journal() {
    return Special(mailbox_->special.journal, "Journal");
}
FolderBuilder& MailboxBuilder::Notes() {
    return Special(mailbox_->special.notes, "Notes");
}
FolderBuilder& MailboxBuilder::Tasks() {
    return Special(mailbox_->special.tasks, "Tasks");
}

Bytes MailboxBuilder::ProfileStoreEntryId() const {
    StoreIdInfo info;
    info.serverDn = mailbox_->serverDn;
    info.mailboxDn = mailbox_->dn;
    info.origin = StoreIdOrigin::Profile;
    return StoreEntryId(info);
}

// ---- AddressEntryBuilder ----

AddressEntry& AddressEntryBuilder::Model() {
    AddressEntry* entry = org_->FindEntry(index_);
    if (!entry) throw std::logic_error("address entry removed");
    return *entry;
}

AddressEntryBuilder& AddressEntryBuilder::Prop(mapi::ULONG tag, PropValue value) {
    PutProp(Model().props, tag, std::move(value));
    return *this;
}

AddressEntryBuilder& AddressEntryBuilder::Proxies(std::vector<std::u16string> proxies) {
    return Prop(mapi::PR_EMS_AB_PROXY_ADDRESSES_W, std::move(proxies));
}

AddressEntryBuilder& AddressEntryBuilder::Smtp(const std::u16string& address) {
    std::vector<std::u16string> proxies;
    if (const PropValue* old = FindProp(Model().props, mapi::PR_EMS_AB_PROXY_ADDRESSES_W)) {
        if (auto* list = std::get_if<std::vector<std::u16string>>(old)) proxies = *list;
    }
    proxies.insert(proxies.begin(), u"SMTP:" + address);
    return Proxies(std::move(proxies));
}

AddressEntryBuilder& AddressEntryBuilder::HomeMdb(std::u16string dn) {
    return Prop(mapi::PR_EMS_AB_HOME_MDB_W, std::move(dn));
}

AddressEntryBuilder& AddressEntryBuilder::SendRichInfo(bool rich) {
    return Prop(mapi::PR_SEND_RICH_INFO, rich);
}

AddressEntryBuilder& AddressEntryBuilder::Members(std::vector<std::uint32_t> indexes) {
    Model().members = std::move(indexes);
    return *this;
}

Bytes AddressEntryBuilder::EntryId() {
    return AddressEntryId(Model());
}

// ---- ProfileBuilder ----

sim::Profile& ProfileBuilder::Model() {
    sim::Profile* profile = org_->FindProfile(name_);
    if (!profile) throw std::logic_error("profile removed");
    return *profile;
}

ProfileBuilder& ProfileBuilder::Password(std::string password) {
    Model().password = std::move(password);
    return *this;
}

ProfileBuilder& ProfileBuilder::ExchangeService(std::u16string server, std::u16string mailboxDn,
                                                bool configured) {
    sim::Profile& profile = Model();
    MsgService service;
    service.name = "MSEMS";
    service.displayName = u"Microsoft Exchange Server";
    service.uid = {0x4E, 0x1C, 0x5A, 0x90,
                   0x3F, 0x21, 0x4B, 0x7D,
                   0x9A, 0x06, 0x2E, 0x51,
                   0xC8, 0x00, 0x00, static_cast<std::uint8_t>(profile.services.size() + 1)};
    service.configured = configured;
    service.server = std::move(server);
    service.mailbox = std::move(mailboxDn);
    profile.services.push_back(std::move(service));
    return *this;
}

ProfileBuilder& ProfileBuilder::UnconfiguredExchangeService() {
    return ExchangeService(u"", u"", false);
}

// ---- OrgBuilder ----

OrgBuilder::OrgBuilder() : OrgBuilder(Simulator::Instance().Org()) {}

OrgBuilder::OrgBuilder(Organisation& org) : org_(&org) {}

std::u16string OrgBuilder::Server(std::u16string dn, std::u16string name) {
    if (name.empty()) name = LastCommonName(dn);
    org_->servers.push_back({dn, std::move(name)});
    return dn;
}

std::u16string OrgBuilder::HomeMdbOf(std::u16string_view serverDn) {
    return std::u16string(serverDn) + u"/cn=Microsoft Private MDB";
}

MailboxBuilder& OrgBuilder::Mailbox(std::u16string dn, std::u16string serverDn) {
    auto mailbox = std::make_unique<sim::Mailbox>();
    std::uint32_t index = 1;
    for (const auto& existing : org_->mailboxes) index = std::max(index, existing->index + 1);
    mailbox->index = index;
    mailbox->ownerDisplayName = LastCommonName(dn);
    mailbox->storeDisplayName = u"Mailbox - " + mailbox->ownerDisplayName;
    mailbox->dn = std::move(dn);
    mailbox->serverDn = std::move(serverDn);
    mailbox->root = std::make_unique<sim::Folder>();
    mailbox->root->id = org_->NewObjectId();
    mailbox->root->props[mapi::PR_DISPLAY_NAME_W] = std::u16string();
    mailbox->root->props[mapi::PR_SOURCE_KEY] = SourceKey(index, mailbox->root->id);
    sim::Mailbox* raw = mailbox.get();
    org_->mailboxes.push_back(std::move(mailbox));
    FolderBuilder& root = AddFolderBuilder(index, raw->root.get(), nullptr);
    mailboxes_.push_back(MailboxBuilder(this, raw, &root));
    return mailboxes_.back();
}

AddressEntryBuilder& OrgBuilder::User(std::u16string displayName, std::u16string dn) {
    AddressEntry entry;
    const std::uint32_t index = NextEntryIndex();
    entry.index = index;
    entry.kind = EntryKind::MailUser;
    entry.props[mapi::PR_DISPLAY_NAME_W] = std::move(displayName);
    entry.props[mapi::PR_ADDRTYPE_W] = std::u16string(u"EX");
    entry.props[mapi::PR_EMAIL_ADDRESS_W] = std::move(dn);
    entry.props[mapi::PR_DISPLAY_TYPE] = static_cast<std::int32_t>(mapi::DT_MAILUSER);
    entry.props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_MAILUSER);
    entry.props[mapi::PR_SEND_RICH_INFO] = true;
    org_->addressBook.push_back(std::move(entry));
    entries_.push_back(AddressEntryBuilder(org_, index));
    return entries_.back();
}

std::uint32_t OrgBuilder::NextEntryIndex() {
    const std::vector<AddressEntry>& book = org_->addressBook;
    if (book.size() < entriesSeen_) {  // entries taken out behind the builder's back
        entriesSeen_ = 0;
        nextEntryIndex_ = 1;
    }
    for (; entriesSeen_ < book.size(); ++entriesSeen_)
        nextEntryIndex_ = std::max(nextEntryIndex_, book[entriesSeen_].index + 1);
    return nextEntryIndex_;
}

AddressEntryBuilder& OrgBuilder::User(std::u16string displayName, MailboxBuilder& mailbox) {
    return User(std::move(displayName), mailbox.Dn()).HomeMdb(HomeMdbOf(mailbox.ServerDn()));
}

AddressEntryBuilder& OrgBuilder::DistList(std::u16string displayName, std::u16string dn) {
    AddressEntryBuilder& builder = User(std::move(displayName), std::move(dn));
    AddressEntry& entry = builder.Model();
    entry.kind = EntryKind::DistList;
    entry.props[mapi::PR_DISPLAY_TYPE] = static_cast<std::int32_t>(mapi::DT_DISTLIST);
    entry.props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_DISTLIST);
    return builder;
}

ProfileBuilder& OrgBuilder::Profile(std::string name) {
    if (!org_->FindProfile(name)) {
        sim::Profile profile;
        profile.name = name;
        org_->profiles.push_back(std::move(profile));
    }
    profiles_.push_back(ProfileBuilder(org_, std::move(name)));
    return profiles_.back();
}

OrgBuilder& OrgBuilder::ExchangeServiceInstalled(bool installed) {
    org_->exchangeServiceInstalled = installed;
    return *this;
}

FolderBuilder& OrgBuilder::AddFolderBuilder(std::uint32_t mailbox, sim::Folder* folder,
                                            FolderBuilder* parent) {
    folders_.push_back(FolderBuilder(this, mailbox, folder, parent));
    FolderBuilder& added = folders_.back();
    if (!parent) added.parent_ = &added;
    builderOf_[folder] = &added;  // a folder freed at run time may leave its address to a new one
    return added;
}

FolderBuilder* OrgBuilder::ChildNamed(sim::Folder& parent, std::u16string_view name) {
    auto builderOf = [this](const sim::Folder* folder) -> FolderBuilder* {
        auto found = builderOf_.find(folder);
        return found == builderOf_.end() ? nullptr : found->second;
    };
    ChildNames& names = childNames_[&parent];
    if (names.indexed != parent.children.size()) {
        names.byName.clear();
        for (const auto& child : parent.children) {
            const PropValue* value = FindProp(child->props, mapi::PR_DISPLAY_NAME_W);
            if (value && std::holds_alternative<std::u16string>(*value) && builderOf(child.get()))
                names.byName.emplace(FoldAscii(std::get<std::u16string>(*value)), child.get());
        }
        names.indexed = parent.children.size();
    }
    auto found = names.byName.find(FoldAscii(name));
    if (found == names.byName.end()) return nullptr;
    // A name changed other than through FolderBuilder::Prop: start over.
    const PropValue* current = FindProp(found->second->props, mapi::PR_DISPLAY_NAME_W);
    if (!current || !std::holds_alternative<std::u16string>(*current) ||
        !EqualsAsciiNoCase(std::get<std::u16string>(*current), name)) {
        childNames_.erase(&parent);
        return ChildNamed(parent, name);
    }
    return builderOf(found->second);
}

sim::Folder* OrgBuilder::NewFolder(std::uint32_t mailbox, sim::Folder& parent, std::u16string name,
                                   std::u16string containerClass) {
    auto folder = std::make_unique<sim::Folder>();
    folder->id = org_->NewObjectId();
    folder->props.reserve(3);
    folder->props[mapi::PR_DISPLAY_NAME_W] = std::move(name);
    if (!containerClass.empty())
        folder->props[mapi::PR_CONTAINER_CLASS_W] = std::move(containerClass);
    folder->props[mapi::PR_SOURCE_KEY] = SourceKey(mailbox, folder->id);
    sim::Folder* created = folder.get();
    parent.children.push_back(std::move(folder));
    // Kept up to date rather than made again for the next lookup.
    if (auto names = childNames_.find(&parent); names != childNames_.end()) {
        if (names->second.indexed + 1 == parent.children.size()) {
            const PropValue* name = FindProp(created->props, mapi::PR_DISPLAY_NAME_W);
            names->second.byName.emplace(FoldAscii(std::get<std::u16string>(*name)), created);
            ++names->second.indexed;
        }
    }
    return created;
}

}  // namespace sim
