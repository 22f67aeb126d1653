#include "sim/model.h"

#include <algorithm>

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

void Mailbox::FolderIndex::clear() {
    dense_ = true;
    first_ = 0;
    byOffset_.clear();
    byId_.clear();
    count_ = 0;
}

// A range at most four times the folders it holds (and a little more for small ones) is kept
// in the vector.
bool Mailbox::FolderIndex::Dense(std::uint64_t first, std::uint64_t last,
                                 std::size_t count) const {
    return last >= first && last - first < 4 * static_cast<std::uint64_t>(count) + 64;
}

void Mailbox::FolderIndex::Prepare(std::uint64_t first, std::uint64_t last, std::size_t count) {
    clear();
    dense_ = Dense(first, last, count);
    if (dense_) {
        first_ = first;
        byOffset_.resize(static_cast<std::size_t>(last - first + 1));
    } else {
        byId_.reserve(count);
    }
}

void Mailbox::FolderIndex::MakeSparse() {
    byId_.reserve(count_ + 1);
    for (std::size_t i = 0; i < byOffset_.size(); ++i)
        if (byOffset_[i].folder) byId_.emplace(first_ + i, byOffset_[i]);
    byOffset_ = {};
    dense_ = false;
}

const Mailbox::FolderPlace* Mailbox::FolderIndex::Find(std::uint64_t id) const {
    if (!dense_) {
        auto found = byId_.find(id);
        return found != byId_.end() ? &found->second : nullptr;
    }
    if (id < first_ || id - first_ >= byOffset_.size()) return nullptr;
    const FolderPlace& place = byOffset_[static_cast<std::size_t>(id - first_)];
    return place.folder ? &place : nullptr;
}

void Mailbox::FolderIndex::Insert(std::uint64_t id, const FolderPlace& place, bool replace) {
    if (dense_) {
        // A prepared range stands; one that grows must stay dense.
        if (byOffset_.empty()) first_ = id;
        if (id < first_ || (id - first_ >= byOffset_.size() && !Dense(first_, id, count_ + 1)))
            MakeSparse();
    }
    if (!dense_) {
        auto [at, added] = byId_.emplace(id, place);
        if (added) ++count_;
        else if (replace) at->second = place;
        return;
    }
    const auto offset = static_cast<std::size_t>(id - first_);
    if (offset >= byOffset_.size()) byOffset_.resize(offset + 1);
    FolderPlace& slot = byOffset_[offset];
    if (slot.folder && !replace) return;
    if (!slot.folder) ++count_;
    slot = place;
}

const Mailbox::FolderPlace* Mailbox::Place(std::uint64_t id) const {
    if (!root) return nullptr;
    if (const FolderPlace* found = folderIndex_.Find(id)) return found;
    IndexTree();
    return folderIndex_.Find(id);
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
    auto [lowest, highest] = std::minmax_element(
        places.begin(), places.end(),
        [](const FolderPlace& a, const FolderPlace& b) { return a.folder->id < b.folder->id; });
    folderIndex_.Prepare(lowest->folder->id, highest->folder->id, places.size());
    for (const FolderPlace& place : places) folderIndex_.Insert(place.folder->id, place, false);
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
    if (!folderIndex_.empty()) folderIndex_.Insert(added->id, FolderPlace{added, &parent}, true);
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
