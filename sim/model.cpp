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
    for (auto& entry : addressBook) {
        if (entry.index == index) return &entry;
    }
    return nullptr;
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
