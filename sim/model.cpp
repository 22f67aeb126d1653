#include "sim/model.h"

#include "sim/sim_text.h"

namespace sim {

// Exchange compares distinguished names without regard to the case of ASCII letters.
Mailbox* Organisation::FindMailbox(std::u16string_view dn) {
    for (auto& mailbox : mailboxes) {
        if (mailbox && EqualsAsciiNoCase(mailbox->dn, dn)) return mailbox.get();
    }
    return nullptr;
}

// Profile names are compared as MAPI does, without regard to the case of ASCII letters.
Profile* Organisation::FindProfile(std::string_view name) {
    for (auto& profile : profiles) {
        if (EqualsAsciiNoCase(profile.name, name)) return &profile;
    }
    return nullptr;
}

AddressEntry* Organisation::FindEntry(std::uint32_t index) {
    // Builders number the entries 1, 2, ... in order; anything else is searched.
    if (index >= 1 && index <= addressBook.size() && addressBook[index - 1].index == index)
        return &addressBook[index - 1];
    for (auto& entry : addressBook) {
        if (entry.index == index) return &entry;
    }
    return nullptr;
}

const Mailbox::FolderPlace* Mailbox::Place(std::uint64_t id) const {
    if (!root) return nullptr;
    auto found = folderIndex_.find(id);
    if (found != folderIndex_.end()) return &found->second;
    IndexTree();
    found = folderIndex_.find(id);
    return found != folderIndex_.end() ? &found->second : nullptr;
}

// In the order of a walk from the root, the first folder of an id kept, without recursion (a
// tree may be many thousands of levels deep).
void Mailbox::IndexTree() const {
    folderIndex_.clear();
    // The places first, so that the index is made at its size rather than grown.
    std::vector<FolderPlace> places;
    std::vector<FolderPlace> pending{{root.get(), nullptr}};
    while (!pending.empty()) {
        FolderPlace place = pending.back();
        pending.pop_back();
        places.push_back(place);
        auto& children = place.folder->children;
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.push_back({child->get(), place.folder});
    }
    folderIndex_.reserve(places.size());
    for (const FolderPlace& place : places) folderIndex_.emplace(place.folder->id, place);
}

Folder* Mailbox::FindFolder(std::uint64_t id) const {
    const FolderPlace* place = Place(id);
    return place ? place->folder : nullptr;
}

Folder* Mailbox::FindParent(std::uint64_t id) const {
    const FolderPlace* place = Place(id);
    return place ? place->parent : nullptr;
}

Folder* Mailbox::AddFolder(Folder& parent, std::unique_ptr<Folder> folder) {
    Folder* added = folder.get();
    parent.children.push_back(std::move(folder));
    if (!folderIndex_.empty()) folderIndex_[added->id] = FolderPlace{added, &parent};
    return added;
}

Folder* FindFolder(Folder& root, std::uint64_t id) {
    if (root.id == id) return &root;
    for (auto& child : root.children) {
        if (Folder* found = FindFolder(*child, id)) return found;
    }
    return nullptr;
}

Folder* FindParent(Folder& root, std::uint64_t id) {
    for (auto& child : root.children) {
        if (child->id == id) return &root;
        if (Folder* found = FindParent(*child, id)) return found;
    }
    return nullptr;
}

}  // namespace sim
